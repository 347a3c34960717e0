(el) => {
  // Positional path from the root element down, e.g. /html[1]/body[1]/div[2]/a[1]. The
  // index counts earlier siblings of the same tag only and is written even when it is 1.
  const steps = [];
  for (let node = el; node && node.nodeType === 1; node = node.parentElement) {
    let idx = 1;
    for (let sib = node.previousElementSibling; sib; sib = sib.previousElementSibling) {
      if (sib.tagName === node.tagName) idx += 1;
    }
    steps.unshift(node.tagName.toLowerCase() + '[' + idx + ']');
  }
  return '/' + steps.join('/');
}
