// The run's key stays with the client. Frames of its page taken to another
// port of 127.0.0.1 and to another loopback address (a navigation from
// Playwright and one the frame makes itself), and a request of the page to
// such an address, carry nothing that opens the client: what those listeners
// receive, replayed against the client, is refused, and so is the start
// address once it was used.
//   node bridge.test.mjs PATH_OF_KalimorClnt
import assert from 'node:assert/strict';
import http from 'node:http';
import { launchBrowser, makeHome, newPage, panel, run, start, until, urlsOf, watchdog } from './support.mjs';

watchdog(120);
const client = process.argv[2];
const home = makeHome();

// Listeners that note every request they get.
const seen = [];
const listen = (host) => new Promise((resolve, reject) => {
  const server = http.createServer((req, res) => {
    seen.push({ host, url: req.url, headers: req.headers });
    res.setHeader('Content-Type', 'text/html');
    res.end('<p>elsewhere</p>');
  });
  server.on('error', reject);
  server.listen(0, host, () => resolve(server));
});
const samePort = await listen('127.0.0.1');
const otherAddress = await listen('127.0.0.2');
const at = (server, what) => `http://${server.address().address}:${server.address().port}/${what}`;

// A request to the client as any local program could make it.
function ask(port, method, target, headers, body) {
  return new Promise((resolve) => {
    const req = http.request({ host: '127.0.0.1', port, method, path: target, headers, timeout: 5000 }, (res) => {
      res.resume();
      res.on('end', () => resolve(res.statusCode));
      if (target.startsWith('/events')) { resolve(res.statusCode); res.destroy(); }
    });
    req.on('error', () => resolve(0));
    req.on('timeout', () => req.destroy());
    req.end(body);
  });
}

const browser = await launchBrowser();
const proc = start(client, ['--no-browser'], home.env);
await run('e2e bridge', async () => {
  await until('start address', () => urlsOf(proc.out).length === 1);
  const startUrl = urlsOf(proc.out)[0];
  const port = Number(new URL(startUrl).port);
  const page = await newPage(browser);
  await page.goto(startUrl);
  await panel(page, 0).locator('#btn_about').waitFor();
  // The key, as the page's worker holds it (the page itself dropped it).
  const key = await page.evaluate(async () =>
    new URL((await navigator.serviceWorker.getRegistration()).active.scriptURL).searchParams.get('key'));
  assert.match(key, /^[0-9a-f]{48}$/);
  assert.ok(!startUrl.includes(key), 'the start address holds a code, not the key');
  assert.equal(await page.evaluate(() => document.cookie), '');

  // Two window frames leave: one taken by Playwright, one that goes itself;
  // the page also asks the other address for something.
  // (A frame the page is still making has no address yet.)
  const windowFrames = () => page.frames().filter((f) => f !== page.mainFrame() && f.url() !== '' &&
    new URL(f.url()).pathname === '/frame');
  await until('window frames', () => windowFrames().length >= 2);
  const frames = windowFrames();
  await frames[0].goto(at(samePort, 'navigated'));
  await frames[1].evaluate((url) => { location.href = url; }, at(otherAddress, 'located'));
  await page.evaluate((url) => fetch(url, { mode: 'no-cors' }).catch(() => null), at(otherAddress, 'fetched'));
  await until('three requests elsewhere', () => seen.length >= 3);
  assert.deepEqual(seen.map((r) => r.url).sort(), ['/fetched', '/located', '/navigated']);
  for (const request of seen) {
    const text = JSON.stringify(request);
    assert.ok(!text.includes(key), `${request.url} carries the key`);
    assert.equal(request.headers.cookie, undefined, `${request.url} carries a cookie`);
    assert.equal(request.headers['x-kalimor-key'], undefined);
    assert.equal(request.headers.referer, undefined, `${request.url} says where it came from`);
  }

  // Whatever they received opens nothing; the key itself does (so the
  // replay would show a leak).
  const host = `127.0.0.1:${port}`;
  for (const request of seen) {
    const replayed = { ...request.headers, host };
    delete replayed['content-length'];
    for (const [method, target] of [['GET', '/'], ['GET', '/frame'], ['GET', '/ui/top_panel.htm'], ['GET', '/events'],
      ['POST', '/event']]) {
      // (A body without the key is turned away unread: 413.)
      assert.ok([403, 413].includes(await ask(port, method, target, replayed, method === 'POST' ? '[]' : undefined)),
        `${method} ${target} with what ${request.url} received`);
    }
  }
  assert.equal(await ask(port, 'GET', new URL(startUrl).pathname + new URL(startUrl).search, { host }), 403,
    'the start address is spent');
  assert.equal(await ask(port, 'GET', '/frame', { host, 'x-kalimor-key': key }), 200);
  assert.equal(await ask(port, 'POST', '/event?key=' + key, { host }, '[]'), 204);
}, async (failed) => {
  if (failed) console.error('--- client output\n' + proc.out + '\n--- requests elsewhere\n' + JSON.stringify(seen, null, 1));
  proc.kill('SIGKILL');
  samePort.close();
  otherAddress.close();
  await browser.close();
  home.remove();
});
