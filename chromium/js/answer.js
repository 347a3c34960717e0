// Asks one question of every element of a group and returns, per element, [1, answer],
// or [0, message] when the question threw for that element or the element has left the
// document. Strings are made well formed, so that a lone surrogate in page text cannot
// spoil the JSON of the whole reply.
(elements, question, arg) => {
  const wellFormed = (value, depth) => {
    if (typeof value === 'string') {
      return typeof value.toWellFormed === 'function' ? value.toWellFormed() : value;
    }
    if (typeof value === 'number' || typeof value === 'boolean' || value === null) {
      return value;
    }
    if (typeof value !== 'object' || depth > 100) {
      return null;
    }
    if (Array.isArray(value)) {
      return value.map((item) => wellFormed(item, depth + 1));
    }
    const out = {};
    for (const [key, item] of Object.entries(value)) {
      out[wellFormed(key, depth)] = wellFormed(item, depth + 1);
    }
    return out;
  };
  return Array.from(elements, (element) => {
    try {
      if (!element || !element.isConnected) {
        return [0, 'The element is no longer in the document.'];
      }
      return [1, wellFormed(question(element, arg), 0)];
    } catch (error) {
      return [0, wellFormed(String(error instanceof Error ? error.message : error), 0)];
    }
  });
}
