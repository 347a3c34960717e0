// Runs the page scanner's page-side scripts in node against a tiny DOM stand-in, so a
// syntax error or a wrong walk fails here rather than in a browser test.
// Usage: node page_scanner_scripts_test.js <engine/browser/scripts> [<chromium/js>]
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');

const dir = process.argv[2];
const driverDir = process.argv[3];
const load = (name, from = dir) => {
  const source = fs.readFileSync(path.join(from, name + '.js'), 'utf8');
  return (0, eval)('(' + source + ')');
};

class Text {
  constructor(data) {
    this.nodeType = 3;
    this.textContent = data;
  }
}

// An element: tag, own text (a text node before the children), attributes in order,
// the cursor it sets ('' inherits), its rectangle, and child elements.
class El {
  constructor(tag, { text = '', attrs = [], cursor = '', rect = [0, 0, 10, 10], className } = {}, children = []) {
    this.nodeType = 1;
    this.tagName = tag.toUpperCase();
    this.parentElement = null;
    this.childNodes = text ? [new Text(text)] : [];
    this.children = [];
    this.attributes = attrs.map(([name, value]) => ({ name, value }));
    this.cursor = cursor;
    this.rect = rect;
    this.className = className !== undefined ? className : this.getAttribute('class') || '';
    for (const child of children) this.append(child);
  }
  append(child) {
    child.parentElement = this;
    this.children.push(child);
    this.childNodes.push(child);
  }
  get previousElementSibling() {
    if (!this.parentElement) return null;
    const siblings = this.parentElement.children;
    const i = siblings.indexOf(this);
    return i > 0 ? siblings[i - 1] : null;
  }
  get nextElementSibling() {
    if (!this.parentElement) return null;
    const siblings = this.parentElement.children;
    return siblings[siblings.indexOf(this) + 1] || null;
  }
  get parentNode() { return this.parentElement; }
  get firstElementChild() { return this.children[0] || null; }
  get textContent() { return this.childNodes.map((n) => n.textContent).join(''); }
  get innerText() { return this.textContent; }
  getAttribute(name) {
    const a = this.attributes.find((x) => x.name === name);
    return a ? a.value : null;
  }
  descendants() { return this.children.flatMap((c) => [c, ...c.descendants()]); }
  querySelectorAll(selector) {
    if (selector === '*') return this.descendants();
    const tags = selector.split(',').map((s) => s.trim().toUpperCase());
    return this.descendants().filter((e) => tags.includes(e.tagName));
  }
  getBoundingClientRect() {
    const [x, y, width, height] = this.rect;
    return { x, y, width, height };
  }
}

const page = (body) => {
  const html = new El('html', {}, [body]);
  globalThis.document = { querySelectorAll: (s) => html.querySelectorAll(s) };
  globalThis.window = {
    getComputedStyle: (el) => {
      let e = el;
      while (e && !e.cursor) e = e.parentElement;
      return { cursor: e ? e.cursor : 'auto' };
    },
  };
  return html;
};

const tagName = load('tag_name');
const dataAttributes = load('data_attributes');
const directText = load('direct_text');
const xpath = load('xpath');
const previousSibling = load('previous_sibling_label');
const parentChildren = load('parent_children_label');
const cursorPointer = load('cursor_pointer');

// Tag name, data attributes, direct text.
{
  const el = new El('BUTTON', { attrs: [['data-qa', 'q'], ['id', 'x'], ['data-testid', 't']] });
  assert.equal(tagName(el), 'button');
  assert.deepEqual(Object.entries(dataAttributes(el)), [['data-qa', 'q'], ['data-testid', 't']]);
  assert.equal(directText(new El('div', { text: ' \n ' }, [new El('span', { text: 'x' })])), false);
  assert.equal(directText(new El('div', { text: 'Total:' }, [new El('span', { text: '$5' })])), true);
}

// Positional paths count same-tag earlier siblings only.
{
  const link = new El('a');
  const body = new El('body', {}, [new El('div'), new El('p'), new El('div', {}, [link])]);
  page(body);
  assert.equal(xpath(link), '/html[1]/body[1]/div[2]/a[1]');
  assert.equal(xpath(body), '/html[1]/body[1]');
}

// Previous-sibling labels: nearest first, own text or first child, under 50 characters.
{
  const label = (siblings) => {
    const field = new El('input');
    new El('form', {}, [...siblings, field]);
    return previousSibling(field);
  };
  assert.equal(label([new El('span', { text: ' Name ' })]), 'Name');
  assert.equal(label([new El('span', { text: 'Short' }), new El('span', { text: 'x'.repeat(50) })]), 'Short');
  assert.equal(label([new El('span', { text: 'y'.repeat(49) })]), 'y'.repeat(49));
  assert.equal(label([new El('div', {}, [new El('b', { text: ' Email ' })])]), 'Email');
  assert.equal(label([new El('div', {}, [new El('span'), new El('em', { text: 'Age' })])]), null);
  assert.equal(label([]), null);
  assert.equal(previousSibling(new El('input')), null);
}

// Parent-children labels: earlier children from the first, whole text content.
{
  const field = new El('input');
  new El('div', {}, [new El('span'), new El('div', {}, [new El('span'), new El('em', { text: 'Age' })]), field,
    new El('span', { text: 'After' })]);
  assert.equal(parentChildren(field), 'Age');
  const alone = new El('input');
  new El('div', {}, [alone, new El('span', { text: 'After' })]);
  assert.equal(parentChildren(alone), null);
  assert.equal(parentChildren(new El('input')), null);
}

// Pointer elements.
{
  const many = (n) => Array.from({ length: n }, () => new El('i'));
  const inner = new El('span', { text: 'Sign up', rect: [2.5, 3.49, 10.5, 20] });
  const body = new El('body', {}, [
    new El('div', { cursor: 'pointer', rect: [0.4, 10.5, 99.5, 30.49], attrs: [['aria-label', 'Join']] }, [inner]),
    new El('div', { text: 'Plain', rect: [0, 0, 50, 20] }),
    new El('li', { text: 'z'.repeat(60), cursor: 'pointer' }),
    new El('li', { text: 'z'.repeat(61), cursor: 'pointer' }),
    new El('td', { text: 'Ten', cursor: 'pointer' }, many(10)),
    new El('td', { text: 'Eleven', cursor: 'pointer' }, many(11)),
    new El('div', { text: 'Flat', cursor: 'pointer', rect: [0, 0, 10, 0] }),
    new El('div', { text: 'Svg', cursor: 'pointer', className: { baseVal: 'icon' } }),
    new El('a', { text: 'Link', cursor: 'pointer' }),
  ]);
  page(body);
  const items = cursorPointer();
  assert.deepEqual(items.map((i) => i.text), ['Sign up', 'Sign up', 'z'.repeat(60), 'Ten', 'Svg']);
  assert.deepEqual(items[0], {
    tag: 'div', text: 'Sign up', xpath: '/html[1]/body[1]/div[1]', x: 0, y: 11, w: 100, h: 30, cls: '', aria: 'Join',
  });
  assert.deepEqual([items[1].x, items[1].y, items[1].w, items[1].h], [3, 3, 11, 20]);
  assert.equal(items[1].xpath, xpath(inner));
  assert.equal(items[4].cls, '');
}

// The one-pass paths of the pointer script (and of the driver, when its scripts are
// given) are the per-element script's, on a random tree whose siblings share tags,
// including tags that differ in case only (an svg beside an SVG element).
{
  let seed = 7;
  const random = (n) => {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return seed % n;
  };
  const tags = ['DIV', 'SPAN', 'LI', 'TD', 'svg', 'SVG'];
  const all = [];
  const grow = (depth) => {
    const children = [];
    for (let n = depth > 4 ? 0 : random(7); n > 0; n--) children.push(grow(depth + 1));
    const el = new El('div', { text: 'x', cursor: 'pointer' }, children);
    el.tagName = tags[random(tags.length)];
    all.push(el);
    return el;
  };
  const body = new El('body', {}, [grow(0), grow(0), grow(0)]);
  page(body);
  const walked = all.map((el) => xpath(el));
  const pointer = new Map(cursorPointer().map((item) => [item.xpath, item]));
  const listed = all.filter((el) => ['DIV', 'SPAN', 'LI', 'TD'].includes(el.tagName) &&
    el.descendants().length <= 10);
  assert.ok(listed.length > 20);
  for (const el of listed) assert.ok(pointer.has(xpath(el)), xpath(el));
  assert.equal(pointer.size, new Set(listed.map((el) => xpath(el))).size);
  if (driverDir) {
    // Asked in an order unlike the document's, so that paths are built on kept ones.
    // Each answer gives what differs from the previous one, as the driver reads it.
    const pathOf = load('positional_paths', driverDir)();
    let previous = '';
    const lengthen = (answer) => {
      const colon = answer.indexOf(':');
      const shared = Number(answer.slice(0, colon));
      assert.ok(colon > 0 && shared <= previous.length, answer);
      previous = previous.slice(0, shared) + answer.slice(colon + 1);
      return previous;
    };
    const order = all.map((el, i) => [random(1000), i]).sort((a, b) => a[0] - b[0]).map(([, i]) => i);
    for (const i of order) assert.equal(lengthen(pathOf(all[i])), walked[i]);
    assert.equal(lengthen(pathOf(body)), '/html[1]/body[1]');
  }
}

console.log('page scanner scripts: ok');
