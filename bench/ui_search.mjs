// Browser-side timings of searching in the client, in Debian's headless
// Chromium, p50 and p95 over 100 tries or more:
//  - Enter in the search box -> the first screen of results painted, on the
//    demo library and, given a published corpus, on it (the 20 000-document
//    corpus of bench/search: bench/search/run --corpora docs20000 publishes
//    it to build/bench-search/work/docs20000/profile);
//  - a keystroke -> the prompt list painted, given the 100 000-phrase
//    registry of bench_prompts (build/release/bench/bench_prompts
//    --write-profile DIR): the list's first opening after the typing pauses
//    (the 100 ms the box waits are taken off), and its refresh while open.
//   node bench/ui_search.mjs KalimorClnt DEMO_PACKAGES [--corpus PROFILE QUERIES.tsv] [--prompts DIR]
// Uses the browser tests' packages: run tests/e2e/install-packages first.
import { createRequire } from 'node:module';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const require = createRequire(new URL('../tests/e2e/package.json', import.meta.url));
const { chromium } = require('playwright-core');
const args = process.argv.slice(2);
const client = path.resolve(args[0] || 'build/release/app/KalimorClnt');
const packages = path.resolve(args[1] || 'build/release/demo/packages');
const option = (name, n = 1) => {
  const i = args.indexOf(name);
  return i < 0 ? null : args.slice(i + 1, i + 1 + n).map((a) => path.resolve(a));
};
const corpus = option('--corpus', 2);
const promptsDir = option('--prompts');
const debounceMs = 100;

const percentile = (values, p) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
};
const ms = (v) => v.toFixed(1) + ' ms';
const line = (what, values) => console.log(`${what}, ${values.length} tries: p50 ${ms(percentile(values, 50))}, ` +
  `p95 ${ms(percentile(values, 95))}, max ${ms(Math.max(...values))}`);

const running = new Set();
// A client over a profile: the demo installed, or a content folder of its own.
function startClient(prepare) {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kalimor-bench-'));
  const env = { ...process.env, KALIMOR_PROFILE: path.join(work, 'profile'), XDG_CONFIG_HOME: path.join(work, 'config'),
    XDG_RUNTIME_DIR: path.join(work, 'run') };
  fs.mkdirSync(env.XDG_RUNTIME_DIR, { mode: 0o700 });
  fs.mkdirSync(env.KALIMOR_PROFILE, { recursive: true });
  fs.mkdirSync(path.join(env.XDG_CONFIG_HOME, 'Kalimor'), { recursive: true });
  prepare(env);
  const child = spawn(client, ['--no-browser'], { env, stdio: ['ignore', 'pipe', 'ignore'] });
  running.add(child);
  const url = new Promise((resolve, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error('no start address')), 60000);
    child.stdout.on('data', (d) => {
      out += d;
      const match = out.match(/http:\/\/\S+/);
      if (match) { clearTimeout(timer); resolve(match[0]); }
    });
  });
  return { child, url, remove: () => { child.kill('SIGKILL'); fs.rmSync(work, { recursive: true, force: true }); } };
}

const installDemo = (env) => spawnSync(client, ['-updates', packages], { env, stdio: 'ignore' });
const useContent = (content) => (env) => {
  fs.symlinkSync(content, path.join(env.KALIMOR_PROFILE, 'Content'));
  fs.writeFileSync(path.join(env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini'), '[UserConfig]\nContentVersion=1\n');
};

async function frameWith(page, selector) {
  for (let i = 0; i < 600; ++i) {
    for (const frame of page.frames()) if (await frame.locator(selector).count().catch(() => 0)) return frame;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error('no window shows ' + selector);
}

async function openClient(run) {
  const context = await browser.newContext({ viewport: { width: 1366, height: 768 } });
  const page = await context.newPage();
  await page.goto(await run.url);
  const panel = await frameWith(page, '#edit_search');
  // The search panel notes each key, and each change of the box's text (a
  // Cyrillic letter is typed without a key event), in the main page's clock.
  await panel.evaluate(() => {
    const note = () => { parent.__keyAt = parent.performance.now(); };
    document.addEventListener('keydown', note, true);
    document.addEventListener('input', note, true);
  });
  // In the main page: the frame in which a condition first holds.
  await page.evaluate(() => {
    window.__paintedWhen = (test) => new Promise((resolve) => {
      const check = () => (test() ? resolve(performance.now() - window.__keyAt) : requestAnimationFrame(check));
      requestAnimationFrame(check);
    });
  });
  return { page, panel, box: panel.locator('#edit_search') };
}

// Enter -> the result list of this query on screen with its first chunk.
async function timeSearches(run, queries, tries) {
  const { page, box } = await openClient(run);
  const times = [];
  for (let i = 0; i < tries; ++i) {
    const query = queries[i % queries.length];
    await box.fill(query);
    const painted = page.evaluate((q) => window.__paintedWhen(() => {
      for (const frame of document.querySelectorAll('#kalimor-frame > iframe')) {
        const doc = frame.contentDocument;
        const head = doc && doc.getElementById('result_head');
        if (!head || frame.classList.contains('hidden')) continue;
        const chunk = doc.getElementById('chunk0');
        return head.textContent.includes('«' + q + '»') && (!chunk || chunk.children.length > 0);
      }
      return false;
    }), query);
    await box.press('Enter');
    times.push(await painted);
  }
  return times;
}

// A keystroke -> the prompt list painted: opened after the pause, and
// refreshed while open.
async function timePrompts(run, texts, tries) {
  const { page, box } = await openClient(run);
  // Every list is new elements: the first option's uid tells lists apart.
  const firstOption = () => page.evaluate(() => {
    const frame = document.querySelector('#kalimor-dialogs iframe.k-popup:not(.hidden)');
    const option = frame && frame.contentDocument && frame.contentDocument.querySelector('#search_prompts option');
    return option ? option.getAttribute('data-uid') : '';
  });
  const opened = [], refreshed = [];
  for (let i = 0; i < tries; ++i) {
    await box.fill('');
    await box.press('Escape');
    await page.waitForTimeout(150);
    const text = texts[i % texts.length];
    const shown = page.evaluate(() => window.__paintedWhen(() => {
      const frame = document.querySelector('#kalimor-dialogs iframe.k-popup:not(.hidden)');
      const list = frame && frame.contentDocument && frame.contentDocument.getElementById('search_prompts');
      return !!list && list.children.length > 0;
    }));
    await box.pressSequentially(text);
    const t = await Promise.race([shown, new Promise((r) => setTimeout(() => r(null), 3000))]);
    if (t === null) continue; // a text without prompts
    opened.push(t - debounceMs);
    // One letter more while open: the list changes at once.
    const before = await firstOption();
    const changed = page.evaluate((was) => window.__paintedWhen(() => {
      const frame = document.querySelector('#kalimor-dialogs iframe.k-popup:not(.hidden)');
      const option = frame && frame.contentDocument && frame.contentDocument.querySelector('#search_prompts option');
      return !option || option.getAttribute('data-uid') !== was;
    }), before);
    await box.pressSequentially('а');
    const t2 = await Promise.race([changed, new Promise((r) => setTimeout(() => r(null), 3000))]);
    if (t2 !== null) refreshed.push(t2);
  }
  return { opened, refreshed };
}

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  console.log(`load before: ${os.loadavg().map((v) => v.toFixed(2)).join(' ')}`);
  const demo = startClient(installDemo);
  const demoQueries = ['налоговых вычетов', 'ндс', 'авансовый отчет', 'страховые взносы ип', 'упрощ', 'налог',
    'основные средства', 'счет-фактура', 'декларация по ндс', 'больничный', 'ставка', 'проводки по покупке'];
  line('demo: Enter -> first screen of results painted', await timeSearches(demo, demoQueries, 120));
  demo.remove();

  if (corpus) {
    const [profile, queriesFile] = corpus;
    const queries = fs.readFileSync(queriesFile, 'utf8').split('\n').filter(Boolean).map((l) => l.split('\t'));
    const run = startClient(useContent(path.join(profile, 'Content')));
    for (const kind of ['1word', '2word', '3word', 'prefix']) {
      const ofKind = queries.filter(([k]) => k === kind).map(([, q]) => q);
      if (!ofKind.length) continue;
      line(`corpus ${kind}: Enter -> first screen of results painted`, await timeSearches(run, ofKind, 100));
    }
    run.remove();
  }

  if (promptsDir) {
    const [dir] = promptsDir;
    const texts = fs.readFileSync(path.join(dir, 'texts.tsv'), 'utf8').split('\n').filter(Boolean)
      .map((l) => l.split('\t'));
    // The demo with the large registry and prompt list in place of its own.
    const run = startClient((env) => {
      installDemo(env);
      for (const name of ['registry2.dat', 'search_prompts2.dat'])
        fs.copyFileSync(path.join(dir, 'Content', name), path.join(env.KALIMOR_PROFILE, 'Content', name));
    });
    for (const kind of ['1letter', '3letters', '2words']) {
      const ofKind = texts.filter(([k]) => k === kind).map(([, t]) => t);
      const { opened, refreshed } = await timePrompts(run, ofKind, 100);
      line(`prompts ${kind}: keystroke -> list painted (after the ${debounceMs} ms pause)`, opened);
      line(`prompts ${kind}: one more letter -> list refreshed`, refreshed);
    }
    run.remove();
  }
  console.log(`load after: ${os.loadavg().map((v) => v.toFixed(2)).join(' ')}`);
} finally {
  for (const child of running) child.kill('SIGKILL');
  await browser.close();
}
