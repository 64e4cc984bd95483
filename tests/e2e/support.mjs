// What the browser tests share: a temporary home for the client, Debian's
// Chromium, processes with their output, and waits that always end.
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

// Installed by install-packages; where the npm registry could not be reached
// the tests are skipped (exit status 77, which CTest reports as skipped).
let chromium;
try {
  ({ chromium } = await import('playwright-core'));
} catch (error) {
  console.log('e2e: skipped: playwright-core is not installed (tests/e2e/install-packages)');
  process.exit(77);
}

export const here = path.dirname(new URL(import.meta.url).pathname);
export const shots = process.env.KALIMOR_SCREENSHOTS || path.join(here, 'screenshots');

// The whole script ends within this, whatever hangs.
export function watchdog(seconds) {
  const timer = setTimeout(() => {
    console.error(`e2e: gave up after ${seconds} s`);
    process.exit(1);
  }, seconds * 1000);
  timer.unref();
}

// The desktop the client runs on, never the user's own session bus. "tray"
// (the default): a private bus with a tray and a notification server played by
// kalimor-fake-desktop (its path in KALIMOR_FAKE_DESKTOP, given by the test
// runner); "no-watcher": a bus without a tray; "none": no session bus at all.
// Where no bus can start, the test is skipped.
function startDesktop(kind, work) {
  const program = process.env.KALIMOR_FAKE_DESKTOP;
  if (kind === 'none' || !program) {
    return { address: 'unix:path=' + path.join(work, 'no-bus'), log: () => '', items: () => [], stop: () => {} };
  }
  const log = path.join(work, 'desktop.log');
  const args = ['--log', log, '--watch-pid', String(process.pid), ...(kind === 'no-watcher' ? ['--no-watcher'] : [])];
  let out;
  try {
    out = execFileSync(program, args, { encoding: 'utf8', timeout: 20000 });
  } catch (error) {
    if (error.status !== 77) throw error;
    console.log('e2e: skipped: ' + String(error.stdout).trim());
    process.exit(77);
  }
  const address = out.match(/^bus (.*)$/m)[1];
  const pid = Number(out.match(/^pid (\d+)$/m)[1]);
  const text = () => (fs.existsSync(log) ? fs.readFileSync(log, 'utf8') : '');
  // The icons on the panel now, from what the desktop noted.
  const items = () => {
    const shown = new Set();
    for (const [, what, name] of text().matchAll(/^(item|gone) (.*)$/gm)) {
      if (what === 'item') shown.add(name); else shown.delete(name);
    }
    return [...shown];
  };
  // What the panel does with an icon, over the bus as a real one would.
  const call = (objectPath, method, ...args) => execFileSync('gdbus', ['call', '--address', address, '--dest',
    items()[0], '--object-path', objectPath, '--method', method, ...args], { encoding: 'utf8', timeout: 10000 });
  return {
    address, log: text, items,
    activate: () => call('/StatusNotifierItem', 'org.kde.StatusNotifierItem.Activate', '0', '0'),
    click: (id) => call('/MenuBar', 'com.canonical.dbusmenu.Event', String(id), 'clicked', '<0>', '0'),
    stop: () => { try { process.kill(pid, 'SIGTERM'); } catch (error) { /* already gone */ } },
  };
}

// A profile, settings (with the detailed log), a runtime folder and a desktop
// of its own (see startDesktop).
export function makeHome({ desktop = 'tray' } = {}) {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kalimor-e2e-'));
  const session = startDesktop(desktop, work);
  const env = {
    ...process.env,
    KALIMOR_PROFILE: path.join(work, 'profile'),
    XDG_CONFIG_HOME: path.join(work, 'config'),
    XDG_RUNTIME_DIR: path.join(work, 'run'),
    XDG_DOCUMENTS_DIR: path.join(work, 'documents'),
    DBUS_SESSION_BUS_ADDRESS: session.address,
  };
  fs.mkdirSync(env.XDG_RUNTIME_DIR, { mode: 0o700 });
  fs.mkdirSync(path.join(env.XDG_CONFIG_HOME, 'Kalimor'), { recursive: true });
  fs.writeFileSync(path.join(env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini'), '[UserConfig]\nLogLevel=5\n');
  const logPath = path.join(env.KALIMOR_PROFILE, 'KalimorClient.log');
  return {
    work, env, desktop: session,
    ini: () => fs.readFileSync(path.join(env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini'), 'utf8'),
    log: () => (fs.existsSync(logPath) ? fs.readFileSync(logPath, 'utf8') : ''),
    remove: () => {
      session.stop();
      if (!process.env.KEEP) fs.rmSync(work, { recursive: true, force: true });
    },
  };
}

export function start(program, args, env, input = 'ignore') {
  const child = spawn(program, args, { env, stdio: [input, 'pipe', 'pipe'] });
  child.out = '';
  child.stdout.on('data', (d) => { child.out += d; });
  child.stderr.on('data', (d) => { child.out += d; });
  // Once its output is all read too (a report written as it ends is kept);
  // a program ended by a signal resolves null and names the signal in out.
  child.exited = new Promise((resolve) => child.on('close', (code, signal) => {
    if (signal) child.out += `\n(ended by ${signal})\n`;
    resolve(code);
  }));
  return child;
}

export const urlsOf = (text) => text.match(/http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+/g) || [];

export async function until(what, test, ms = 10000) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    if (await test()) return;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error('timed out: ' + what);
}

export function within(ms, what, promise) {
  let timer;
  const deadline = new Promise((_, reject) => { timer = setTimeout(() => reject(new Error('timed out: ' + what)), ms); });
  return Promise.race([promise, deadline]).finally(() => clearTimeout(timer));
}

// Headless Debian Chromium with a fresh profile folder (Playwright makes one
// for every launch); nothing is fetched from the network.
export async function launchBrowser() {
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    timeout: 30000,
  });
}

export async function newPage(browser) {
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  const page = await context.newPage();
  page.setDefaultTimeout(10000);
  return page;
}

// Another page in the browser profile of `page` (open or closed): a start
// address opens the client once, and a profile that opened it keeps the
// page's worker, which carries the run's key, so only its pages come back.
export async function reopen(page, url, viewport) {
  const next = await page.context().newPage();
  next.setDefaultTimeout(10000);
  if (viewport) await next.setViewportSize(viewport);
  await next.goto(url);
  return next;
}

export async function screenshot(page, name) {
  fs.mkdirSync(shots, { recursive: true });
  await page.waitForTimeout(250); // the last patch painted
  await page.screenshot({ path: path.join(shots, name) });
}

// The iframe of the top modal dialog, and the count of dialogs (pop-ups such
// as menus are windows of that layer too, but no dialogs).
export const dialogs = (page) => page.locator('#kalimor-dialogs iframe.k-dialog:not(.k-popup)');
export const dialogFrame = (page) => page.frameLocator('#kalimor-dialogs iframe.k-dialog:not(.k-popup) >> nth=-1');
// The pop-up (menu, section selector) on screen.
export const popupFrame = (page) => page.frameLocator('#kalimor-dialogs iframe.k-popup:not(.hidden)');
export const panel = (page, n) => page.frameLocator(`#kalimor-frame > iframe >> nth=${n}`);
export const count = (text, part) => text.split(part).length - 1;

// Runs the test body and reports in the closing line the test runners read.
export async function run(name, body, cleanup) {
  let failed = false;
  try {
    await body();
  } catch (error) {
    failed = true;
    console.error(error);
  } finally {
    await cleanup(failed).catch(() => {});
  }
  console.log(`${name}: ${failed ? 0 : 1} passed, ${failed ? 1 : 0} failed`);
  process.exit(failed ? 1 : 0);
}

// The window (iframe) whose page holds an element matching the selector.
export async function frameWith(page, selector, ms = 10000) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    for (const frame of page.frames()) {
      if (await frame.locator(selector).count().catch(() => 0)) return frame;
    }
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error('no window shows ' + selector);
}

// The content document on screen (the sandboxed frame the browser renders).
export const documentFrame = (page) => page.frameLocator('iframe[sandbox]');

// An event for the client, as the page's own script sends them.
export async function postEvent(page, event) {
  await page.evaluate((e) => fetch('/event', { method: 'POST', body: JSON.stringify([e]) }), event);
}

// The page's painting statistics (window.__kalimor).
export const stats = (page) => page.evaluate(() => ({ ...window.__kalimor }));

// Files under a folder, relative paths.
export function listFiles(folder) {
  const found = [];
  const walk = (dir) => {
    for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
      const full = path.join(dir, entry.name);
      if (entry.isDirectory()) walk(full);
      else found.push(path.relative(folder, full));
    }
  };
  if (fs.existsSync(folder)) walk(folder);
  return found;
}
