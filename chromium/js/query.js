// Runs a query and returns [summary, elements]. The summary is JSON text: the number
// of elements and, for a single-element query, the answers of `firstQuestion`, which
// is asked of a looked-up element nearly always next, so it comes back with the query.
(selector, firstOnly, firstQuestion, answer) => {
  const found = firstOnly
    ? [document.querySelector(selector)].filter((element) => element !== null)
    : Array.from(document.querySelectorAll(selector));
  const summary = { count: found.length };
  if (firstOnly && found.length === 1) {
    summary.first = answer(found, firstQuestion, null);
  }
  return [JSON.stringify(summary), found];
}
