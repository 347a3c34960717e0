// [visible, box] from one reading of the element's rectangle.
// Visible: a non-empty border box and a computed visibility of "visible". So
// display:none, a zero width or height, and visibility:hidden or collapse are
// invisible; elements off-screen, covered, transparent or clipped by a scroller are
// visible, as browser automation users expect.
// Box: the border box in the viewport of the main frame, in CSS pixels, as [x, y, width,
// height]; null when the element generates no layout box (display:none,
// display:contents). Only an empty rectangle at the origin needs the costlier
// getClientRects to tell "no layout box" from "an empty box at 0,0".
(element) => {
  const box = element.getBoundingClientRect();
  const empty = box.width === 0 && box.height === 0 && box.x === 0 && box.y === 0;
  const rect = empty && element.getClientRects().length === 0 ? null : [box.x, box.y, box.width, box.height];
  const visible = box.width > 0 && box.height > 0 && getComputedStyle(element).visibility === 'visible';
  return [visible, rect];
}
