// The page-side half of acting, run in the tab's isolated world (so the page's own
// scripts cannot replace the built-ins it uses) with its arguments as call arguments.
// The element is found again by its xpath on every call. Answers are objects with a
// `status`: "ok", "blocked" (not now, with a `reason`) or "unsuitable" (never).
//
//   spot(mode)         where to put the pointer for an act (mode: click, hover, type,
//                      select, check), once the element holds still: the same box in two
//                      consecutive animation frames (or as `previous`, a box an earlier
//                      call gave) and, but for select, receiving the pointer there;
//                      waits up to `budget` ms. Answers x, y and the box.
//   fill               focuses the field and selects what it holds, so that inserted
//                      text replaces it.
//   choose(option)     picks the option of a drop-down list and fires input and change.
//   checked(wanted)    the checked state of a check box, radio, switch or the control a
//                      label stands for, and whether it is a radio; with `wanted`, waits
//                      up to `budget` ms for it.
async (operation, xpath, argument, budget, previous) => {
  // Only the tab's own world has the helpers: a world that lacks them is not ours.
  if (typeof __quillfen === 'undefined') {
    throw new ReferenceError('__quillfen is not defined');
  }
  const isBox = (node) => node instanceof HTMLInputElement &&
    (node.type === 'checkbox' || node.type === 'radio');
  const describe = (node) => {
    if (!node || !node.tagName) return 'nothing';
    // A check box's value is what a form sends, not what a person sees.
    const value = isBox(node) ? '' : node.value;
    const text = (node.innerText || value || node.getAttribute('aria-label') || '')
      .trim().replace(/\s+/g, ' ');
    return '<' + node.tagName.toLowerCase() + (node.id ? '#' + node.id : '') + '>' +
      (text ? " '" + (text.length > 40 ? text.slice(0, 40) + '...' : text) + "'" : '');
  };
  const blocked = (reason) => ({status: 'blocked', reason});
  const unsuitable = (reason) => ({status: 'unsuitable', reason});
  const find = () => {
    const node = document.evaluate(xpath, document, null,
      XPathResult.FIRST_ORDERED_NODE_TYPE, null).singleNodeValue;
    return node instanceof Element ? node : null;
  };
  const gone = () => blocked('the element ' + xpath + ' is gone from the page');
  // Resolves true after the next animation frame, or false when none came within 100 ms
  // (a tab that is not shown draws none; a busy machine draws late).
  const frame = () => new Promise((resolve) => {
    requestAnimationFrame(() => resolve(true));
    setTimeout(() => resolve(false), 100);
  });
  // Frames missed in a row after which a tab counts as drawing none.
  const STARVED = 3;
  const disabled = (node) => node.matches(':disabled') || node.getAttribute('aria-disabled') === 'true';

  const CHECKABLE_ROLES = ['switch', 'checkbox', 'radio', 'menuitemcheckbox', 'menuitemradio'];
  // The control whose state an element stands for, and how to read that state.
  const checkable = (node) => {
    if (isBox(node)) return {control: node, read: () => node.checked};
    if (node instanceof HTMLLabelElement && node.control && isBox(node.control)) {
      const control = node.control;
      return {control, read: () => control.checked};
    }
    const role = (node.getAttribute('role') || '').trim().toLowerCase();
    if (CHECKABLE_ROLES.includes(role) && node.hasAttribute('aria-checked')) {
      return {control: node, read: () => node.getAttribute('aria-checked') === 'true'};
    }
    return null;
  };
  // A radio is cleared only by choosing another of its group.
  const isRadio = (node) => (node instanceof HTMLInputElement && node.type === 'radio') ||
    ['radio', 'menuitemradio'].includes((node.getAttribute('role') || '').trim().toLowerCase());
  const notCheckable = (node) => unsuitable(describe(node) + ' is not a check box, radio or switch');

  // The part of the element's first drawn box that lies in the window.
  const inWindow = (node) => {
    for (const rect of node.getClientRects()) {
      if (rect.width <= 0 || rect.height <= 0) continue;
      const left = Math.max(rect.left, 0);
      const top = Math.max(rect.top, 0);
      const right = Math.min(rect.right, innerWidth);
      const bottom = Math.min(rect.bottom, innerHeight);
      if (right > left && bottom > top) return {left, top, right, bottom};
    }
    return null;
  };
  const hasBox = (node) => {
    const box = node.getBoundingClientRect();
    return box.width > 0 && box.height > 0 && getComputedStyle(node).visibility === 'visible';
  };

  // Where the act goes now, or why it cannot go there now.
  const locate = (mode) => {
    let element = find();
    if (!element) return gone();
    if ((mode === 'type' || mode === 'select') && element instanceof HTMLLabelElement && element.control) {
      element = element.control;
    }
    // The element the pointer goes to, and the one whose state the act changes.
    let target = element;
    if (mode === 'type') {
      const inputTypes = ['button', 'submit', 'reset', 'checkbox', 'radio', 'file', 'image',
        'hidden', 'range', 'color'];
      const editable = element.isContentEditable || element.tagName === 'TEXTAREA' ||
        (element.tagName === 'INPUT' && !inputTypes.includes(element.type));
      if (!editable) return unsuitable(describe(element) + ' is not a field one can type into');
      if (element.readOnly) return blocked(describe(element) + ' is read-only');
    }
    if (mode === 'select' && element.tagName !== 'SELECT') {
      return unsuitable(describe(element) + ' is not a drop-down list');
    }
    if (mode === 'check') {
      const found = checkable(element);
      if (!found) return notCheckable(element);
      element = found.control;
      // A check box drawn by its label (the box itself hidden) is clicked through it.
      if (target === element && !hasBox(element)) {
        target = [...(element.labels || [])].find(hasBox) || element;
      }
    }
    if (mode !== 'hover' && disabled(element)) return blocked(describe(element) + ' is disabled');
    const box = target.getBoundingClientRect();
    if (box.width === 0 || box.height === 0 || getComputedStyle(target).visibility !== 'visible') {
      return blocked(describe(target) + ' is not visible');
    }
    if (box.top < 0 || box.left < 0 || box.bottom > innerHeight || box.right > innerWidth) {
      target.scrollIntoView({block: 'center', inline: 'center', behavior: 'instant'});
    }
    const part = inWindow(target);
    if (!part) return blocked(describe(target) + ' is outside the window');
    const x = (part.left + part.right) / 2;
    const y = (part.top + part.bottom) / 2;
    const now = target.getBoundingClientRect();
    const answer = {status: 'ok', x, y, box: [now.left, now.top, now.width, now.height], name: describe(target)};
    if (mode === 'select') return answer;
    const hit = document.elementFromPoint(x, y);
    if (!hit) return blocked(describe(target) + ' is outside the window');
    const label = hit.closest('label');
    const reaches = hit === target || target.contains(hit) || hit === element || element.contains(hit) ||
      (label && (label.control === element || label === target));
    if (!reaches) return blocked(describe(target) + ' is covered by ' + describe(hit));
    return answer;
  };

  // Animations move boxes only from one frame to the next: two reads with no frame
  // between them show the same box even while the element moves, so a box counts as
  // held only across a frame (the earlier call that gave `previous` waited for one), or
  // once the tab has drawn no frame for a while.
  const spot = async (mode) => {
    const started = performance.now();
    let last = Array.isArray(previous) ? previous.join() : null;
    let framed = true;
    let missed = 0;
    for (;;) {
      const found = locate(mode);
      if (found.status === 'unsuitable') return found;
      if (found.status === 'ok') {
        const box = found.box.join();
        if (box === last && (framed || missed >= STARVED)) return found;
        last = box;
      } else {
        last = null;
      }
      if (performance.now() - started >= budget) {
        return found.status === 'ok' ? blocked(found.name + ' is still moving') : found;
      }
      framed = await frame();
      missed = framed ? 0 : missed + 1;
    }
  };

  const fill = () => {
    let element = find();
    if (!element) return gone();
    if (element instanceof HTMLLabelElement && element.control) element = element.control;
    element.focus();
    if (typeof element.select === 'function') {
      element.select();
    } else {
      const range = document.createRange();
      range.selectNodeContents(element);
      const selection = getSelection();
      selection.removeAllRanges();
      selection.addRange(range);
    }
    return {status: 'ok'};
  };

  const choose = (option) => {
    let element = find();
    if (!element) return blocked('the drop-down list is gone from the page');
    if (element instanceof HTMLLabelElement && element.control) element = element.control;
    const wanted = option.trim().toLowerCase();
    const options = [...element.options];
    const label = (item) => (item.label || item.textContent).trim();
    const pick = options.find((item) => label(item).toLowerCase() === wanted) ||
      options.find((item) => item.value.toLowerCase() === wanted) ||
      options.find((item) => label(item).toLowerCase().includes(wanted));
    if (!pick) {
      return unsuitable("the list has no option '" + option.trim() + "' (its options: " +
        options.map(label).join(', ') + ')');
    }
    element.focus();
    if (element.multiple) pick.selected = true; else element.selectedIndex = pick.index;
    element.dispatchEvent(new Event('input', {bubbles: true}));
    element.dispatchEvent(new Event('change', {bubbles: true}));
    return {status: 'ok'};
  };

  const checked = async (wanted) => {
    const started = performance.now();
    for (;;) {
      const element = find();
      if (!element) return gone();
      const found = checkable(element);
      if (!found) return notCheckable(element);
      const state = found.read();
      if (typeof wanted !== 'boolean' || state === wanted || performance.now() - started >= budget) {
        return {status: 'ok', checked: state, name: describe(found.control), radio: isRadio(found.control)};
      }
      await frame();
    }
  };

  switch (operation) {
    case 'spot': return spot(argument);
    case 'fill': return fill();
    case 'choose': return choose(argument);
    case 'checked': return checked(argument);
    default: throw new Error('no such act: ' + operation);
  }
}
