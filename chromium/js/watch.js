// The change watch: stamp(full) returns "token:generation", where the generation grows
// whenever anything that a page scan reads may have changed since the previous stamp,
// and the token is new for every document (and world). A scan reads the document's
// nodes, attributes and text, and, through style and layout, each element's box,
// whether it is visible, its rendered text and its cursor. What the watch keeps:
// - a mutation observer on the document and on every open shadow root it has met; the
//   records still pending are taken at each stamp, so none is missed for being late;
// - the address, the viewport's size, the device pixel ratio and the window's scroll
//   offsets, and the scroll offsets of every scroll container whose content overflows;
// - whether an animation or transition is running (then every stamp is a change);
// - the look of the page: every element's box and computed visibility and cursor, the
//   elements that can scroll, and the rendered text of the whole document (which also
//   shows text changes that no observer sees, in closed shadow roots).
// The look is costly on a big page, and is taken again only when `full` is asked (the
// caller does that when the browser's counts of style and layout passes have moved
// since the previous stamp: without a style or layout pass, no box, computed style or
// rendered text can have changed), or when something cheaper already changed. Every
// stamp first brings style and layout up to date, so that the counts read after it
// include any change made before it.
// The observer's records are also kept for take(), which tells the helpers what changed
// in the tree since it was last called (see refresh in helpers.js).
// currentLook() lends the last look to a read that follows it at once (the scan after a
// stamp that looked): its boxes and visibility are what the read would find, as long as
// nothing could have moved them since. Nothing could when no mutation record came, no
// input reached the page (events that an act causes, caught on their way in), the
// address, viewport and scroll offsets are the look's, and nothing is animated. Else it
// lends nothing. (A change that none of these shows, such as a font that finished
// loading, leaves the read as the page was at the stamp, and the next stamp's look sees
// the difference.)
() => {
  const options = { subtree: true, childList: true, attributes: true, characterData: true };
  const state = {
    token: Math.random().toString(36).slice(2) + '-' + Date.now().toString(36),
    generation: 0,
    changed: true,
    observer: null,
    observed: new WeakSet(),
    place: null,
    offsets: null,
    look: null,
    // Records not taken yet; past RECORDS_KEPT of them only that there were too many.
    records: [],
    flooded: false,
    // Whether no record or input came since the look was taken.
    lookCurrent: false,
  };
  // Events of input reaching the page, or of what it set off: any of them may change
  // styles (hover, focus, active) or layout without a mutation record.
  const INPUT_EVENTS = ['pointermove', 'pointerdown', 'pointerup', 'mousemove', 'mousedown', 'mouseup', 'mouseover',
    'mouseout', 'click', 'dblclick', 'contextmenu', 'keydown', 'keyup', 'beforeinput', 'input', 'change', 'focusin',
    'focusout', 'wheel', 'scroll', 'resize', 'touchstart', 'touchmove', 'touchend', 'dragstart', 'drop', 'select',
    'compositionend'];
  const unlook = () => {
    state.lookCurrent = false;
  };
  const RECORDS_KEPT = 10000;
  const keep = (records) => {
    if (records.length > 0) {
      state.lookCurrent = false;
    }
    if (state.flooded || records.length === 0) {
      return;
    }
    if (state.records.length + records.length > RECORDS_KEPT) {
      state.flooded = true;
      state.records = [];
      return;
    }
    // Flooded until all are kept: a call stopped at its time limit part way through
    // would otherwise lose the rest, which the observer no longer holds.
    state.flooded = true;
    for (const record of records) {
      state.records.push(record);
    }
    state.flooded = false;
  };
  const start = () => {
    if (state.observer === null) {
      state.observer = new MutationObserver((records) => {
        state.changed = true;
        keep(records);
      });
      for (const type of INPUT_EVENTS) {
        addEventListener(type, unlook, { capture: true, passive: true });
      }
    }
    observe(document);
  };
  // The records the observer holds, kept; they count as a change for the next stamp.
  const pending = () => {
    const records = state.observer.takeRecords();
    if (records.length > 0) {
      state.changed = true;
    }
    keep(records);
  };
  const animated = () =>
    document.getAnimations().some((animation) => animation.pending || animation.playState === 'running');
  const observe = (root) => {
    if (!state.observed.has(root)) {
      state.observed.add(root);
      state.observer.observe(root, options);
    }
  };
  const placeNow = () => [location.href, innerWidth, innerHeight, devicePixelRatio, scrollX, scrollY].join(' ');
  const offsetsOf = (scrollers) => scrollers.map((element) => element.scrollTop + ' ' + element.scrollLeft).join(',');
  const scrolls = (overflow) => overflow !== 'visible' && overflow !== 'clip';
  // Every element of the document and of the open shadow trees inside it.
  const lookNow = () => {
    const elements = [];
    const boxes = [];
    const styles = [];
    const scrollers = [];
    const visit = (root) => {
      for (const element of root.querySelectorAll('*')) {
        elements.push(element);
        const box = element.getBoundingClientRect();
        boxes.push(box.x, box.y, box.width, box.height);
        const style = getComputedStyle(element);
        styles.push(style.visibility, style.cursor);
        // Only a scroll container has offsets of its own (the document's are the
        // window's): its size is read only then, which spares most elements four
        // layout reads.
        if (scrolls(style.overflowX) || scrolls(style.overflowY)) {
          if (element.scrollHeight > element.clientHeight || element.scrollWidth > element.clientWidth) {
            scrollers.push(element);
          }
        }
        if (element.shadowRoot !== null) {
          observe(element.shadowRoot);
          visit(element.shadowRoot);
        }
      }
    };
    visit(document);
    const look = { elements, boxes, styles, scrollers, text: document.body === null ? '' : document.body.innerText };
    look.place = placeNow();
    look.offsets = offsetsOf(scrollers);
    // Each element's position in `elements`, made when a read first borrows the look.
    look.index = null;
    state.lookCurrent = true;
    return look;
  };
  const same = (a, b) => {
    if (a.text !== b.text || a.boxes.length !== b.boxes.length || a.styles.length !== b.styles.length) {
      return false;
    }
    for (let i = 0; i < a.boxes.length; i++) {
      if (!Object.is(a.boxes[i], b.boxes[i])) {
        return false;
      }
    }
    for (let i = 0; i < a.styles.length; i++) {
      if (a.styles[i] !== b.styles[i]) {
        return false;
      }
    }
    return true;
  };
  return {
    // With `defer`, a stamp that would look at the page (something cheaper changed, or
    // there is no look yet) counts the change but leaves the look to a full stamp that
    // the caller makes next, and returns [stamp, true]; otherwise [stamp, false]. A
    // stamp after a change then looks at the page once, not twice.
    stampDeferring() {
      return this.stamp(false, true);
    },
    // The mutation records since the last take, as {records, flooded}: with `flooded`,
    // there were too many to keep, and the records are not the whole story. The first
    // take starts the observer: nothing before it is told. Records taken here still
    // count as a change for the next stamp.
    take() {
      start();
      pending();
      const taken = { records: state.records, flooded: state.flooded };
      state.records = [];
      state.flooded = false;
      return taken;
    },
    // The last look, with `index` (element → its position), when it is still what the
    // page shows (see above); else null.
    currentLook() {
      if (state.observer === null || state.look === null) {
        return null;
      }
      pending();
      const look = state.look;
      if (!state.lookCurrent || placeNow() !== look.place || offsetsOf(look.scrollers) !== look.offsets || animated()) {
        return null;
      }
      if (look.index === null) {
        look.index = new Map();
        for (let i = 0; i < look.elements.length; i++) {
          look.index.set(look.elements[i], i);
        }
      }
      return look;
    },
    stamp(full, defer = false) {
      start();
      if (document.documentElement !== null) {
        document.documentElement.getBoundingClientRect();
      }
      pending();
      let changed = state.changed || animated();
      const place = placeNow();
      changed = changed || place !== state.place || (state.look !== null && offsetsOf(state.look.scrollers) !== state.offsets);
      if (defer && (changed || state.look === null)) {
        if (changed) {
          unlook();
        }
        state.place = place;
        state.changed = false;
        if (changed) {
          state.generation += 1;
        }
        return [state.token + ':' + state.generation, true];
      }
      if (full || changed || state.look === null) {
        const look = lookNow();
        changed = changed || state.look === null || !same(state.look, look);
        state.look = look;
      }
      state.place = place;
      state.offsets = offsetsOf(state.look.scrollers);
      state.changed = false;
      if (changed) {
        state.generation += 1;
      }
      const stamp = state.token + ':' + state.generation;
      return defer ? [stamp, false] : stamp;
    },
  };
}
