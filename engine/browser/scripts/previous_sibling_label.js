(el) => {
  // The nearest earlier sibling with a short text of its own, or else with a short first
  // child, names the field. Long texts are passed over: they are prose, not labels.
  const wellFormed = (s) => (typeof s.toWellFormed === 'function' ? s.toWellFormed() : s);
  const isShort = (s) => s.length > 0 && s.length < 50;
  const directText = (node) => Array.from(node.childNodes)
    .filter((n) => n.nodeType === 3)
    .map((n) => n.textContent.trim())
    .filter((t) => t.length > 0)
    .join(' ');
  for (let sib = el.previousElementSibling; sib; sib = sib.previousElementSibling) {
    const own = directText(sib);
    if (isShort(own)) return wellFormed(own);
    const first = sib.firstElementChild;
    if (first) {
      const inner = (first.textContent || '').trim();
      if (isShort(inner)) return wellFormed(inner);
    }
  }
  return null;
}
