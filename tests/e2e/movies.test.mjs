// "Save flash" from a right-click to files on disk: the extension in real
// Chromium collects a page's plug-in movies and its VIDEO and AUDIO, the
// real program opens its movie editor on a desktop of the test's own, the
// test picks with the keyboard as a user would and saves, and compares what
// arrived with what the server served.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import { clickEntry, startBrowser, tempDir } from './support/browser.mjs';
import { haveDesktopTools, pressKeys, waitForNoWindow, waitForWindow, xdo } from './support/desktop.mjs';
import { pngOf } from './support/pictures.mjs';
import { builtProgram, ping, waitFor } from './support/program.mjs';
import { setUpCopy, startCopy, stopCopy } from './support/saving.mjs';
import { startServer } from './support/server.mjs';

const built = builtProgram();
const skip = !built
  ? 'MOSSGATHER_BUILD_DIR does not hold bin/mossgather'
  : !haveDesktopTools()
    ? 'Xvfb or xdotool is missing (scripts/deps.sh installs them)'
    : false;

const EDIT_TITLE = 'Save flash';
// MOSSGATHER_SHOTS=folder: the editor is photographed into that folder
// (scripts/shoot-movies.sh points it at docs/images).
const SHOTS = process.env.MOSSGATHER_SHOTS;

// Movie bytes of a recognisable size; the program never plays them.
function movieBytes(tag, size) {
  const b = Buffer.alloc(size);
  for (let i = 0; i < size; i++) b[i] = (i * 31 + tag.length * 7 + tag.charCodeAt(0)) & 0xff;
  b.write(tag, 0, 'latin1');
  return b;
}

const MOVIES = {
  '/games/a/intro.swf': movieBytes('FWS-a', 40000),
  '/games/b/intro.swf': movieBytes('FWS-b', 30000),
  '/media/clip.webm': movieBytes('webm', 50000),
  '/media/clip.mp4': movieBytes('mp4', 60000),
  '/media/song.mp3': movieBytes('ID3', 20000),
};

// Two plug-in movies of the same name in different folders (one OBJECT with
// its EMBED inside, one EMBED alone), a VIDEO with two sources and a poster,
// an AUDIO, and a VIDEO playing a stream the page builds itself.
const PAGE = `<!doctype html><html><head><meta charset="utf-8"><title>Harbour films</title><base href="/games/"></head><body>
<object classid="clsid:D27CDB6E-AE6D-11cf-96B8-444553540000" width="550" height="400"><param name="movie" value="a/intro.swf"><embed src="a/intro.swf" width="550" height="400"></object>
<embed src="b/intro.swf" type="application/x-shockwave-flash" width="300" height="200">
<video id="clip" width="480" height="270" poster="/media/poster.png"><source src="/media/clip.webm" type="video/webm"><source src="/media/clip.mp4" type="video/mp4"></video>
<audio id="song" src="/media/song.mp3" controls></audio>
<video id="live" width="320" height="180"></video>
<script>document.getElementById('live').src = URL.createObjectURL(new MediaSource());</script>
</body></html>`;

let server, dir, saved, prg, xvfb, copy, context, worker;

function writeSettings() {
  const lines = ['[Directory]', `sDir_Def_Fls=${saved}`, '[Global]', 'bFlAtRenam=1', 'iVw_EFrm_H=720', '[JEP]', 'bFls_Sort_Des=1', 'Fls_Sel_Kind=0'];
  fs.writeFileSync(path.join(prg.prg, 'cfg.ini'), lines.join('\n') + '\n');
}

async function stopProgram() {
  await stopCopy(copy);
}

before(async () => {
  if (skip) return;
  server = await startServer();
  dir = tempDir('mg-e2e-movies-');
  saved = path.join(dir, 'saved');
  let profile;
  ({ prg, profile, xvfb } = await setUpCopy(dir, built.exe));
  writeSettings();
  copy = await startCopy(built.exe, prg, xvfb, dir);
  ({ context, worker } = await startBrowser(profile, { env: prg.env }));
  for (const [p, bytes] of Object.entries(MOVIES)) server.put(p, bytes, { 'Content-Type': 'application/octet-stream' });
  server.put('/media/poster.png', pngOf(480, 270, 5), { 'Content-Type': 'image/png' });
  server.put('/films.html', PAGE, { 'Content-Type': 'text/html; charset=utf-8' });
});

after(async () => {
  await context?.close();
  await stopProgram();
  await xvfb?.stop();
  await server?.close();
  if (dir && !process.env.MOSSGATHER_E2E_KEEP) fs.rmSync(dir, { recursive: true, force: true });
});

function programOutput() {
  const log = fs.existsSync(prg.log) ? fs.readFileSync(prg.log, 'latin1') : '(no log yet)';
  return `${log}\n--- program output ---\n${fs.readFileSync(path.join(dir, 'copy.out'), 'utf8')}`;
}

// The files of the saved folder once it holds Names (and nothing else).
async function savedFiles(names) {
  const want = [...names].sort();
  try {
    await waitFor(() => {
      if (!fs.existsSync(saved)) return false;
      return JSON.stringify(fs.readdirSync(saved).sort()) === JSON.stringify(want);
    }, `exactly ${want.join(', ')} in the save folder`);
  } catch (e) {
    const list = fs.existsSync(saved) ? fs.readdirSync(saved).join(', ') : '(no folder)';
    throw new Error(`${e.message}\nsaved: ${list}\n${programOutput()}`);
  }
  return Object.fromEntries(want.map((n) => [n, fs.readFileSync(path.join(saved, n))]));
}

function cachedUrls() {
  if (!fs.existsSync(prg.urlCache)) return [];
  return fs
    .readdirSync(prg.urlCache)
    .filter((f) => f.endsWith('.url'))
    .map((f) => fs.readFileSync(path.join(prg.urlCache, f), 'utf8').trim());
}

async function shoot(window, name) {
  if (!SHOTS) return;
  await waitFor(() => cachedUrls().includes(server.near + '/media/poster.png'), 'the poster thumbnail');
  await waitFor(() => /Geometry: \d+x720/.test(xdo(xvfb.display, ['getwindowgeometry', window])), 'the window at its full height');
  await waitFor(() => ping(prg.socket), 'the program to be idle');
  const out = path.resolve(SHOTS, name);
  const r = spawnSync(path.join(built.bin, 'moss_shot'), [window, out], { env: { ...process.env, DISPLAY: xvfb.display }, encoding: 'utf8' });
  assert.equal(r.status, 0, `moss_shot: ${r.stderr}`);
}

describe('Saving movies with the real program', { skip }, () => {
  test('"Save flash" saves the checked plug-in movies and video sources byte for byte under unique names', async () => {
    const page = await context.newPage();
    await page.goto(server.near + '/films.html', { waitUntil: 'load' });
    await page.waitForFunction(() => document.getElementById('live').src.startsWith('blob:'));
    const outcome = await clickEntry(worker, 'Flash.js', page);
    assert.deepEqual(outcome, { sent: true, reply: { status: 0 } });
    let window;
    try {
      window = await waitForWindow(xvfb.display, EDIT_TITLE);
    } catch (e) {
      throw new Error(`${e.message}\n${programOutput()}`);
    }
    await shoot(window, 'movie-editor.png');
    // Everything with a file is checked. End goes to the last movie, the
    // audio (it has no size), and Space unchecks it; then Alt+S saves.
    pressKeys(xvfb.display, window, ['End', 'space', 'alt+s']);
    try {
      await waitForNoWindow(xvfb.display, EDIT_TITLE);
    } catch (e) {
      throw new Error(`${e.message} (a message box, or the keys did not arrive?)\n${programOutput()}`);
    }
    const files = await savedFiles(['intro.swf', 'intro[1].swf', 'clip.webm', 'clip.mp4']);
    assert.ok(files['intro.swf'].equals(MOVIES['/games/a/intro.swf']), 'the OBJECT movie, first in the box');
    assert.ok(files['intro[1].swf'].equals(MOVIES['/games/b/intro.swf']), 'the EMBED movie, under a name of its own');
    assert.ok(files['clip.webm'].equals(MOVIES['/media/clip.webm']));
    assert.ok(files['clip.mp4'].equals(MOVIES['/media/clip.mp4']));
    await page.close();
  });
});
