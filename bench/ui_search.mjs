// Browser-side timings of searching in the client, in Debian's headless
// Chromium, p50 and p95 over 100 tries or more:
//  - Enter in the search box -> the first screen of results painted, on the
//    demo library and, given a published corpus, on it (the 20 000-document
//    corpus of bench/search: bench/search/run --corpora docs20000 publishes
//    it to build/bench-search/work/docs20000/profile);
//  - a keystroke -> the prompt list painted, given the 100 000-phrase
//    registry of bench_prompts (build/release/bench/bench_prompts
//    --write-profile DIR): the list's first opening after the typing pauses
//    (the 100 ms the box waits are taken off), and its refresh while open.
//   node bench/ui_search.mjs KalimorClnt DEMO_PACKAGES [--corpus PROFILE QUERIES.tsv] [--prompts DIR]
// Uses the browser tests' packages: run tests/e2e/install-packages first.
import fs from 'node:fs';
import path from 'node:path';
import {
  clientSet, installPackages, launchBrowser, line, loadLine, openWindow, timePrompts, timeSearches, useContent,
} from './lib/client.mjs';

const args = process.argv.slice(2);
const client = path.resolve(args[0] || 'build/release/app/KalimorClnt');
const packages = path.resolve(args[1] || 'build/release/demo/packages');
const option = (name, n = 1) => {
  const i = args.indexOf(name);
  return i < 0 ? null : args.slice(i + 1, i + 1 + n).map((a) => path.resolve(a));
};
const corpus = option('--corpus', 2);
const promptsDir = option('--prompts');
const debounceMs = 100;
const installDemo = installPackages(client, packages);

const clients = clientSet(client);
const { start, stop } = clients;

const browser = await launchBrowser();
try {
  loadLine('before');
  const demo = start(installDemo);
  const demoQueries = ['налоговых вычетов', 'ндс', 'авансовый отчет', 'страховые взносы ип', 'упрощ', 'налог',
    'основные средства', 'счет-фактура', 'декларация по ндс', 'больничный', 'ставка', 'проводки по покупке'];
  line('demo: Enter -> first screen of results painted',
    await timeSearches(await openWindow(browser, demo), demoQueries, 120));
  await stop(demo);

  if (corpus) {
    const [profile, queriesFile] = corpus;
    const queries = fs.readFileSync(queriesFile, 'utf8').split('\n').filter(Boolean).map((l) => l.split('\t'));
    const run = start(useContent(path.join(profile, 'Content')));
    const window = await openWindow(browser, run);
    for (const kind of ['1word', '2word', '3word', 'prefix']) {
      const ofKind = queries.filter(([k]) => k === kind).map(([, q]) => q);
      if (!ofKind.length) continue;
      line(`corpus ${kind}: Enter -> first screen of results painted`, await timeSearches(window, ofKind, 100));
    }
    await stop(run);
  }

  if (promptsDir) {
    const [dir] = promptsDir;
    const texts = fs.readFileSync(path.join(dir, 'texts.tsv'), 'utf8').split('\n').filter(Boolean)
      .map((l) => l.split('\t'));
    // The demo with the large registry and prompt list in place of its own.
    const run = start((env) => {
      installDemo(env);
      for (const name of ['registry2.dat', 'search_prompts2.dat'])
        fs.copyFileSync(path.join(dir, 'Content', name), path.join(env.KALIMOR_PROFILE, 'Content', name));
    });
    const window = await openWindow(browser, run);
    for (const kind of ['1letter', '3letters', '2words']) {
      const ofKind = texts.filter(([k]) => k === kind).map(([, t]) => t);
      const { opened, refreshed } = await timePrompts(window, ofKind, 100, debounceMs);
      line(`prompts ${kind}: keystroke -> list painted (after the ${debounceMs} ms pause)`, opened);
      line(`prompts ${kind}: one more letter -> list refreshed`, refreshed);
    }
    await stop(run);
  }
  loadLine('after');
} finally {
  await clients.stopAll();
  await browser.close();
}
