// The benchmark's peer: Playwright's element handles asking, one protocol request at a
// time, the questions that the scan asks of each interactable element (visibility,
// enabled state, tag, text, value, box, the captured attributes, the data attributes
// and the positional path). Prints one line of JSON: {elements, questions, millis}.
//
// Usage: node peer_scan.mjs PAGE.html
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { createRequire } from 'node:module';

const here = dirname(fileURLToPath(import.meta.url));
const require = createRequire(join(here, 'node_modules', 'index.js'));
const { chromium } = require('playwright-core');
const scripts = join(here, '..', '..', 'engine', 'browser', 'scripts');
const script = (name) => readFileSync(join(scripts, name), 'utf8').trim();

const NATIVE = ['button', 'input', 'a', 'select', 'textarea'];
const ROLES = ['button', 'link', 'textbox', 'checkbox', 'menuitem', 'menuitemcheckbox', 'menuitemradio',
  'option', 'combobox', 'searchbox', 'spinbutton', 'switch', 'tab'];
const SELECTOR = [...NATIVE, ...ROLES.map((r) => `[role="${r}"]`), 'img[alt]', 'img[data-testid]', '[data-testid]']
  .join(', ');
const CAPTURED = ['id', 'name', 'type', 'placeholder', 'aria-label', 'aria-labelledby', 'title', 'role', 'href',
  'value', 'class', 'data-testid', 'alt'];
const TAG = script('tag_name.js');
const DATA = script('data_attributes.js');
const XPATH = script('xpath.js');

const args = ['--disable-background-networking', '--disable-component-update', '--disable-sync', '--no-first-run',
  '--disable-gpu'];
if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
const executablePath = process.env.QUILLFEN_CHROMIUM || '/usr/lib/chromium/chromium';
const browser = await chromium.launch({ executablePath, args, headless: true });
try {
  const page = await browser.newPage();
  await page.goto(pathToFileURL(process.argv[2]).href);
  let questions = 0;
  const ask = async (promise) => { questions += 1; return promise; };
  const start = performance.now();
  const handles = await page.$$(SELECTOR);
  for (const handle of handles) {
    try {
      const visible = await ask(handle.isVisible());
      await ask(handle.isEnabled());
      await ask(handle.evaluate(new Function(`return (${TAG})`)()));
      const text = ((await ask(handle.innerText())) || '').trim();
      if (!text) await ask(handle.getAttribute('value'));
      const box = await ask(handle.boundingBox());
      if (!box || box.width <= 0 || box.height <= 0) continue;
      if (!visible) {
        await ask(handle.getAttribute('aria-label'));
        await ask(handle.getAttribute('title'));
      }
      for (const name of CAPTURED) await ask(handle.getAttribute(name));
      await ask(handle.evaluate(new Function(`return (${DATA})`)()));
      await ask(handle.evaluate(new Function(`return (${XPATH})`)()));
    } catch {
      // A failing element is dropped, as in the scan.
    }
  }
  const millis = performance.now() - start;
  console.log(JSON.stringify({ elements: handles.length, questions, millis }));
} finally {
  await browser.close();
}
