// What the browser tests share: a temporary home for the client, Debian's
// Chromium, processes with their output, and waits that always end.
import { spawn } from 'node:child_process';
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

// A profile, settings (with the detailed log) and a runtime folder of its own.
export function makeHome() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kalimor-e2e-'));
  const env = {
    ...process.env,
    KALIMOR_PROFILE: path.join(work, 'profile'),
    XDG_CONFIG_HOME: path.join(work, 'config'),
    XDG_RUNTIME_DIR: path.join(work, 'run'),
  };
  fs.mkdirSync(env.XDG_RUNTIME_DIR, { mode: 0o700 });
  fs.mkdirSync(path.join(env.XDG_CONFIG_HOME, 'Kalimor'), { recursive: true });
  fs.writeFileSync(path.join(env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini'), '[UserConfig]\nLogLevel=5\n');
  const logPath = path.join(env.KALIMOR_PROFILE, 'KalimorClient.log');
  return {
    work, env,
    ini: () => fs.readFileSync(path.join(env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini'), 'utf8'),
    log: () => (fs.existsSync(logPath) ? fs.readFileSync(logPath, 'utf8') : ''),
    remove: () => { if (!process.env.KEEP) fs.rmSync(work, { recursive: true, force: true }); },
  };
}

export function start(program, args, env, input = 'ignore') {
  const child = spawn(program, args, { env, stdio: [input, 'pipe', 'pipe'] });
  child.out = '';
  child.stdout.on('data', (d) => { child.out += d; });
  child.stderr.on('data', (d) => { child.out += d; });
  child.exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
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
