// axe-core over the whole window: the top page and every window frame of the
// client (the content document, whose scripts never run, is not checked from
// inside; its frame element is). WCAG 2.1 A and AA.
import fs from 'node:fs';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const source = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');
export const wcagTags = ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa'];

async function inject(page) {
  for (const frame of page.frames()) {
    const sandboxed = await frame.frameElement().then((el) => el.getAttribute('sandbox')).catch(() => null);
    if (sandboxed !== null) continue;
    // Window frames live as long as their windows: axe goes in once.
    if (await frame.evaluate(() => !!window.axe).catch(() => true)) continue;
    await frame.evaluate(source).catch(() => {});
  }
}

// The violations on screen now: [{ id, impact, help, nodes: [{ target, summary }] }].
export async function audit(page) {
  // A frame whose page was being written while axe asked it does not
  // answer: it is asked again once.
  return run(page).catch(() => run(page));
}

async function run(page) {
  await inject(page);
  return page.evaluate(async (tags) => {
    const result = await window.axe.run(
      { include: [document], exclude: [['iframe[sandbox]']] },
      { runOnly: { type: 'tag', values: tags }, iframes: true, frameWaitTime: 5000, resultTypes: ['violations'] });
    return result.violations.map((v) => ({ id: v.id, impact: v.impact, help: v.help,
      nodes: v.nodes.map((n) => ({ target: n.target, summary: n.failureSummary, html: n.html.slice(0, 160) })) }));
  }, wcagTags);
}

// Critical and serious ones, one line each, for an assertion's message.
export const blocking = (violations) => violations.filter((v) => v.impact === 'critical' || v.impact === 'serious');
export const describe = (violations) => violations.map((v) => `${v.impact} ${v.id} (${v.nodes.length}): ${v.help}\n` +
  v.nodes.slice(0, 4).map((n) => `    ${JSON.stringify(n.target)} ${n.html}\n      ${n.summary}`).join('\n')).join('\n');
