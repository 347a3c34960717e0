() => {
  // Custom clickables: plain containers styled with the pointer cursor, with short text
  // and few descendants so that whole panels stay out. Everything is gathered here in
  // one request.
  const NATIVE = new Set(['A', 'BUTTON', 'INPUT', 'SELECT', 'TEXTAREA']);
  const wellFormed = (s) => (typeof s.toWellFormed === 'function' ? s.toWellFormed() : s);
  const xpathOf = (el) => {
    const steps = [];
    for (let node = el; node && node.nodeType === 1; node = node.parentElement) {
      let idx = 1;
      for (let sib = node.previousElementSibling; sib; sib = sib.previousElementSibling) {
        if (sib.tagName === node.tagName) idx += 1;
      }
      steps.unshift(node.tagName.toLowerCase() + '[' + idx + ']');
    }
    return '/' + steps.join('/');
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
