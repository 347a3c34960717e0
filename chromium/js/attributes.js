// Every attribute of the element, in order, for answering getAttribute of any name
// later: [html, [name, value, name, value, ...]]. `html` tells that names are matched
// after ASCII lower-casing, as getAttribute does for an HTML element in an HTML
// document. A value longer than `limit` characters (a data: URL, say) is given as null,
// to be read alone if it is asked for.
(element, limit) => {
  const pairs = [];
  for (const attribute of element.attributes) {
    pairs.push(attribute.name, attribute.value.length > limit ? null : attribute.value);
  }
  const html = element.namespaceURI === 'http://www.w3.org/1999/xhtml' &&
    element.ownerDocument.contentType === 'text/html';
  return [html, pairs];
}
