// Visible: a non-empty border box and a computed visibility of "visible". So
// display:none, a zero width or height, and visibility:hidden or collapse are
// invisible; elements off-screen, covered, transparent or clipped by a scroller are
// visible, as browser automation users expect.
(element) => {
  const box = element.getBoundingClientRect();
  if (!(box.width > 0 && box.height > 0)) {
    return false;
  }
  return getComputedStyle(element).visibility === 'visible';
}
