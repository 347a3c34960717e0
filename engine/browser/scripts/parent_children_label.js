(el) => {
  // The first earlier child of the parent, in document order, whose whole text is short.
  const parent = el.parentElement;
  if (!parent) return null;
  for (const child of Array.from(parent.children)) {
    if (child === el) break;
    const text = (child.textContent || '').trim();
    if (text.length > 0 && text.length < 50) {
      return typeof text.toWellFormed === 'function' ? text.toWellFormed() : text;
    }
  }
  return null;
}
