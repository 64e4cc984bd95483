// Updating from the window against the fake update service over real HTTP,
// as a user does it: the connection settings and their checks, a sign-up the
// service refuses (the form again, then the password reminder), a wrong
// password (the sign-in dialog again), a download cancelled half-way (no
// partial file, the content as it was), the whole demo installed from
// content version 0 with the bar rising to 100 and the home page showing the
// new content; then an incremental update (package 2: a page removed, a
// section added), and a silent update of a client started into the tray.
//   node update.test.mjs KalimorClnt kalimor-fake-service DEMO_PACKAGES_FOLDER
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { dialogFrame, dialogs, frameWith, launchBrowser, listFiles, makeHome, run, screenshot, start, until, urlsOf,
  watchdog } from './support.mjs';

watchdog(230);
const [client, fakeService, packages] = process.argv.slice(2);
const browser = await launchBrowser();
const homes = [];
const processes = [];

// A home with a stand-in for the desktop's handler (it notes what it opens)
// and the service's address; the settings as the test gives them.
function prepareHome(service, settings = '') {
  const home = makeHome();
  homes.push(home);
  const bin = path.join(home.work, 'bin');
  home.noted = path.join(home.work, 'noted.txt');
  fs.mkdirSync(bin);
  fs.writeFileSync(path.join(bin, 'xdg-open'), `#!/bin/sh\necho "open $1" >> '${home.noted}'\n`, { mode: 0o755 });
  home.env.PATH = bin + ':' + home.env.PATH;
  home.env.KALIMOR_SERVICE = service;
  home.env.XDG_DOWNLOAD_DIR = path.join(home.work, 'downloads');
  home.ini = path.join(home.env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini');
  fs.writeFileSync(home.ini, `[UserConfig]\nLogLevel=5\nProxyType=1\n${settings}`);
  home.notes = () => (fs.existsSync(home.noted) ? fs.readFileSync(home.noted, 'utf8') : '');
  home.settings = () => fs.readFileSync(home.ini, 'utf8');
  home.content = path.join(home.env.KALIMOR_PROFILE, 'Content');
  home.downloads = path.join(home.env.KALIMOR_PROFILE, 'Download');
  return home;
}

function startClient(home, ...args) {
  const proc = start(client, ['--no-browser', ...args], home.env);
  processes.push(proc);
  return proc;
}

async function openWindow(proc) {
  await until('start address', () => urlsOf(proc.out).length >= 1);
  const context = await browser.newContext({ viewport: { width: 1366, height: 768 } });
  const page = await context.newPage();
  page.setDefaultTimeout(15000);
  await page.goto(urlsOf(proc.out).at(-1));
  return page;
}

// The update dialog's words, once it shows them.
const action = (page, text) => dialogFrame(page).locator('#action', { hasText: text }).waitFor();

const service = start(fakeService, ['--port', '0', '--packages', packages, '--account', 'demo:demo123', '--control'],
  process.env);
processes.push(service);
await until('the service', () => /listening on 127\.0\.0\.1:\d+/.test(service.out));
const hostPort = service.out.match(/listening on (127\.0\.0\.1:\d+)/)[1];
const steer = (what, ...lines) => fetch(`http://${hostPort}/test/${what}`, { method: 'POST', body: lines.join('\n') });

await run('e2e update', async () => {
  // ---- A fresh client: no account, no content.
  const home = prepareHome(hostPort);
  const proc = startClient(home);
  const page = await openWindow(proc);
  const top = await frameWith(page, '#btn_update');

  // The connection settings, reached from the sign-in dialog: a given proxy
  // needs a port; Escape keeps what was stored.
  await top.locator('#btn_config').click();
  const signIn = await frameWith(page, '#edit_user_login');
  await signIn.locator('#edit_user_login').waitFor();
  await screenshot(page, 'update-sign-in.png');
  await signIn.locator('#link_proxy').click();
  const proxy = await frameWith(page, '#radio_specify');
  await proxy.locator('#radio_specify').click();
  await proxy.locator('#radio_specify[on="1"]').waitFor();
  await proxy.locator('#edit_server').fill('proxy');
  await proxy.locator('#edit_port').fill('abc');
  await screenshot(page, 'update-proxy.png');
  await proxy.locator('#btn_ok').click();
  await dialogFrame(page).locator('#label', { hasText: 'Не указан номер порта' }).waitFor();
  await page.keyboard.press('Escape');
  await proxy.locator('#edit_port').waitFor();
  await proxy.locator('#edit_port').press('Escape');
  await signIn.locator('#edit_user_login').waitFor({ state: 'visible' });
  assert.match(home.settings(), /ProxyType=1/, 'Escape keeps the stored settings');
  assert.doesNotMatch(home.settings(), /ProxyHost=proxy/);

  // A sign-up the service refuses: the form comes back with what was typed;
  // a login it knows offers the password reminder.
  await signIn.locator('#link_register').click();
  const form = await frameWith(page, '#edit_logn');
  await form.locator('#edit_name').fill('Иван');
  await form.locator('#edit_last_name').fill('Петров');
  await form.locator('#email').fill('ivan@example.org');
  await form.locator('#edit_logn').fill('petrov');
  await form.locator('#edit_password').fill('secret1');
  await form.locator('#edit_confirm_password').fill('secret1');
  await screenshot(page, 'update-sign-up.png');
  for (const [code, text] of [['204', 'Неверный адрес почты'], ['206', 'Этот адрес почты уже зарегистрирован']]) {
    await steer('sign-up', code, text);
    await (await frameWith(page, '#btn_registration')).locator('#btn_registration').click();
    await action(page, text);
    if (code === '204') await screenshot(page, 'update-sign-up-refused.png');
    await dialogFrame(page).locator('#LEFT_BUTTON').click();
    const again = await frameWith(page, '#edit_logn');
    assert.equal(await again.locator('#edit_logn').inputValue(), 'petrov', 'the same record');
  }
  await steer('sign-up', '208', 'Такой логин уже зарегистрирован');
  await (await frameWith(page, '#btn_registration')).locator('#btn_registration').click();
  await action(page, 'Такой логин уже зарегистрирован');
  await dialogFrame(page).locator('#PASSWORD_LINK').click();
  await until('the reminder opened', () => home.notes().includes(`open http://${hostPort}/remind_password/`));
  await screenshot(page, 'update-sign-up-reminder.png');
  await dialogFrame(page).locator('#LEFT_BUTTON').click();
  await dialogs(page).waitFor({ state: 'detached' });
  assert.doesNotMatch(home.settings(), /Login=petrov/, 'a refused account is not kept');

  // A wrong password: the service refuses it and the sign-in dialog comes back.
  await top.locator('#btn_update').click();
  let login = await frameWith(page, '#btn_login');
  await login.locator('#edit_user_login').fill('demo');
  await login.locator('#edit_user_password').fill('wr0ngPass');
  await login.locator('#btn_login').click();
  await action(page, 'Неверный логин или пароль');
  await screenshot(page, 'update-wrong-password.png');
  await dialogFrame(page).locator('#LEFT_BUTTON').click();
  login = await frameWith(page, '#btn_login');
  assert.equal(await login.locator('#edit_user_login').inputValue(), 'demo');
  assert.doesNotMatch(home.log(), /wr0ngPass|demo123/, 'passwords are never logged');

  // The first package comes slowly and the user cancels it: nothing of it is
  // left and the content is as it was.
  await steer('slow', '4096', '100');
  await steer('fault', '/packages/1.zip', 'slow');
  await login.locator('#edit_user_password').fill('demo123');
  await login.locator('#btn_login').click();
  await until('the package coming', () => listFiles(home.downloads).includes('1.zip'));
  await screenshot(page, 'update-downloading.png');
  await dialogFrame(page).locator('#LEFT_BUTTON[button_type="cancel"]').click();
  await dialogs(page).waitFor({ state: 'detached' });
  await until('the partial package removed', () => listFiles(home.downloads).length === 0);
  assert.deepEqual(listFiles(home.content), [], 'the content is as it was: none');
  assert.match(home.settings(), /ContentVersion=0/);
  assert.doesNotMatch(home.log(), /demo123/, 'passwords are never logged');

  // The whole demo from content version 0: the bar rises to 100, the home
  // page shows the news of the new content.
  // Both packages come at a pace the bar can be watched at.
  await steer('slow', '16384', '10');
  await steer('fault', '/packages/2.zip', 'slow');
  const shownValues = [];
  await top.locator('#btn_update').click();
  await dialogFrame(page).locator('td.progress_left').waitFor();
  while (!(await dialogFrame(page).locator('#action', { hasText: 'Обновления загружены' }).count())) {
    const width = await dialogFrame(page).locator('td.progress_left').evaluate((e) => e.style.width).catch(() => '');
    if (width && shownValues.at(-1) !== parseInt(width, 10)) shownValues.push(parseInt(width, 10));
    if (shownValues.length === 3) await screenshot(page, 'update-progress.png');
    await page.waitForTimeout(30);
  }
  await screenshot(page, 'update-done.png');
  assert.ok(shownValues.length >= 4, 'the bar moved: ' + shownValues);
  assert.deepEqual([...shownValues].sort((a, b) => a - b), shownValues, 'the bar only rises: ' + shownValues);
  assert.ok(shownValues.some((v) => v > 0 && v < 50) && shownValues.some((v) => v > 50 && v < 100),
    'each package fills its half smoothly: ' + shownValues);
  assert.equal(await dialogFrame(page).locator('img[src="progress_right_green.png"]').count(), 1, 'full and green');
  await dialogFrame(page).locator('#LEFT_BUTTON').click();
  await dialogs(page).waitFor({ state: 'detached' });
  assert.match(home.settings(), /ContentVersion=2/);
  const news = await frameWith(page, '.news_item');
  await news.locator('.news_date', { hasText: '7 декабря 2026' }).waitFor();
  await (await frameWith(page, '.mru_list_item')).locator('.mru_list_item').first().waitFor();
  const status = await frameWith(page, '#update_date');
  assert.notEqual(await status.locator('#update_date').textContent(), 'не выполнялось');
  await screenshot(page, 'update-home-after.png');
  await page.context().close();

  // ---- A client with package 1 installed: the update brings package 2 only.
  const second = prepareHome(hostPort, 'Login=demo\nPassword=' + Buffer.from('demo123', 'utf16le').toString('hex') + '\n');
  const onlyFirst = path.join(second.work, 'first');
  fs.mkdirSync(onlyFirst);
  fs.copyFileSync(path.join(packages, '1.zip'), path.join(onlyFirst, '1.zip'));
  const install = spawnSync(client, ['-updates', onlyFirst], { env: second.env, encoding: 'utf8' });
  assert.equal(install.status, 0, install.stderr);
  assert.ok(fs.existsSync(path.join(second.content, 'Content', 'about', 'release.dat')));
  await steer('fault', '/packages/2.zip', 'none');
  const secondProc = startClient(second);
  const secondPage = await openWindow(secondProc);
  // This update by keys alone: the top panel by Shift+F6 from the search
  // box, "Обновление" by Tab, Enter; Tab stays in the dialog, Enter on its
  // button closes it, and the keyboard is back on "Обновление".
  const keyboardOn = () => secondPage.evaluate(() => {
    const frame = document.activeElement;
    const inner = frame && frame.contentDocument && frame.contentDocument.activeElement;
    return { id: inner ? inner.id : '', dialog: !!(frame && frame.closest('#kalimor-dialogs')) };
  });
  await until('the search box has the keyboard', async () => (await keyboardOn()).id === 'edit_search');
  await secondPage.keyboard.press('Shift+F6');
  await until('the top panel has the keyboard', async () => (await keyboardOn()).id === 'btn_home');
  let tabs = 0;
  for (; tabs < 8 && (await keyboardOn()).id !== 'btn_update'; ++tabs) await secondPage.keyboard.press('Tab');
  assert.equal((await keyboardOn()).id, 'btn_update', `"Обновление" within 8 Tabs (${tabs})`);
  await secondPage.keyboard.press('Enter');
  await action(secondPage, 'Обновления загружены');
  let inside = 0;
  for (; inside < 8 && (await keyboardOn()).id !== 'LEFT_BUTTON'; ++inside) {
    await secondPage.keyboard.press('Tab');
    assert.ok((await keyboardOn()).dialog, 'Tab stays in the dialog');
  }
  assert.equal((await keyboardOn()).id, 'LEFT_BUTTON', 'the dialog\'s button by Tab');
  console.log(`update by keys: Shift+F6, ${tabs} Tabs, Enter; ${inside} Tabs in the dialog to its button`);
  await secondPage.keyboard.press('Enter');
  await dialogs(secondPage).waitFor({ state: 'detached' });
  await until('the keyboard back on "Обновление"', async () => (await keyboardOn()).id === 'btn_update');
  assert.match(second.settings(), /ContentVersion=2/);
  assert.equal(fs.existsSync(path.join(second.content, 'Content', 'about', 'release.dat')), false, 'the page removed');
  // The new news item leads to the new section; the removed page is not in
  // the navigator.
  const secondNews = await frameWith(secondPage, '.news_item');
  await secondNews.locator('a.link_in_news', { hasText: 'что нового в выпуске 2' }).click();
  const navigator = await frameWith(secondPage, '#tree a.section_link');
  await navigator.locator('a.section_link', { hasText: 'Что нового в выпуске 2' }).waitFor();
  assert.equal(await navigator.locator('a.section_link', { hasText: 'Выпуск 1' }).count(), 0);
  await screenshot(secondPage, 'update-incremental.png');
  await secondPage.context().close();

  // ---- Started into the tray with automatic updates: the update runs
  // unseen, then the window shows the new content and no dialog.
  const third = prepareHome(hostPort,
    'AutoUpdate=1\nLogin=demo\nPassword=' + Buffer.from('demo123', 'utf16le').toString('hex') + '\n');
  const trayProc = startClient(third, '-autostart');
  await until('the silent update', () => /ContentVersion=2/.test(third.settings()), 60000);
  await until('its end', () => third.log().includes('CKalimorClntApp::UpdateData mode 1 ended with 0'));
  assert.equal(urlsOf(trayProc.out).length, 0, 'no window was shown');
  assert.doesNotMatch(third.notes(), /open http/, 'no browser was opened');
  const again = startClient(third);
  assert.equal(await again.exited, 0);
  const trayPage = await openWindow(trayProc);
  await (await frameWith(trayPage, '.news_item')).locator('.news_date', { hasText: '7 декабря 2026' }).waitFor();
  assert.equal(await dialogs(trayPage).count(), 0);
  await trayPage.context().close();
}, async (failed) => {
  if (failed)
    for (const home of homes)
      console.error('--- log tail\n' + home.log().split('\n').slice(-40).join('\n'));
  for (const proc of processes) proc.kill('SIGKILL');
  await browser.close();
  for (const home of homes) home.remove();
});
