// Whether the element has a text node child with more than white space: the scanner's
// own answer, walking the children in place instead of copying them into an array
// first, which costs several times as much over the thousands of a scan's text group.
(element) => {
  for (let node = element.firstChild; node !== null; node = node.nextSibling) {
    if (node.nodeType === 3 && node.textContent.trim().length > 0) {
      return true;
    }
  }
  return false;
}
