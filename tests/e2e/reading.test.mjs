// A whole reading session on the demo library, as a user walks it: the home
// page, a tile, the navigator's levels, a document opened at its anchor, a
// link inside it, back and forward, a picture, bookmarks from the tool bar
// and the context menu, copy, print and the word processor, the bookmark list,
// the view history (with the client's clock moved instead of waiting), the
// recently used documents, and a hostile page that must do nothing. Every
// request the browser makes is watched, and the profile never holds a
// deciphered page.
//   node reading.test.mjs KalimorClnt kalimorctl DEMO_PACKAGES_FOLDER
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { dialogFrame, dialogs, documentFrame, frameWith, launchBrowser, listFiles, makeHome, popupFrame, postEvent,
  reopen, run, screenshot, start, stats, until, urlsOf, watchdog } from './support.mjs';

watchdog(220);
const [client, ctl, packages] = process.argv.slice(2);
const home = makeHome();
home.env.KALIMOR_TEST_HOOKS = '1';
const profile = home.env.KALIMOR_PROFILE;
const documents = path.join(profile, 'Content', 'Content');

// Stand-ins for the desktop: the word processor and the web handler note
// what they were given.
const bin = path.join(home.work, 'bin');
const noted = path.join(home.work, 'noted.txt');
fs.mkdirSync(bin);
const soffice = path.join(bin, 'soffice');
fs.writeFileSync(soffice, `#!/bin/sh\necho "soffice $1 $2" >> '${noted}'\ncat "$2" >> '${noted}'\n`, { mode: 0o755 });
fs.writeFileSync(path.join(bin, 'xdg-open'), `#!/bin/sh\necho "open $1" >> '${noted}'\n`, { mode: 0o755 });
home.env.PATH = bin + ':' + home.env.PATH;
const notes = () => (fs.existsSync(noted) ? fs.readFileSync(noted, 'utf8') : '');

// The demo installed as a user's client installs packages.
const install = spawnSync(client, ['-updates', packages], { env: home.env, encoding: 'utf8' });
assert.equal(install.status, 0, install.stderr);
assert.match(home.ini(), /ContentVersion=2/);
// The client never writes the log level: the detailed log is asked for again.
fs.appendFileSync(path.join(home.env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini'), 'LogLevel=5\n');

const bookmarksFile = path.join(profile, 'bookmarks.xml');
const historyFile = path.join(profile, 'history.xml');
const read = (file) => (fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '');
function noPlainPages() {
  const plain = listFiles(documents).filter((f) => /\.html?$/i.test(f));
  assert.deepEqual(plain, [], 'no deciphered page lies in the profile');
}

const browser = await launchBrowser();
const proc = start(client, ['--no-browser'], home.env);
await run('e2e reading', async () => {
  await until('start address', () => urlsOf(proc.out).length === 1);
  const context = await browser.newContext({ viewport: { width: 1366, height: 768 } });
  await context.grantPermissions(['clipboard-read', 'clipboard-write']);
  const page = await context.newPage();
  page.setDefaultTimeout(10000);
  const requests = [];
  page.on('request', (request) => requests.push(request.url()));
  let popups = 0;
  context.on('page', () => { popups += 1; });
  await page.goto(urlsOf(proc.out)[0]);
  const origin = new URL(page.url()).origin;
  const doc = documentFrame(page);
  const docPath = async () => new URL((await stats(page)).docSrc || '/', origin);
  const shown = async (what, test) => until(what, async () => test(await docPath()));

  // Home: the tiles and the recently used documents.
  const welcome = await frameWith(page, '#btn_tax_on_price');
  await welcome.locator('.mru_list_item').first().waitFor();
  assert.ok(await welcome.locator('.mru_list_item:visible').count() >= 3);
  await screenshot(page, 'reading-home-1366.png');

  // A tile opens its topic; a second-level item expands; a third-level item
  // that is a document opens it; a fourth-level one opens at its anchor.
  await welcome.locator('#btn_tax_on_price').click();
  await shown('the topic page', (u) => u.pathname === '/doc/nds/index.html');
  const navigator = await frameWith(page, '#tree a.section_link');
  assert.equal(await navigator.locator('#section_name').textContent(), 'НДС');
  await navigator.locator('a.section_link', { hasText: 'Вычеты и восстановление' }).click();
  await navigator.locator('td.level2_high a', { hasText: 'Вычеты и восстановление' }).waitFor();
  await navigator.locator('a.section_link', { hasText: 'Налоговые вычеты по НДС' }).click();
  await shown('the third-level document', (u) => u.pathname === '/doc/nds/deduction.html');
  await navigator.locator('a.section_link', { hasText: 'Когда вычета нет' }).click();
  await shown('the anchor', (u) => u.hash === '#no-deduction');
  await navigator.locator('td.level4_selected a', { hasText: 'Когда вычета нет' }).waitFor();
  await until('scrolled to the anchor', async () => {
    const frameBox = await page.locator('iframe[sandbox]').boundingBox();
    const anchor = await doc.locator('#no-deduction').boundingBox();
    return anchor && Math.abs(anchor.y - frameBox.y) < 40;
  });
  // The see-also block of the navigator lists the page's "see also" links.
  await navigator.locator('.see_also_ref', { hasText: 'Восстановление НДС' }).waitFor();
  noPlainPages();
  await screenshot(page, 'reading-document-1366.png');

  // The floating selector: open, then Escape closes it.
  await navigator.locator('#btn_select_section').click();
  await popupFrame(page).locator('.section_link', { hasText: 'Тарифы и база' }).waitFor();
  await screenshot(page, 'reading-selector-1366.png');
  await page.keyboard.press('Escape');
  await until('selector hidden', async () => (await page.locator('#kalimor-dialogs iframe.k-popup:not(.hidden)').count()) === 0);

  // A link inside the document opens another document; back and forward.
  await doc.locator('.see_also a', { hasText: 'Восстановление НДС' }).click();
  await shown('the linked document', (u) => u.pathname === '/doc/nds/restore.html');
  const top = await frameWith(page, '#btn_backward');
  await top.locator('#btn_backward').click();
  await shown('back at the anchor', (u) => u.pathname === '/doc/nds/deduction.html' && u.hash === '#no-deduction');
  await top.locator('#btn_forward').click();
  await shown('forward again', (u) => u.pathname === '/doc/nds/restore.html');
  await top.locator('#btn_backward').click();
  await shown('back again', (u) => u.pathname === '/doc/nds/deduction.html');

  // A picture opens in the image viewer (its hint says so).
  const picture = doc.locator('img').first();
  assert.equal(await picture.getAttribute('title'), 'Увеличить');
  await picture.click();
  await dialogFrame(page).locator('#img_blank[src*="/content/Content/nds/images/"]').waitFor();
  await page.keyboard.press('Escape');
  await dialogs(page).waitFor({ state: 'detached' });

  // Bookmarks: from the tool bar, then from the context menu of another page.
  const toolBar = await frameWith(page, '#btn_add_bookmark');
  await toolBar.locator('#btn_add_bookmark').click();
  await toolBar.locator('#btn_add_bookmark[added="1"]').waitFor();
  await until('saved at once', () => read(bookmarksFile).includes('/nds/deduction.html'));
  await top.locator('#btn_forward').click();
  await shown('the second page', (u) => u.pathname === '/doc/nds/restore.html');
  await doc.locator('p').first().click({ button: 'right' });
  await popupFrame(page).locator('.menu_item', { hasText: 'Добавить в закладки' }).waitFor();
  assert.equal(await popupFrame(page).locator('.menu_item', { hasText: 'Копировать' }).getAttribute('aria-disabled'), 'true');
  await screenshot(page, 'reading-menu-1366.png');
  await popupFrame(page).locator('.menu_item', { hasText: 'Добавить в закладки' }).click();
  await until('second bookmark saved', () => read(bookmarksFile).includes('/nds/restore.html'));
  // No menu for a picture or a control; the browser's own never shows.
  // A word of the title (the title's box is wider than its text).
  const word = { position: { x: 30, y: 12 } };
  await doc.locator('h1').dblclick(word);
  const selected = (await doc.locator('h1').textContent()).trim();
  await doc.locator('h1').click({ button: 'right', ...word });
  await popupFrame(page).locator('.menu_item', { hasText: 'Открыть в LibreOffice Writer' }).waitFor();
  await popupFrame(page).locator('.menu_item', { hasText: 'Копировать' }).click();
  await until('copied', async () => (await page.evaluate(() => navigator.clipboard.readText())).trim().length > 0);
  const copied = (await page.evaluate(() => navigator.clipboard.readText())).trim();
  assert.ok(selected.includes(copied), `copied "${copied}" from "${selected}"`);

  // The selection in the word processor; without one, the user is told.
  await doc.locator('h1').click({ button: 'right', ...word });
  await popupFrame(page).locator('.menu_item', { hasText: 'Открыть в LibreOffice Writer' }).click();
  await until('the selection reaches the word processor', () => notes().includes('soffice --writer') &&
    notes().includes(copied));
  fs.rmSync(soffice);
  await doc.locator('h1').click({ button: 'right', ...word });
  await popupFrame(page).locator('.menu_item', { hasText: 'Открыть в LibreOffice Writer' }).click();
  await dialogFrame(page).locator('#label', { hasText: 'Невозможно запустить LibreOffice Writer' }).waitFor();
  await page.keyboard.press('Escape');
  await dialogs(page).waitFor({ state: 'detached' });

  // Print: the document's frame is printed.
  await toolBar.locator('#btn_print').click();
  await until('printed', async () => (await stats(page)).printed === 1);

  // The bookmark list: newest first, flag, delete (each saved at once).
  await top.locator('#btn_bookmarks').click();
  const list = await frameWith(page, '.bookmark_grid');
  await list.locator('td.bookmark').nth(1).waitFor();
  assert.equal(await list.locator('td.bookmark').count(), 2);
  assert.equal(await list.locator('#ID1').textContent(), 'Восстановление НДС');
  await screenshot(page, 'reading-bookmarks-1366.png');
  await list.locator('#FLAG1').click();
  await list.locator('#FLAG1[dark="1"]').waitFor();
  await until('flag saved', () => /important="1"/.test(read(bookmarksFile)));
  await list.locator('#DELETE2').click();
  await until('one card left', async () => (await list.locator('td.bookmark').count()) === 1);
  assert.ok(!read(bookmarksFile).includes('/nds/deduction.html'), 'the deleted bookmark left the file');
  await list.locator('#ID1').click();
  await shown('a bookmark opens its document', (u) => u.pathname === '/doc/nds/restore.html');

  // The view history: a document left after 10 s is not recorded, one kept
  // 11 s is, once. The client's clock is moved instead of waiting.
  await navigator.locator('a.section_link', { hasText: 'Документы, отчетность и уплата' }).click();
  await navigator.locator('a.section_link', { hasText: 'Декларация по НДС' }).click();
  await shown('a page to leave early', (u) => u.pathname === '/doc/nds/declaration.html');
  // 8 s ahead and a tick of the view timer: 9.3 s, 10.3 at most with the
  // clock's whole seconds.
  await postEvent(page, { type: 'test', advanceClock: 8 });
  await page.waitForTimeout(1300);
  await navigator.locator('a.section_link', { hasText: 'Сроки уплаты НДС' }).click();
  await shown('a page to keep', (u) => u.pathname === '/doc/nds/srok.html');
  await postEvent(page, { type: 'test', advanceClock: 11 });
  await until('recorded', () => read(historyFile).includes('/nds/srok.html'), 5000);
  await page.waitForTimeout(1300);
  assert.ok(!read(historyFile).includes('/nds/declaration.html'), 'left within 11 s: not recorded');
  assert.equal(read(historyFile).split('/nds/srok.html').length - 1, 1, 'recorded once');
  await top.locator('#btn_history').click();
  const history = await frameWith(page, '.history_link');
  await history.locator('td.date').first().waitFor();
  await screenshot(page, 'reading-history-1366.png');
  await top.locator('#btn_home').click();
  await (await frameWith(page, '#btn_help')).locator('#btn_help').waitFor();
  await top.locator('#btn_history').click();
  await history.locator('.history_link', { hasText: 'Сроки уплаты НДС' }).click();
  await shown('the history opens it', (u) => u.pathname === '/doc/nds/srok.html');

  // A hostile page (pages come in packages): nothing of it runs, navigates,
  // opens a window or reaches beyond the client.
  const hostile = `<!DOCTYPE html><html><head><meta charset="utf-8"><title>x</title>
<meta http-equiv="refresh" content="0;url=/doc/refreshed.html"><base href="http://example.invalid/">
<script>fetch('/doc/leak-script'); window.open('/doc/leak-open');</script></head>
<body onload="fetch('/doc/leak-onload')"><h1 id="hostile">Ставки НДС</h1>
<img src="http://example.invalid/x.png"><img src="missing.png" onerror="fetch('/doc/leak-onerror')">
<a id="js" href="javascript:fetch('/doc/leak-js')">ссылка</a> <a id="blank" href="deduction.html" target="_blank">вычеты</a>
<form action="/doc/posted" method="get"><input name="q" value="1"><button id="send">Отправить</button></form>
<iframe src="/doc/leak-iframe"></iframe><object data="/doc/leak-object"></object></body></html>`;
  fs.writeFileSync(path.join(home.work, 'hostile.html'), hostile);
  const enc = spawnSync(ctl, ['encrypt', path.join(home.work, 'hostile.html'), path.join(documents, 'nds', 'rates.dat')]);
  assert.equal(enc.status, 0);
  await top.locator('#btn_home').click();
  await welcome.locator('.mru_list_item', { hasText: 'Ставки НДС' }).click();
  await shown('the hostile page', (u) => u.pathname === '/doc/nds/rates.html');
  await doc.locator('#hostile').waitFor();
  await doc.locator('#js').click();
  assert.equal(await doc.locator('form, input, button').count(), 0, 'no form and no control of one is left');
  await page.waitForTimeout(800);
  await doc.locator('#blank').click();
  await shown('a target=_blank link opens in the client', (u) => u.pathname === '/doc/nds/deduction.html');
  noPlainPages();

  // A page of another folder put in the same frame: its pictures come from
  // its own folder.
  await top.locator('#btn_home').click();
  await welcome.locator('#btn_usn').click();
  await shown('another folder', (u) => u.pathname === '/doc/usn/index.html');
  await until('its picture drawn', () => doc.locator('img').first().evaluate((img) =>
    img.complete && img.naturalWidth > 0 && new URL(img.src).pathname.startsWith('/doc/usn/images/')));

  assert.equal(popups, 0, 'no window was opened');
  const strange = requests.filter((url) => !url.startsWith(origin + '/') || /leak|refreshed|posted/.test(url));
  assert.deepEqual(strange, [], 'every request stays inside the client');

  // The same windows on a large screen (opened before the first page closes:
  // a client whose only page closed goes into tray mode).
  const wide = await reopen(page, urlsOf(proc.out)[0], { width: 1920, height: 1080 });
  await page.close();
  const wideTop = await frameWith(wide, '#btn_history');
  await wideTop.locator('#btn_home').click();
  const wideWelcome = await frameWith(wide, '#btn_tax_on_price');
  await wideWelcome.locator('.mru_list_item').first().waitFor();
  await screenshot(wide, 'reading-home-1920.png');
  await wideWelcome.locator('#btn_correspondence').click();
  const wideNavigator = await frameWith(wide, '#tree a.section_link');
  await wideNavigator.locator('a.section_link').nth(1).click();
  await wide.waitForTimeout(400);
  await screenshot(wide, 'reading-document-1920.png');
  await wideNavigator.locator('#btn_select_section').click();
  await popupFrame(wide).locator('.section_link').first().waitFor();
  await screenshot(wide, 'reading-selector-1920.png');
  await wide.keyboard.press('Escape');
  await documentFrame(wide).locator('p').first().click({ button: 'right' });
  await popupFrame(wide).locator('.menu_item').first().waitFor();
  await screenshot(wide, 'reading-menu-1920.png');
  await wide.keyboard.press('Escape');
  await wideTop.locator('#btn_history').click();
  await (await frameWith(wide, '.history_link')).locator('.history_link').first().waitFor();
  await screenshot(wide, 'reading-history-1920.png');
  await wideTop.locator('#btn_bookmarks').click();
  await (await frameWith(wide, '.bookmark_grid')).locator('td.bookmark').first().waitFor();
  await screenshot(wide, 'reading-bookmarks-1920.png');
  noPlainPages();
}, async (failed) => {
  if (failed)
    console.error('--- client output\n' + proc.out + '\n--- log tail\n' + home.log().split('\n').slice(-60).join('\n'));
  proc.kill('SIGKILL');
  await browser.close();
  home.remove();
});
