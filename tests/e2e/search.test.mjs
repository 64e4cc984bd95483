// Searching the demo library as a user does: prompts while typing and a
// prompt taken with the keys, a full-text search with its result list and
// the words marked in a document (F3 between them), Back to the list at its
// place, the alphabetical index, and a query that finds nothing.
//   node search.test.mjs KalimorClnt DEMO_PACKAGES_FOLDER
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { documentFrame, frameWith, launchBrowser, makeHome, popupFrame, reopen, run, screenshot, start, stats, until, urlsOf,
  watchdog } from './support.mjs';

watchdog(200);
const [client, packages] = process.argv.slice(2);
const home = makeHome();
const install = spawnSync(client, ['-updates', packages], { env: home.env, encoding: 'utf8' });
assert.equal(install.status, 0, install.stderr);
fs.appendFileSync(path.join(home.env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini'), 'LogLevel=5\n');

const browser = await launchBrowser();
const proc = start(client, ['--no-browser'], home.env);
await run('e2e search', async () => {
  await until('start address', () => urlsOf(proc.out).length === 1);
  const page = await (await browser.newContext({ viewport: { width: 1366, height: 768 } })).newPage();
  page.setDefaultTimeout(10000);
  await page.goto(urlsOf(proc.out)[0]);
  const origin = new URL(page.url()).origin;
  const docPath = async () => new URL((await stats(page)).docSrc || '/', origin);
  const shown = async (what, test) => until(what, async () => test(await docPath()));
  const panel = await frameWith(page, '#edit_search');
  const box = panel.locator('#edit_search');
  const top = await frameWith(page, '#btn_backward');

  // Prompts come after the typing pauses, as wide as the box and under it.
  await box.click();
  await box.pressSequentially('упрощ', { delay: 20 });
  const prompts = popupFrame(page).locator('#search_prompts option');
  await prompts.first().waitFor();
  const texts = await prompts.allTextContents();
  assert.ok(texts.length >= 3 && texts.some((t) => /Упрощенн/.test(t)), texts.join(' | '));
  // Placed once more after the browser has laid the box out (a slow build
  // shows the first placing a moment longer).
  const boxRect = await box.boundingBox();
  const popup = page.locator('#kalimor-dialogs iframe.k-popup:not(.hidden)');
  await until('as wide as the box', async () => Math.abs((await popup.boundingBox()).width - boxRect.width) <= 2);
  const popupRect = await popup.boundingBox();
  assert.ok(popupRect.y >= boxRect.y + boxRect.height - 1, 'never over the text being typed');
  await screenshot(page, 'search-prompts-1366.png');

  // Down, Down takes the second prompt into the box; Enter opens it.
  await box.press('ArrowDown');
  await box.press('ArrowDown');
  await until('second prompt taken', async () => (await box.inputValue()) === texts[1]);
  assert.equal(await prompts.nth(1).getAttribute('checked'), '1');
  await box.press('Enter');
  await shown('the prompt\'s section', (u) => u.pathname.startsWith('/doc/'));
  const promptPage = (await docPath()).pathname;
  // Back puts a view's text back into the box.
  await top.locator('#btn_home').click();
  await box.fill('');
  await top.locator('#btn_backward').click();
  await until('the prompt back in the box', async () => (await box.inputValue()) === texts[1]);
  await shown('the same page', (u) => u.pathname === promptPage);
  // The page the user went back to takes the keyboard; on a slow build it
  // does so after its address is set, and keys typed before would follow it.
  await until('the document has the keyboard', () => page.evaluate(() =>
    !!document.activeElement && document.activeElement.hasAttribute('sandbox')));

  // Page Down in a long list (100 prompts) moves by what the pop-up shows:
  // its height over the first prompt's, less 4.
  await box.fill('');
  await box.pressSequentially('н', { delay: 20 });
  await until('a long list', async () => (await prompts.count()) === 100);
  const popupHeight = (await page.locator('#kalimor-dialogs iframe.k-popup:not(.hidden)').boundingBox()).height;
  const optionHeight = (await prompts.first().boundingBox()).height;
  const step = Math.max(1, Math.floor(Math.round(popupHeight) / Math.round(optionHeight)) - 4);
  assert.ok(step > 1 && step < 30, `a page of ${step} prompts in ${popupHeight} px`);
  const current = async () => (await prompts.evaluateAll((all) => all.findIndex((o) => o.getAttribute('checked') === '1')));
  await box.press('PageDown');
  await until('the first prompt', async () => (await current()) === 0);
  await box.press('PageDown');
  await until(`a page further (${step})`, async () => (await current()) === step);
  await box.press('PageUp');
  await until('a page back', async () => (await current()) === 0);
  await box.press('Escape');

  // A full-text search: both pages about deductions, the words in bold.
  await box.fill('налоговых вычетов');
  await box.press('Enter');
  const results = await frameWith(page, '.search_result_title');
  // The list comes a screen at a time: scrolled to its end, it fills up.
  for (let i = 0; i < 20 && await results.locator('#result_more').isVisible(); ++i) {
    const before = await results.locator('.search_result').count();
    await results.evaluate(() => document.scrollingElement.scrollTo(0, document.scrollingElement.scrollHeight));
    await until('the next screen', async () => (await results.locator('.search_result').count()) > before);
  }
  const titles = await results.locator('.search_result_title').allTextContents();
  assert.ok(titles.includes('Налоговые вычеты по НДФЛ') && titles.includes('Налоговые вычеты по НДС'), titles.join(' | '));
  const bold = await results.locator('.search_result_text b').allTextContents();
  assert.ok(bold.some((b) => /^вычет/i.test(b)), bold.join(' | '));
  await screenshot(page, 'search-results-1366.png');

  // Down the list, then a result: the words are marked, F3 walks them.
  await results.locator('.search_result_title', { hasText: 'Налоговые вычеты по НДС' }).scrollIntoViewIfNeeded();
  await page.waitForTimeout(300);
  const scrolled = await results.evaluate(() => document.scrollingElement.scrollTop);
  assert.ok(scrolled > 0, 'the list was scrolled');
  await results.locator('.search_result_title', { hasText: 'Налоговые вычеты по НДС' }).click();
  await shown('the document', (u) => u.pathname === '/doc/nds/deduction.html');
  const doc = documentFrame(page);
  await doc.locator('mark.kalimor-found').first().waitFor();
  const toolBar = await frameWith(page, '#found_counter');
  await until('counted', async () => /^Найдено: \d+/.test(await toolBar.locator('#found_counter').textContent()));
  await page.keyboard.press('F3');
  await until('first found word', async () => /^1 из \d+/.test(await toolBar.locator('#found_counter').textContent()));
  await page.keyboard.press('F3');
  await until('second found word', async () => /^2 из \d+/.test(await toolBar.locator('#found_counter').textContent()));
  assert.equal(await doc.locator('mark.kalimor-found.current').count(), 1);
  await screenshot(page, 'search-marked-1366.png');
  // The page marks by the rule the client sent: the same table the snippet
  // code is tested against.
  const table = JSON.parse(fs.readFileSync(new URL('../data/found-words.json', import.meta.url), 'utf8'));
  for (const { what, text, word, marked } of table) {
    assert.deepEqual(await page.evaluate(([t, w]) => window.__kalimor.markedWords(t, [w]), [text, word]), marked, what);
  }

  // Back: the list where it was.
  await top.locator('#btn_backward').click();
  await until('the list at its place', async () =>
    Math.abs((await results.evaluate(() => document.scrollingElement.scrollTop)) - scrolled) <= 2);
  // A document opened otherwise has no marks.
  await top.locator('#btn_forward').click();
  const navigator = await frameWith(page, '#tree a.section_link');
  await navigator.locator('a.section_link', { hasText: 'Восстановление НДС' }).click();
  await shown('a plain opening', (u) => u.pathname === '/doc/nds/restore.html');
  await until('no marks', async () => !(await toolBar.locator('#found_bar').isVisible()));

  // Ctrl+F goes to the box from the document.
  await doc.locator('p').first().click();
  await page.keyboard.press('Control+f');
  await until('box focused', () => box.evaluate((el) => el === el.ownerDocument.activeElement));
  // And "/" from the document, taken by the client, not typed into the box.
  const before = await box.inputValue();
  await doc.locator('p').first().click();
  await until('box left', async () => !(await box.evaluate((el) => el === el.ownerDocument.activeElement)));
  await page.keyboard.press('/');
  await until('box focused by "/"', () => box.evaluate((el) => el === el.ownerDocument.activeElement));
  assert.equal(await box.inputValue(), before, 'the "/" is not typed');

  // The alphabetical index: a letter, a section, a phrase.
  await panel.locator('#link_registry').click();
  const registry = await frameWith(page, '#letters');
  await registry.locator('td.letter', { hasText: 'Н' }).click();
  await registry.locator('td.letter[selected="1"]', { hasText: 'Н' }).waitFor();
  await registry.locator('div.section').first().click();
  const phrase = registry.locator('.reference').first();
  await phrase.waitFor();
  await screenshot(page, 'search-registry-1366.png');
  await phrase.click();
  await shown('the phrase\'s document', (u) => u.pathname.startsWith('/doc/') && u.pathname !== '/doc/nds/restore.html');

  // Nothing found says so.
  await box.fill('абракадабра');
  await box.press('Enter');
  await (await frameWith(page, '.no_results')).locator('.no_results_title', { hasText: 'ничего не найдено' }).waitFor();

  // The same on a large screen (opened before the first page closes: a
  // client whose only page closed goes into tray mode).
  const wide = await reopen(page, urlsOf(proc.out)[0], { width: 1920, height: 1080 });
  await page.close();
  const widePanel = await frameWith(wide, '#edit_search');
  const wideBox = widePanel.locator('#edit_search');
  await wideBox.fill('');
  await wideBox.pressSequentially('налог', { delay: 20 });
  await popupFrame(wide).locator('#search_prompts option').first().waitFor();
  await screenshot(wide, 'search-prompts-1920.png');
  await wideBox.press('Escape');
  await wideBox.fill('ндс');
  await wideBox.press('Enter');
  await (await frameWith(wide, '.search_result_title')).locator('.result_count', { hasText: '«ндс»' }).waitFor();
  await screenshot(wide, 'search-results-1920.png');
  await widePanel.locator('#link_registry').click();
  const wideRegistry = await frameWith(wide, '#letters');
  await wideRegistry.locator('div.section').first().click();
  await wideRegistry.locator('.reference').first().waitFor();
  await screenshot(wide, 'search-registry-1920.png');
}, async (failed) => {
  if (failed)
    console.error('--- client output\n' + proc.out + '\n--- log tail\n' + home.log().split('\n').slice(-60).join('\n'));
  proc.kill('SIGKILL');
  await browser.close();
  home.remove();
});
