// Asks one question of every element of a group. Returns [answers, errors]: answers[i]
// is element i's answer (null when it failed), errors maps the index of each element
// whose question threw, or that has left the document, to the message. Strings are made
// well formed, so that a lone surrogate in page text cannot spoil the JSON of the reply.
// Runs once per element of groups of thousands: plain loops, common cases first.
(elements, question, arg) => {
  const wellFormed = (value, depth) => {
    switch (typeof value) {
      case 'string':
        return value.isWellFormed() ? value : value.toWellFormed();
      case 'number':
      case 'boolean':
        return value;
      case 'object':
        break;
      default:
        return null;
    }
    if (value === null || depth > 100) {
      return null;
    }
    if (Array.isArray(value)) {
      // Most arrays (boxes, attribute lists) hold well-formed strings, numbers and
      // booleans only, and go out as they are.
      let out = null;
      for (let i = 0; i < value.length; i++) {
        const item = value[i];
        const made = wellFormed(item, depth + 1);
        if (out === null && made !== item) {
          out = value.slice(0, i);
        }
        if (out !== null) {
          out.push(made);
        }
      }
      return out === null ? value : out;
    }
    const out = {};
    for (const key of Object.keys(value)) {
      out[wellFormed(key, depth)] = wellFormed(value[key], depth + 1);
    }
    return out;
  };
  const answers = new Array(elements.length).fill(null);
  const errors = {};
  for (let index = 0; index < elements.length; index++) {
    const element = elements[index];
    try {
      if (!element || !element.isConnected) {
        errors[index] = 'The element is no longer in the document.';
      } else {
        answers[index] = wellFormed(question(element, arg), 0);
      }
    } catch (error) {
      errors[index] = wellFormed(String(error instanceof Error ? error.message : error), 0);
    }
  }
  return [answers, errors];
}
