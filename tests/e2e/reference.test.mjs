// The reference windows on the demo library, as a user walks them: the news
// under the home page with the slim bar and the month beside it, a marked day
// opening the tax calendar, the forms library from its sections to a form,
// a form's file fetched from the service's web site through the update
// dialog and then opened from the disk, its copy among the documents, its page
// images, and the "download" and "sample" links of documents; at 1366 x 768
// and 1920 x 1080.
//   node reference.test.mjs KalimorClnt kalimor-fake-service DEMO_PACKAGES_FOLDER
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { dialogFrame, dialogs, documentFrame, frameWith, launchBrowser, makeHome, reopen, run, screenshot, start, stats,
  until, urlsOf, watchdog } from './support.mjs';

watchdog(200);
const [client, fakeService, packages] = process.argv.slice(2);
const home = makeHome();
const bin = path.join(home.work, 'bin');
const noted = path.join(home.work, 'noted.txt');
fs.mkdirSync(bin);
fs.writeFileSync(path.join(bin, 'xdg-open'), `#!/bin/sh\necho "open $1" >> '${noted}'\n`, { mode: 0o755 });
home.env.PATH = bin + ':' + home.env.PATH;
home.env.XDG_DOCUMENTS_DIR = path.join(home.work, 'documents');
const notes = () => (fs.existsSync(noted) ? fs.readFileSync(noted, 'utf8') : '');
const documents = path.join(home.env.KALIMOR_PROFILE, 'Content', 'Content');

const install = spawnSync(client, ['-updates', packages], { env: home.env, encoding: 'utf8' });
assert.equal(install.status, 0, install.stderr);
const service = start(fakeService, ['--port', '0', '--packages', packages, '--control'], process.env);
await until('the service', () => /listening on 127\.0\.0\.1:\d+/.test(service.out));
const hostPort = service.out.match(/listening on (127\.0\.0\.1:\d+)/)[1];
assert.match(service.out, /web site .*site/, 'the forms\' files are served');
const steer = (what, ...lines) => fetch(`http://${hostPort}/test/${what}`, { method: 'POST', body: lines.join('\n') });
home.env.KALIMOR_SERVICE = hostPort;

const browser = await launchBrowser();
const proc = start(client, ['--no-browser'], home.env);
await run('e2e reference', async () => {
  await until('start address', () => urlsOf(proc.out).length === 1);
  const context = await browser.newContext({ viewport: { width: 1366, height: 768 } });
  const page = await context.newPage();
  page.setDefaultTimeout(15000);
  await page.goto(urlsOf(proc.out)[0]);
  const origin = new URL(page.url()).origin;
  const docPath = async () => new URL((await stats(page)).docSrc || '/', origin).pathname;

  // The news, newest first, two cards beside the month.
  const news = await frameWith(page, '.news_item');
  assert.equal(await news.locator('.news_item').count(), 2);
  await news.locator('.news_item .news_date').first().filter({ hasText: '7 декабря 2026' }).waitFor();
  const calendar = await frameWith(page, '#month_grid td.today');
  assert.equal(await calendar.locator('#month_title').textContent(), 'Декабрь 2026');
  assert.ok(await calendar.locator('td.has_entries').count() >= 3, 'days with taxes and reports are marked');
  await screenshot(page, 'reference-home-1366.png');

  // The slim bar: a press at its right end shows the oldest news, the wheel
  // over the news moves back.
  const bar = await frameWith(page, '#news_track');
  const track = await page.locator('#kalimor-frame > iframe').evaluateAll((els) => {
    const el = els.find((e) => e.contentDocument && e.contentDocument.getElementById('news_track'));
    const r = el.getBoundingClientRect();
    return { x: r.x, y: r.y, w: r.width };
  });
  await page.mouse.click(track.x + track.w - 60, track.y + 5);
  await news.locator('#news_count', { hasText: /13–14 из 14/ }).waitFor();
  await news.locator('.news_item').first().hover();
  await page.mouse.wheel(0, -100);
  await news.locator('#news_count', { hasText: /12–13 из 14/ }).waitFor();
  await bar.locator('#news_track').focus();
  await page.keyboard.press('Home');
  await news.locator('#news_count', { hasText: /1–2 из 14/ }).waitFor();

  // A marked day opens the tax calendar at it; months and years move.
  const marked = calendar.locator('td.has_entries').first();
  const markedId = await marked.getAttribute('id');
  await marked.click();
  const tax = await frameWith(page, '#day_entries');
  const day = Number(markedId.slice(7));
  await tax.locator('#day_title', { hasText: `${day} декабря 2026` }).waitFor();
  assert.ok(await tax.locator('#day_entries .entry').count() >= 1);
  assert.equal(await tax.locator('td.selected').getAttribute('id'), 'T' + markedId.slice(1));
  await screenshot(page, 'reference-tax-calendar-1366.png');
  await tax.locator('#btn_next_month').click();
  await tax.locator('#month_title', { hasText: 'Январь 2027' }).waitFor();
  await tax.locator('td.holiday').first().waitFor();
  await screenshot(page, 'reference-tax-calendar-january-1366.png');
  await tax.locator('#btn_today').click();
  await tax.locator('td.today.selected').waitFor();
  const top = await frameWith(page, '#btn_home');
  await top.locator('#btn_home').click();

  // The forms library: its sections with the newest forms under them, a
  // section's list, a form.
  await (await frameWith(page, '#btn_blanks')).locator('#btn_blanks').click();
  const sections = await frameWith(page, '.form_section');
  await (await frameWith(page, '.form_news_link')).locator('.form_news_link').first().waitFor();
  await screenshot(page, 'reference-forms-1366.png');
  await sections.locator('.form_section', { hasText: 'Налоговая отчетность' }).click();
  const list = await frameWith(page, '.form_link');
  await screenshot(page, 'reference-form-list-1366.png');
  await list.locator('.form_link', { hasText: 'Расчет 6-НДФЛ' }).click();
  const form = await frameWith(page, '#btn_download');
  await form.locator('#form_name', { hasText: 'Расчет 6-НДФЛ' }).waitFor();
  await form.locator('img.form_page_image').first().waitFor();
  await screenshot(page, 'reference-form-1366.png');

  // The form's file is not in the library: it comes from the web site
  // through the update dialog, then it opens; the next time it opens from
  // the disk even with the web site down.
  const file = path.join(documents, 'blanks', 'files', '6-ndfl.rtf');
  // What the desktop opens is the user's copy, never the library's file.
  const opened = path.join(home.env.XDG_DOCUMENTS_DIR, 'Калимор - формы и бланки', '6-ndfl.rtf');
  fs.rmSync(file);
  await steer('slow', '512', '100');
  await steer('fault', '/blanks/files/6-ndfl.rtf', 'slow');
  await form.locator('#btn_download').click();
  await dialogFrame(page).locator('#action', { hasText: 'Загрузка информации с сервера' }).waitFor();
  await screenshot(page, 'reference-form-download.png');
  await until('opened after the download', () => notes().includes(`open ${opened}`), 30000);
  await dialogs(page).waitFor({ state: 'detached' });
  assert.ok(fs.readFileSync(file, 'latin1').startsWith('{\\rtf1'), 'the whole file');
  await steer('fault', '/blanks/files/6-ndfl.rtf', '404');
  await form.locator('#btn_download').click();
  await until('opened from the disk', () => notes().split(`open ${opened}`).length === 3);
  assert.equal(await dialogs(page).count(), 0, 'no dialog the second time');
  await form.locator('#btn_copy_desktop').click();
  await until('among the documents', () =>
    fs.existsSync(path.join(home.env.XDG_DOCUMENTS_DIR, 'Калимор - формы и бланки', 'Расчет 6-НДФЛ.rtf')));
  await form.locator('#form_status', { hasText: 'Бланк сохранен' }).waitFor();
  await form.locator('#link_open_folder').click();
  await until('its folder opened', () => notes().includes(`open ${path.join(home.env.XDG_DOCUMENTS_DIR, 'Калимор - формы и бланки')}\n`));
  // A page image opens in the image viewer.
  await form.locator('img.form_page_image').first().click();
  await dialogFrame(page).locator('#img_blank[src*="/content/Content/blanks/images/"]').waitFor();
  await page.keyboard.press('Escape');
  await dialogs(page).waitFor({ state: 'detached' });

  // The instructions are a document of the library, whose "download" link
  // opens the same file.
  await form.locator('#link_instruction').click();
  await until('the instructions', async () => (await docPath()) === '/doc/vfl/6ndfl.html');
  await documentFrame(page).locator('.download a').click();
  await until('opened from the document', () => notes().split(`open ${opened}`).length === 4);
  // A document's "sample" link shows the filled sample in its place; Back
  // returns to the document.
  await (await frameWith(page, '#btn_backward')).locator('#btn_backward').click();
  await (await frameWith(page, '.form_link')).locator('.form_link').first().waitFor().catch(() => {});
  await top.locator('#btn_home').click();
  await (await frameWith(page, '#btn_blanks')).locator('#btn_blanks').click();
  await (await frameWith(page, '.form_section')).locator('.form_section', { hasText: 'Налоговая отчетность' }).click();
  await (await frameWith(page, '.form_link')).locator('.form_link', { hasText: 'Уведомление об исчисленных' }).click();
  await (await frameWith(page, '#btn_download')).locator('#link_instruction').click();
  await until('the notification page', async () => (await docPath()) === '/doc/enn/notification.html');
  await documentFrame(page).locator('.sample a').click();
  await until('the sample', async () => (await docPath()) === '/doc/enn/samples/notification-sample.html');
  await screenshot(page, 'reference-sample-1366.png');
  await top.locator('#btn_backward').click();
  await until('back at the document', async () => (await docPath()) === '/doc/enn/notification.html');

  // The same windows in a large window.
  const wide = await reopen(page, urlsOf(proc.out)[0], { width: 1920, height: 1080 });
  wide.setDefaultTimeout(15000);
  await page.close();
  const wideTop = await frameWith(wide, '#btn_home');
  await wideTop.locator('#btn_home').click();
  await (await frameWith(wide, '.news_item')).locator('.news_item').first().waitFor();
  await screenshot(wide, 'reference-home-1920.png');
  await (await frameWith(wide, '#btn_tax_calendar')).locator('#btn_tax_calendar').click();
  await (await frameWith(wide, '#day_entries')).locator('td.selected').waitFor();
  await screenshot(wide, 'reference-tax-calendar-1920.png');
  await wideTop.locator('#btn_home').click();
  await (await frameWith(wide, '#btn_blanks')).locator('#btn_blanks').click();
  await (await frameWith(wide, '.form_news_link')).locator('.form_news_link').first().waitFor();
  await screenshot(wide, 'reference-forms-1920.png');
  await (await frameWith(wide, '.form_news_link')).locator('.form_news_link').first().click();
  await (await frameWith(wide, '#btn_download')).locator('#form_name').waitFor();
  await screenshot(wide, 'reference-form-1920.png');
}, async (failed) => {
  if (failed)
    console.error('--- client output\n' + proc.out + '\n--- log tail\n' + home.log().split('\n').slice(-60).join('\n'));
  proc.kill('SIGKILL');
  service.kill('SIGKILL');
  await browser.close();
  home.remove();
});
