// The border box in the viewport of the main frame, in CSS pixels, as [x, y, width,
// height]; null when the element generates no layout box (display:none,
// display:contents).
(element) => {
  if (element.getClientRects().length === 0) {
    return null;
  }
  const box = element.getBoundingClientRect();
  return [box.x, box.y, box.width, box.height];
}
