// The small dialogs in headless Chromium, run by kalimor_dialog_gallery over
// the client's main window: the message dialog with each row of buttons, the
// about dialog dragged by its title, the image viewer's plain and scrolling
// pages, and the splash. Every result comes back from the C++ side.
//   node dialogs.test.mjs PATH_OF_kalimor_dialog_gallery
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { dialogFrame, dialogs, launchBrowser, makeHome, newPage, run, screenshot, start, until, urlsOf,
  watchdog } from './support.mjs';

watchdog(150);
const home = makeHome();
const content = path.join(home.work, 'content');
fs.mkdirSync(path.join(content, 'Content', 'img'), { recursive: true });
const gallery = start(process.argv[2], [content], home.env, 'pipe');
const browser = await launchBrowser();

// Each command is given once, so its result line names it.
function command(line) {
  gallery.stdin.write(line + '\n');
}
async function result(line) {
  const prefix = 'result ' + line + ' ';
  let value;
  await until('result of ' + line, () => {
    const found = gallery.out.split('\n').find((l) => l.startsWith(prefix));
    value = found && found.slice(prefix.length);
    return found !== undefined;
  });
  return value;
}

await run('e2e dialogs', async () => {
  await until('start address', () => urlsOf(gallery.out).length === 1);
  const page = await newPage(browser);
  await page.goto(urlsOf(gallery.out)[0]);
  await page.frameLocator('#kalimor-frame > iframe >> nth=0').locator('#btn_about').waitFor();

  // Pictures drawn by the browser, saved where documents keep theirs.
  const picture = async (name, width, height) => {
    const data = await page.evaluate(([w, h]) => {
      const canvas = document.createElement('canvas');
      canvas.width = w; canvas.height = h;
      const g = canvas.getContext('2d');
      const gradient = g.createLinearGradient(0, 0, w, h);
      gradient.addColorStop(0, '#2f6f4f'); gradient.addColorStop(1, '#d89b24');
      g.fillStyle = gradient; g.fillRect(0, 0, w, h);
      g.fillStyle = '#fff'; g.font = '28px sans-serif'; g.fillText(`${w} × ${h}`, 20, 50);
      return canvas.toDataURL('image/png').split(',')[1];
    }, [width, height]);
    const file = path.join(content, 'Content', 'img', name);
    fs.writeFileSync(file, Buffer.from(data, 'base64'));
    return file;
  };
  const small = await picture('small.png', 300, 200);
  const large = await picture('large.png', 2400, 1600);

  // The splash, while the client loads.
  await command('splash');
  assert.equal(await result('splash'), 'shown');
  await dialogFrame(page).locator('#splash').waitFor();
  await until('splash sized to its page', async () => {
    const box = await dialogs(page).boundingBox();
    return box && box.width === 420 && box.height === 220;
  });
  await screenshot(page, 'splash.png');
  await command('close-splash');
  await dialogs(page).waitFor({ state: 'detached' });

  // The message dialog: each row of buttons, ended by keys and buttons.
  const message = async (flags, shot, end) => {
    await command('message ' + flags);
    await dialogFrame(page).locator('#label').filter({ hasText: 'Контент не загружен' }).waitFor();
    if (flags & 1) await until('shadow', async () => (await page.locator('.k-shadow:not(.hidden)').count()) === 1);
    if (shot) await screenshot(page, shot);
    await end(dialogFrame(page));
    await dialogs(page).waitFor({ state: 'detached' });
    return result('message ' + flags);
  };
  assert.equal(await message(3, 'message-plain.png', () => page.keyboard.press('Escape')), 'CANCEL');
  assert.equal(await page.locator('.k-shadow:not(.hidden)').count(), 0, 'the shadow is gone');
  assert.equal(await message(1, 'message-warning.png', () => page.keyboard.press('Enter')), 'CANCEL');
  assert.equal(await message(5, 'message-update-cancel.png', (d) => d.locator('#UPDATE').click()), 'UPDATE');
  assert.equal(await message(7, null, (d) => d.locator('#CANCEL').click()), 'CANCEL');
  assert.equal(await message(67, 'message-update-close.png', (d) => d.locator('#CANCEL').click()), 'CANCEL');
  assert.equal(await message(51, 'message-version-close.png', async (d) => {
    assert.equal(await d.locator('#version_label').textContent(), '1.3.0.156');
    await d.locator('#CANCEL').click();
  }), 'CANCEL');
  assert.equal(await message(259, 'message-update-only.png', (d) => d.locator('#UPDATE').click()), 'UPDATE');
  assert.equal(await message(11, null, () => page.keyboard.press('Escape')), 'CANCEL');
  assert.equal(await page.locator('.k-shadow:not(.hidden)').count(), 1, 'flags 11 keep the shadow');

  // The about dialog: its version, dragged by its title, closed by its button.
  await command('about');
  const about = dialogFrame(page);
  await about.locator('#label_product_version').filter({ hasText: '1.3.0.156' }).waitFor();
  assert.equal(await about.locator('#span_title').textContent(), 'О программе');
  await screenshot(page, 'about.png');
  const before = await dialogs(page).boundingBox();
  await page.mouse.move(before.x + 60, before.y + 10);
  await page.mouse.down();
  await page.mouse.move(before.x + 10, before.y + 60, { steps: 5 });
  await page.mouse.up();
  // The C++ side takes the new place and keeps it.
  await page.waitForTimeout(300);
  const after = await dialogs(page).boundingBox();
  assert.deepEqual([after.x - before.x, after.y - before.y], [-50, 50]);
  await about.locator('#btn_ok').click();
  assert.equal(await result('about'), '1');

  // The image viewer: a small picture in the plain page, closed by a click
  // beside it; a large one with scroll bars, closed by Enter.
  await command('image ' + small);
  const viewer = dialogFrame(page);
  await viewer.locator('#img_blank').waitFor();
  await until('picture loaded', () => viewer.locator('#img_blank').evaluate((img) => img.complete && img.naturalWidth === 300));
  const plain = await dialogs(page).boundingBox();
  assert.ok(plain.width < 400 && plain.height < 300, 'sized to the picture');
  await screenshot(page, 'image-view.png');
  await page.mouse.click(5, 5);
  assert.equal(await result('image ' + small), '1');
  await command('image ' + large);
  await until('large picture loaded', () => viewer.locator('#img_blank').evaluate((img) => img.complete && img.naturalWidth === 2400));
  const scroll = await dialogs(page).boundingBox();
  assert.ok(scroll.width <= 1280 && scroll.height <= 800, 'no larger than the window');
  assert.equal(await viewer.locator('.viewer_area').evaluate((el) => getComputedStyle(el).overflowX), 'auto');
  await screenshot(page, 'image-scroll-view.png');
  await page.keyboard.press('Enter');
  assert.equal(await result('image ' + large), '1');
}, async (failed) => {
  if (failed) console.error('--- gallery output\n' + gallery.out);
  gallery.stdin.end();
  gallery.kill('SIGKILL');
  await browser.close();
  home.remove();
});
