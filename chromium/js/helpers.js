// The page-side helpers, installed once per document into the tab's own isolated world
// (the page's scripts can neither see nor change them, nor the built-ins they use), as
// globalThis.__quillfen. Built from the other scripts: `answer` (answer.js), the handle
// reads (layout.js, inner_text.js, is_enabled.js, attributes.js, direct_text.js), the
// one-pass path maker (positional_paths.js) and the change watch (watch.js).
// Long lists of numbers travel as runs, [first, count, first, count, ...], for a list
// of ascending neighbours: a scan's groups hold thousands of members. During a scan,
// answers unchanged since the scan before are named rather than sent (carryOver), and
// those that depend only on the tree are worked out again only where it changed
// (refresh, carryKept).
(answer, reads, positionalPaths, watch) => ({
  answer,
  reads,
  // A path reader for one call. During a scan, the paths of the document's elements are
  // kept from call to call (see refresh); otherwise what it remembers holds only within
  // that call.
  positionalPaths(plain = false) {
    this.refresh();
    return positionalPaths(plain, this.scan === null ? null : this.kept);
  },
  kept: { paths: new WeakMap(), indices: new WeakMap() },
  // Tree answers: what a question asks of nothing but the element's own part of the
  // tree (its tag name, its attributes, its text children), as the caller marks them.
  // Such an answer given during a scan holds until a mutation record reaches the
  // element: the watch's observer sees every change of the document's nodes, attributes
  // and text. `touched[number]` (by numberOf) is the tick of the last record that
  // reached the element: one of its attributes, its children or the text in them;
  // `everything`, the tick of the last time records were too many to keep. A positional
  // path also depends on the children of every ancestor: a change of an element's
  // children lets go of the kept paths and indices of everything inside it.
  tick: 0,
  touched: [],
  everything: 0,
  // Tree answers worked out during scans, rather than named as kept, and calls whose
  // layout answers came from the watch's look (for tests).
  treeAnswersWorked: 0,
  layoutsFromLook: 0,
  // A call stopped at its time limit runs no more of its script, not even a finally
  // block: `applying` is set while the records taken are applied, and a call that
  // finds it set counts everything as changed (what those records said is lost).
  applying: false,
  refresh() {
    if (this.applying) {
      this.tick++;
      this.forgetKept();
    }
    this.applying = true;
    const { records, flooded } = this.watch.take();
    if (flooded || records.length > 0) {
      this.tick++;
      if (flooded) {
        this.forgetKept();
      } else {
        this.applyRecords(records);
      }
    }
    this.applying = false;
  },
  // Everything counts as changed since this tick: no tree answer or path is kept.
  forgetKept() {
    this.everything = this.tick;
    this.kept = { paths: new WeakMap(), indices: new WeakMap() };
  },
  // Marks what each record reached with this tick, and lets go of the kept paths and
  // indices inside every parent whose children changed.
  applyRecords(records) {
    const touch = (node) => {
      const number = node === null || node.nodeType !== 1 ? undefined : this.numbers.get(node);
      if (number !== undefined) {
        this.touched[number] = this.tick;
      }
    };
    const parents = new Set();
    for (const record of records) {
      if (record.type === 'characterData') {
        touch(record.target.parentNode);
      } else {
        touch(record.target);
        if (record.type === 'childList') {
          parents.add(record.target);
        }
      }
    }
    for (const parent of parents) {
      for (const element of parent.querySelectorAll('*')) {
        this.kept.paths.delete(element);
        this.kept.indices.delete(element);
      }
    }
  },
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
  // The elements of queries, and batches of looked-up elements, by the number the
  // caller gave them; numbers are never reused within a tab, so a number from an
  // earlier document finds nothing here.
  groups: new Map(),
  release(id) {
    this.groups.delete(id);
  },
  // While a scan is under way, every element met gets a number of its own (its slot),
  // so that the caller can keep one answer per element for all the groups holding it.
  // `number` tells the scan from an earlier one; null outside a scan.
  scan: null,
  during(number) {
    if (number === null) {
      this.scan = null;
    } else if (this.scan === null || this.scan.number !== number) {
      this.scan = { number, slots: new Map() };
    }
  },
  endScan() {
    this.scan = null;
  },
  slotsOf(elements) {
    if (this.scan === null) {
      return null;
    }
    const slots = this.scan.slots;
    return elements.map((element) => {
      let slot = slots.get(element);
      if (slot === undefined) {
        slot = slots.size;
        slots.set(element, slot);
      }
      return slot;
    });
  },
  // Runs a query, keeps its elements as group `id` and returns a reply: their number
  // and, during scan `scan`, their slots as runs.
  query(selector, id, scan) {
    this.during(scan);
    const found = Array.from(document.querySelectorAll(selector));
    this.groups.set(id, found);
    const slots = this.slotsOf(found);
    return this.reply({ count: found.length, slots: slots === null ? null : this.runsOf(slots) });
  },
  runsOf(numbers) {
    const runs = [];
    for (let i = 0; i < numbers.length; i++) {
      const last = runs.length - 2;
      if (last >= 0 && runs[last] + runs[last + 1] === numbers[i]) {
        runs[last + 1]++;
      } else {
        runs.push(numbers[i], 1);
      }
    }
    return runs;
  },
  fromRuns(runs) {
    const numbers = [];
    for (let i = 0; i + 1 < runs.length; i += 2) {
      for (let n = 0; n < runs[i + 1]; n++) {
        numbers.push(runs[i] + n);
      }
    }
    return numbers;
  },
  // Finds the first element matching `selector` and keeps it in batch `batch`. Returns
  // JSON text: the count (0 or 1) and, when found, its index in the batch, its slot and
  // the answer of its inner text, which is asked of a looked-up element nearly always
  // next. (Its other reads would cost more than a tenth of a millisecond each time.)
  lookUp(selector, batch, scan) {
    this.during(scan);
    const element = document.querySelector(selector);
    if (element === null) {
      return JSON.stringify({ count: 0 });
    }
    return JSON.stringify({ count: 1, ...this.keep(element, batch) });
  },
  keep(element, batch) {
    let kept = this.groups.get(batch);
    if (kept === undefined) {
      kept = [];
      this.groups.set(batch, kept);
    }
    kept.push(element);
    return {
      index: kept.length - 1,
      slot: this.scan === null ? null : this.slotsOf([element])[0],
      text: answer([element], reads.innerText, null),
    };
  },
  // The field-label look-ups of the members of group `id`, made at once, their elements
  // kept in batch `batch`. `ids`: for each member's aria-labelledby that is a plain
  // identifier, the selector "#" + it and what document.querySelector finds for it.
  // `labels`: for each value that a label element's [for="value"] can match without
  // escaping, the first such label in document order; a value missing there has none.
  // Each found element comes as its kept index, slot and inner text answer.
  labels(id, batch, scan) {
    this.during(scan);
    const members = this.groups.get(id) || [];
    const identifier = /^(?:--|-?[A-Za-z_\u0080-\u{10FFFF}])[A-Za-z0-9_\-\u0080-\u{10FFFF}]*$/u;
    const plain = /^[^"\\\n\r\f\0]*$/;
    const found = (element) => (element === null ? null : this.keep(element, batch));
    const ids = new Map();
    for (const member of members) {
      const ref = member.getAttribute('aria-labelledby');
      if (ref !== null && ref.isWellFormed() && identifier.test(ref) && !ids.has('#' + ref)) {
        ids.set('#' + ref, found(document.querySelector('#' + ref)));
      }
    }
    const labels = new Map();
    for (const label of document.querySelectorAll('label[for]')) {
      for (const attribute of label.attributes) {
        const value = attribute.value;
        if (!labels.has(value) && value.isWellFormed() && plain.test(value) &&
            label.matches('label[for="' + value + '"]')) {
          labels.set(value, found(label));
        }
      }
    }
    return this.reply({ ids: [...ids], labels: [...labels] });
  },
  // JSON text of `value` for the caller. The protocol carries text faster than a
  // structured value, and a long text far faster as several small replies than as one:
  // a text longer than a piece is kept here in pieces, the first goes out with its
  // number and their count as {reply, pieces, first}, and the caller asks for the others
  // with piece(). Each cut is moved back from between the halves of a surrogate pair,
  // never splitting a character. The pieces of one reply are kept until the next.
  replies: 0,
  sending: null,
  reply(value) {
    const text = JSON.stringify(value);
    this.sending = null;
    const PIECE = 131072;
    if (text.length <= PIECE) {
      return text;
    }
    const pieces = [];
    for (let start = 0; start < text.length;) {
      let end = Math.min(start + PIECE, text.length);
      const last = text.charCodeAt(end - 1);
      if (end < text.length && last >= 0xd800 && last <= 0xdbff) {
        end--;
      }
      pieces.push(text.slice(start, end));
      start = end;
    }
    this.replies += 1;
    this.sending = { reply: this.replies, pieces };
    return { reply: this.replies, pieces: pieces.length, first: pieces[0] };
  },
  // Piece `k` of reply `reply` (see reply).
  piece(reply, k) {
    if (this.sending === null || this.sending.reply !== reply || !(k >= 1 && k < this.sending.pieces.length)) {
      throw new Error('The rest of the page\'s answer is no longer there.');
    }
    return this.sending.pieces[k];
  },
  // Asks each question, with its own argument from `args`, of the elements of group
  // `id` (`count` of them), or of those at the indices that its runs in `indices` give
  // (null: all), and returns the [answers, errors] pairs as a reply. A group that is not
  // here (from another document) has only elements that are gone.
  // During scan `scan`, a question with [number, boxes, tree] in `carry` is carried over
  // (see carryOver) from scan `carried`, whose answers the caller still holds; with
  // `tree`, its answers are tree answers (see refresh), and those still holding since
  // scan `carried` are named without being asked again (carryKept).
  // During a scan, layout answers come from the change watch's last look while it is
  // still what the page shows (see layoutFrom).
  ask(id, count, questions, args, indices, carry = null, scan = null, carried = null) {
    this.refresh();
    const all = this.groups.get(id) || new Array(count).fill(null);
    const scanning = scan !== null && this.scan !== null && this.scan.number === scan;
    const look = scanning && questions.includes(reads.layout) ? this.watch.currentLook() : null;
    this.layoutsFromLook += look === null ? 0 : 1;
    return this.reply(questions.map((asked, i) => {
      const question = look !== null && asked === reads.layout ? this.layoutFrom(look) : asked;
      const elements = indices[i] === null ? all : this.fromRuns(indices[i]).map((index) => all[index] || null);
      if (!scanning || carry === null || carry[i] === null) {
        return answer(elements, question, args[i]);
      }
      if (carry[i][2] === true) {
        return this.carryKept(carry[i], carried, elements, question, args[i]);
      }
      return this.carryOver(carry[i], carried, elements, answer(elements, question, args[i]));
    }));
  },
  // The layout read (layout.js) answered from `look`, the boxes and computed visibility
  // the watch read of every element: the same answer, read again only for an element the
  // look did not meet or an empty box at the origin (which needs getClientRects).
  layoutFrom(look) {
    return (element) => {
      const i = look.index.get(element);
      if (i === undefined) {
        return reads.layout(element);
      }
      const x = look.boxes[4 * i];
      const y = look.boxes[4 * i + 1];
      const width = look.boxes[4 * i + 2];
      const height = look.boxes[4 * i + 3];
      if (width === 0 && height === 0 && x === 0 && y === 0) {
        return reads.layout(element);
      }
      return [width > 0 && height > 0 && look.styles[2 * i] === 'visible', [x, y, width, height]];
    };
  },
  // carryOver for tree answers: those that still hold since scan `carried` are not asked.
  carryKept(carry, carried, elements, question, arg) {
    const sent = this.columns(carry[0]);
    const kept = new Array(elements.length).fill(false);
    const asked = [];
    const at = [];
    for (let index = 0; index < elements.length; index++) {
      const element = elements[index];
      const number = element === null ? undefined : this.numbers.get(element);
      if (number !== undefined && number < sent.scans.length && sent.scans[number] === carried &&
          sent.ticks[number] >= Math.max(this.touched[number] || 0, this.everything) &&
          element.isConnected && element.getRootNode() === document && this.scan.slots.has(element)) {
        kept[index] = true;
      } else {
        asked.push(element);
        at.push(index);
      }
    }
    this.treeAnswersWorked += asked.length;
    const [some, someErrors] = answer(asked, question, arg);
    const answers = new Array(elements.length).fill(null);
    const errors = {};
    for (let k = 0; k < at.length; k++) {
      answers[at[k]] = some[k];
      if (k in someErrors) {
        errors[at[k]] = someErrors[k];
      }
    }
    return this.carryOver(carry, carried, elements, [answers, errors], kept);
  },
  // For each carried question (by the caller's number for it), the last answer given of
  // each element during a scan, in columns by the element's number (numberOf): the
  // answer itself, the scan (-1: none) and the element's slot in it. Most
  // of a page is unchanged from one scan to the next, and carrying an answer through the
  // protocol costs more than working it out. Columns, not an object per answer in a weak
  // map per question, spare the garbage collector most of the work on large pages.
  sent: new Map(),
  // A number for each element that an answer was carried for, never reused. The columns
  // keep the answers of elements since removed: once the numbers outgrow twice the
  // elements a scan meets, they all start again (the next scan carries nothing).
  // The columns also keep the tick (see refresh) at which each answer was worked out.
  numbers: new WeakMap(),
  numbered: 0,
  met: 0,
  numberOf(element) {
    let number = this.numbers.get(element);
    if (number === undefined) {
      number = this.numbered++;
      this.numbers.set(element, number);
    }
    return number;
  },
  // The columns of carried question `key`, after starting all of them again if the
  // numbers have outgrown their bound.
  columns(key) {
    this.met = Math.max(this.met, this.scan.slots.size);
    if (this.numbered > 2 * this.met + 4096) {
      this.sent = new Map();
      this.numbers = new WeakMap();
      this.numbered = 0;
      this.touched = [];
    }
    let sent = this.sent.get(key);
    if (sent === undefined) {
      sent = { values: [], scans: [], slots: [], ticks: [] };
      this.sent.set(key, sent);
    }
    return sent;
  },
  // Turns [answers, errors] into [others, errors, same]. An element whose answer is the
  // one it gave in scan `carried` is left out of `others` (the answers of the rest, in
  // order) and named in `same`, runs of [index, its slot in that scan, count, dx, dy]
  // along which index and slot both grow by one. With `boxes` (layout answers, [visible,
  // [x, y, width, height]]), an answer that differs only by a move of its box also
  // counts: the earlier box plus (dx, dy) gives exactly the new one. Otherwise dx and dy
  // are 0. With `kept`, the elements at the indices it marks are named as they were
  // (see carryKept), and the answers given for them are not looked at.
  carryOver([key, boxes], carried, elements, [answers, errors], kept = null) {
    const sent = this.columns(key);
    const numbers = (box) => Array.isArray(box) && box.length === 4 && box.every(Number.isFinite);
    const others = [];
    const same = [];
    for (let index = 0; index < elements.length; index++) {
      const element = elements[index];
      const slot = element === null ? undefined : this.scan.slots.get(element);
      const value = answers[index];
      if (index in errors || slot === undefined) {
        const number = element === null ? undefined : this.numbers.get(element);
        if (number !== undefined && number < sent.scans.length) {
          sent.scans[number] = -1;
        }
        others.push(value);
        continue;
      }
      const number = this.numberOf(element);
      while (sent.scans.length <= number) {
        sent.values.push(null);
        sent.scans.push(-1);
        sent.slots.push(0);
        sent.ticks.push(0);
      }
      if (kept !== null && kept[index]) {
        this.name(same, index, sent.slots[number], 0, 0);
        sent.scans[number] = this.scan.number;
        sent.slots[number] = slot;
        continue;
      }
      let named = false;
      let dx = 0;
      let dy = 0;
      if (sent.scans[number] === carried) {
        const before = sent.values[number];
        if (this.sameAnswer(value, before)) {
          named = true;
        } else if (boxes && Array.isArray(value) && value.length === 2 && Array.isArray(before) &&
                   value[0] === before[0] && numbers(value[1]) && numbers(before[1])) {
          const [x, y, width, height] = value[1];
          const [bx, by, bwidth, bheight] = before[1];
          dx = x - bx;
          dy = y - by;
          named = width === bwidth && height === bheight && bx + dx === x && by + dy === y;
        }
      }
      if (!named) {
        others.push(value);
      } else {
        this.name(same, index, sent.slots[number], dx, dy);
      }
      sent.values[number] = value;
      sent.scans[number] = this.scan.number;
      sent.slots[number] = slot;
      sent.ticks[number] = this.tick;
    }
    return [others, errors, same];
  },
  // Whether answers `a` and `b` are sent as the same JSON text: equal strings, numbers,
  // booleans or nulls, or arrays or objects whose members are, in the same order.
  // (Answers are what answer.js makes: no other kinds of value, no cycles.) Comparing
  // them spares turning every answer of every scan into text to keep.
  sameAnswer(a, b) {
    if (a === b) {
      return true;
    }
    if (typeof a !== 'object' || typeof b !== 'object' || a === null || b === null ||
        Array.isArray(a) !== Array.isArray(b)) {
      return false;
    }
    if (Array.isArray(a)) {
      if (a.length !== b.length) {
        return false;
      }
      for (let i = 0; i < a.length; i++) {
        if (!this.sameAnswer(a[i], b[i])) {
          return false;
        }
      }
      return true;
    }
    const keys = Object.keys(a);
    const others = Object.keys(b);
    if (keys.length !== others.length) {
      return false;
    }
    for (let i = 0; i < keys.length; i++) {
      if (keys[i] !== others[i] || !this.sameAnswer(a[keys[i]], b[keys[i]])) {
        return false;
      }
    }
    return true;
  },
  // Adds the element at `index`, slot `slotThen` in the carried scan, to the runs `same`.
  name(same, index, slotThen, dx, dy) {
    const last = same.length - 5;
    if (last >= 0 && same[last] + same[last + 2] === index && same[last + 1] + same[last + 2] === slotThen &&
        same[last + 3] === dx && same[last + 4] === dy) {
      same[last + 2]++;
    } else {
      same.push(index, slotThen, 1, dx, dy);
    }
  },
  // The change stamp: see watch.js.
  watch: watch(),
  stamp(full) {
    return this.watch.stamp(full);
  },
  stampDeferring() {
    return this.watch.stampDeferring();
  },
})
