// The client for a user of the keyboard and a screen reader, on the demo
// library: axe-core (WCAG 2.1 A and AA) over every view and dialog at
// 1366 x 768 and 1920 x 1080, where any critical or serious violation fails;
// and the dialogs by keys alone: each opens with focus inside, Tab and
// Shift+Tab never leave it, the window under it is inert, and Escape gives
// focus back to the control that opened it.
//   node a11y.test.mjs KalimorClnt DEMO_PACKAGES_FOLDER
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { audit, blocking, describe } from './axe.mjs';
import { dialogFrame, dialogs, documentFrame, frameWith, launchBrowser, makeHome, popupFrame, postEvent, reopen, run, screenshot,
  start, until, urlsOf, watchdog } from './support.mjs';

watchdog(420); // the sanitizer build is slower
const [client, packages] = process.argv.slice(2);
const home = makeHome();
home.env.KALIMOR_TEST_HOOKS = '1';
const install = spawnSync(client, ['-updates', packages], { env: home.env, encoding: 'utf8' });
assert.equal(install.status, 0, install.stderr);

const browser = await launchBrowser();
const proc = start(client, ['--no-browser'], home.env);

// Where the keyboard is: the window's frame, the id of the element in it,
// and whether that frame is a dialog.
const focusOf = (page) => page.evaluate(() => {
  const frame = document.activeElement;
  if (!frame || frame.tagName !== 'IFRAME') return { frame: null, id: null, dialog: false };
  const inner = frame.contentDocument && frame.contentDocument.activeElement;
  return { frame: frame.getAttribute('data-win'), id: inner ? inner.id || inner.tagName : null,
    dialog: !!frame.closest('#kalimor-dialogs') };
});

const failures = [];
async function check(page, view) {
  await page.waitForTimeout(300); // the last patch painted
  const started = Date.now();
  const found = blocking(await audit(page));
  if (process.env.KALIMOR_A11Y_TIMES) console.log(`${view}: ${Date.now() - started} ms`);
  if (found.length) failures.push(`${view}:\n${describe(found)}`);
}

// Every view and dialog of one window size.
async function auditViews(page, size) {
  const top = await frameWith(page, '#btn_home');
  const closeDialog = async () => {
    await page.keyboard.press('Escape');
    await dialogs(page).waitFor({ state: 'detached' });
  };
  await top.locator('#btn_home').click();
  const welcome = await frameWith(page, '#btn_tax_on_price');
  await welcome.locator('.mru_list_item').first().waitFor();
  await check(page, `home ${size}`);

  await welcome.locator('#btn_tax_on_price').click();
  const navigator = await frameWith(page, '#tree a.section_link');
  await navigator.locator('a.section_link', { hasText: 'Вычеты и восстановление' }).click();
  await documentFrame(page).locator('body').waitFor();
  // Read long enough to count as viewed: the client's clock is moved.
  await postEvent(page, { type: 'test', advanceClock: 11 });
  await check(page, `navigator and document ${size}`);
  await navigator.locator('#btn_select_section').click();
  await popupFrame(page).locator('#select_section_body').waitFor();
  await check(page, `section selector ${size}`);
  await page.keyboard.press('Escape');
  await documentFrame(page).locator('p').first().click({ button: 'right' });
  await popupFrame(page).locator('.menu_item').first().waitFor();
  await check(page, `document menu ${size}`);
  await page.keyboard.press('Escape');

  const search = await frameWith(page, '#edit_search');
  await search.locator('#edit_search').fill('ндс');
  await search.locator('#edit_search').press('Enter');
  await (await frameWith(page, '.search_result_title')).locator('.search_result_title').first().waitFor();
  await check(page, `search results ${size}`);
  await search.locator('#edit_search').fill('');
  await search.locator('#edit_search').pressSequentially('н', { delay: 20 });
  await popupFrame(page).locator('[role="option"]').first().waitFor().catch(() => {});
  await check(page, `search prompts ${size}`);
  await search.locator('#edit_search').press('Escape');
  await search.locator('#link_registry').click();
  await (await frameWith(page, '.letter')).locator('.letter').first().waitFor();
  await check(page, `search registry ${size}`);

  await top.locator('#btn_bookmarks').click();
  await check(page, `bookmarks ${size}`);
  await top.locator('#btn_history').click();
  await (await frameWith(page, '.history_link')).locator('.history_link').first().waitFor();
  await check(page, `history ${size}`);

  await top.locator('#btn_home').click();
  await (await frameWith(page, '#btn_blanks')).locator('#btn_blanks').click();
  const sections = await frameWith(page, '.form_section');
  await check(page, `form sections ${size}`);
  await sections.locator('.form_section', { hasText: 'Налоговая отчетность' }).click();
  const list = await frameWith(page, '.form_link');
  await check(page, `form list ${size}`);
  await list.locator('.form_link', { hasText: 'Расчет 6-НДФЛ' }).click();
  const form = await frameWith(page, '#btn_download');
  await form.locator('img.form_page_image').first().waitFor();
  await check(page, `form ${size}`);
  await form.locator('img.form_page_image').first().click();
  await dialogFrame(page).locator('#img_blank').waitFor();
  await check(page, `image viewer ${size}`);
  // The picture has the keyboard: the page keys scroll it when it is taller
  // than the viewer.
  const area = dialogFrame(page).locator('.viewer_area');
  await until('the picture has the keyboard', () => area.evaluate((e) => document.activeElement === e));
  if (await area.evaluate((e) => e.scrollHeight > e.clientHeight)) {
    await page.keyboard.press('PageDown');
    await until('Page Down scrolls the picture', () => area.evaluate((e) => e.scrollTop > 0));
    console.log(`image viewer ${size}: Page Down scrolled the picture`);
  }
  await closeDialog();

  await top.locator('#btn_home').click();
  await (await frameWith(page, '#btn_tax_calendar')).locator('#btn_tax_calendar').click();
  await (await frameWith(page, '#day_entries')).locator('td.selected').waitFor();
  await check(page, `tax calendar ${size}`);

  await top.locator('#btn_about').click();
  await dialogFrame(page).locator('.about_message').waitFor();
  await check(page, `about ${size}`);
  await closeDialog();
  await top.locator('#btn_config').click();
  await dialogFrame(page).locator('#login').waitFor();
  await check(page, `sign-in ${size}`);
  await dialogFrame(page).locator('#link_proxy').click();
  await dialogFrame(page).locator('#proxy').waitFor();
  await check(page, `connection settings over sign-in ${size}`);
  await page.keyboard.press('Escape');
  await dialogFrame(page).locator('#login').waitFor();
  await dialogFrame(page).locator('#link_register').click();
  await dialogFrame(page).locator('#registration').waitFor();
  await check(page, `registration ${size}`);
  await page.keyboard.press('Escape');
  await closeDialog();
}

// A dialog opened by keys from a control: focus inside it at once, the
// frames under it inert, Tab and Shift+Tab going round inside, and after
// Escape focus back on the control.
async function walkDialog(page, opener, openerId, root, tabs, { over = false } = {}) {
  await opener.locator('#' + openerId).focus();
  await page.keyboard.press('Enter');
  await dialogFrame(page).locator(root).waitFor();
  await until(`focus in the dialog of ${openerId}`, async () => (await focusOf(page)).dialog);
  assert.ok(await page.locator('#kalimor-frame').evaluate((e) => e.inert), `the window under ${root} is inert`);
  for (let i = 0; i < tabs; ++i) {
    await page.keyboard.press(i % 3 === 2 ? 'Shift+Tab' : 'Tab');
    const where = await focusOf(page);
    assert.ok(where.dialog, `Tab ${i + 1} in ${root} stays in the dialog (at ${JSON.stringify(where)})`);
  }
  await page.keyboard.press('Escape');
  if (!over) await dialogs(page).waitFor({ state: 'detached' });
  await until(`focus back on ${openerId}`, async () => (await focusOf(page)).id === openerId);
  // Over another dialog, the window stays inert under that one.
  assert.equal(await page.locator('#kalimor-frame').evaluate((e) => e.inert), over);
}

// One round of Tab from where the keyboard is back to it: the frames in the
// order Tab goes through them (a run of stops in one frame named once) and
// the number of stops. The page that holds the frames is no stop.
async function tabRound(page) {
  const nameOf = () => page.evaluate(() => {
    const f = document.activeElement;
    if (!f || f.tagName !== 'IFRAME') return { frame: '(page)', id: f ? f.tagName : '' };
    const inner = f.contentDocument && f.contentDocument.activeElement;
    return { frame: f.title, id: inner ? inner.id || inner.tagName : '' };
  });
  const start = await nameOf();
  const frames = [];
  for (let stops = 1; stops <= 150; ++stops) {
    await page.keyboard.press('Tab');
    const at = await nameOf();
    if (frames[frames.length - 1] !== at.frame) frames.push(at.frame);
    if (at.frame === start.frame && at.id === start.id) return { frames, stops };
  }
  throw new Error('Tab did not come round: ' + frames.join(' > '));
}

let current = null; // the page on screen, shot when the test fails
// By keys alone: the search box by its shortcut, a search, the results, the
// first result within two Tabs, its document, the next found word, and Back
// to the same result. Returns the Tabs it took.
async function walkSearch(page) {
  await page.keyboard.press('Control+f');
  await until('focus in the search box', async () => (await focusOf(page)).id === 'edit_search');
  await page.keyboard.type('вычет');
  const panel = await frameWith(page, '#edit_search');
  const box = panel.locator('#edit_search');
  await until('the prompts open, the box says so', async () => (await box.getAttribute('aria-expanded')) === 'true');
  await page.keyboard.press('ArrowDown');
  await until('the prompt taken is in the box and read out', async () =>
    (await panel.locator('#prompt_status').textContent()) === `${await box.inputValue()}, 1 из ` +
      (await (await frameWith(page, '#search_prompts')).locator('#search_prompts option').count()));
  await page.keyboard.press('Escape');
  await until('the list closed, the box says so', async () => (await box.getAttribute('aria-expanded')) === 'false');
  await box.fill('вычет');
  await page.keyboard.press('Enter');
  await until('focus on the results', async () => (await focusOf(page)).id === 'result_title');
  await until('the count is read out from the search panel', async () =>
    /^Найдено \d+ документ\S* по запросу «вычет»/.test(await panel.locator('#search_status').textContent()));
  let tabs = 0;
  for (; tabs < 2 && !/^R\d+$/.test((await focusOf(page)).id); ++tabs) await page.keyboard.press('Tab');
  const opened = (await focusOf(page)).id;
  assert.match(opened, /^R\d+$/, `a result within two Tabs (${tabs})`);
  await page.keyboard.press('Enter');
  await until('focus in the document', () => page.evaluate(() => !!document.activeElement &&
    document.activeElement.hasAttribute('sandbox')));
  const counter = (await frameWith(page, '#found_counter')).locator('#found_counter');
  const before = await counter.textContent();
  await page.keyboard.press('F3');
  await until('the next found word', async () => (await counter.textContent()) !== before);
  await page.keyboard.press('Alt+ArrowLeft');
  await until(`focus back on ${opened}`, async () => (await focusOf(page)).id === opened);
  return tabs;
}

// A home tile by keys, then the navigator as a tree: its one Tab stop, Down,
// Right to open a branch and Right into it, Enter to open the row's
// document, with the keyboard staying on that row.
async function walkTree(page) {
  const welcome = await frameWith(page, '#btn_tax_on_price');
  await welcome.locator('#btn_tax_on_price').focus();
  await page.keyboard.press('Enter');
  // The topic is shown once its document has the keyboard: the navigator
  // holds the topic's tree by then, not the one of an earlier view.
  await until('focus in the topic\'s document', () => page.evaluate(() => !!document.activeElement &&
    document.activeElement.hasAttribute('sandbox')));
  const navigator = await frameWith(page, '#tree a.section_link');
  const stop = navigator.locator('#tree a.section_link[tabindex="0"]');
  assert.equal(await stop.count(), 1, 'the tree is one Tab stop');
  await stop.focus();
  const at = async () => (await focusOf(page)).id;
  const expanded = async () => navigator.locator('#' + (await at())).getAttribute('aria-expanded');
  await page.keyboard.press('Home');
  const first = await navigator.locator('#tree a.section_link').first().getAttribute('id');
  await until('Home goes to the first row', async () => (await at()) === first);
  // Down to the first closed branch.
  for (let i = 0; i < 20 && (await expanded()) !== 'false'; ++i) {
    const from = await at();
    await page.keyboard.press('ArrowDown');
    await until('Down moves to the next row', async () => (await at()) !== from);
  }
  assert.equal(await expanded(), 'false', 'a closed branch is reached by Down');
  const branch = await at();
  const rows = await navigator.locator('#tree a.section_link').count();
  await page.keyboard.press('ArrowRight');
  await until('Right opens the branch', async () => (await navigator.locator('#tree a.section_link').count()) > rows);
  await page.keyboard.press('ArrowRight');
  await until('Right goes into the branch', async () => (await at()) !== branch);
  const child = await at();
  const state = async () => `${(await page.evaluate(() => window.__kalimor.docSrc)) || ''} ${await expanded()}`;
  const before = await state();
  await page.keyboard.press('Enter');
  await until('Enter opens the row (its page, or its branch)', async () => (await state()) !== before);
  await until('the keyboard stays on the row', async () => (await at()) === child);
}

// Presses a key until the test holds, at most max times; the presses taken.
// After each press the keyboard is let move first (the client moves it for
// some keys, a slow build takes its time).
async function pressUntil(page, key, test, max, what) {
  const where = async () => JSON.stringify(await focusOf(page));
  for (let presses = 0; presses <= max; ++presses) {
    if (await test()) return presses;
    if (presses === max) break;
    const before = await where();
    await page.keyboard.press(key);
    await until(`the keyboard moved by ${key}`, async () => (await where()) !== before, 3000).catch(() => {});
  }
  throw new Error(`${what}: not within ${max} ${key}`);
}

// A bookmark by keys alone: from the document to its "В закладки" button,
// the top panel by F6, the bookmarks, and the page opened from them with the
// keyboard in it. Returns the keys it took at each step.
async function walkBookmark(page) {
  const inDocument = () => page.evaluate(() => !!document.activeElement && document.activeElement.hasAttribute('sandbox'));
  const shownPage = async () => ((await page.evaluate(() => window.__kalimor.docSrc)) || '').replace(/\?.*/, '');
  const steps = {};
  steps.toDocument = await pressUntil(page, 'F6', inDocument, 6, 'the document by F6');
  steps.toButton = await pressUntil(page, 'Shift+Tab', async () => (await focusOf(page)).id === 'btn_add_bookmark', 6,
    'its bookmark button by Shift+Tab');
  const toolBar = await frameWith(page, '#btn_add_bookmark');
  const bookmarked = await shownPage();
  await page.keyboard.press('Enter');
  await until('the page bookmarked', async () =>
    (await toolBar.locator('#btn_add_bookmark').getAttribute('aria-pressed')) === 'true');
  steps.toTopPanel = await pressUntil(page, 'F6', async () => (await focusOf(page)).frame ===
    await (await frameWith(page, '#btn_home')).evaluate(() => window.frameElement.getAttribute('data-win')), 6, 'the top panel by F6');
  steps.toBookmarks = await pressUntil(page, 'Tab', async () => (await focusOf(page)).id === 'btn_bookmarks', 6,
    'Закладки by Tab');
  await page.keyboard.press('Enter');
  await until('focus on the bookmarks', async () => (await focusOf(page)).id === 'bookmarks_title');
  const list = await frameWith(page, '#bookmarks_title');
  steps.toEntry = await pressUntil(page, 'Tab', async () =>
    (await list.evaluate(() => document.activeElement.matches('.bookmark_link'))), 4, 'the bookmark by Tab');
  await page.keyboard.press('Enter');
  await until('the bookmarked page, with the keyboard in it', async () => await inDocument() &&
    (await shownPage()) === bookmarked);
  return steps;
}

// At 200 % zoom (a 683 x 384 page) the window is laid out at its width:
// the page never scrolls sideways, the home topics' names are whole, a
// document's lines wrap inside its frame.
async function zoomedViews(page) {
  const sideways = () => page.evaluate(() => {
    const host = document.getElementById('kalimor-frame');
    return host.scrollWidth - host.clientWidth;
  });
  await (await frameWith(page, '#btn_home')).locator('#btn_home').click();
  const welcome = await frameWith(page, '#btn_tax_on_price');
  await until('the topics\' names whole', () => welcome.evaluate(() => [...document.querySelectorAll('.tile_name')]
    .every((e) => e.scrollWidth <= e.clientWidth + 1 && e.scrollHeight <= e.clientHeight + 1)));
  assert.equal(await sideways(), 0, 'home: no sideways scroll');
  await screenshot(page, 'a11y-home-200.png');
  await welcome.locator('#btn_tax_on_price').click();
  await until('the topic\'s document', async () => /\.html/.test(await page.evaluate(() => window.__kalimor.docSrc || '')));
  const body = documentFrame(page).locator('body');
  await until('its lines wrap in its frame', () => body.evaluate(() =>
    document.scrollingElement.scrollWidth <= document.scrollingElement.clientWidth));
  assert.equal(await sideways(), 0, 'a document: no sideways scroll');
  await screenshot(page, 'a11y-document-200.png');
  const search = await frameWith(page, '#edit_search');
  await search.locator('#edit_search').fill('ндс');
  await search.locator('#edit_search').press('Enter');
  await until('the results', async () => (await focusOf(page)).id === 'result_title');
  assert.equal(await sideways(), 0, 'results: no sideways scroll');
  await screenshot(page, 'a11y-results-200.png');
}

// At 200 % zoom (a 683 x 384 page): a dialog taller than the page lies
// inside it, title and all, and its last button is reached by Tab, scrolled
// into view within the dialog.
async function zoomedDialog(page) {
  const inside = (box) => box && box.x >= 0 && box.y >= 0 && box.x + box.width <= 683 + 1 && box.y + box.height <= 384 + 1;
  await (await frameWith(page, '#btn_config')).locator('#btn_config').click();
  await dialogFrame(page).locator('#link_register').click();
  const dialog = dialogFrame(page);
  await dialog.locator('#registration').waitFor();
  assert.ok(inside(await dialogs(page).last().boundingBox()), 'the dialog lies inside the page');
  assert.ok(inside(await dialog.locator('#window_title').boundingBox()), 'its title is on screen');
  for (let i = 0; i < 12 && (await focusOf(page)).id !== 'btn_registration'; ++i) await page.keyboard.press('Tab');
  assert.equal((await focusOf(page)).id, 'btn_registration', 'the last button is reached by Tab');
  await until('the last button is on screen', async () => inside(await dialog.locator('#btn_registration').boundingBox()));
  await screenshot(page, 'a11y-registration-200.png');
  await page.keyboard.press('Escape');
  await page.keyboard.press('Escape');
  await dialogs(page).waitFor({ state: 'detached' });
}

await run('e2e a11y', async () => {
  await until('start address', () => urlsOf(proc.out).length === 1);
  const context = await browser.newContext({ viewport: { width: 1366, height: 768 } });
  const page = await context.newPage();
  current = page;
  page.setDefaultTimeout(10000);
  await page.goto(urlsOf(proc.out)[0]);
  await until('the search box has the keyboard at start', async () => (await focusOf(page)).id === 'edit_search');
  // Tab goes through the frames as they lie on screen, and comes round.
  await (await frameWith(page, '#month_grid td')).locator('#month_grid td').first().waitFor();
  const round = await tabRound(page);
  console.log(`home: ${round.stops} Tab stops in a round`);
  assert.deepEqual(round.frames, ['Поиск', 'Главная', 'Календарь', 'Новости', 'Прокрутка новостей', 'Новости',
    'Состояние', 'Калимор', 'Поиск'], 'the frames in screen order');
  await auditViews(page, '1366');

  const top = await frameWith(page, '#btn_home');
  await walkDialog(page, top, 'btn_about', '.about_message', 7);
  // The sign-in dialog, and the connection settings opened over it by keys.
  await top.locator('#btn_config').focus();
  await page.keyboard.press('Enter');
  await dialogFrame(page).locator('#login').waitFor();
  await walkDialog(page, dialogFrame(page), 'link_proxy', '#proxy', 14, { over: true });
  await page.keyboard.press('Escape');
  await dialogs(page).waitFor({ state: 'detached' });
  await until('focus back on the settings button', async () => (await focusOf(page)).id === 'btn_config')
    .catch(async (e) => { throw new Error(e.message + ' ' + JSON.stringify(await focusOf(page))); });
  await screenshot(page, 'a11y-home-1366.png');
  console.log(`search walk: ${await walkSearch(page)} Tabs from the results heading to a result`);
  await (await frameWith(page, '#btn_home')).locator('#btn_home').click();
  // The home page takes the keyboard once it is shown; a tile focused before
  // that would lose it to the page's heading.
  await until('focus on the home page', async () => (await focusOf(page)).id === 'home_title');
  await walkTree(page);
  console.log('bookmark walk:', JSON.stringify(await walkBookmark(page)));
  await screenshot(page, 'a11y-back-to-results-1366.png');

  const wide = await reopen(page, urlsOf(proc.out)[0], { width: 1920, height: 1080 });
  current = wide;
  await page.close();
  await auditViews(wide, '1920');
  // 1366 x 768 at 200 %: the same layout as a 683 x 384 page.
  const zoomed = await reopen(wide, urlsOf(proc.out)[0], { width: 683, height: 384 });
  current = zoomed;
  await zoomedViews(zoomed);
  await zoomedDialog(zoomed);
  await screenshot(wide, 'a11y-tax-calendar-1920.png');
  assert.deepEqual(failures, [], 'axe: critical and serious violations\n' + failures.join('\n'));
}, async (failed) => {
  if (failed) {
    console.error('--- log tail\n' + home.log().split('\n').slice(-30).join('\n'));
    if (current) await screenshot(current, 'a11y-failed.png').catch(() => {});
  }
  proc.kill('SIGKILL');
  await browser.close();
  home.remove();
});
