// KalimorClnt as a desktop program, in headless Chromium on a desktop of the
// test's own: the top panel's menu with the mouse and the keyboard; with a
// tray, closing the window leaves an icon whose menu opens the window, starts
// the update and ends the client, and a click on it opens; a page that comes
// while the client is in the tray offers to open it; a page whose client
// ended says so and stops calling it; without a tray, closing the window ends
// the client; the autostart switch writes its entry and yields to the
// desktop's own "off".
//   node tray.test.mjs PATH_OF_KalimorClnt
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { dialogFrame, dialogs, frameWith, launchBrowser, makeHome, newPage, panel, popupFrame, reopen, run, screenshot, start, until,
  urlsOf, watchdog, within } from './support.mjs';

watchdog(200);
const client = process.argv[2];
const ID_APP_SHOW = 32780, ID_APP_UPDATE = 32781, ID_APP_EXIT = 57665;
const home = makeHome();
const bare = makeHome({ desktop: 'none' });
const autostart = (h) => path.join(h.env.XDG_CONFIG_HOME, 'autostart', 'example.kalimor.Client.desktop');
const writeIni = (h, text) => fs.writeFileSync(path.join(h.env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini'),
  '[UserConfig]\nLogLevel=5\n' + text);
const startClient = (h, ...args) => start(client, ['--no-browser', ...args], h.env);
const popup = (page) => page.locator('#kalimor-dialogs iframe.k-popup:not(.hidden)');
const focusedId = (frame) => frame.locator('*:focus').getAttribute('id', { timeout: 2000 }).catch(() => null);

const browser = await launchBrowser();
let first = null, second = null;
await run('e2e tray', async () => {
  // The autostart switch on: the client writes its entry at start.
  writeIni(home, 'AutoRun=1\n');
  first = startClient(home);
  await until('start address', () => urlsOf(first.out).length === 1);
  const entry = fs.readFileSync(autostart(home), 'utf8');
  assert.match(entry, /^Exec=\S*KalimorClnt --autostart$/m);
  assert.match(entry, /^Name\[ru\]=Калимор$/m);

  let page = await newPage(browser);
  await page.goto(urlsOf(first.out)[0]);
  const top = panel(page, 0);
  const menuButton = top.locator('#btn_menu');
  await menuButton.waitFor();
  assert.equal(await menuButton.getAttribute('aria-haspopup'), 'menu');

  // The menu from the keyboard: Enter opens it on its first entry, the arrows
  // go round, Enter chooses. "Обновить" is the update from the window.
  await menuButton.focus();
  await page.keyboard.press('Enter');
  await popup(page).waitFor();
  const menu = popupFrame(page);
  await menu.locator('[role="menu"] [role="menuitem"]').first().waitFor();
  assert.deepEqual(await menu.locator('[role="menuitem"]').allTextContents(), ['О программе', 'Обновить', 'Выход']);
  assert.equal(await menuButton.getAttribute('aria-expanded'), 'true');
  await until('first entry focused', async () => (await focusedId(menu)) === 'cmd16');
  const under = await menuButton.boundingBox(), box = await popup(page).boundingBox();
  assert.ok(Math.abs(box.y - (under.y + under.height)) <= 1 && box.x + box.width <= 1280, 'the menu hangs under its button');
  await screenshot(page, 'top-menu.png');
  await page.keyboard.press('ArrowUp');
  await until('round to the last', async () => (await focusedId(menu)) === 'cmd57665');
  await page.keyboard.press('ArrowUp');
  await until('up to update', async () => (await focusedId(menu)) === 'cmd48');
  await page.keyboard.press('Enter');
  await popup(page).waitFor({ state: 'detached' });
  await until('update from the menu', () => /CMainWindow::OnAppUpdate$/m.test(home.log()));
  assert.equal(await menuButton.getAttribute('aria-expanded'), 'false');
  // With no account yet the update asks for one first; Escape gives up.
  const signIn = await frameWith(page, '#edit_user_login');
  await signIn.locator('#edit_user_login').press('Escape');
  await until('sign-in closed', async () => (await dialogs(page).count()) === 0);

  // Down on the button opens it too; Escape closes it and gives the keyboard back.
  await menuButton.focus();
  await page.keyboard.press('ArrowDown');
  await popup(page).waitFor();
  await until('focus in the menu', async () => (await focusedId(menu)) === 'cmd16');
  await page.keyboard.press('Escape');
  await popup(page).waitFor({ state: 'detached' });
  await until('focus back on the button', async () => (await focusedId(top)) === 'btn_menu');
  assert.ok(!/Unknown|OnCommand unknown/.test(home.log()));

  // With the mouse: "О программе" is the about dialog.
  await menuButton.click();
  await popupFrame(page).locator('#cmd16').click();
  await dialogFrame(page).locator('#label_product_version').filter({ hasText: '1.3.0.156' }).waitFor();
  await page.keyboard.press('Escape');
  await dialogs(page).waitFor({ state: 'detached' });

  // Closed with a tray: the client stays, with its icon on the panel.
  await page.close();
  await until('icon shown', () => home.desktop.items().length === 1, 15000);
  assert.equal(first.exitCode, null, 'the client still runs');

  // A page that comes now offers to open the window, and does.
  page = await reopen(page, urlsOf(first.out)[0]);
  const open = page.locator('#kalimor-open');
  await open.waitFor();
  assert.equal(await page.locator('#kalimor-tray').getAttribute('role'), 'status');
  await screenshot(page, 'tray-page.png');
  await open.click();
  await panel(page, 0).locator('#btn_menu').waitFor();
  await until('window shown', async () => (await page.locator('#kalimor-frame.hidden').count()) === 0);
  await until('icon gone with tray mode', () => home.desktop.items().length === 0);

  // The tray menu: "Обновить" is the silent update; a click on the icon opens
  // (no browser is connected, so the client offers its address again).
  await page.close();
  await until('icon back', () => home.desktop.items().length === 1, 15000);
  home.desktop.click(ID_APP_UPDATE);
  await until('silent update from the tray', () => home.log().includes('CMainWindow::OnAppUpdate silent'));
  const shown = urlsOf(first.out).length;
  home.desktop.activate();
  await until('opened from the icon', () => urlsOf(first.out).length === shown + 1);
  await until('icon gone', () => home.desktop.items().length === 0);
  page = await newPage(browser);
  await page.goto(urlsOf(first.out).at(-1));
  await panel(page, 0).locator('#btn_menu').waitFor();
  await page.close();
  await until('icon back again', () => home.desktop.items().length === 1, 15000);
  home.desktop.click(ID_APP_SHOW);
  await until('opened from the menu', () => urlsOf(first.out).length === shown + 2);

  // "Выход" in the tray ends the client; a page still open on it says so and
  // stops calling.
  page = await newPage(browser);
  await page.goto(urlsOf(first.out).at(-1));
  await panel(page, 0).locator('#btn_menu').waitFor();
  await page.close();
  await until('in the tray', () => home.desktop.items().length === 1, 15000);
  const watching = await reopen(page, urlsOf(first.out).at(-1));
  await watching.locator('#kalimor-open').waitFor();
  home.desktop.click(ID_APP_EXIT);
  assert.equal(await within(10000, 'exit from the tray', first.exited), 0);
  await watching.locator('#kalimor-tray').filter({ hasText: 'Калимор завершил работу' }).waitFor();
  assert.equal(await watching.locator('#kalimor-open').count(), 0, 'nothing left to open');
  await screenshot(watching, 'ended-page.png');
  const requests = [];
  watching.on('request', (r) => requests.push(r.url()));
  await watching.waitForTimeout(4000); // an EventSource would have called again by now
  assert.deepEqual(requests, [], 'the page no longer calls the ended client');

  // The desktop turned autostart off (Hidden=true): the switch follows and
  // the desktop's entry stays as it is. The top panel's "Выход" ends the
  // client with its window open.
  const hidden = fs.readFileSync(autostart(home), 'utf8') + 'Hidden=true\n';
  fs.writeFileSync(autostart(home), hidden);
  second = startClient(home);
  await until('second run', () => urlsOf(second.out).length === 1);
  assert.match(home.ini(), /^AutoRun=0$/m);
  assert.equal(fs.readFileSync(autostart(home), 'utf8'), hidden);
  page = await newPage(browser);
  await page.goto(urlsOf(second.out)[0]);
  await panel(page, 0).locator('#btn_menu').click();
  await popupFrame(page).locator('#cmd57665').click();
  assert.equal(await within(10000, 'exit from the top panel', second.exited), 0);
  await page.locator('#kalimor-tray').filter({ hasText: 'Калимор завершил работу' }).waitFor();

  // No tray at all: closing the window ends the client rather than leaving it
  // invisible; the switch off leaves no entry.
  second = startClient(bare);
  await until('bare start', () => urlsOf(second.out).length === 1);
  page = await newPage(browser);
  await page.goto(urlsOf(second.out)[0]);
  await panel(page, 0).locator('#btn_menu').waitFor();
  await page.close();
  assert.equal(await within(15000, 'closing without a tray', second.exited), 0);
  assert.ok(bare.log().includes('no tray host: the client ends'));
  assert.equal(fs.existsSync(autostart(bare)), false);

  // A client that is killed says nothing: its page finds it gone all the same.
  second = startClient(bare);
  await until('third start', () => urlsOf(second.out).length === 1);
  page = await newPage(browser);
  await page.goto(urlsOf(second.out)[0]);
  await panel(page, 0).locator('#btn_menu').waitFor();
  second.kill('SIGKILL');
  await page.locator('#kalimor-tray').filter({ hasText: 'Калимор завершил работу' }).waitFor({ timeout: 15000 });
}, async (failed) => {
  if (failed) {
    for (const [name, child] of [['first', first], ['second', second]]) {
      if (child) console.error(`--- ${name} client output\n` + child.out);
    }
    console.error('--- log tail\n' + home.log().split('\n').slice(-40).join('\n'));
    console.error('--- desktop\n' + home.desktop.log());
  }
  for (const child of [first, second]) if (child) child.kill('SIGKILL');
  await browser.close();
  home.remove();
  bare.remove();
});
