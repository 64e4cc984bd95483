// Starts KalimorClnt against a temporary profile and drives its windows in
// headless Chromium: the main frame, the message dialog, buttons, typing,
// closing into tray mode, a second start and "uninstall".
//   node client.test.mjs KALIMORCLNT_PATH
import { chromium } from 'playwright-core';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import assert from 'node:assert/strict';

const clientPath = process.argv[2];
const shots = path.join(path.dirname(new URL(import.meta.url).pathname), 'screenshots');
fs.mkdirSync(shots, { recursive: true });
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

const deadline = (ms, what) => new Promise((_, reject) => setTimeout(() => reject(new Error('timed out: ' + what)), ms));
const within = (ms, what, promise) => Promise.race([promise, deadline(ms, what)]);
async function until(what, test, ms = 10000) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    if (await test()) return;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error('timed out: ' + what);
}
const log = () => (fs.existsSync(logPath) ? fs.readFileSync(logPath, 'utf8') : '');

function start(args) {
  const child = spawn(clientPath, ['--no-browser', ...args], { env, stdio: ['ignore', 'pipe', 'pipe'] });
  child.out = '';
  child.stdout.on('data', (d) => { child.out += d; });
  child.stderr.on('data', (d) => { child.out += d; });
  child.exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  return child;
}
const urlOf = (text, n = 0) => (text.match(/http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+/g) || [])[n];

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  // Playwright gives every launch a fresh profile folder of its own.
  timeout: 30000,
});
const first = start([]);
let failed = false;
try {
  await until('start address', () => urlOf(first.out));
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  let page = await context.newPage();
  page.setDefaultTimeout(10000);
  await page.goto(urlOf(first.out));
  assert.equal(new URL(page.url()).search, '', 'the token leaves the address bar');
  assert.equal(await page.title(), 'Калимор');

  // The frame: top, search and status panels laid out one under another.
  const frame = (id) => page.frameLocator(`iframe[data-win="${id}"]`);
  await until('panels', async () => (await page.locator('iframe').count()) >= 3);
  const top = page.frameLocator('iframe >> nth=0');
  await top.locator('#btn_about').waitFor();
  await until('layout', async () => {
    const boxes = await page.locator('#kalimor-frame > iframe').evaluateAll((els) =>
      els.map((e) => ({ y: e.offsetTop, h: e.offsetHeight })));
    return boxes.length >= 3 && boxes[0].h > 20 && boxes[1].y === boxes[0].h && boxes[1].h === 135 &&
      boxes[2].y === 800 - 20;
  });
  await page.screenshot({ path: path.join(shots, 'main-frame.png') });

  // Typing reaches the C++ side: Enter in the search field runs the search command.
  const search = page.frameLocator('iframe >> nth=1');
  await search.locator('#search_text').click();
  await search.locator('#search_text').pressSequentially('налог');
  await search.locator('#search_text').press('Enter');
  // No content is installed: the client answers with its message dialog.
  const dialog = page.locator('#kalimor-dialogs iframe');
  await dialog.waitFor();
  await until('search logged', () => log().includes('Pressed search button'));
  const dialogFrame = page.frameLocator('#kalimor-dialogs iframe');
  await dialogFrame.locator('#label').filter({ hasText: 'Контент не загружен' }).waitFor();
  await until('shadow shown', async () => (await page.locator('.k-shadow:not(.hidden)').count()) === 1);
  await page.waitForTimeout(300);
  await page.screenshot({ path: path.join(shots, 'message-dialog.png') });
  await dialogFrame.locator('body').press('Escape');
  await dialog.waitFor({ state: 'detached' });
  await until('shadow hidden', async () => (await page.locator('.k-shadow:not(.hidden)').count()) === 0);

  // The about message: its EMAIL-free close through Enter gives CANCEL.
  await top.locator('#btn_about').click();
  await dialog.waitFor();
  await dialogFrame.locator('.about_message').waitFor();
  await page.waitForTimeout(300);
  await page.screenshot({ path: path.join(shots, 'about-message.png') });
  await dialogFrame.locator('body').press('Enter');
  await dialog.waitFor({ state: 'detached' });
  await until('about logged', () => log().includes('Pressed about button'));

  // Buttons: history needs content, so it opens the message dialog; OK ends it.
  await top.locator('#btn_history').click();
  await dialog.waitFor();
  await dialogFrame.locator('#OK').click();
  await dialog.waitFor({ state: 'detached' });
  assert.ok(log().includes('Pressed history button'));

  // A reload brings the whole state back.
  await page.reload();
  await page.frameLocator('iframe >> nth=0').locator('#btn_about').waitFor();

  // Closing the window puts the client into tray mode; it keeps running.
  await page.close();
  await until('tray mode', () => log().includes('Entering: CKalimorClntApp::SetTrayMode'), 15000);
  const second = start([]);
  assert.equal(await within(15000, 'second start', second.exited), 0);
  assert.equal(second.out, '', 'a second start prints nothing');
  await until('reopened', () => urlOf(first.out, 1), 10000);
  page = await context.newPage();
  await page.goto(urlOf(first.out, 1));
  await page.frameLocator('iframe >> nth=0').locator('#btn_about').waitFor();
  assert.equal(await page.locator('#kalimor-frame.hidden').count(), 0, 'the window is shown again');

  // "uninstall" stops the running client.
  const uninstall = start(['--uninstall']);
  assert.equal(await within(20000, 'uninstall', uninstall.exited), 0);
  assert.equal(await within(10000, 'client stop', first.exited), 0);
  assert.match(fs.readFileSync(path.join(env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini'), 'utf8'),
    /ContentVersion=0/);
  console.log('e2e: 1 passed, 0 failed');
} catch (error) {
  failed = true;
  console.error(error);
  console.error('--- client output\n' + first.out + '\n--- log tail\n' + log().split('\n').slice(-40).join('\n'));
} finally {
  first.kill('SIGKILL');
  await browser.close().catch(() => {});
  if (!process.env.KEEP) fs.rmSync(work, { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
