el => Array.from(el.childNodes).some(n => n.nodeType === 3 && n.textContent.trim().length > 0)
