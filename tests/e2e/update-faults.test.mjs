// The update from the window through the service's faults: a client with
// package 1 installed asks for package 2 while the service drops the
// connection mid-body, stalls past the client's time-out, answers 500, or
// serves a package that is cut short, corrupt or carries wrong checksums.
// Each ends in the dialog's connection message with the content exactly as it
// was (file by file) and nothing left beside it; the next "Обновить" then
// installs package 2 whole. Last, package 2 over a 10 KB/s link: slow, and
// complete.
//   node update-faults.test.mjs KalimorClnt kalimor-fake-service DEMO_PACKAGES_FOLDER
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { dialogFrame, dialogs, frameWith, launchBrowser, listFiles, makeHome, run, screenshot, start, until, urlsOf,
  watchdog } from './support.mjs';

watchdog(170);
const [client, fakeService, packages] = process.argv.slice(2);
const browser = await launchBrowser();
const homes = [];
const processes = [];
const kStall = 1500;

// Every file of a folder with its digest.
function tree(folder) {
  const files = {};
  for (const name of listFiles(folder).sort())
    files[name] = crypto.createHash('sha1').update(fs.readFileSync(path.join(folder, name))).digest('hex');
  return files;
}

// A home with the account stored and the packages of a folder installed
// through the client's "updates" start.
function prepareHome(service, installed) {
  const home = makeHome();
  homes.push(home);
  home.env.KALIMOR_SERVICE = service;
  home.env.KALIMOR_TEST_HOOKS = '1';
  home.env.KALIMOR_TEST_STALL_MS = String(kStall);
  home.ini = path.join(home.env.XDG_CONFIG_HOME, 'Kalimor', 'KalimorClnt.ini');
  fs.writeFileSync(home.ini, '[UserConfig]\nLogLevel=5\nProxyType=1\nLogin=demo\nPassword='
    + Buffer.from('demo123', 'utf16le').toString('hex') + '\n');
  home.settings = () => fs.readFileSync(home.ini, 'utf8');
  home.content = path.join(home.env.KALIMOR_PROFILE, 'Content');
  home.downloads = path.join(home.env.KALIMOR_PROFILE, 'Download');
  // Whatever an install leaves beside the content folder.
  home.leftovers = () => fs.readdirSync(home.env.KALIMOR_PROFILE).filter((name) => name.includes('.kalimor-'));
  const folder = path.join(home.work, 'installed');
  fs.mkdirSync(folder);
  for (const name of installed) fs.copyFileSync(path.join(packages, name), path.join(folder, name));
  const install = spawnSync(client, ['-updates', folder], { env: home.env, encoding: 'utf8' });
  assert.equal(install.status, 0, install.stderr);
  return home;
}

async function openWindow(home) {
  const proc = start(client, ['--no-browser'], home.env);
  processes.push(proc);
  await until('start address', () => urlsOf(proc.out).length >= 1);
  const context = await browser.newContext({ viewport: { width: 1366, height: 768 } });
  const page = await context.newPage();
  page.setDefaultTimeout(15000);
  await page.goto(urlsOf(proc.out).at(-1));
  return { proc, page };
}

const action = (page, text, timeout) => dialogFrame(page).locator('#action', { hasText: text }).waitFor({ timeout });

async function update(page) {
  await (await frameWith(page, '#btn_update')).locator('#btn_update').click();
}

async function confirm(page) {
  await dialogFrame(page).locator('#LEFT_BUTTON').click();
  await dialogs(page).waitFor({ state: 'detached' });
}

const service = start(fakeService, ['--port', '0', '--packages', packages, '--account', 'demo:demo123', '--control'],
  process.env);
processes.push(service);
await until('the service', () => /listening on 127\.0\.0\.1:\d+/.test(service.out));
const hostPort = service.out.match(/listening on (127\.0\.0\.1:\d+)/)[1];
const steer = (what, ...lines) => fetch(`http://${hostPort}/test/${what}`, { method: 'POST', body: lines.join('\n') })
  .then((answer) => assert.equal(answer.status, 200, `the service took ${what} ${lines}`));

await run('e2e update faults', async () => {
  const reference1 = prepareHome(hostPort, ['1.zip']);
  const reference2 = prepareHome(hostPort, ['1.zip', '2.zip']);
  const before = tree(reference1.content);
  const after = tree(reference2.content);
  assert.notDeepEqual(before, after);

  const failed = 'Невозможно подключиться к серверу';
  // The fault's name, the service's fault, and what stays in the download
  // folder: a package whose list of entries cannot be read is kept, any
  // other failed one is removed.
  const faults = [
    ['drop', 'truncated', []], // the connection closes mid-body
    ['stall', 'stall', []],    // half the body, then silence past the time-out
    ['500', '500', []],
    ['cut', 'cut', ['2.zip']], // the package's first half, announced as the whole
    ['corrupt', 'corrupt', []],
    ['checksum', 'checksum', []],
  ];
  for (const [name, fault, kept] of faults) {
    const home = prepareHome(hostPort, ['1.zip']);
    const { proc, page } = await openWindow(home);
    await steer('fault', '/packages/2.zip', fault, '1');
    const started = Date.now();
    await update(page);
    await action(page, failed, 20000);
    if (name === 'stall')
      assert.ok(Date.now() - started >= kStall, 'the stalled download was given its time-out');
    await screenshot(page, `update-fault-${name}.png`);
    assert.equal(await dialogFrame(page).locator('#action [error="1"]').count(), 1, `${name}: shown as an error`);
    assert.deepEqual(tree(home.content), before, `${name}: the content as it was, file by file`);
    assert.deepEqual(home.leftovers(), [], `${name}: nothing beside the content`);
    await until(`${name}: the download folder holds ${kept}`,
      () => JSON.stringify(listFiles(home.downloads)) === JSON.stringify(kept));
    assert.match(home.settings(), /ContentVersion=1/, name);
    await confirm(page);

    // The next "Обновить" completes it.
    await update(page);
    await action(page, 'Обновления загружены', 20000);
    await confirm(page);
    assert.match(home.settings(), /ContentVersion=2/, name);
    assert.deepEqual(tree(home.content), after, `${name}: the next update installed package 2 whole`);
    assert.deepEqual(home.leftovers(), [], name);
    await page.context().close();
    proc.kill('SIGKILL');
  }

  // A 10 KB/s link: the bar moves, the package arrives and goes in whole.
  const size = fs.statSync(path.join(packages, '2.zip')).size;
  assert.ok(size < 200000, 'package 2 takes under 20 s at 10 KB/s: ' + size);
  const home = prepareHome(hostPort, ['1.zip']);
  const { page } = await openWindow(home);
  await steer('slow', '1024', '100');
  await steer('fault', '/packages/2.zip', 'slow', '1');
  await update(page);
  await until('the bar between 0 and 50', async () => {
    const width = await dialogFrame(page).locator('td.progress_left').evaluate((e) => e.style.width).catch(() => '');
    return parseInt(width, 10) > 0 && parseInt(width, 10) < 50;
  }, 20000);
  await screenshot(page, 'update-fault-slow.png');
  await action(page, 'Обновления загружены', 40000);
  await confirm(page);
  assert.match(home.settings(), /ContentVersion=2/);
  assert.deepEqual(tree(home.content), after, 'the slow package installed whole');
  await page.context().close();
}, async (failedRun) => {
  if (failedRun)
    for (const home of homes)
      console.error('--- log tail\n' + home.log().split('\n').slice(-30).join('\n'));
  for (const proc of processes) proc.kill('SIGKILL');
  await browser.close();
  for (const home of homes) home.remove();
});
