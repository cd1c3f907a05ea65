// How light the program is in the background and how quick on the click,
// for one or more builds side by side in one run (for example the main
// branch's build and this one):
//   - start: from starting the program to its request channel answering;
//   - idle: resident memory of the program and its child processes, summed,
//     10 s after the start, and the web-engine processes among them;
//   - after preview: the same, 10 s after one HTML preview was shown and
//     closed;
//   - click: from the menu click in real Chromium (the extension, the host,
//     the channel, the job controller's timer) to the edit window shown, for
//     the first text job and for later ones (the median of three).
// Each click follows the page's menu opening (a contextmenu event) by
// 300 ms, as a user's pick of the entry would. Both builds run with the
// extension of this tree.
// The first click comes as a user's would: once the extension's menu entries
// are there and the browser has settled after its start (its processes use
// under 5% of a core for half a second). Without that wait the click raced
// the browser's own start-up and measured that more than us.
// The program shows its windows on an Xvfb display of its own; Chromium
// runs headless and is not counted.
//
// Each build is measured RUNS times (3 unless set), the builds taking turns,
// and every figure is the median of its runs.
//
//   MOSSGATHER_BUILD_DIRS="/path/to/main/build /path/to/this/build" \
//     node bench/startup/bench_startup.mjs
import fs from 'node:fs';
import path from 'node:path';

import { hostManifestDir, startBrowser, tempDir } from '../../tests/e2e/support/browser.mjs';
import { clickEntry } from '../../tests/e2e/support/browser.mjs';
import { pressKeys, shownWindows, startXvfb, waitForNoWindow } from '../../tests/e2e/support/desktop.mjs';
import { ping, programFolder, runTool, startProgram } from '../../tests/e2e/support/program.mjs';
import { EDIT_TITLE, selectTwo, stopCopy } from '../../tests/e2e/support/saving.mjs';
import { startServer } from '../../tests/e2e/support/server.mjs';

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Polls Check every Step ms; fails after Limit ms, naming What.
async function until(check, what, { step = 5, limit = 60000 } = {}) {
  const end = Date.now() + limit;
  for (;;) {
    const v = await check();
    if (v) return v;
    if (Date.now() > end) throw new Error(`gave up waiting for ${what}`);
    await sleep(step);
  }
}

// Pid and every process below it: [pid, name, rss kB].
function tree(pid) {
  const parent = new Map();
  const info = new Map();
  for (const e of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(e)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${e}/stat`, 'utf8');
      const close = stat.lastIndexOf(')');
      const name = stat.slice(stat.indexOf('(') + 1, close);
      const ppid = Number(stat.slice(close + 2).split(' ')[1]);
      const status = fs.readFileSync(`/proc/${e}/status`, 'utf8');
      const kb = (k) => Number(new RegExp(`${k}:\\s+(\\d+)`).exec(status)?.[1] ?? 0);
      const rss = kb('VmRSS');
      const anon = kb('RssAnon');
      const argv = fs.readFileSync(`/proc/${e}/cmdline`, 'utf8').split('\0');
      const type = argv.find((a) => a.startsWith('--type='))?.slice(7) ?? '';
      const sub = argv.find((a) => a.startsWith('--utility-sub-type='))?.slice(19).replace(/.*\./, '') ?? '';
      parent.set(Number(e), ppid);
      info.set(Number(e), { name, rss, anon, type: sub ? `${type}:${sub}` : type });
    } catch {
      // ended meanwhile
    }
  }
  const out = [];
  const add = (p) => {
    if (info.has(p)) out.push({ pid: p, ...info.get(p) });
    for (const [c, pp] of parent) if (pp === p) add(c);
  };
  add(pid);
  return out;
}

// CPU time used so far, in ms, by the processes whose command line names
// Needle (the browser's profile folder) and every process below them.
function cpuOf(needle) {
  const procs = new Map();
  for (const e of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(e)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${e}/stat`, 'utf8');
      const f = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      const named = fs.readFileSync(`/proc/${e}/cmdline`, 'utf8').includes(needle);
      procs.set(Number(e), { ppid: Number(f[1]), ticks: Number(f[11]) + Number(f[12]), named });
    } catch {
      // ended meanwhile
    }
  }
  const counted = (pid, seen = new Set()) => {
    for (let p = pid; p > 1 && !seen.has(p); p = procs.get(p)?.ppid ?? 0) {
      seen.add(p);
      if (procs.get(p)?.named) return true;
    }
    return false;
  };
  let ticks = 0;
  for (const [pid, p] of procs) if (counted(pid)) ticks += p.ticks;
  return ticks * 10;
}

// Waits until the browser uses under 5% of a core over half a second; gives
// up after Limit ms. Returns how long it waited, or -1 when it gave up.
async function settled(profile, limit = 15000) {
  const t0 = performance.now();
  let before = cpuOf(profile);
  while (performance.now() - t0 < limit) {
    await sleep(500);
    const now = cpuOf(profile);
    if (now - before < 25) return performance.now() - t0;
    before = now;
  }
  return -1;
}

function memory(pid) {
  const procs = tree(pid);
  return {
    mb: procs.reduce((s, p) => s + p.rss, 0) / 1024,
    engine: procs.filter((p) => /WebEngine/i.test(p.name)).length,
    procs: procs.length,
    each: procs.map((p, i) => `${i ? p.type || p.name : 'program'} ${(p.rss / 1024).toFixed(1)} (anon ${(p.anon / 1024).toFixed(1)})`).join(', '),
  };
}

function settings(prg, saved) {
  const lines = ['[Directory]', `sDir_Def_Txt=${saved}`, '[Global]', 'iVw_EFrm_Txt_W=800', 'iVw_EFrm_Txt_H=600', '[JEP]', 'SrcTextFmt=1'];
  fs.writeFileSync(path.join(prg, 'cfg.ini'), lines.join('\n') + '\n');
}

async function measure(build, server) {
  const exe = path.join(build, 'bin', 'mossgather');
  const dir = tempDir('mg-bench-startup-');
  const prg = programFolder(dir, exe);
  const launcher = path.join(prg.prg, 'mossgather');
  runTool(launcher, ['-RegIEMenu'], prg.env);
  const profile = path.join(dir, 'profile');
  runTool(launcher, ['-REGSERVER', '--manifest-dir', hostManifestDir(profile)], prg.env);
  settings(prg.prg, path.join(dir, 'saved'));
  const xvfb = await startXvfb();
  let copy, context;
  const r = { build };
  try {
    const env = { ...prg.env, QT_QPA_PLATFORM: 'xcb', DISPLAY: xvfb.display, QTWEBENGINE_CHROMIUM_FLAGS: '--disable-gpu' };
    const t0 = performance.now();
    copy = startProgram(exe, env, path.join(dir, 'copy.out'));
    await until(() => ping(prg.socket), 'the channel to answer');
    r.startMs = performance.now() - t0;
    await sleep(10000);
    r.idle = memory(copy.pid);

    let page;
    ({ context } = await startBrowser(profile, { env: prg.env }));
    const worker = context.serviceWorkers().find((w) => w.url().startsWith('chrome-extension://'));
    page = await context.newPage();
    await page.goto(`${server.near}/article.html`, { waitUntil: 'load' });
    const click = async () => {
      await selectTwo(page, 'lead');
      // The right-click opens the page's menu; the user picks our entry a
      // moment later (at least 300 ms: few pick an entry quicker).
      await page.evaluate(() => document.getElementById('lead').dispatchEvent(new MouseEvent('contextmenu', { bubbles: true })));
      await sleep(300);
      const t = performance.now();
      const outcome = await clickEntry(worker, 'Txt_Snpt.js', page);
      if (!outcome?.sent) throw new Error(`the request was not sent: ${JSON.stringify(outcome)}`);
      const win = await until(() => shownWindows(xvfb.display, EDIT_TITLE)[0], 'the edit window', { step: 10 });
      const ms = performance.now() - t;
      return { win, ms };
    };
    const cancel = async (win) => {
      pressKeys(xvfb.display, win, ['alt+c']);
      await waitForNoWindow(xvfb.display, EDIT_TITLE);
    };
    await worker.evaluate(() => globalThis.mossgather.menusBuilt());
    r.settleMs = await settled(profile);
    // The first job shows its text as HTML in the preview.
    const first = await click();
    r.firstMs = first.ms;
    await sleep(2000);
    await cancel(first.win);
    await sleep(10000);
    r.afterPreview = memory(copy.pid);
    const later = [];
    for (let i = 0; i < 3; i++) {
      const j = await click();
      later.push(j.ms);
      await cancel(j.win);
    }
    later.sort((a, b) => a - b);
    r.laterMs = later[1];
  } finally {
    await context?.close();
    await stopCopy(copy);
    await xvfb.stop();
    if (!process.env.MOSSGATHER_BENCH_KEEP) fs.rmSync(dir, { recursive: true, force: true });
  }
  return r;
}

const builds = (process.env.MOSSGATHER_BUILD_DIRS ?? process.env.MOSSGATHER_BUILD_DIR ?? '').split(/\s+/).filter(Boolean);
if (!builds.length) {
  console.error('MOSSGATHER_BUILD_DIRS names no build folder');
  process.exit(2);
}
const runs = Math.max(1, Number(process.env.RUNS ?? 3));
const server = await startServer();
const all = builds.map(() => []);
try {
  for (let i = 0; i < runs; i++) for (const [k, b] of builds.entries()) all[k].push(await measure(b, server));
} finally {
  await server.close();
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor((xs.length - 1) / 2)];
// One result per build: each figure the median of its runs; the process
// lists are those of the run whose memory after the preview is the median.
const results = all.map((rs) => {
  const mid = rs.find((r) => r.afterPreview.mb === median(rs.map((x) => x.afterPreview.mb)));
  return {
    build: rs[0].build,
    runs: rs,
    startMs: median(rs.map((r) => r.startMs)),
    idle: { ...mid.idle, mb: median(rs.map((r) => r.idle.mb)), engine: Math.max(...rs.map((r) => r.idle.engine)) },
    afterPreview: { ...mid.afterPreview, mb: median(rs.map((r) => r.afterPreview.mb)), engine: Math.max(...rs.map((r) => r.afterPreview.engine)) },
    growthMb: median(rs.map((r) => r.afterPreview.mb - r.idle.mb)),
    firstMs: median(rs.map((r) => r.firstMs)),
    laterMs: median(rs.map((r) => r.laterMs)),
  };
});

const row = (label, goal, f) => [label, goal, ...results.map(f)];
const rows = [
  ['', 'goal', ...results.map((r) => r.build)],
  row('start to channel answering (ms)', '<= 300', (r) => r.startMs.toFixed(0)),
  row('idle memory after 10 s (MB)', '<= 60', (r) => r.idle.mb.toFixed(1)),
  row('web-engine processes, idle', '0', (r) => String(r.idle.engine)),
  row('memory after a preview (MB)', 'idle + 40', (r) => r.afterPreview.mb.toFixed(1)),
  row('  growth over idle (MB)', '<= 40', (r) => r.growthMb.toFixed(1)),
  row('web-engine processes after', '', (r) => String(r.afterPreview.engine)),
  row('click to edit window, first (ms)', '<= 700', (r) => r.firstMs.toFixed(0)),
  row('click to edit window, later (ms)', '<= 700', (r) => r.laterMs.toFixed(0)),
];
for (const r of results) {
  console.log(`${r.build}\n  idle: ${r.idle.each}\n  after preview: ${r.afterPreview.each}`);
  const each = (f) => r.runs.map(f).join(' / ');
  console.log(`  each run: start ${each((x) => x.startMs.toFixed(0))} ms; growth ${each((x) => (x.afterPreview.mb - x.idle.mb).toFixed(1))} MB; ` +
    `first click ${each((x) => x.firstMs.toFixed(0))} ms (browser settled after ${each((x) => (x.settleMs < 0 ? 'never' : x.settleMs.toFixed(0)))} ms); ` +
    `later click ${each((x) => x.laterMs.toFixed(0))} ms`);
}
const widths = rows[0].map((_, i) => Math.max(...rows.map((r) => r[i].length)));
for (const r of rows) console.log(r.map((c, i) => (i === 0 ? c.padEnd(widths[i]) : c.padStart(widths[i]))).join('  '));
if (results.length === 2) {
  const [a, b] = results;
  const ratio = (x, y) => (y ? (x / y).toFixed(2) : '-');
  console.log(`\nratios first/second build: start ${ratio(a.startMs, b.startMs)}, idle memory ${ratio(a.idle.mb, b.idle.mb)}, ` +
    `first click ${ratio(a.firstMs, b.firstMs)}, later click ${ratio(a.laterMs, b.laterMs)}`);
}
