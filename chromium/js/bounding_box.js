// The border box in the viewport of the main frame, in CSS pixels; null when the
// element generates no layout box (display:none, display:contents).
(element) => {
  if (element.getClientRects().length === 0) {
    return null;
  }
  const box = element.getBoundingClientRect();
  return { x: box.x, y: box.y, width: box.width, height: box.height };
}
