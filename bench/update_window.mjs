// Updating from the window, timed and weighed against the fake update service
// on loopback:
//  - the demo's full content (packages 1 and 2) installed into an empty
//    profile: from the press on "Обновить" to "Обновления загружены" in the
//    dialog, and from the press on its OK to the home page showing the new
//    news; three runs, each into a fresh profile;
//  - a generated package of about 200 MB installed by a client in the tray
//    (the silent update, no browser): the client's resident memory before
//    the download, the highest sampled during download and unpacking, and
//    its peak (VmHWM), to show the package is never held in memory.
//   node bench/update_window.mjs build/release/app/KalimorClnt build/release/tests/service/kalimor-fake-service \
//        build/release/demo/packages
// Needs about 1 GB in $TMPDIR. Uses the browser tests' packages (tests/e2e/install-packages).
import { createRequire } from 'node:module';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const require = createRequire(new URL('../tests/e2e/package.json', import.meta.url));
const { chromium } = require('playwright-core');
const [client, fakeService, demoPackages] = process.argv.slice(2).map((p) => path.resolve(p));
const runs = 3;
const password = Buffer.from('demo123', 'utf16le').toString('hex');
const running = new Set();
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'kalimor-bench-update-'));

function launch(program, args, env = process.env) {
  const child = spawn(program, args, { env, stdio: ['ignore', 'pipe', 'pipe'] });
  child.out = '';
  child.stdout.on('data', (d) => { child.out += d; });
  child.stderr.on('data', (d) => { child.out += d; });
  running.add(child);
  child.on('exit', () => running.delete(child));
  return child;
}

async function until(test, ms = 120000) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    if (await test()) return;
    await new Promise((r) => setTimeout(r, 10));
  }
  throw new Error('timed out');
}

async function startService(packages) {
  const service = launch(fakeService, ['--port', '0', '--packages', packages, '--account', 'demo:demo123']);
  await until(() => /listening on 127\.0\.0\.1:\d+/.test(service.out));
  service.hostPort = service.out.match(/listening on (127\.0\.0\.1:\d+)/)[1];
  return service;
}

function makeHome(hostPort, settings) {
  const work = fs.mkdtempSync(path.join(scratch, 'home-'));
  const env = { ...process.env, KALIMOR_PROFILE: path.join(work, 'profile'), XDG_CONFIG_HOME: path.join(work, 'config'),
    XDG_RUNTIME_DIR: path.join(work, 'run'), KALIMOR_SERVICE: hostPort };
  fs.mkdirSync(env.XDG_RUNTIME_DIR, { mode: 0o700 });
  fs.mkdirSync(path.join(env.XDG_CONFIG_HOME, 'Kalimor'), { recursive: true });
  fs.writeFileSync(path.join(env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini'),
    `[UserConfig]\nProxyType=1\nLogin=demo\nPassword=${password}\n${settings}`);
  return { work, env, log: path.join(env.KALIMOR_PROFILE, 'KalimorClient.log') };
}

function residentKiB(pid, field) {
  try {
    const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
    return Number(status.match(new RegExp(field + ':\\s+(\\d+)'))[1]);
  } catch {
    return 0;
  }
}

async function timeDemoUpdate(browser, service) {
  const home = makeHome(service.hostPort, '');
  const proc = launch(client, ['--no-browser'], home.env);
  await until(() => /http:\/\/127\.0\.0\.1:\d+\/\?token=/.test(proc.out));
  const page = await (await browser.newContext({ viewport: { width: 1366, height: 768 } })).newPage();
  await page.goto(proc.out.match(/http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+/)[0]);
  const top = page.frameLocator('#kalimor-frame > iframe >> nth=0');
  await top.locator('#btn_update').waitFor();
  await page.waitForTimeout(500);
  const dialog = page.frameLocator('#kalimor-dialogs iframe.k-dialog:not(.k-popup) >> nth=-1');
  const pressed = performance.now();
  await top.locator('#btn_update').click();
  await dialog.locator('#action', { hasText: 'Обновления загружены' }).waitFor({ timeout: 120000 });
  const installed = performance.now();
  await dialog.locator('#LEFT_BUTTON').click();
  const confirmed = performance.now();
  await until(async () => (await page.locator('#kalimor-frame > iframe').evaluateAll((els) => els.some((e) =>
    e.contentDocument && [...e.contentDocument.querySelectorAll('.news_date')].some((d) => d.textContent === '7 декабря 2026')))));
  const shown = performance.now();
  await page.context().close();
  proc.kill('SIGKILL');
  return { toInstalled: installed - pressed, toShown: shown - confirmed };
}

function makeBigPackage(folder) {
  fs.mkdirSync(folder, { recursive: true });
  // Pages of word-like text (stored enciphered) and pictures of random bytes
  // (stored as they are), about 200 MB of archive.
  const script = `
import os, random, zipfile, sys
random.seed(7)
words = "налог вычет декларация бухгалтер счет проводка организация отчетность срок уплата НДС взносы период".split()
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for i in range(400):
        text = "<html><body>" + " ".join(random.choice(words) for _ in range(40000)) + "</body></html>"
        z.writestr("Content/bench/page%d.html" % i, text, compress_type=zipfile.ZIP_DEFLATED)
    for i in range(360):
        z.writestr("Content/bench/images/picture%d.png" % i, os.urandom(512 * 1024), compress_type=zipfile.ZIP_STORED)
`;
  const result = spawnSync('python3', ['-c', script, path.join(folder, '1.zip')], { stdio: 'inherit' });
  if (result.status !== 0) throw new Error('cannot make the package');
  return fs.statSync(path.join(folder, '1.zip')).size;
}

async function weighBigUpdate(service) {
  const home = makeHome(service.hostPort, 'AutoUpdate=1\nLogLevel=5\n');
  const proc = launch(client, ['-autostart'], home.env);
  const log = () => (fs.existsSync(home.log) ? fs.readFileSync(home.log, 'utf8') : '');
  let before = 0, highest = 0;
  await until(() => {
    const rss = residentKiB(proc.pid, 'VmRSS');
    if (!log().includes('CUpdateDlg: state 7')) before = rss;
    else highest = Math.max(highest, rss);
    return log().includes('CKalimorClntApp::UpdateData mode 1 ended');
  }, 600000);
  const peak = residentKiB(proc.pid, 'VmHWM');
  const ended = log().match(/UpdateData mode 1 ended with (\d+)/)[1];
  proc.kill('SIGKILL');
  return { before, highest, peak, ended };
}

try {
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run'] });
  const demo = await startService(demoPackages);
  const sizes = ['1.zip', '2.zip'].map((n) => fs.statSync(path.join(demoPackages, n)).size);
  console.log(`demo packages: ${sizes.map((s) => (s / 1048576).toFixed(2) + ' MiB').join(' + ')}, loopback`);
  for (let i = 1; i <= runs; ++i) {
    const t = await timeDemoUpdate(browser, demo);
    console.log(`run ${i}: "Обновить" pressed -> "Обновления загружены" ${t.toInstalled.toFixed(0)} ms; ` +
      `OK pressed -> new news shown ${t.toShown.toFixed(0)} ms`);
  }
  demo.kill('SIGKILL');
  await browser.close();

  const big = path.join(scratch, 'big');
  const size = makeBigPackage(big);
  const service = await startService(big);
  const m = await weighBigUpdate(service);
  console.log(`package of ${(size / 1048576).toFixed(0)} MiB installed in the tray (end code ${m.ended}): ` +
    `resident ${(m.before / 1024).toFixed(1)} MiB before the download, ` +
    `at most ${(m.highest / 1024).toFixed(1)} MiB sampled during download and unpacking, peak (VmHWM) ` +
    `${(m.peak / 1024).toFixed(1)} MiB`);
} finally {
  for (const child of running) child.kill('SIGKILL');
  fs.rmSync(scratch, { recursive: true, force: true });
}
