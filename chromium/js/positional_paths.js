// Positional paths (/html[1]/body[1]/div[2]/a[1]) of many elements in one pass: the
// same strings as the scanner's per-element path script, which walks every earlier
// sibling of every step and so grows with the square of a long list's length. Here the
// children of each parent are counted once and each element's path is built once, on
// its parent's. Made afresh for every call: what it remembers holds only while no
// script can change the document.
// Each answer is given as "N:rest": the first N characters of the previous answer of
// the same call, then `rest` (N counts only a prefix of ASCII characters, which are
// one byte each on the caller's side too). Paths of neighbours share most of their
// length, and the page's answer is a few times shorter. With `plain`, the path maker
// gives the whole paths, for other page scripts that write records as the scan does.
// With `kept` ({paths, indices}, weak maps that a caller keeps between calls and clears
// of what a change in the tree may have moved), the paths and indices of elements in the
// document's own tree are kept there; those inside shadow trees or outside the document
// are not (nothing watches them).
(plain = false, kept = null) => {
  const indices = new Map();
  const paths = new Map();
  // The element's index among its parent's children of the same tag name, counted for
  // all those children at once. A node without a parent has no earlier siblings.
  const indexOf = (node, within) => {
    let index = within.get(node);
    if (index === undefined) {
      const parent = node.parentNode;
      if (parent === null) {
        return 1;
      }
      const counts = new Map();
      for (let child = parent.firstElementChild; child !== null; child = child.nextElementSibling) {
        const count = (counts.get(child.tagName) || 0) + 1;
        counts.set(child.tagName, count);
        within.set(child, count);
      }
      index = within.get(node);
    }
    return index;
  };
  let previous = '';
  const shortened = (path) => {
    const limit = Math.min(path.length, previous.length);
    let shared = 0;
    while (shared < limit && path.charCodeAt(shared) === previous.charCodeAt(shared) &&
           path.charCodeAt(shared) < 128) {
      shared++;
    }
    previous = path;
    return shared + ':' + path.slice(shared);
  };
  const pathOf = (element) => {
    // The steps not known yet, from the element up to the first ancestor whose path is
    // known (or the top); then built downwards, without recursion on deep documents.
    const pending = [];
    let node = element;
    let path = '';
    let rooted = false;
    while (node !== null && node.nodeType === 1) {
      const known = kept === null ? undefined : kept.paths.get(node);
      if (known !== undefined) {
        path = known;
        rooted = true;
        break;
      }
      const made = paths.get(node);
      if (made !== undefined) {
        path = made;
        break;
      }
      pending.push(node);
      node = node.parentElement;
    }
    if (node === null && pending.length > 0) {
      rooted = kept !== null && pending[pending.length - 1].parentNode === document;
    }
    const pathsHere = rooted ? kept.paths : paths;
    const indicesHere = rooted ? kept.indices : indices;
    for (let i = pending.length - 1; i >= 0; i--) {
      const step = pending[i];
      path += '/' + step.tagName.toLowerCase() + '[' + indexOf(step, indicesHere) + ']';
      pathsHere.set(step, path);
    }
    return path;
  };
  if (plain) {
    return pathOf;
  }
  // Made well formed here, as the answer would be, so that both sides agree on what the
  // previous answer was.
  return (element) => shortened(pathOf(element).toWellFormed());
}
