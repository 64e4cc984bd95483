// Reading a long branch through the navigator, as a user does who works down
// a table of contents: a library made here from the demo's source with one
// more branch of 40 pages, installed as a package, then 40 documents opened
// one after the other by clicking their rows. Every click rebuilds all rows
// of the tree while the clicked row's patch is on its way, which the demo's
// short branches never stress; each document must show and the client must
// still be running at the end.
//   node longbranch.test.mjs KalimorClnt kalimorctl DEMO_PACKAGES_FOLDER
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { documentFrame, frameWith, here, launchBrowser, makeHome, run, screenshot, start, stats, until, urlsOf,
  watchdog } from './support.mjs';

// Under a memory checker (scripts/valgrind-reading) everything takes longer.
const slow = Number(process.env.KALIMOR_E2E_SLOWDOWN || 1);
watchdog(220 * slow);
const [client, ctl, packages] = process.argv.slice(2);
const kPages = 40;
const home = makeHome();
const pad = (n) => String(n).padStart(2, '0');
const rowName = (n) => `Лист ${pad(n)} длинной ветки`;

// The demo's source with the branch added to the VAT topic (the demo itself
// stays as it is: its counts are checked elsewhere).
const source = path.join(home.work, 'source');
fs.cpSync(path.join(here, '..', '..', 'demo'), source, { recursive: true });
const catalogue = path.join(source, 'encyclopedia.xml');
const topic = '<section name="НДС" code="nds" id="7" url="/nds/index.html">';
const xml = fs.readFileSync(catalogue, 'utf8');
assert.ok(xml.includes(topic), 'the demo has its VAT topic');
let branch = '<section name="Длинная ветка">';
fs.mkdirSync(path.join(source, 'pages', 'nds', 'long'));
for (let i = 1; i <= kPages; ++i) {
  branch += `<section name="${rowName(i)}" url="/nds/long/p${pad(i)}.html"/>`;
  fs.writeFileSync(path.join(source, 'pages', 'nds', 'long', `p${pad(i)}.html`),
    `<html><head><title>${rowName(i)}</title></head><body><h1 id="long-title">${rowName(i)}</h1>` +
    `<p>Текст листа ${i} о вычетах НДС.</p></body></html>`);
}
fs.writeFileSync(catalogue, xml.replace(topic, topic + branch + '</section>'));

const published = path.join(home.work, 'published');
const morphology = path.join(packages, '..', '1', 'Content', 'morphology');
const publish = spawnSync(ctl, ['publish', '--morphology', morphology, source, published], { encoding: 'utf8' });
assert.equal(publish.status, 0, publish.stderr);
const longPackages = path.join(home.work, 'packages');
fs.mkdirSync(longPackages);
const pack = spawnSync(ctl, ['package', path.join(published, 'Content'), path.join(longPackages, '1.zip')],
  { encoding: 'utf8' });
assert.equal(pack.status, 0, pack.stderr);
const install = spawnSync(client, ['-updates', longPackages], { env: home.env, encoding: 'utf8' });
assert.equal(install.status, 0, install.stderr);
assert.match(home.ini(), /ContentVersion=1/);

const browser = await launchBrowser();
const proc = start(client, ['--no-browser'], home.env);
await run('e2e long branch', async () => {
  await until('start address', () => urlsOf(proc.out).length === 1, 10000 * slow);
  const page = await (await browser.newContext({ viewport: { width: 1366, height: 768 } })).newPage();
  page.setDefaultTimeout(10000 * slow);
  await page.goto(urlsOf(proc.out)[0]);
  const origin = new URL(page.url()).origin;
  const doc = documentFrame(page);
  const docPath = async () => new URL((await stats(page)).docSrc || '/', origin).pathname;

  const welcome = await frameWith(page, '#btn_tax_on_price', 10000 * slow);
  await welcome.locator('#btn_tax_on_price').click();
  await until('the topic page', async () => (await docPath()) === '/doc/nds/index.html', 10000 * slow);
  const navigator = await frameWith(page, '#tree a.section_link', 10000 * slow);
  await navigator.locator('a.section_link', { hasText: 'Длинная ветка' }).click();
  await navigator.locator('a.section_link', { hasText: rowName(kPages) }).waitFor();
  const rows = await navigator.locator('#tree a.section_link').count();
  assert.ok(rows >= kPages + 2, `the branch's ${kPages} rows under the topic's others (${rows})`);

  for (let i = 1; i <= kPages; ++i) {
    await navigator.locator('a.section_link', { hasText: rowName(i) }).click();
    await until(`view ${i}`, async () => (await docPath()) === `/doc/nds/long/p${pad(i)}.html`, 10000 * slow);
    await doc.locator('#long-title', { hasText: rowName(i) }).waitFor();
    await navigator.locator('a.section_link[aria-current="page"]', { hasText: rowName(i) }).waitFor();
    assert.equal(proc.exitCode, null, `the client runs after view ${i}`);
  }
  await screenshot(page, 'long-branch-last-1366.png');
  assert.equal(proc.exitCode, null, 'the client still runs');
}, async (failed) => {
  if (failed)
    console.error('--- client output\n' + proc.out + '\n--- log tail\n' + home.log().split('\n').slice(-60).join('\n'));
  // Asked to end first, so that a memory checker writes its summary.
  proc.kill('SIGTERM');
  await Promise.race([proc.exited, new Promise((r) => setTimeout(r, 5000 * slow))]);
  proc.kill('SIGKILL');
  await browser.close();
  home.remove();
});
