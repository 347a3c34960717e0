// The scenario benchmark's peer: the steps of bench/scenario/scenario.test written as a
// Playwright user writes them (getByRole, getByLabel, getByText), on the same generated
// page. Prints "  [PASS] LINE" as each step ends, in the words of the quillfen script, so
// that both runs are timed the same way from outside; a failed step prints
// "  [FAIL] LINE: REASON" and ends the run with exit code 1.
//
// Usage: node scenario.mjs PAGE.html [TIMEOUT_MS]
import { writeSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { createRequire } from 'node:module';

const here = dirname(fileURLToPath(import.meta.url));
const require = createRequire(join(here, 'node_modules', 'index.js'));
const { chromium } = require('playwright-core');

const url = pathToFileURL(process.argv[2]).href;
const timeout = Number(process.argv[3] || 5000);

const steps = [
  // quillfen's navigate waits for the load up to 10 s, or the time-out when longer.
  ['navigate page.html', (page) => page.goto(url, { timeout: Math.max(timeout, 10000) })],
  ['verify text "Quarterly report" is visible', (page) => page.getByText('Quarterly report').waitFor()],
  ['type Ada Lovelace into "Full name"', (page) => page.getByLabel('Full name').fill('Ada Lovelace')],
  ['type ada@example.com into "Email address"', (page) => page.getByLabel('Email address').fill('ada@example.com')],
  ['select Norway from "Country"', (page) => page.getByLabel('Country').selectOption('Norway')],
  ['click "Save customer"', (page) => page.getByRole('button', { name: 'Save customer' }).click()],
  ['verify text "Saved Ada Lovelace from Norway" is visible',
    (page) => page.getByText('Saved Ada Lovelace from Norway').waitFor()],
  ['click "Show order details"', (page) => page.getByRole('button', { name: 'Show order details' }).click()],
  ['verify text "Order 1042 ships on 3 May" is visible',
    (page) => page.getByText('Order 1042 ships on 3 May').waitFor()],
  ['type 42 into "Quantity"', (page) => page.getByLabel('Quantity').fill('42')],
  ['click "Recalculate total"', (page) => page.getByRole('button', { name: 'Recalculate total' }).click()],
  ['verify text next to "Total" is $84.00',
    (page) => page.getByRole('row', { name: 'Total' }).getByText('$84.00', { exact: true }).waitFor()],
  ['click "Go to archive"', (page) => page.getByRole('link', { name: 'Go to archive' }).click()],
  ['click "Restore archive"', (page) => page.getByRole('button', { name: 'Restore archive' }).click()],
  ['verify text "Archive restored" is visible', (page) => page.getByText('Archive restored').waitFor()],
  ['verify "Back to top" is present',
    (page) => page.getByRole('link', { name: 'Back to top' }).waitFor({ state: 'attached' })],
];

const say = (line) => writeSync(1, `${line}\n`);

const args = ['--disable-background-networking', '--disable-component-update', '--disable-sync', '--no-first-run',
  '--disable-gpu'];
if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
const executablePath = process.env.QUILLFEN_CHROMIUM || '/usr/lib/chromium/chromium';
const browser = await chromium.launch({ executablePath, args, headless: true });
let status = 0;
try {
  const page = await browser.newPage();
  page.setDefaultTimeout(timeout);
  for (const [line, step] of steps) {
    const start = performance.now();
    try {
      await step(page);
      say(`  [PASS] ${line}  (took ${(performance.now() - start).toFixed(3)} ms)`);
    } catch (error) {
      say(`  [FAIL] ${line}: ${String(error.message).split('\n')[0]}`);
      status = 1;
      break;
    }
  }
} finally {
  await browser.close();
}
process.exit(status);
