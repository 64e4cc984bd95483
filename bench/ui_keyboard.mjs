// The keyboard walks of the window, timed in Debian's headless Chromium on
// the demo library: from the key press to the keyboard being where the step
// takes it (the element focused in its frame), p50 and p95 over the tries.
//   node bench/ui_keyboard.mjs build/release/app/KalimorClnt build/release/demo/packages [TRIES]
// Steps: Ctrl+F to the search box; Enter on a query to the results' heading;
// Enter on a result to its document painted; Alt+Left back to the result; F6 from
// the search box to the view; Down in the navigator to the next row; Right
// in the tax calendar to the next day.
// Uses the browser tests' packages: run tests/e2e/install-packages first.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { frameWith, launchBrowser, until, urlsOf } from '../tests/e2e/support.mjs';

const client = path.resolve(process.argv[2] || 'build/release/app/KalimorClnt');
const packages = path.resolve(process.argv[3] || 'build/release/demo/packages');
const tries = Number(process.argv[4] || 100);

const percentile = (values, p) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
};

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kalimor-bench-'));
const env = { ...process.env, KALIMOR_PROFILE: path.join(work, 'profile'), XDG_CONFIG_HOME: path.join(work, 'config'),
  XDG_RUNTIME_DIR: path.join(work, 'run') };
fs.mkdirSync(env.XDG_RUNTIME_DIR, { mode: 0o700 });
spawnSync(client, ['-updates', packages], { env, stdio: 'ignore' });
const child = spawn(client, ['--no-browser'], { env, stdio: ['ignore', 'pipe', 'ignore'] });
let out = '';
child.stdout.on('data', (d) => { out += d; });
const browser = await launchBrowser();

// The id of the focused element, through the frames that hold it ("DOC"
// for the content document's frame itself).
const focused = (page) => page.evaluate(() => {
  let el = document.activeElement;
  for (let depth = 0; el && el.tagName === 'IFRAME' && depth < 4; ++depth) {
    if (el.hasAttribute('sandbox')) return 'DOC';
    el = el.contentDocument && el.contentDocument.activeElement;
  }
  return el ? el.id || el.tagName : '';
});

// One timed step: the key, then asking the page again and again (each
// question is a round trip of about a millisecond) until the keyboard is
// where wanted.
async function step(page, key, wanted) {
  const arrived = async (at) => (typeof wanted === 'function' ? wanted(at) : at === wanted);
  const started = performance.now();
  await page.keyboard.press(key);
  while (!(await arrived(await focused(page)))) {
    if (performance.now() - started > 5000) throw new Error(`${key}: the keyboard did not arrive (${await focused(page)})`);
  }
  return performance.now() - started;
}

const times = new Map();
const note = (name, ms) => { if (!times.has(name)) times.set(name, []); times.get(name).push(ms); };

try {
  await until('start address', () => urlsOf(out).length === 1, 15000);
  const page = await (await browser.newContext({ viewport: { width: 1366, height: 768 } })).newPage();
  await page.goto(urlsOf(out)[0]);
  await until('the search box', async () => (await focused(page)) === 'edit_search', 15000);
  const search = await frameWith(page, '#edit_search');
  const box = search.locator('#edit_search');
  await page.keyboard.press('Tab'); // off the box, for the first Ctrl+F
  for (let i = 0; i < tries; ++i) {
    note('Ctrl+F → search box', await step(page, 'Control+f', 'edit_search'));
    note('F6 search box → view', await step(page, 'F6', (at) => at !== 'edit_search' && at !== ''));
    await box.fill(i % 2 ? 'вычет' : 'ставка ндс');
    await box.focus();
    note('Enter → results heading', await step(page, 'Enter', 'result_title'));
    await page.keyboard.press('Tab');
    await until('a result', async () => /^R\d+$/.test(await focused(page)));
    const result = await focused(page);
    // The document painted (and so taking keys) with the keyboard in it.
    const shown = await page.evaluate(() => window.__kalimor.docShown || 0);
    note('Enter on a result → document', await step(page, 'Enter', async (at) => at === 'DOC' &&
      (await page.evaluate(() => window.__kalimor.docShown || 0)) > shown));
    note('Alt+Left → the same result', await step(page, 'Alt+ArrowLeft', result));
  }
  // The navigator: Down from row to row, round the first rows of a topic.
  await (await frameWith(page, '#btn_home')).locator('#btn_home').click();
  const welcome = await frameWith(page, '#btn_tax_on_price');
  await welcome.locator('#btn_tax_on_price').focus();
  await page.keyboard.press('Enter');
  await until('the topic', async () => (await focused(page)) === 'DOC');
  const navigator = await frameWith(page, '#tree a.section_link');
  const rows = await navigator.locator('#tree a.section_link').evaluateAll((links) => links.map((a) => a.id));
  await navigator.locator('#tree a.section_link[tabindex="0"]').focus();
  for (let i = 0; i < tries; ++i) {
    if (rows.indexOf(await focused(page)) >= rows.length - 1 || i === 0) {
      await page.keyboard.press('Home');
      await until('the first row', async () => (await focused(page)) === rows[0]);
    }
    const from = await focused(page);
    note('Down in the navigator → next row', await step(page, 'ArrowDown', (at) => at !== from && at !== ''));
  }
  // The tax calendar: Right from day to day within a month.
  await (await frameWith(page, '#btn_home')).locator('#btn_home').click();
  const news = await frameWith(page, '#btn_tax_calendar');
  await news.locator('#btn_tax_calendar').click();
  const calendar = await frameWith(page, '#day_entries');
  for (let i = 0; i < tries; ++i) {
    if (i % 20 === 0) {
      await calendar.locator('#btn_prev_month').click();
      await calendar.locator('td[role=gridcell]').first().focus();
    }
    const from = await focused(page);
    note('Right in the tax calendar → next day', await step(page, 'ArrowRight', (at) => at !== from && /^T\d{8}$/.test(at)));
  }
  console.log(`keyboard steps, ${tries} tries each (ms from the key press to the focus moved)`);
  console.log('| step | p50 | p95 | max |\n|---|---|---|---|');
  for (const [name, values] of times)
    console.log(`| ${name} | ${percentile(values, 50).toFixed(1)} | ${percentile(values, 95).toFixed(1)} | ` +
      `${Math.max(...values).toFixed(1)} |`);
} finally {
  child.kill('SIGKILL');
  await browser.close();
  fs.rmSync(work, { recursive: true, force: true });
}
