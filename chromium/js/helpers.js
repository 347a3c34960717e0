// The page-side helpers, installed once per document into the tab's own isolated world
// (the page's scripts can neither see nor change them, nor the built-ins they use), as
// globalThis.__quillfen. Built from the other scripts: `answer` (answer.js) and the
// handle reads (layout.js, inner_text.js, is_enabled.js, attributes.js).
(answer, reads) => ({
  reads,
  // The question functions of earlier calls, by source text: reusing one keeps what the
  // engine learnt running it, which makes later groups run it faster. `make` builds it
  // the first time. Cleared when it grows large, for callers that send many scripts.
  functions: new Map(),
  fn(source, make) {
    let made = this.functions.get(source);
    if (made === undefined) {
      if (this.functions.size >= 256) {
        this.functions.clear();
      }
      made = make();
      this.functions.set(source, made);
    }
    return made;
  },
  // Asks each question, with its own argument from `args`, of every element and returns
  // the [answers, errors] pairs as JSON text, which the protocol carries faster than a
  // structured value.
  ask(elements, questions, args) {
    return JSON.stringify(questions.map((question, i) => answer(elements, question, args[i])));
  },
  // Runs a query and returns [summary, elements]; the summary is JSON text holding the
  // number of elements.
  query(selector) {
    const found = Array.from(document.querySelectorAll(selector));
    return [JSON.stringify({ count: found.length }), found];
  },
  // Looked-up elements, by batch of 64: kept[batch][index].
  kept: {},
  batch: 0,
  inBatch: 0,
  // Finds the first element matching `selector` and keeps it. Returns JSON text: the
  // count (0 or 1) and, when found, where it is kept and the answer of its inner text,
  // which is asked of a looked-up element nearly always next. (Its other reads would
  // cost more than a tenth of a millisecond each time.)
  lookUp(selector) {
    const element = document.querySelector(selector);
    if (element === null) {
      return JSON.stringify({ count: 0 });
    }
    if (this.inBatch === 64) {
      this.batch += 1;
      this.inBatch = 0;
    }
    this.inBatch += 1;
    const kept = (this.kept[this.batch] ??= []);
    kept.push(element);
    return JSON.stringify({
      count: 1,
      batch: this.batch,
      index: kept.length - 1,
      text: answer([element], reads.innerText, null),
    });
  },
  // Lets go of a batch once no handle refers to it; a later look-up may start it afresh.
  release(batch) {
    delete this.kept[batch];
  },
})
