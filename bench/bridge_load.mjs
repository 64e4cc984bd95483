// The bridge under load, in Debian's headless Chromium: the window's click
// round trip (mouse press on a top-panel button to the DOM patch that marks
// it pressed, applied in the page), p50 and p95, and the client's resident
// memory, first alone and then while local peers without the run's key
// press on the bridge:
//  - 150 slow peers sending their request head one byte a second (each
//    reconnects when it is dropped);
//  - 200 peers at once making 10 000 requests between them (again, up to
//    five rounds, until the clicks are measured);
//  - a 100 MB body and a 1 MB head, with and without the key (again, up to
//    twenty rounds, until the clicks are measured).
// Only loopback addresses; every phase is bounded in count and in time.
//   node bench/bridge_load.mjs build/release/app/KalimorClnt [CLICKS]
// Uses the browser tests' packages: run tests/e2e/install-packages first.
import { createRequire } from 'node:module';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

const require = createRequire(new URL('../tests/e2e/package.json', import.meta.url));
const { chromium } = require('playwright-core');
const client = path.resolve(process.argv[2] || 'build/release/app/KalimorClnt');
const clicks = Number(process.argv[3] || 150);
const slowPeers = 150, crowd = 200, crowdRequests = 10000;
setTimeout(() => { console.error('bridge_load: gave up after 300 s'); process.exit(1); }, 300000).unref();

const percentile = (values, p) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted.length ? sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))] : NaN;
};
const ms = (v) => v.toFixed(1) + ' ms';
const sleep = (t) => new Promise((r) => setTimeout(r, t));

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kalimor-bench-'));
const env = { ...process.env, KALIMOR_PROFILE: path.join(work, 'profile'), XDG_CONFIG_HOME: path.join(work, 'config'),
  XDG_RUNTIME_DIR: path.join(work, 'run'), DBUS_SESSION_BUS_ADDRESS: 'unix:path=' + path.join(work, 'no-bus') };
fs.mkdirSync(env.XDG_RUNTIME_DIR, { mode: 0o700 });
const child = spawn(client, ['--no-browser'], { env, stdio: ['ignore', 'pipe', 'ignore'] });
const rssMiB = () => {
  const match = fs.readFileSync(`/proc/${child.pid}/status`, 'utf8').match(/^VmRSS:\s+(\d+)/m);
  return match ? Number(match[1]) / 1024 : NaN;
};
let peakRss = 0;
const rssTimer = setInterval(() => { try { peakRss = Math.max(peakRss, rssMiB()); } catch (e) { /* gone */ } }, 100);

const url = await new Promise((resolve, reject) => {
  let out = '';
  const timer = setTimeout(() => reject(new Error('no start address')), 10000);
  child.stdout.on('data', (d) => {
    out += d;
    const match = out.match(/http:\/\/\S+/);
    if (match) { clearTimeout(timer); resolve(match[0]); }
  });
});
const port = Number(new URL(url).port);
const host = `127.0.0.1:${port}`;

// One request on a connection of its own: its status (0: no answer, closed
// or reset) and its time.
function once(head, body, timeout = 10000) {
  return new Promise((resolve) => {
    const started = performance.now();
    const socket = net.connect(port, '127.0.0.1');
    let text = '';
    let done = false;
    const finish = () => {
      if (done) return;
      done = true;
      socket.destroy();
      const match = text.match(/^HTTP\/1\.1 (\d{3})/);
      resolve({ status: match ? Number(match[1]) : 0, time: performance.now() - started });
    };
    socket.setTimeout(timeout, finish);
    socket.on('data', (d) => { text += d; if (/\r\n\r\n/.test(text)) finish(); });
    socket.on('error', finish);
    socket.on('close', finish);
    socket.on('connect', () => {
      socket.write(head);
      if (body) socket.write(body, () => {});
    });
  });
}

// Slow peers: a byte of a request head every second, again when dropped.
let slowRunning = false;
const slowStats = { opened: 0, dropped: 0 };
function slowPeer() {
  if (!slowRunning) return;
  const head = `GET /ui/a.css HTTP/1.1\r\nHost: ${host}\r\nUser-Agent: slow\r\n`;
  const socket = net.connect(port, '127.0.0.1');
  let sent = 0;
  let timer = null;
  slowStats.opened += 1;
  socket.on('connect', () => {
    timer = setInterval(() => { if (sent < head.length) socket.write(head[sent++]); }, 1000);
  });
  const again = () => {
    clearInterval(timer);
    socket.destroy();
    if (!slowRunning) return;
    slowStats.dropped += 1;
    setTimeout(slowPeer, 50);
  };
  socket.on('error', again);
  socket.on('close', again);
  slowPeer.sockets.add(socket);
  socket.on('close', () => slowPeer.sockets.delete(socket));
}
slowPeer.sockets = new Set();
function startSlow() { slowRunning = true; for (let i = 0; i < slowPeers; ++i) slowPeer(); }
function stopSlow() { slowRunning = false; for (const s of slowPeer.sockets) s.destroy(); slowPeer.sockets.clear(); }

// The crowd: 200 at once, 10 000 requests between them, without the key.
async function runCrowd() {
  const statuses = new Map();
  const times = [];
  let next = 0;
  const started = performance.now();
  await Promise.all(Array.from({ length: crowd }, async () => {
    while (next < crowdRequests) {
      next += 1;
      const { status, time } = await once(`GET /bridge/app.css HTTP/1.1\r\nHost: ${host}\r\nConnection: close\r\n\r\n`);
      statuses.set(status, (statuses.get(status) || 0) + 1);
      times.push(time);
    }
  }));
  return { statuses: Object.fromEntries(statuses), p50: percentile(times, 50), p95: percentile(times, 95),
    seconds: (performance.now() - started) / 1000 };
}

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  const page = await context.newPage();
  await page.goto(url);
  const key = await page.evaluate(async () => {
    for (let i = 0; i < 100 && !(await navigator.serviceWorker.getRegistration())?.active; ++i) {
      await new Promise((r) => setTimeout(r, 50));
    }
    return new URL((await navigator.serviceWorker.getRegistration()).active.scriptURL).searchParams.get('key');
  });
  const button = page.frameLocator('#kalimor-frame > iframe >> nth=0').locator('#btn_home');
  await button.waitFor();
  const frame = await (await page.locator('#kalimor-frame > iframe >> nth=0').elementHandle()).contentFrame();
  await frame.evaluate(() => {
    window.__times = [];
    let pressedAt = 0;
    document.addEventListener('mousedown', () => { pressedAt = performance.now(); }, true);
    new MutationObserver(() => {
      if (pressedAt && /\bcurrent\b/.test(document.getElementById('btn_home').getAttribute('data-state') || '')) {
        window.__times.push(performance.now() - pressedAt);
        pressedAt = 0;
      }
    }).observe(document.documentElement, { attributes: true, subtree: true, attributeFilter: ['data-state'] });
  });
  const box = await button.boundingBox();
  // A click the window never answers within 5 s counts as lost.
  async function measureClicks(what) {
    const before = await frame.evaluate(() => window.__times.length);
    let lost = 0, count = 0;
    while (count < clicks) {
      count += 1;
      await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
      await page.mouse.down();
      try {
        await frame.waitForFunction((n) => window.__times.length >= n, before + count - lost, { timeout: 5000 });
      } catch (e) { lost += 1; }
      await page.mouse.up();
      await frame.waitForFunction(() => !/\bcurrent\b/.test(document.getElementById('btn_home').getAttribute('data-state') || ''),
        null, { timeout: 5000 }).catch(() => {});
      await sleep(10);
    }
    const times = (await frame.evaluate(() => window.__times)).slice(before);
    console.log(`${what}: ${times.length} clicks answered, ${lost} lost: p50 ${ms(percentile(times, 50))}, ` +
      `p95 ${ms(percentile(times, 95))}, max ${ms(Math.max(...times))}; client RSS now ${rssMiB().toFixed(1)} MiB`);
  }

  console.log(`client RSS at start ${rssMiB().toFixed(1)} MiB`);
  await measureClicks('alone');

  startSlow();
  await sleep(3000);
  await measureClicks(`${slowPeers} slow peers (${slowPeer.sockets.size} of their sockets open now)`);

  let clicking = true;
  const rounds = async (count, what) => {
    const results = [];
    for (let i = 0; i < count && (clicking || results.length === 0); ++i) results.push(await what());
    return results;
  };
  const crowdRounds = rounds(5, runCrowd);
  await measureClicks(`slow peers and ${crowd} peers making ${crowdRequests} requests a round`);
  clicking = false;
  for (const figures of await crowdRounds) {
    console.log(`a round of the crowd: statuses ${JSON.stringify(figures.statuses)}, each answered p50 ` +
      `${ms(figures.p50)}, p95 ${ms(figures.p95)}, all in ${figures.seconds.toFixed(1)} s`);
  }

  const big = Buffer.alloc(100 << 20, 'a');
  const large = [
    ['100 MB body without the key', `POST /event HTTP/1.1\r\nHost: ${host}\r\nContent-Length: ${big.length}\r\n\r\n`, big],
    ['100 MB body with the key', `POST /event HTTP/1.1\r\nHost: ${host}\r\nX-Kalimor-Key: ${key}\r\nContent-Length: ${big.length}\r\n\r\n`, big],
    ['1 MB head without the key', `GET / HTTP/1.1\r\nHost: ${host}\r\nX-Big: ${'b'.repeat(1 << 20)}\r\n\r\n`, null],
    ['1 MB head with the key', `GET /frame HTTP/1.1\r\nHost: ${host}\r\nX-Kalimor-Key: ${key}\r\nX-Big: ${'b'.repeat(1 << 20)}\r\n\r\n`, null],
  ];
  clicking = true;
  const largeRounds = rounds(20, () => Promise.all(large.map(async ([what, head, body]) => [what, await once(head, body)])));
  await measureClicks('slow peers and the large requests');
  clicking = false;
  const largeResults = await largeRounds;
  for (const [i, [what]] of large.entries()) {
    const statuses = largeResults.map((r) => r[i][1].status || 'none');
    const times = largeResults.map((r) => r[i][1].time);
    console.log(`${what}, ${largeResults.length} times: statuses ${[...new Set(statuses)].join(', ')}, ` +
      `answered p50 ${ms(percentile(times, 50))}, max ${ms(Math.max(...times))}`);
  }
  stopSlow();
  console.log(`slow peers: ${slowStats.opened} connections opened, ${slowStats.dropped} dropped by the client`);
  await sleep(1000);
  await measureClicks('after the load');
  console.log(`client RSS peak ${peakRss.toFixed(1)} MiB, at the end ${rssMiB().toFixed(1)} MiB`);
} finally {
  stopSlow();
  clearInterval(rssTimer);
  await browser.close();
  child.kill('SIGKILL');
  fs.rmSync(work, { recursive: true, force: true });
}
