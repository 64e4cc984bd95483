// KalimorClnt against a temporary profile, in headless Chromium: the main
// frame laid out, typing reaching the C++ side, the message dialog ended by
// Escape, Enter and its buttons, a reload that restores everything, closing
// into tray mode, a second start bringing the window back, "uninstall"
// stopping the client, and a start into tray mode with "autostart".
//   node client.test.mjs PATH_OF_KalimorClnt
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { count, dialogFrame, dialogs, launchBrowser, makeHome, newPage, panel, run, screenshot, start, until, urlsOf,
  watchdog, within } from './support.mjs';

watchdog(200);
const client = process.argv[2];
const home = makeHome();
// Mail links go to a stand-in for the desktop's handler, which notes them.
const bin = path.join(home.work, 'bin');
const opened = path.join(home.work, 'opened.txt');
fs.mkdirSync(bin);
fs.writeFileSync(path.join(bin, 'xdg-open'), `#!/bin/sh\necho "$1" >> '${opened}'\n`, { mode: 0o755 });
home.env.PATH = bin + ':' + home.env.PATH;
const startClient = (...args) => start(client, ['--no-browser', ...args], home.env);

const browser = await launchBrowser();
let first = startClient();
await run('e2e client', async () => {
  await until('start address', () => urlsOf(first.out).length === 1);
  let page = await newPage(browser);
  await page.goto(urlsOf(first.out)[0]);
  assert.equal(new URL(page.url()).search, '', 'the token leaves the address bar');
  assert.equal(await page.title(), 'Калимор');

  // The frame: top, search and status panels one under another, the status
  // panel at the bottom of the 1280 x 800 window.
  const top = panel(page, 0), search = panel(page, 1);
  await top.locator('#btn_about').waitFor();
  await until('layout', async () => {
    // The three panels, found by their pages (the body windows lie between them).
    const boxes = await page.locator('#kalimor-frame > iframe').evaluateAll((els) => ['top_panel', 'search_panel',
      'status_panel'].map((id) => els.find((e) => e.contentDocument && e.contentDocument.getElementById(id)))
      .filter(Boolean).map((e) => ({ y: e.offsetTop, h: e.offsetHeight, w: e.offsetWidth })));
    return boxes.length === 3 && boxes[0].h > 20 && boxes[1].y === boxes[0].h && boxes[1].h === 135 &&
      boxes[2].y === 780 && boxes[2].h === 20 && boxes.every((b) => b.w === 1280);
  });
  await screenshot(page, 'main-frame.png');

  // Typing reaches the C++ side; Enter runs the search, which finds no
  // content and says so in the message dialog over the dimmed frame.
  await search.locator('#edit_search').click();
  await search.locator('#edit_search').pressSequentially('налог');
  await search.locator('#edit_search').press('Enter');
  await dialogs(page).waitFor();
  await until('search text in C++', () => home.log().includes('CMainWindow::OnSearch налог'));
  await dialogFrame(page).locator('#label').filter({ hasText: 'Контент не загружен. Выполните обновление' }).waitFor();
  await until('shadow shown', async () => (await page.locator('.k-shadow:not(.hidden)').count()) === 1);
  await screenshot(page, 'message-dialog.png');
  // The dialog has the keyboard: Escape ends it with CANCEL.
  await page.keyboard.press('Escape');
  await dialogs(page).waitFor({ state: 'detached' });
  await until('CANCEL from Escape', () => count(home.log(), 'CMessageDlg result CANCEL') === 1);
  await until('shadow hidden', async () => (await page.locator('.k-shadow:not(.hidden)').count()) === 0);

  // Buttons: history and bookmarks need content, so each answers with the
  // message dialog; Enter gives CANCEL, the OK button OK.
  await top.locator('#btn_history').click();
  await dialogs(page).waitFor();
  await dialogFrame(page).locator('#OK').waitFor();
  await page.keyboard.press('Enter');
  await dialogs(page).waitFor({ state: 'detached' });
  await until('CANCEL from Enter', () => count(home.log(), 'CMessageDlg result CANCEL') === 2);
  assert.ok(home.log().includes('Pressed history button'));
  await top.locator('#btn_bookmarks').click();
  await dialogFrame(page).locator('#OK').click();
  await dialogs(page).waitFor({ state: 'detached' });
  await until('OK from its button', () => home.log().includes('CMessageDlg result OK'));

  // The about page, 700 x 530; its mail link ends it with EMAIL and the
  // client hands the support address to the desktop.
  await top.locator('#btn_about').click();
  await dialogFrame(page).locator('.about_message').waitFor();
  const box = await dialogs(page).boundingBox();
  assert.deepEqual([box.width, box.height], [700, 530]);
  await screenshot(page, 'about-message.png');
  await dialogFrame(page).locator('#EMAIL').click();
  await dialogs(page).waitFor({ state: 'detached' });
  await until('mail link opened', () => fs.existsSync(opened));
  assert.equal(fs.readFileSync(opened, 'utf8').trim(), 'mailto:support@kalimor.example');

  // A reload brings the whole state back: the open dialog and the typed text.
  await search.locator('#edit_search').fill('авансовый');
  await top.locator('#btn_history').click();
  // (The events go in order: the typed text reached C++ before the click.)
  await dialogFrame(page).locator('#label').filter({ hasText: 'Контент не загружен' }).waitFor();
  await page.reload();
  await dialogFrame(page).locator('#label').filter({ hasText: 'Контент не загружен' }).waitFor();
  assert.equal(await search.locator('#edit_search').inputValue(), 'авансовый');
  assert.equal(await page.locator('.k-shadow:not(.hidden)').count(), 1);
  await page.keyboard.press('Escape');
  await dialogs(page).waitFor({ state: 'detached' });
  await until('CANCEL after the reload', () => count(home.log(), 'CMessageDlg result CANCEL') === 3);

  // Closing the window puts the client into tray mode; it keeps running.
  await page.close();
  await until('tray mode', () => home.log().includes('Entering: CKalimorClntApp::SetTrayMode'), 15000);
  assert.equal(first.exitCode, null, 'the client still runs');

  // A second start brings the window up and ends without output or a log of its own.
  const second = startClient();
  assert.equal(await within(15000, 'second start', second.exited), 0);
  assert.equal(second.out, '', 'a second start prints nothing');
  assert.equal(count(home.log(), 'Kalimor client starting...'), 1);
  await until('shown again', () => urlsOf(first.out).length === 2);
  page = await newPage(browser);
  await page.goto(urlsOf(first.out)[1]);
  await panel(page, 0).locator('#btn_about').waitFor();
  assert.equal(await page.locator('#kalimor-frame.hidden').count(), 0, 'the window is shown again');
  assert.equal(await panel(page, 1).locator('#edit_search').inputValue(), 'авансовый');

  // "uninstall" resets the content version and stops the running client.
  const uninstall = startClient('--uninstall');
  assert.equal(await within(20000, 'uninstall', uninstall.exited), 0);
  assert.equal(await within(10000, 'client stop', first.exited), 0);
  assert.match(home.ini(), /ContentVersion=0/);
  assert.ok(home.log().includes('Kalimor client stopped'));
  await page.close();

  // "autostart": no window at all until a second start asks for it.
  first = startClient('--autostart');
  await until('tray start', () => home.log().includes('started in tray mode'));
  assert.equal(urlsOf(first.out).length, 0, 'nothing is shown');
  assert.equal(await within(15000, 'second start', startClient().exited), 0);
  await until('shown', () => urlsOf(first.out).length === 1);
  page = await newPage(browser);
  await page.goto(urlsOf(first.out)[0]);
  await panel(page, 0).locator('#btn_about').waitFor();
  assert.equal(await within(20000, 'uninstall', startClient('--uninstall').exited), 0);
  assert.equal(await within(10000, 'client stop', first.exited), 0);
}, async (failed) => {
  if (failed)
    console.error('--- client output\n' + first.out + '\n--- log tail\n' + home.log().split('\n').slice(-40).join('\n'));
  first.kill('SIGKILL');
  await browser.close();
  home.remove();
});
