// Browser-side timings of the client, in Debian's headless Chromium:
//  - start-up: from starting KalimorClnt to the first painted frame (the
//    page opened as soon as the start address is printed), over 10 starts;
//  - click round trip: from the mouse press on a top-panel button in the
//    browser to the DOM patch that marks it pressed (the hyperlink behavior
//    in C++) being applied in the page, p50 and p95 over 200 clicks.
//  - reading, on the demo library (with a folder of its update packages):
//    from the click (the mouse released) on a navigator item, on Back and on
//    a home tile to the document painted in its frame, p50 and p95 over 100
//    tries each; the
//    client's resident memory with the demo loaded and after 200 and 400
//    document views.
//   node bench/ui_roundtrip.mjs build/release/app/KalimorClnt [DEMO_PACKAGES]
// (scripts/build-demo build/release build/release/demo makes the packages.)
// Uses the browser tests' packages: run tests/e2e/install-packages first.
import { createRequire } from 'node:module';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const require = createRequire(new URL('../tests/e2e/package.json', import.meta.url));
const { chromium } = require('playwright-core');
const client = path.resolve(process.argv[2] || 'build/release/app/KalimorClnt');
const packages = process.argv[3] ? path.resolve(process.argv[3]) : '';
const starts = 10, clicks = 200, tries = 100;

const percentile = (values, p) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
};
const ms = (v) => v.toFixed(2) + ' ms';

const running = new Set(); // killed whatever happens
function startClient(withDemo = false) {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kalimor-bench-'));
  const env = { ...process.env, KALIMOR_PROFILE: path.join(work, 'profile'), XDG_CONFIG_HOME: path.join(work, 'config'),
    XDG_RUNTIME_DIR: path.join(work, 'run') };
  fs.mkdirSync(env.XDG_RUNTIME_DIR, { mode: 0o700 });
  if (withDemo) spawnSync(client, ['-updates', packages], { env, stdio: 'ignore' });
  const startedAt = Date.now();
  const child = spawn(client, ['--no-browser'], { env, stdio: ['ignore', 'pipe', 'ignore'] });
  running.add(child);
  const url = new Promise((resolve, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error('no start address')), 10000);
    child.stdout.on('data', (d) => {
      out += d;
      const match = out.match(/http:\/\/\S+/);
      if (match) { clearTimeout(timer); resolve(match[0]); }
    });
  });
  return { child, url, startedAt, remove: () => fs.rmSync(work, { recursive: true, force: true }) };
}

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  const toUrl = [], toPaint = [], inPage = [];
  for (let i = 0; i < starts; ++i) {
    const run = startClient();
    const url = await run.url;
    const urlAt = Date.now();
    const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
    const page = await context.newPage();
    await page.goto(url);
    await page.waitForFunction(() => window.__kalimor && window.__kalimor.painted, null, { timeout: 10000 });
    const [origin, painted] = await page.evaluate(() => [performance.timeOrigin, window.__kalimor.paintedAt]);
    const paintedAt = origin + painted;
    inPage.push(painted);
    toUrl.push(urlAt - run.startedAt);
    toPaint.push(paintedAt - run.startedAt);
    await context.close();
    run.child.kill('SIGKILL');
    run.remove();
  }
  console.log(`start-up, ${starts} starts: start address printed p50 ${ms(percentile(toUrl, 50))}; ` +
    `first painted frame p50 ${ms(percentile(toPaint, 50))}, p95 ${ms(percentile(toPaint, 95))}, ` +
    `min ${ms(Math.min(...toPaint))}; of which from the page's navigation start p50 ${ms(percentile(inPage, 50))}`);

  const run = startClient();
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  const page = await context.newPage();
  await page.goto(await run.url);
  const button = page.frameLocator('#kalimor-frame > iframe >> nth=0').locator('#btn_home');
  await button.waitFor();
  const frame = await (await page.locator('#kalimor-frame > iframe >> nth=0').elementHandle()).contentFrame();
  // In the panel's page: the time of each press, and of the patch that
  // marks the button pressed.
  await frame.evaluate(() => {
    const el = document.getElementById('btn_home');
    window.__times = [];
    let pressedAt = 0;
    document.addEventListener('mousedown', () => { pressedAt = performance.now(); }, true);
    new MutationObserver(() => {
      const el2 = document.getElementById('btn_home');
      if (pressedAt && /\bcurrent\b/.test(el2.getAttribute('data-state') || '')) {
        window.__times.push(performance.now() - pressedAt);
        pressedAt = 0;
      }
    }).observe(document.documentElement, { attributes: true, subtree: true, attributeFilter: ['data-state'] });
    return el !== null;
  });
  const box = await button.boundingBox();
  for (let i = 0; i < clicks; ++i) {
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await page.mouse.down();
    await frame.waitForFunction((n) => window.__times.length >= n, i + 1, { timeout: 5000 });
    await page.mouse.up();
    // The release clears the mark before the next press.
    await frame.waitForFunction(() => !/\bcurrent\b/.test(document.getElementById('btn_home').getAttribute('data-state') || ''), null, { timeout: 5000 });
  }
  const times = await frame.evaluate(() => window.__times);
  console.log(`click round trip, ${times.length} clicks: p50 ${ms(percentile(times, 50))}, ` +
    `p95 ${ms(percentile(times, 95))}, max ${ms(Math.max(...times))}`);
  run.child.kill('SIGKILL');
  run.remove();
  if (packages) await reading();
} finally {
  for (const child of running) child.kill('SIGKILL');
  await browser.close();
}

// The window whose page holds the selector.
async function frameWith(page, selector) {
  for (let i = 0; i < 200; ++i) {
    for (const frame of page.frames()) if (await frame.locator(selector).count().catch(() => 0)) return frame;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error('no window shows ' + selector);
}

function residentKiB(pid) {
  const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
  return Number(/VmRSS:\s+(\d+)/.exec(status)[1]);
}

// Reading on the demo: each try presses the mouse in a window whose page
// notes the time (in the main page's clock) and waits for the document frame
// to report the next painted document.
async function reading() {
  const run = startClient(true);
  const context = await browser.newContext({ viewport: { width: 1366, height: 768 } });
  const page = await context.newPage();
  await page.goto(await run.url);
  const shownCount = () => page.evaluate(() => (window.__kalimor.docShown || 0));
  const noteClicks = (frame) => frame.evaluate(() => document.addEventListener('mouseup',
    () => { parent.__pressedAt = parent.performance.now(); }, true));
  // Presses the element and returns the time to the next document painted.
  async function timed(frame, locator) {
    const before = await shownCount();
    const box = await locator.boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await page.mouse.down();
    await page.waitForTimeout(40); // a person's click lasts longer still
    await page.mouse.up();
    await page.waitForFunction((n) => (window.__kalimor.docShown || 0) > n, before, { timeout: 10000 });
    // The painted mark is set in the frame after the one the counter moved in.
    await page.waitForTimeout(30);
    const [total, request] = await page.evaluate(() => [window.__kalimor.docPainted - window.__pressedAt,
      window.__kalimor.docRequested - window.__pressedAt]);
    requested.push(request);
    loading.push(total - request);
    return total;
  }
  const requested = [], loading = [];
  const welcome = await frameWith(page, '#btn_tax_on_price');
  await welcome.locator('.mru_list_item').first().waitFor();
  const loaded = residentKiB(run.child.pid);
  await noteClicks(welcome);
  const top = await frameWith(page, '#btn_backward');
  await noteClicks(top);

  // Home tile -> its document, alternating two topics.
  const tiles = [];
  for (let i = 0; i < tries; ++i) {
    await top.locator('#btn_home').click();
    await welcome.locator('#btn_usn').waitFor({ state: 'visible' });
    tiles.push(await timed(welcome, welcome.locator(i % 2 ? '#btn_usn' : '#btn_tax_on_price')));
  }
  // Navigator item -> its document, alternating two documents of the topic.
  await welcome.locator('#btn_tax_on_price').waitFor({ state: 'hidden' }).catch(() => {});
  await top.locator('#btn_home').click();
  await welcome.locator('#btn_tax_on_price').click();
  const navigator = await frameWith(page, '#tree a.section_link');
  await noteClicks(navigator);
  // Each branch opened before the next is pressed: a press while the tree
  // grows would land on whatever moved under the pointer.
  for (const [branch, child] of [['Общие положения', 'Ставки НДС'], ['Вычеты и восстановление', 'Налоговые вычеты по НДС'],
    ['Ставки НДС', 'Ставка 0%'], ['Налоговые вычеты по НДС', 'Условия вычета']]) {
    const item = navigator.locator('a.section_link', { hasText: child });
    if (await item.isVisible()) continue; // already open
    await navigator.locator('a.section_link', { hasText: branch }).click();
    await item.waitFor({ state: 'visible' });
  }
  const items = [];
  for (let i = 0; i < tries; ++i)
    items.push(await timed(navigator, navigator.locator('a.section_link', { hasText: i % 2 ? 'Ставка 0%' : 'Условия вычета' })));
  const after200 = residentKiB(run.child.pid);
  // Back -> the previous document (forward again between tries).
  const back = [];
  for (let i = 0; i < tries; ++i) {
    back.push(await timed(top, top.locator('#btn_backward')));
    const before = await shownCount();
    await top.locator('#btn_forward').click();
    await page.waitForFunction((n) => (window.__kalimor.docShown || 0) > n, before);
  }
  const after400 = residentKiB(run.child.pid);
  const line = (what, values) => console.log(`${what}, ${values.length} tries: p50 ${ms(percentile(values, 50))}, ` +
    `p95 ${ms(percentile(values, 95))}, max ${ms(Math.max(...values))}`);
  line('home tile -> document painted', tiles);
  line('navigator item -> document painted', items);
  line('Back -> previous document painted', back);
  // Where the time goes: the click's way through the client to the frame's
  // new address, the rest is the browser loading and painting the page.
  line('of which click -> frame given its document (all three kinds)', requested);
  line('of which frame given its document -> painted', loading);
  const mib = (k) => (k / 1024).toFixed(1) + ' MiB';
  console.log(`resident memory: demo loaded ${mib(loaded)}; after ${tries * 2} document views ${mib(after200)}; ` +
    `after ${tries * 4} ${mib(after400)}`);
  run.child.kill('SIGKILL');
  run.remove();
}
