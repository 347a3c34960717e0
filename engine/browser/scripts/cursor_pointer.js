() => {
  // Custom clickables: plain containers styled with the pointer cursor, with short text
  // and few descendants so that whole panels stay out. Everything is gathered here in
  // one request.
  const NATIVE = new Set(['A', 'BUTTON', 'INPUT', 'SELECT', 'TEXTAREA']);
  const wellFormed = (s) => (typeof s.toWellFormed === 'function' ? s.toWellFormed() : s);
  // Positional paths as the per-element path script gives them, with the children of
  // each parent counted once and each path built on its parent's: a long list of
  // siblings costs its length, not its square.
  const indices = new Map();
  const paths = new Map();
  const indexOf = (node) => {
    if (!indices.has(node)) {
      if (node.parentNode === null) return 1;
      const counts = new Map();
      for (let child = node.parentNode.firstElementChild; child; child = child.nextElementSibling) {
        const count = (counts.get(child.tagName) || 0) + 1;
        counts.set(child.tagName, count);
        indices.set(child, count);
      }
    }
    return indices.get(node);
  };
  const xpathOf = (el) => {
    const pending = [];
    let node = el;
    let path = '';
    for (; node && node.nodeType === 1; node = node.parentElement) {
      if (paths.has(node)) {
        path = paths.get(node);
        break;
      }
      pending.push(node);
    }
    for (let i = pending.length - 1; i >= 0; i--) {
      path += '/' + pending[i].tagName.toLowerCase() + '[' + indexOf(pending[i]) + ']';
      paths.set(pending[i], path);
    }
    return path;
  };
  const seen = new Set();
  const items = [];
  for (const el of Array.from(document.querySelectorAll('div, span, li, td'))) {
    if (NATIVE.has(el.tagName.toUpperCase())) continue;
    if (window.getComputedStyle(el).cursor !== 'pointer') continue;
    const text = (el.innerText || '').trim();
    if (text.length === 0 || text.length > 60) continue;
    if (el.querySelectorAll('*').length > 10) continue;
    const rect = el.getBoundingClientRect();
    if (rect.width <= 0 || rect.height <= 0) continue;
    const xpath = xpathOf(el);
    if (seen.has(xpath)) continue;
    seen.add(xpath);
    items.push({
      tag: el.tagName.toLowerCase(),
      text: wellFormed(text),
      xpath,
      x: Math.round(rect.x),
      y: Math.round(rect.y),
      w: Math.round(rect.width),
      h: Math.round(rect.height),
      cls: typeof el.className === 'string' ? wellFormed(el.className) : '',
      aria: wellFormed(el.getAttribute('aria-label') || ''),
    });
  }
  return items;
}
