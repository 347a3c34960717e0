(positionalPaths) => {
  // What the relaxed strategy reads beyond the element and text records, gathered in one
  // request: which texts name which controls, short texts assembled from inline pieces,
  // and the table cells that give a text its column. Records are written as the scan
  // writes them (tag, text, bounding_box, is_visible, is_enabled, xpath).
  const LIMIT = 2000;
  const LONGEST_TEXT = 80;
  // Pixels between a check box and the text after it, at most, for the text to name it.
  const RIGHT_LABEL_GAP = 100;
  const wellFormed = (s) => (typeof s.toWellFormed === 'function' ? s.toWellFormed() : s);
  const squeeze = (s) => wellFormed(String(s || '').replace(/\s+/g, ' ').trim());
  // Positional paths as the scan writes them, from the scan's own path maker.
  const xpathOf = positionalPaths(true);
  const boxOf = (rect) => ({ x: rect.x, y: rect.y, width: rect.width, height: rect.height });
  const hasArea = (rect) => rect.width > 0 && rect.height > 0;
  const shown = (el) => hasArea(el.getBoundingClientRect()) && getComputedStyle(el).visibility === 'visible';
  const recordOf = (el, text) => {
    const rect = el.getBoundingClientRect();
    return {
      tag: el.tagName.toLowerCase(),
      text,
      bounding_box: hasArea(rect) ? boxOf(rect) : null,
      is_visible: shown(el),
      is_enabled: true,
      xpath: xpathOf(el),
    };
  };

  // The text of a label without the text of the control it holds (a wrapping label
  // around a list would otherwise carry every option). A label that is not laid out at
  // all still names its control (as it does for assistive technology), by all its text;
  // its record says that it is not visible.
  const ownText = (label, control) => {
    const parts = [];
    const laidOut = label.getClientRects().length > 0;
    const walker = document.createTreeWalker(label, NodeFilter.SHOW_TEXT);
    for (let node = walker.nextNode(); node; node = walker.nextNode()) {
      if (control && control.contains(node)) continue;
      const parent = node.parentElement;
      if (parent && (parent.closest('script, style, template') || (laidOut && !parent.getClientRects().length))) continue;
      parts.push(node.textContent);
    }
    return squeeze(parts.join(' '));
  };

  // A control as a record of its own, for controls the scan leaves out (a check box
  // hidden behind a styled label): the attributes that say what kind of control it is.
  const controlOf = (control) => {
    const record = recordOf(control, '');
    record.attributes = {};
    for (const name of ['type', 'role']) {
      const value = control.getAttribute(name);
      if (value !== null) record.attributes[name] = wellFormed(value);
    }
    record.is_enabled = !(control.matches(':disabled') || control.getAttribute('aria-disabled') === 'true');
    return record;
  };
  const labels = [];
  // A label is as enabled as its control, so that its record answers for both.
  const link = (kind, control, label) => {
    if (labels.length >= LIMIT || !label.text) return;
    const record = controlOf(control);
    label.is_enabled = record.is_enabled;
    labels.push({ kind, control: record, label });
  };
  for (const label of document.querySelectorAll('label')) {
    const control = label.control;
    if (!control) continue;
    link(label.htmlFor ? 'for' : 'wrapping', control, recordOf(label, ownText(label, control)));
  }
  for (const control of document.querySelectorAll('[aria-labelledby]')) {
    for (const id of control.getAttribute('aria-labelledby').split(/\s+/)) {
      const named = id ? document.getElementById(id) : null;
      if (named) link('labelledby', control, recordOf(named, squeeze(named.innerText || named.textContent)));
    }
  }
  // A check box or radio button is named by the short text that follows it on its row.
  const checkables = 'input[type=checkbox], input[type=radio], [role=checkbox], [role=radio], [role=switch]';
  for (const control of document.querySelectorAll(checkables)) {
    const own = control.getBoundingClientRect();
    if (!hasArea(own)) continue;
    let next = control.nextSibling;
    while (next && next.nodeType === 3 && !next.textContent.trim()) next = next.nextSibling;
    if (!next || (next.nodeType !== 1 && next.nodeType !== 3)) continue;
    if (next.nodeType === 1 && (next.matches('input, select, textarea, button') ||
        next.querySelector('input, select, textarea, button'))) continue;
    const text = squeeze(next.nodeType === 1 ? next.innerText : next.textContent);
    if (!text || text.length > LONGEST_TEXT) continue;
    let rect;
    if (next.nodeType === 1) {
      rect = next.getBoundingClientRect();
    } else {
      const range = document.createRange();
      range.selectNodeContents(next);
      rect = range.getBoundingClientRect();
    }
    const middle = rect.y + rect.height / 2;
    const ownMiddle = own.y + own.height / 2;
    const sameRow = (middle >= own.y && middle <= own.y + own.height) ||
      (ownMiddle >= rect.y && ownMiddle <= rect.y + rect.height);
    const gap = rect.x - (own.x + own.width);
    if (!hasArea(rect) || gap < -1 || gap > RIGHT_LABEL_GAP || !sameRow) continue;
    const label = next.nodeType === 1 ? recordOf(next, text) : {
      tag: '', text, bounding_box: boxOf(rect), is_visible: true, is_enabled: true, xpath: '',
    };
    link('right', control, label);
  }

  // Short texts split over inline pieces ("<strong>1</strong><span> item</span>"): an
  // element whose every descendant is laid out inline, with at least two pieces of text.
  const SKIPPED = new Set(['A', 'BUTTON', 'INPUT', 'SELECT', 'TEXTAREA', 'OPTION', 'SCRIPT', 'STYLE',
    'TEMPLATE', 'NOSCRIPT', 'HEAD', 'TITLE', 'HTML', 'BODY']);
  const all = Array.from(document.body ? document.body.querySelectorAll('*') : []);
  const inlineOnly = new Map();
  const texts = [];
  for (let i = all.length - 1; i >= 0; i -= 1) {
    const el = all[i];
    let flat = true;
    let pieces = 0;
    for (const child of el.childNodes) {
      if (child.nodeType === 3) {
        if (child.textContent.trim()) pieces += 1;
      } else if (child.nodeType === 1) {
        const display = getComputedStyle(child).display;
        if (display === 'none') continue;
        if (!(display.startsWith('inline') || display === 'contents') || !inlineOnly.get(child)) {
          flat = false;
        } else if (child.textContent.trim()) {
          pieces += 1;
        }
      }
    }
    inlineOnly.set(el, flat);
    if (!flat || pieces < 2 || SKIPPED.has(el.tagName) || texts.length >= LIMIT) continue;
    const text = squeeze(el.innerText);
    if (!text || text.length > LONGEST_TEXT || !shown(el)) continue;
    texts.push(recordOf(el, text));
  }
  texts.reverse();

  const cells = [];
  for (const cell of document.querySelectorAll('th, td')) {
    if (cells.length >= LIMIT) break;
    if (shown(cell)) cells.push(recordOf(cell, squeeze(cell.innerText).slice(0, LONGEST_TEXT)));
  }
  return { labels, texts, cells };
}
