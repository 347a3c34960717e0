// Asks one question of every element of a group. Returns [answers, errors]: answers[i]
// is element i's answer (null when it failed), errors maps the index of each element
// whose question threw, or that has left the document, to the message. Strings are made
// well formed, so that a lone surrogate in page text cannot spoil the JSON of the reply.
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
  const answers = [];
  const errors = {};
  Array.from(elements).forEach((element, index) => {
    answers.push(null);
    try {
      if (!element || !element.isConnected) {
        errors[index] = 'The element is no longer in the document.';
      } else {
        answers[index] = wellFormed(question(element, arg), 0);
      }
    } catch (error) {
      errors[index] = wellFormed(String(error instanceof Error ? error.message : error), 0);
    }
  });
  return [answers, errors];
}
