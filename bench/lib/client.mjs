// What the browser benchmarks share: a client started over a profile of its
// own, Debian's headless Chromium, the window's frames, the resident size of
// the client's process and the percentiles the benchmarks print.
// Uses the browser tests' packages: run tests/e2e/install-packages first.
import { createRequire } from 'node:module';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const require = createRequire(new URL('../../tests/e2e/package.json', import.meta.url));
const { chromium } = require('playwright-core');

export const launchBrowser = () => chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});

export const percentile = (values, p) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
};
export const summary = (values) => ({
  tries: values.length, p50: percentile(values, 50), p95: percentile(values, 95), max: Math.max(...values),
});
const ms = (v) => v.toFixed(1) + ' ms';
export const line = (what, values) => console.log(`${what}, ${values.length} tries: p50 ` +
  `${ms(percentile(values, 50))}, p95 ${ms(percentile(values, 95))}, max ${ms(Math.max(...values))}`);
export const loadLine = (when) => console.log(`load ${when}: ${os.loadavg().map((v) => v.toFixed(2)).join(' ')}`);

// A client over a fresh profile; prepare(env) fills the profile before the
// client starts. KALIMOR_BENCH_WRAP ("heaptrack -o FILE", ...) starts it
// under a profiler.
export function startClient(client, prepare) {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kalimor-bench-'));
  const env = { ...process.env, KALIMOR_PROFILE: path.join(work, 'profile'), XDG_CONFIG_HOME: path.join(work, 'config'),
    XDG_RUNTIME_DIR: path.join(work, 'run') };
  fs.mkdirSync(env.XDG_RUNTIME_DIR, { mode: 0o700 });
  fs.mkdirSync(env.KALIMOR_PROFILE, { recursive: true });
  fs.mkdirSync(path.join(env.XDG_CONFIG_HOME, 'Kalimor'), { recursive: true });
  prepare(env);
  const wrap = (process.env.KALIMOR_BENCH_WRAP || '').split(' ').filter(Boolean);
  const command = [...wrap, client];
  const startedAt = Date.now();
  const child = spawn(command[0], [...command.slice(1), '--no-browser'], { env, stdio: ['ignore', 'pipe', 'ignore'] });
  const url = new Promise((resolve, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error('no start address')), 60000);
    child.stdout.on('data', (d) => {
      out += d;
      const match = out.match(/http:\/\/127\S+/);
      if (match) { clearTimeout(timer); resolve(match[0]); }
    });
  });
  // The client's own process: under a profiler it may be a child of the
  // command started; it is the one whose executable is the client and whose
  // profile is this one.
  const pid = () => {
    for (const name of fs.readdirSync('/proc')) {
      if (!/^\d+$/.test(name)) continue;
      try {
        const cmdline = fs.readFileSync(`/proc/${name}/cmdline`, 'utf8').split('\0');
        const environ = fs.readFileSync(`/proc/${name}/environ`, 'utf8');
        if (cmdline.some((a) => a === client || a.endsWith('/KalimorClnt')) && cmdline.includes('--no-browser') &&
            environ.includes(`KALIMOR_PROFILE=${env.KALIMOR_PROFILE}\0`) &&
            !cmdline.some((a) => /heaptrack|valgrind/.test(a)))
          return Number(name);
      } catch (error) { /* gone meanwhile */ }
    }
    return child.pid;
  };
  const stop = async () => {
    child.kill('SIGTERM');
    const ended = new Promise((r) => child.once('exit', r));
    if (child.exitCode === null) await Promise.race([ended, new Promise((r) => setTimeout(r, 3000))]);
    child.kill('SIGKILL');
    fs.rmSync(work, { recursive: true, force: true });
  };
  return { child, env, url, startedAt, pid, stop };
}

// Clients started for a benchmark and stopped whatever happens: stopAll() in
// the benchmark's finally.
export function clientSet(client) {
  const running = new Set();
  return {
    start(prepare) {
      const run = startClient(client, prepare);
      running.add(run);
      return run;
    },
    async stop(run) { running.delete(run); await run.stop(); },
    async stopAll() { for (const run of running) await run.stop(); running.clear(); },
  };
}

// view(action): runs the action and waits for the next document shown in
// the window; false when none came within ms (a row that only opens its
// branch, a Back with nothing behind).
export const documentViews = (page) => async (action, ms = 8000) => {
  const shown = () => page.evaluate(() => (window.__kalimor.docShown || 0));
  const before = await shown();
  await action();
  try {
    await page.waitForFunction((n) => (window.__kalimor.docShown || 0) > n, before, { timeout: ms });
    return true;
  } catch (error) {
    return false;
  }
};

// prepare() steps: the packages installed as the client installs them, or a
// published content folder used in place.
export const installPackages = (client, packages) => (env) => {
  const install = spawnSync(client, ['-updates', packages], { env, stdio: 'ignore' });
  if (install.status !== 0) throw new Error('the packages did not install');
};
export const useContent = (content) => (env) => {
  fs.symlinkSync(content, path.join(env.KALIMOR_PROFILE, 'Content'));
  fs.writeFileSync(path.join(env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini'), '[UserConfig]\nContentVersion=1\n');
};

// The resident size and its part that no file backs (the heap, the arenas,
// the threads' stacks), in KiB.
const statusKiB = (pid, field) =>
  Number(new RegExp(field + ':\\s+(\\d+)').exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'))[1]);
export const residentKiB = (pid) => statusKiB(pid, 'VmRSS');
export const anonymousKiB = (pid) => statusKiB(pid, 'RssAnon');
export const mib = (k) => (k / 1024).toFixed(1);

// The frame of the window that shows the selector (the window's frames are
// made as the client opens its windows).
export async function frameWith(page, selector) {
  for (let i = 0; i < 600; ++i) {
    for (const frame of page.frames()) if (await frame.locator(selector).count().catch(() => 0)) return frame;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error('no window shows ' + selector);
}

// The window in a new browser page, with the search panel noting each key and
// each change of the box's text (a Cyrillic letter is typed without a key
// event) in the main page's clock, and window.__paintedWhen(test): the time
// from that key to the first frame in which test() holds.
export async function openWindow(browser, run, viewport = { width: 1366, height: 768 }) {
  const context = await browser.newContext({ viewport });
  const page = await context.newPage();
  page.setDefaultTimeout(30000);
  await page.goto(await run.url);
  const panel = await frameWith(page, '#edit_search');
  await panel.evaluate(() => {
    const note = () => { parent.__keyAt = parent.performance.now(); };
    document.addEventListener('keydown', note, true);
    document.addEventListener('input', note, true);
    document.addEventListener('click', note, true);
  });
  await page.evaluate(() => {
    window.__paintedWhen = (test) => new Promise((resolve) => {
      const check = () => (test() ? resolve(performance.now() - window.__keyAt) : requestAnimationFrame(check));
      requestAnimationFrame(check);
    });
    // The other frames note clicks too, as they are made.
    window.__noteClicks = () => {
      for (const frame of document.querySelectorAll('iframe')) {
        const doc = frame.contentDocument;
        if (!doc || doc.__noted) continue;
        doc.__noted = true;
        const note = () => { window.__keyAt = performance.now(); };
        doc.addEventListener('click', note, true);
        doc.addEventListener('keydown', note, true);
      }
    };
  });
  return { context, page, panel, box: panel.locator('#edit_search') };
}

// The time from the last mouse press (or key press, with act given as
// a function of the locator) in any frame of the window to the first frame
// in which test() holds (in the main page, over the frames' documents).
export async function timeClick(page, locator, test, arg, act = (l) => l.click()) {
  await page.evaluate(() => window.__noteClicks());
  const painted = page.evaluate(([source, a]) => {
    const check = new Function('a', `return (${source})(a);`);
    return window.__paintedWhen(() => check(a));
  }, [test.toString(), arg]);
  painted.catch(() => {}); // a failed act is the error to report, not the wait it leaves
  await act(locator);
  let timer;
  const late = new Promise((resolve, reject) => {
    timer = setTimeout(() => reject(new Error('not painted in 20 s: ' + test)), 20000);
  });
  try {
    return await Promise.race([painted, late]);
  } finally {
    clearTimeout(timer);
  }
}

// Enter -> the result list of this query on screen with its first chunk.
export async function timeSearches(window, queries, tries) {
  const { page, box } = window;
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

// A keystroke -> the prompt list painted: opened after the typing pause
// (pauseMs taken off), and refreshed by one more letter while open. Texts
// without prompts are not counted.
export async function timePrompts(window, texts, tries, pauseMs) {
  const { page, box } = window;
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
    if (t === null) continue;
    opened.push(t - pauseMs);
    // Every list is new elements: the first option's uid tells lists apart.
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
