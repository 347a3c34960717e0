// The rendered text; elements outside HTML (SVG, MathML) have no innerText and give
// their text content.
(element) => {
  const text = typeof element.innerText === 'string' ? element.innerText : element.textContent;
  return text === null || text === undefined ? '' : text;
}
