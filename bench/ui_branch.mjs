// A navigator branch of thousands of rows, in Debian's headless Chromium: a
// library made from the demo's source with one more branch of --rows pages
// (default 5 000) under the VAT topic, published, packaged and installed as
// the client installs packages. Then, --tries times each, from the key or the
// click to the first frame that shows the result:
//   Right on the closed branch -> its rows painted (open)
//   Left on the open branch    -> its rows gone (closed)
//   a row of the branch        -> its document shown and the row current
// and how many rows the navigator built of the branch.
//   node bench/ui_branch.mjs KalimorClnt kalimorctl DEMO_PACKAGES [--rows 5000] [--tries 100]
// (DEMO_PACKAGES: build/release/demo-test/packages, made by the browser
// tests' set-up; its morphology is taken from the "1" folder beside it.)
// KALIMOR_BENCH_LOG=1 keeps the client's log at its most detailed, printed
// when a step fails.
// Uses the browser tests' packages: run tests/e2e/install-packages first.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { frameWith, installPackages, launchBrowser, line, loadLine, openWindow, startClient, timeClick } from './lib/client.mjs';

const args = process.argv.slice(2);
const [client, ctl, packages] = args.slice(0, 3).map((a) => path.resolve(a));
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i < 0 ? fallback : Number(args[i + 1]);
};
const rows = option('--rows', 5000);
const tries = option('--tries', 100);
const here = path.dirname(fileURLToPath(import.meta.url));
const pad = (n) => String(n).padStart(String(rows).length, '0');
const rowName = (n) => `Лист ${pad(n)} длинной ветки`;
const branchName = 'Длинная ветка';

function run(command, argv) {
  const done = spawnSync(command, argv, { encoding: 'utf8', maxBuffer: 64 << 20 });
  if (done.status !== 0) throw new Error(`${path.basename(command)} ${argv[0]}: ${done.stderr}`);
}

// The demo's source with the branch added to the VAT topic, published and
// packaged; returns the folder of the package.
function makeLibrary(work) {
  const source = path.join(work, 'source');
  fs.cpSync(path.join(here, '..', 'demo'), source, { recursive: true });
  const catalogue = path.join(source, 'encyclopedia.xml');
  const topic = '<section name="НДС" code="nds" id="7" url="/nds/index.html">';
  const xml = fs.readFileSync(catalogue, 'utf8');
  if (!xml.includes(topic)) throw new Error('the demo has no VAT topic');
  const folder = path.join(source, 'pages', 'nds', 'long');
  fs.mkdirSync(folder);
  let branch = `<section name="${branchName}">`;
  for (let i = 1; i <= rows; ++i) {
    branch += `<section name="${rowName(i)}" url="/nds/long/p${pad(i)}.html"/>`;
    fs.writeFileSync(path.join(folder, `p${pad(i)}.html`),
      `<html><head><title>${rowName(i)}</title></head><body><h1>${rowName(i)}</h1>` +
      `<p>Текст листа ${i} о вычетах НДС.</p></body></html>`);
  }
  fs.writeFileSync(catalogue, xml.replace(topic, topic + branch + '</section>'));
  const published = path.join(work, 'published');
  run(ctl, ['publish', '--morphology', path.join(packages, '..', '1', 'Content', 'morphology'), source, published]);
  const out = path.join(work, 'packages');
  fs.mkdirSync(out);
  run(ctl, ['package', path.join(published, 'Content'), path.join(out, '1.zip')]);
  return out;
}

// In the main page: the navigator's frame and what it shows of the branch.
const branchRows = (want) => {
  for (const f of document.querySelectorAll('#kalimor-frame iframe')) {
    const doc = f.contentDocument;
    if (!doc || !doc.getElementById('tree')) continue;
    const any = [...doc.querySelectorAll('#tree a.section_link')].some((a) => a.textContent.includes(want.row));
    return want.open ? any : !any;
  }
  return false;
};
const currentRow = (want) => {
  for (const f of document.querySelectorAll('#kalimor-frame iframe')) {
    const doc = f.contentDocument;
    const current = doc && doc.querySelector('#tree a.section_link[aria-current="page"]');
    if (current && current.textContent.trim() === want) return true;
  }
  return false;
};

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kalimor-branch-'));
const browser = await launchBrowser();
let clientRun;
try {
  const made = Date.now();
  const library = makeLibrary(work);
  console.log(`a branch of ${rows} rows published and packaged in ${((Date.now() - made) / 1000).toFixed(1)} s`);
  clientRun = startClient(client, (env) => {
    installPackages(client, library)(env);
    if (process.env.KALIMOR_BENCH_LOG) { // the client's log at its most detailed
      const ini = path.join(env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini');
      fs.appendFileSync(ini, 'LogLevel=6\n');
    }
  });
  const window = await openWindow(browser, clientRun);
  const { page } = window;
  const welcome = await frameWith(page, '#btn_tax_on_price');
  await welcome.locator('#btn_tax_on_price').click();
  const navigator = await frameWith(page, '#tree a.section_link');
  const branch = navigator.locator('#tree a.section_link', { hasText: branchName });
  await branch.click();
  await navigator.locator('#tree a.section_link', { hasText: rowName(1) }).waitFor();
  const built = await navigator.locator('#tree a.section_link').count();
  console.log(`the navigator built ${built} rows with the branch open (the branch holds ${rows})`);
  loadLine('before');

  const opened = [], closed = [], chosen = [];
  const want = { row: 'длинной ветки' };
  const key = (k) => (l) => l.press(k);
  // A row among those built each time (about 200 around the current row).
  const rowLinks = navigator.locator('#tree a.section_link', { hasText: 'длинной ветки' });
  for (let i = 0; i < tries; ++i) {
    const shown = await rowLinks.allTextContents();
    const name = shown[(i * 37) % shown.length].trim();
    chosen.push(await timeClick(page, navigator.locator('#tree a.section_link', { hasText: name }), currentRow, name));
  }
  for (let i = 0; i < tries; ++i) {
    closed.push(await timeClick(page, branch, branchRows, { ...want, open: false }, key('ArrowLeft')));
    opened.push(await timeClick(page, branch, branchRows, { ...want, open: true }, key('ArrowRight')));
  }
  loadLine('after');
  line(`Right on the closed branch of ${rows} rows -> its rows painted`, opened);
  line(`Left on the open branch -> its rows gone`, closed);
  line(`a row of the branch -> its document current`, chosen);
} catch (error) {
  if (clientRun) {
    const { child, env } = clientRun;
    console.error(`client: exit ${child.exitCode} signal ${child.signalCode}`);
    const log = path.join(env.KALIMOR_PROFILE, 'KalimorClient.log');
    if (fs.existsSync(log)) console.error(fs.readFileSync(log, 'utf8').split('\n').slice(-40).join('\n'));
  }
  throw error;
} finally {
  if (clientRun) await clientRun.stop();
  await browser.close();
  fs.rmSync(work, { recursive: true, force: true });
}
