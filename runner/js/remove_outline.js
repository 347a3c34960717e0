// Removes the outlines that outline.js drew, and scrolls the window back to where it was
// before them. Answers whether there were any.
(hostId) => {
  const host = document.getElementById(hostId);
  if (!host) return false;
  const x = Number(host.dataset.scrollX);
  const y = Number(host.dataset.scrollY);
  host.remove();
  if (Number.isFinite(x) && Number.isFinite(y) && (scrollX !== x || scrollY !== y)) scrollTo(x, y);
  return true;
}
