// The client's resident memory over a long reading session on the demo, in
// Debian's headless Chromium: views made as a reader makes them (a home tile,
// a row of the navigator, a search and its first result, in turn) with Back
// every fourth view. The resident size is read from /proc every 100 views
// and printed as a table, then what the second half of the session added and
// the peak.
//   node bench/ui_memory.mjs KalimorClnt DEMO_PACKAGES [--views 3000] [--every 100]
// KALIMOR_BENCH_WRAP="heaptrack -o /tmp/client" (or valgrind --tool=massif ...)
// starts the client under a profiler; the client's own process is measured.
// (scripts/build-demo build/release build/release/demo makes the packages.)
// Uses the browser tests' packages: run tests/e2e/install-packages first.
import path from 'node:path';
import {
  anonymousKiB, documentViews, frameWith as frameIn, installPackages, launchBrowser, mib, residentKiB, startClient,
} from './lib/client.mjs';

const args = process.argv.slice(2);
const client = path.resolve(args[0] || 'build/release/app/KalimorClnt');
const packages = path.resolve(args[1] || 'build/release/demo/packages');
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i < 0 ? fallback : Number(args[i + 1]);
};
const views = option('--views', 3000);
const every = option('--every', 100);

const run = startClient(client, installPackages(client, packages));
const sample = (n, pid) => [n, residentKiB(pid), anonymousKiB(pid)];

const browser = await launchBrowser();
try {
  const page = await (await browser.newContext({ viewport: { width: 1366, height: 768 } })).newPage();
  page.setDefaultTimeout(30000);
  await page.goto(await run.url);
  const frameWith = (selector) => frameIn(page, selector);
  const view = documentViews(page);

  const welcome = await frameWith('#btn_tax_on_price');
  await welcome.locator('.mru_list_item').first().waitFor();
  const top = await frameWith('#btn_backward');
  const search = await frameWith('#edit_search');
  const pid = run.pid();
  const tiles = ['#btn_tax_on_price', '#btn_usn', '#btn_correspondence', '#btn_tax_on_profit', '#btn_salary',
    '#btn_taxes', '#btn_reports', '#btn_employers'];
  const queries = ['ндс', 'вычет', 'ставка', 'налог', 'счет', 'зарплата', 'упрощенная', 'декларация'];
  // Rows that open a document (the third and fourth levels); the second
  // level only opens its branch.
  const rows = ':is(td[class^="level3"], td[class^="level4"]) a.section_link:visible';
  const counts = { tile: 0, navigator: 0, search: 0, back: 0, missed: 0 };
  const table = [sample(0, pid)];
  let nTile = 0, nRow = 0, nQuery = 0, nKind = 0;

  const kinds = {
    async tile() {
      await top.locator('#btn_home').click();
      await welcome.locator(tiles[0]).waitFor({ state: 'visible' });
      return view(() => welcome.locator(tiles[nTile++ % tiles.length]).click());
    },
    async navigator() {
      const navigator = await frameWith('#tree a.section_link');
      let links = navigator.locator(rows);
      if (!(await links.count())) {
        const branches = navigator.locator('td[class^="level2"] a.section_link:visible');
        const nBranches = await branches.count();
        if (!nBranches) return kinds.tile();
        await branches.nth(nRow++ % nBranches).click();
        await page.waitForTimeout(100);
        links = navigator.locator(rows);
      }
      const n = await links.count();
      if (!n) return false;
      return view(() => links.nth(nRow++ % n).click(), 3000);
    },
    async search() {
      const box = search.locator('#edit_search');
      await box.fill(queries[nQuery++ % queries.length]);
      await box.press('Enter');
      const results = await frameWith('.search_result_title');
      return view(() => results.locator('.search_result_title').first().click());
    },
    async back() {
      return view(() => top.locator('#btn_backward').click(), 3000);
    },
  };
  let done = 0;
  const started = Date.now();
  while (done < views) {
    const kind = done % 4 === 3 ? 'back' : ['tile', 'navigator', 'search'][nKind++ % 3];
    if (await kinds[kind]()) {
      ++counts[kind];
      ++done;
      if (done % every === 0) {
        table.push(sample(done, pid));
        // Printed as it goes too: a long session can be read while it runs.
        console.error(`${done} views: ${mib(table[table.length - 1][1])} MiB (anonymous ${mib(table[table.length - 1][2])})`);
      }
    } else ++counts.missed;
  }
  const minutes = ((Date.now() - started) / 60000).toFixed(1);
  console.log(`reading session of ${views} views in ${minutes} min: ${counts.tile} tiles, ${counts.navigator} ` +
    `navigator rows, ${counts.search} searches with their first result, ${counts.back} Back ` +
    `(${counts.missed} actions showed no document and were not counted)`);
  console.log('views   resident MiB   change MiB   anonymous MiB');
  for (let i = 0; i < table.length; ++i) {
    const change = i ? mib(table[i][1] - table[i - 1][1]) : '';
    console.log(`${String(table[i][0]).padStart(5)}   ${mib(table[i][1]).padStart(12)}   ${change.padStart(10)}   ` +
      `${mib(table[i][2]).padStart(13)}`);
  }
  const half = table.find(([n]) => n >= views / 2) || table[0];
  const last = table[table.length - 1];
  const peak = Math.max(...table.map(([, k]) => k));
  console.log(`second half (views ${half[0]}-${last[0]}) added ${mib(last[1] - half[1])} MiB; ` +
    `peak ${mib(peak)} MiB; after the last view ${mib(last[1])} MiB`);
} finally {
  await run.stop();
  await browser.close();
}
