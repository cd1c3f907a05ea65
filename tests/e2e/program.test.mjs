// The extension in real Chromium against the real program: the menu comes
// from the registered entries through "mossgather -Embedding", each entry's
// request starts a job in the running copy, and a click with no copy running
// starts the installed one.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, afterEach, before, describe, test } from 'node:test';

import { EXTENSION_ID, HOST_NAME, REGISTERED_MENUS, clickEntry, hostManifestDir, menuState, startBrowser, tempDir } from './support/browser.mjs';
import { alive, builtProgram, jobStarts, ping, programFolder, runTool, startProgram, waitFor } from './support/program.mjs';
import { startServer } from './support/server.mjs';

const built = builtProgram();
const skip = built ? false : 'MOSSGATHER_BUILD_DIR does not hold bin/mossgather';

let server, dir, prg, context, worker;
const pages = [];
const started = []; // pids of copies the host started, ended after the tests

before(async () => {
  if (skip) return;
  server = await startServer();
  dir = tempDir('mg-e2e-prog-');
  prg = programFolder(dir, built.exe);
  const exe = path.join(prg.prg, 'mossgather');
  // What the install does: the menu entries, the host manifest and the
  // program file that keeps running.
  runTool(exe, ['-RegIEMenu'], prg.env);
  const profile = path.join(dir, 'profile');
  runTool(exe, ['-REGSERVER', '--manifest-dir', hostManifestDir(profile)], prg.env);
  runTool(path.join(built.bin, 'mossgather-reg'), ['set', 'Software\\Mossgather\\', 'CurExeFile', built.exe], prg.env);
  ({ context, worker } = await startBrowser(profile, { env: prg.env }));
});

after(async () => {
  await context?.close();
  await server?.close();
  for (const pid of started) if (alive(pid)) process.kill(pid, 'SIGKILL');
  // MOSSGATHER_E2E_KEEP=1 keeps the temporary folder (program log, profile) to look at.
  if (dir && !process.env.MOSSGATHER_E2E_KEEP) fs.rmSync(dir, { recursive: true, force: true });
});

afterEach(async () => {
  while (pages.length) await pages.pop().close();
});

async function open(urlPath) {
  const page = await context.newPage();
  pages.push(page);
  await page.goto(server.near + urlPath, { waitUntil: 'load' });
  return page;
}

// Ends a copy through its normal close path, which flushes the log.
async function endCopy(pid, exited) {
  process.kill(pid, 'SIGTERM');
  if (exited) await exited;
  else await waitFor(() => !alive(pid), `copy ${pid} to end`);
}

// The five entries, clicked on the pages they are for.
async function requestEach() {
  const article = await open('/article.html');
  await article.evaluate(() => {
    const r = document.createRange();
    r.selectNodeContents(document.getElementById('lead'));
    getSelection().addRange(r);
  });
  await article.click('#photo', { button: 'right' });
  const movies = await open('/movies.html');
  const clicks = [
    ['Txt_Snpt.js', article, {}],
    ['Txt_Page.js', article, {}],
    ['Img_One.js', article, { srcUrl: `${server.near}/pics/photo.jpg` }],
    ['Img_All.js', article, {}],
    ['Flash.js', movies, {}],
  ];
  for (const [script, page, opts] of clicks) {
    const outcome = await clickEntry(worker, script, page, opts);
    assert.deepEqual(outcome, { sent: true, reply: { status: 0 } }, script);
  }
}

describe('With the real program', { skip }, () => {
  test('-REGSERVER names the launcher of the program folder for our extension only', () => {
    const manifest = JSON.parse(fs.readFileSync(path.join(hostManifestDir(path.join(dir, 'profile')), `${HOST_NAME}.json`), 'utf8'));
    assert.equal(manifest.name, HOST_NAME);
    assert.equal(manifest.type, 'stdio');
    assert.equal(manifest.path, path.join(prg.prg, 'mossgather-host'));
    assert.deepEqual(manifest.allowed_origins, [`chrome-extension://${EXTENSION_ID}/`]);
    // The light host is built beside the program: every click below goes through it.
    assert.match(fs.readFileSync(manifest.path, 'utf8'), /\/mossgather-relay' "\$@"\n$/);
  });

  test('The menu shows the five entries the program registered', async () => {
    await worker.evaluate(() => globalThis.mossgather.buildMenus());
    const { menus, present } = await menuState(worker);
    const byScript = (list) => [...list].sort((a, b) => a.script.localeCompare(b.script));
    assert.deepEqual(byScript(menus), byScript(REGISTERED_MENUS));
    assert.ok(Object.values(present).every(Boolean));
    assert.deepEqual(await worker.evaluate(() => [...globalThis.mossgather.notices]), []);
  });

  test('Each entry starts a job in the running copy', async () => {
    const copy = startProgram(built.exe, prg.env, path.join(dir, 'copy.out'));
    started.push(copy.pid);
    await waitFor(() => ping(prg.socket), 'the running copy to answer');
    const before = jobStarts(prg.log).length;

    let stillRunning;
    try {
      await requestEach();
    } finally {
      stillRunning = alive(copy.pid);
      await endCopy(copy.pid, copy.exited); // which writes its log
    }
    assert.ok(stillRunning, 'the requests went to the copy started here');

    const jobs = jobStarts(prg.log).slice(before);
    assert.equal(jobs.length, 5, fs.readFileSync(prg.log, 'latin1'));
    assert.equal(new Set(jobs).size, 5, 'five jobs of their own');

    // The picture bytes the browser held went into the program's URL cache.
    const urls = fs.readdirSync(prg.urlCache).filter((f) => f.endsWith('.url'));
    const red = urls.find((f) => fs.readFileSync(path.join(prg.urlCache, f), 'utf8').trim() === `${server.near}/pics/red.png`);
    assert.ok(red, `red.png is cached: ${urls}`);
    const data = fs.readdirSync(prg.urlCache).find((f) => f !== red && f.startsWith(red.slice(0, -4)) && !f.endsWith('.url'));
    assert.ok(data && fs.readFileSync(path.join(prg.urlCache, data)).equals(server.body('/pics/red.png')));
  });

  test('With no copy running the first click starts the installed copy and still arrives', async () => {
    assert.equal(await ping(prg.socket), null, 'no copy runs');
    const before = jobStarts(prg.log).length;
    const page = await open('/article.html');
    const outcome = await clickEntry(worker, 'Txt_Page.js', page);
    const copy = await waitFor(() => ping(prg.socket), 'the started copy to answer');
    started.push(copy.pid);
    await endCopy(copy.pid);
    assert.deepEqual(outcome, { sent: true, reply: { status: 0 } });
    assert.equal(jobStarts(prg.log).length, before + 1);
  });
});
