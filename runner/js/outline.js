// Draws labelled outlines over the page for a picture of it, in a layer that cannot move
// or cover anything the page does: one fixed, transparent host at the top of the stacking
// order (in the top layer too, where the browser has popovers, so that an open modal
// dialog does not hide it), which lets the pointer through and keeps its boxes in a
// closed shadow root, out of reach of the page's styles and scripts.
//
// Each mark names its element by xpath, with the box the scan read as a fallback for an
// element that is gone. When the first mark lies wholly outside the viewport, the window
// is scrolled to it; the earlier position is kept on the host for the removal.
// Answers the number of marks drawn.
(marks, hostId) => {
  const COLOURS = {
    element: ['#e0007a', '#8a004b'],
    candidate: ['#f08c00', '#8a5000'],
    anchor: ['#0a6cff', '#063f94'],
  };
  const BORDER = 3;

  const old = document.getElementById(hostId);
  if (old) old.remove();

  const elementAt = (xpath) => {
    if (!xpath) return null;
    try {
      const node = document.evaluate(xpath, document, null, XPathResult.FIRST_ORDERED_NODE_TYPE, null).singleNodeValue;
      return node && node.isConnected && node.getBoundingClientRect ? node : null;
    } catch (e) {
      return null;
    }
  };
  const rectOf = (mark) => {
    const element = elementAt(mark.xpath);
    if (element) {
      const r = element.getBoundingClientRect();
      return { x: r.left, y: r.top, width: r.width, height: r.height };
    }
    return mark.box || null;
  };
  const outside = (r) => r.x + r.width <= 0 || r.y + r.height <= 0 || r.x >= innerWidth || r.y >= innerHeight;

  const host = document.createElement('div');
  host.id = hostId;
  host.dataset.scrollX = String(scrollX);
  host.dataset.scrollY = String(scrollY);
  if (marks.length > 0) {
    const first = rectOf(marks[0]);
    const element = elementAt(marks[0].xpath);
    if (first && element && outside(first)) element.scrollIntoView({ block: 'center', inline: 'center' });
  }

  const hostStyle = [
    'all: initial', 'position: fixed', 'inset: 0', 'width: 100vw', 'height: 100vh', 'margin: 0', 'padding: 0',
    'border: 0', 'background: transparent', 'overflow: visible', 'pointer-events: none',
    'z-index: 2147483647', 'display: block',
  ];
  host.setAttribute('style', hostStyle.map((rule) => rule + ' !important').join('; '));
  const root = host.attachShadow({ mode: 'closed' });

  let drawn = 0;
  for (const mark of marks) {
    const r = rectOf(mark);
    if (!r) continue;
    const [colour, dark] = COLOURS[mark.kind] || COLOURS.candidate;
    const box = document.createElement('div');
    box.style.cssText = [
      'position: fixed', 'box-sizing: border-box', 'margin: 0', 'padding: 0', 'background: transparent',
      `left: ${r.x - BORDER}px`, `top: ${r.y - BORDER}px`,
      `width: ${r.width + 2 * BORDER}px`, `height: ${r.height + 2 * BORDER}px`,
      `border: ${BORDER}px ${mark.kind === 'candidate' ? 'dashed' : 'solid'} ${colour}`,
    ].join('; ');
    root.appendChild(box);

    const label = document.createElement('div');
    label.textContent = mark.label;
    const above = r.y - BORDER - 18 >= 0;
    label.style.cssText = [
      'position: fixed', 'margin: 0', 'padding: 1px 5px', 'border: 0', 'border-radius: 3px',
      `background: ${dark}`, 'color: #ffffff', 'font: 12px/16px sans-serif', 'white-space: nowrap',
      'overflow: hidden', 'text-overflow: ellipsis', 'max-width: 60vw',
      `left: ${Math.max(0, r.x - BORDER)}px`,
      above ? `top: ${r.y - BORDER - 18}px` : `top: ${r.y + r.height + BORDER}px`,
    ].join('; ');
    root.appendChild(label);
    drawn += 1;
  }

  document.documentElement.appendChild(host);
  if (host.showPopover) {
    try {
      host.popover = 'manual';
      host.showPopover();
    } catch (e) {
      // Without the top layer the host still stands above every ordinary stacking context.
    }
  }
  return drawn;
}
