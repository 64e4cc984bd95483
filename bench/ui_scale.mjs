// The client's window over one published library, in Debian's headless
// Chromium: what bench/scale/run measures at each size of library.
//   node bench/ui_scale.mjs KalimorClnt PROFILE SOURCE QUERIES.tsv [--tries 100] [--views 500]
//        [--json FILE] [--only start,search,prompts,selector,session,lists]
// PROFILE holds the published Content, SOURCE the corpus it was published
// from (its encyclopedia.xml and search_prompts2.xml give the documents and
// the prompts), QUERIES.tsv the corpus's queries (bench/search/make-corpus).
// Each measure is p50/p95 over --tries tries:
//  - start: starting KalimorClnt -> the window's first painted frame with the
//    library loaded; resident memory once it has painted;
//  - Enter in the search box -> the first screen of results painted, for 1,
//    2 and 3 words and prefixes;
//  - a keystroke -> the prompt list painted (after the typing pause);
//  - the section selector: its button -> the selector painted, and one of
//    its links -> the document with its navigator painted (the navigator
//    lists the rows around the document);
//  - a history of 10 000 views and 2 000 bookmarks: their button -> the
//    first page painted, and the last page's cell -> that page painted;
//  - resident memory after --views document views (searches with their first
//    result, documents chosen in the section selector, Back every fourth
//    view).
// Prints each line as it is measured and, with --json, writes every figure.
import fs from 'node:fs';
import path from 'node:path';
import {
  anonymousKiB, clientSet, documentViews, frameWith, launchBrowser, line, loadLine, mib, openWindow, residentKiB, summary,
  timeClick, timePrompts, timeSearches, useContent,
} from './lib/client.mjs';

const args = process.argv.slice(2);
const [client, profile, source, queriesFile] = args.slice(0, 4).map((a) => path.resolve(a));
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i < 0 ? fallback : args[i + 1];
};
const tries = Number(option('--tries', 100));
const views = Number(option('--views', 500));
const jsonFile = option('--json', '');
const only = new Set(option('--only', 'start,search,prompts,selector,session,lists').split(','));
const debounceMs = 100;
const historyCount = 10000, bookmarkCount = 2000;

const results = {};
const record = (key, what, values) => {
  if (!values.length) return;
  line(what, values);
  results[key] = summary(values);
};

const xml = fs.readFileSync(path.join(source, 'encyclopedia.xml'), 'utf8');
const documents = [...xml.matchAll(/<section name="[^"]*" url="([^"]*)"\/>/g)].map((m) => m[1]);
const queries = fs.readFileSync(queriesFile, 'utf8').split('\n').filter(Boolean).map((l) => l.split('\t'));
const promptFile = path.join(source, 'search_prompts2.xml');
const prompts = fs.existsSync(promptFile)
  ? [...fs.readFileSync(promptFile, 'utf8').matchAll(/<prompt text="([^"]*)"/g)].map((m) => m[1]) : [];

const content = useContent(path.join(profile, 'Content'));
// A long-used profile: a history and bookmarks spread over the library.
const usedProfile = (env) => {
  content(env);
  const esc = (s) => s.replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;');
  const step = Math.max(1, Math.floor(documents.length / historyCount));
  let history = '<?xml version="1.0" encoding="UTF-8"?>\n<history>\n';
  for (let i = 0; i < historyCount; ++i) {
    const url = documents[(i * step) % documents.length];
    const day = 1 + (i % 28), month = 1 + (Math.floor(i / 28) % 12), year = 2020 + Math.floor(i / 336) % 7;
    history += `<section url="${esc(url)}" first-line="Документ ${i + 1}" second-line="" day="${day}" ` +
      `month="${month}" year="${year}" hour="${i % 24}" minute="${i % 60}" second="0"/>\n`;
  }
  fs.writeFileSync(path.join(env.KALIMOR_PROFILE, 'history.xml'), history + '</history>\n');
  let bookmarks = '<?xml version="1.0" encoding="UTF-8"?>\n<bookmarks>\n';
  const bookmarkStep = Math.max(1, Math.floor(documents.length / bookmarkCount));
  for (let i = 0; i < bookmarkCount; ++i)
    bookmarks += `<bookmark type="1" url="${esc(documents[(i * bookmarkStep) % documents.length])}" ` +
      `annotation="Заметка ${i + 1}" important="${i % 5 === 0 ? 1 : 0}"/>\n`;
  fs.writeFileSync(path.join(env.KALIMOR_PROFILE, 'bookmarks.xml'), bookmarks + '</bookmarks>\n');
};

const clients = clientSet(client);
const { start, stop } = clients;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function measureStart(browser) {
  const times = [], memory = [], anonymous = [];
  for (let i = 0; i < tries; ++i) {
    const run = start(content);
    const url = await run.url;
    const context = await browser.newContext({ viewport: { width: 1366, height: 768 } });
    const page = await context.newPage();
    await page.goto(url);
    await page.waitForFunction(() => window.__kalimor && window.__kalimor.painted, null, { timeout: 30000 });
    const [origin, painted] = await page.evaluate(() => [performance.timeOrigin, window.__kalimor.paintedAt]);
    times.push(origin + painted - run.startedAt);
    if (i < 5) {
      await sleep(2000);
      memory.push(residentKiB(run.pid()));
      anonymous.push(anonymousKiB(run.pid()));
    }
    await context.close();
    await stop(run);
  }
  record('start', 'start -> first painted frame, library loaded', times);
  memory.sort((a, b) => a - b);
  results.memoryAfterStart = memory[Math.floor(memory.length / 2)] / 1024;
  anonymous.sort((a, b) => a - b);
  results.anonymousAfterStart = anonymous[Math.floor(anonymous.length / 2)] / 1024;
  console.log(`resident memory after start (median of ${memory.length}): ${mib(memory[Math.floor(memory.length / 2)])} MiB`);
}

async function measureSearch(window) {
  for (const kind of ['1word', '2word', '3word', 'prefix']) {
    const ofKind = queries.filter(([k]) => k === kind).map(([, q]) => q);
    if (ofKind.length) record(`search_${kind}`, `Enter -> first screen of results, ${kind}`,
      await timeSearches(window, ofKind, tries));
  }
}

async function measurePrompts(window) {
  if (!prompts.length) return console.log('no prompts in the corpus: prompt list not measured');
  // Every tenth prompt, so that the texts spread over the alphabet.
  const spread = prompts.filter((_, i) => i % Math.max(1, Math.floor(prompts.length / 200)) === 0);
  const texts = {
    '3letters': [...new Set(spread.map((p) => p.slice(0, 3)))],
    '2words': spread.filter((p) => p.includes(' ')).map((p) => p.slice(0, -1)),
  };
  for (const [kind, ofKind] of Object.entries(texts)) {
    const { opened } = await timePrompts(window, ofKind, tries, debounceMs);
    record(`prompts_${kind}`, `keystroke -> prompt list painted, ${kind}`, opened);
  }
  await window.box.fill('');
  await window.box.press('Escape');
}

async function openFirstResult(window, query) {
  const { page, box } = window;
  await box.fill(query);
  await box.press('Enter');
  const results = await frameWith(page, '.search_result_title');
  await results.locator('.search_result_title').first().click();
  const navigator = await frameWith(page, '#tree a.section_link');
  await navigator.locator('#tree a.section_link').first().waitFor();
  return navigator;
}

async function measureSelector(window) {
  const { page } = window;
  const navigator = await openFirstResult(window, queries[0][1]);
  const opened = [], chosen = [];
  const popup = () => page.frames().find((f) => f.parentFrame() && /select_section/.test(f.url()));
  for (let i = 0; i < Math.min(tries, 100); ++i) {
    opened.push(await timeClick(page, navigator.locator('#btn_select_section'), () => {
      const frame = document.querySelector('#kalimor-dialogs iframe.k-popup:not(.hidden)');
      const body = frame && frame.contentDocument && frame.contentDocument.getElementById('select_section_body');
      return !!body && body.querySelectorAll('.section_link').length > 0;
    }));
    // A link in another branch each time: its document and its branch's rows.
    const frame = popup() || await frameWith(page, '#select_section_body');
    const links = frame.locator('#select_section_body .section_link');
    const n = await links.count();
    const link = links.nth(Math.floor((i * 7919) % n));
    const name = (await link.textContent()).trim();
    chosen.push(await timeClick(page, link, (want) => {
      for (const f of document.querySelectorAll('#kalimor-frame iframe')) {
        const doc = f.contentDocument;
        const current = doc && doc.querySelector('#tree a.section_link[aria-current="page"]');
        if (current && current.textContent.trim() === want) return true;
      }
      return false;
    }, name));
  }
  record('selector_open', 'selector button -> the selector painted', opened);
  record('selector_choose', "selector's link -> its document's navigator painted", chosen);
  results.navigatorRows = await navigator.locator('#tree a.section_link').count();
  console.log(`the navigator lists ${results.navigatorRows} rows`);
}

async function measureSession(window, run) {
  const { page, box } = window;
  const top = await frameWith(page, '#btn_backward');
  const view = documentViews(page);
  const words = queries.filter(([k]) => k !== 'prefix').map(([, q]) => q);
  let done = 0, nQuery = 0, nRow = 0, nKind = 0;
  const kinds = [
    async () => {
      await box.fill(words[nQuery++ % words.length]);
      await box.press('Enter');
      const list = await frameWith(page, '.search_result_title');
      return view(() => list.locator('.search_result_title').first().click());
    },
    async () => {
      const navigator = await frameWith(page, '#btn_select_section');
      await navigator.locator('#btn_select_section').click();
      const links = page.frameLocator('#kalimor-dialogs iframe.k-popup:not(.hidden)')
        .locator('#select_section_body .section_link');
      await links.first().waitFor();
      const n = await links.count();
      return n > 0 && view(() => links.nth((nRow += 37) % n).click());
    },
  ];
  let misses = 0;
  while (done < views && misses < views) {
    const ok = done % 4 === 3 ? await view(() => top.locator('#btn_backward').click(), 3000)
      : await kinds[nKind++ % kinds.length]();
    if (ok) ++done; else ++misses;
  }
  await sleep(2000);
  results.memoryAfterViews = residentKiB(run.pid()) / 1024;
  results.anonymousAfterViews = anonymousKiB(run.pid()) / 1024;
  console.log(`resident memory after ${done} views: ${results.memoryAfterViews.toFixed(1)} MiB ` +
    `(not file-backed: ${results.anonymousAfterViews.toFixed(1)} MiB)`);
}

async function measureLists(browser) {
  const run = start(usedProfile);
  const window = await openWindow(browser, run);
  const { page } = window;
  const top = await frameWith(page, '#btn_history');
  const lists = [
    ['history', '#btn_history', '.history_link'],
    ['bookmarks', '#btn_bookmarks', '.bookmark_link'],
  ];
  for (const [name, button, item] of lists) {
    const opened = [], last = [];
    for (let i = 0; i < tries; ++i) {
      await top.locator('#btn_home').click();
      await page.waitForTimeout(50);
      opened.push(await timeClick(page, top.locator(button), (sel) => {
        for (const f of document.querySelectorAll('#kalimor-frame iframe')) {
          const doc = f.contentDocument;
          if (!f.classList.contains('hidden') && doc && doc.querySelector(sel)) return true;
        }
        return false;
      }, item));
      // The window keeps the page it was left on: the timed turn starts on
      // the first page.
      const frame = await frameWith(page, item);
      const selected = (id) => frame.locator(`#pages #${id}[selected="1"]`);
      if (!(await selected('PAGE0').count())) {
        await frame.locator('#pages #PAGE0').click();
        await selected('PAGE0').waitFor();
      }
      const lastId = await frame.locator('#pages .page_num[id^="PAGE"]').last().getAttribute('id');
      last.push(await timeClick(page, frame.locator('#pages #' + lastId), (id) => {
        for (const f of document.querySelectorAll('#kalimor-frame iframe')) {
          const doc = f.contentDocument;
          const cell = doc && doc.getElementById(id);
          if (cell && cell.getAttribute('selected') === '1') return true;
        }
        return false;
      }, lastId));
    }
    record(`${name}_open`, `${name}: button -> first page painted`, opened);
    record(`${name}_last`, `${name}: last page's cell -> that page painted`, last);
  }
  await stop(run);
}

const browser = await launchBrowser();
try {
  loadLine('before');
  results.documents = documents.length;
  if (only.has('start')) await measureStart(browser);
  const run = start(content);
  const window = await openWindow(browser, run);
  if (only.has('search')) await measureSearch(window);
  if (only.has('prompts')) await measurePrompts(window);
  if (only.has('selector')) await measureSelector(window);
  if (only.has('session')) await measureSession(window, run);
  await stop(run);
  if (only.has('lists')) await measureLists(browser);
  loadLine('after');
  if (jsonFile) fs.writeFileSync(jsonFile, JSON.stringify(results, null, 1) + '\n');
} finally {
  await clients.stopAll();
  await browser.close();
}
