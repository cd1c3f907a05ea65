// From a right-click to files on disk: the extension in real Chromium sends
// the request, the real program opens its edit window on a desktop of the
// test's own, the test presses Save there with the keyboard as a user would,
// and reads back what the program wrote (the saved HTML in Chromium, from
// disk, with the page server stopped).
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { after, afterEach, before, beforeEach, describe, test } from 'node:test';

import { clickEntry, startBrowser, tempDir } from './support/browser.mjs';
import { clickIn, haveDesktopTools, pressKeys, typeText, waitForNoWindow, waitForWindow } from './support/desktop.mjs';
import { noisePng } from './support/pictures.mjs';
import { builtProgram, waitFor } from './support/program.mjs';
import {
  asLines,
  assertTimeBetween,
  EDIT_TITLE,
  localTime,
  plainHeader,
  RENAME_EXISTS,
  selectTwo,
  setUpCopy,
  startCopy,
  stopCopy,
  writeSettings,
} from './support/saving.mjs';
import { startServer } from './support/server.mjs';

const built = builtProgram();
const skip = !built
  ? 'MOSSGATHER_BUILD_DIR does not hold bin/mossgather'
  : !haveDesktopTools()
    ? 'Xvfb or xdotool is missing (scripts/deps.sh installs them)'
    : false;

let server, dir, saved, prg, xvfb, copy, context, worker;
const pages = [];

async function serve() {
  const s = await startServer();
  // Big enough to arrive in many pieces.
  s.put('/gen/noise.png', noisePng(160, 120, 5), { 'Content-Type': 'image/png' });
  // Another picture under the name of pics/red.png.
  s.put('/gen/red.png', noisePng(12, 9, 3), { 'Content-Type': 'image/png' });
  return s;
}

// Starts the program on the test's display with fresh settings; the settings
// are read once at start.
async function launch({ autoRename }) {
  writeSettings(prg.prg, saved, { autoRename });
  copy = await startCopy(built.exe, prg, xvfb, dir);
}

function stopProgram() {
  return stopCopy(copy);
}

before(async () => {
  if (skip) return;
  server = await serve();
  dir = tempDir('mg-e2e-save-');
  saved = path.join(dir, 'saved');
  let profile;
  ({ prg, profile, xvfb } = await setUpCopy(dir, built.exe));
  await launch({ autoRename: true });
  ({ context, worker } = await startBrowser(profile, { env: prg.env }));
});

after(async () => {
  await context?.close();
  await stopProgram();
  await xvfb?.stop();
  await server?.close();
  // MOSSGATHER_E2E_KEEP=1 keeps the temporary folder (saved files, log, profile).
  if (dir && !process.env.MOSSGATHER_E2E_KEEP) fs.rmSync(dir, { recursive: true, force: true });
});

beforeEach(() => {
  if (skip) return;
  fs.rmSync(saved, { recursive: true, force: true });
});

afterEach(async () => {
  while (pages.length) await pages.pop().close();
});

async function open(url) {
  const page = await context.newPage();
  pages.push(page);
  await page.goto(url.includes('://') ? url : server.near + url, { waitUntil: 'load' });
  return page;
}

function programOutput() {
  const log = fs.existsSync(prg.log) ? fs.readFileSync(prg.log, 'latin1') : '(no log yet)';
  return `${log}\n--- program output ---\n${fs.readFileSync(path.join(dir, 'copy.out'), 'utf8')}`;
}

// Picks the entry on Page and waits for the edit window it opens.
async function request(script, page) {
  const outcome = await clickEntry(worker, script, page);
  assert.deepEqual(outcome, { sent: true, reply: { status: 0 } }, script);
  return waitForWindow(xvfb.display, EDIT_TITLE);
}

// Types Keys into the edit window; Alt+S is its Save button ("&Save").
// Waits for the window to close, which it does once the job is saving.
async function save(window, keys = []) {
  pressKeys(xvfb.display, window, [...keys, 'alt+s']);
  try {
    await waitForNoWindow(xvfb.display, EDIT_TITLE);
  } catch (e) {
    throw new Error(`${e.message} (a message box, or the keys did not arrive?)\n${programOutput()}`);
  }
}

// Waits for a file to hold what Want accepts; the failure tells what the
// folder holds and what the program said.
async function waitForFile(file, want = () => true, what = path.basename(file)) {
  try {
    await waitFor(() => fs.existsSync(file) && want(fs.readFileSync(file)), what);
  } catch (e) {
    const list = fs.existsSync(saved) ? fs.readdirSync(saved, { recursive: true }).join(', ') : '(no folder)';
    throw new Error(`${e.message}\nsaved: ${list}\n${programOutput()}`);
  }
  return fs.readFileSync(file);
}

describe('Saving text jobs with the real program', { skip }, () => {
  test('"Save snippet" saves the selection as plain text under the URL and time lines', async () => {
    const page = await open('/article.html');
    const selected = await selectTwo(page, 'lead');
    assert.match(selected, /«fïsh» — fresh/);
    const from = Date.now();
    await save(await request('Txt_Snpt.js', page));
    const content = (await waitForFile(path.join(saved, 'Harbour notes.txt'))).toString('utf8');
    const { time, text } = plainHeader(content, page.url());
    assertTimeBetween(time, from, Date.now());
    assert.equal(text, asLines(selected));
  });

  test('"Save entire page" as HTML puts every picture in the ".files" folder and the page shows them from there', async () => {
    const page = await open('/gallery.html');
    const sources = await page.evaluate(() => [...document.images].map((i) => i.src));
    const from = Date.now();
    const window = await request('Txt_Page.js', page);
    // The settings say plain text; the user switches to HTML with the
    // keyboard: a click into the text preview, Tab past the tab and the
    // "Entire page" button to "Plain Text", and the arrow key on to "Html".
    clickIn(xvfb.display, window, 40, 100);
    await save(window, ['Tab', 'Tab', 'Tab', 'Right']);

    const file = path.join(saved, 'Tide pictures.html');
    const folder = path.join(saved, 'Tide pictures.files');
    const html = (
      await waitForFile(file, () => true, 'the HTML file (if a .txt file came instead, the keys no longer reach "Html")')
    ).toString('utf8');
    const m = /^<A href="([^"]*)">URL for this page<\/A><BR>Saved time: ([^<]*)<BR><BR>(<!doctype html>|<html)/.exec(html);
    assert.ok(m, `the URL and time lines in front of the page: ${html.slice(0, 300)}`);
    assert.equal(m[1], page.url());
    assertTimeBetween(localTime(m[2]), from, Date.now());
    assert.match(html, /Four boats, one harbour and a net\./);

    // Where the saved page's pictures point, as Chromium reads the links.
    const links = await page.evaluate(
      (text) => [...new DOMParser().parseFromString(text, 'text/html').images].map((i) => i.getAttribute('src')),
      html,
    );
    assert.equal(links.length, sources.length, 'every picture is still in the page');
    const local = links.map((l) => fileURLToPath(new URL(l, pathToFileURL(file))));
    for (const [i, p] of local.entries()) {
      assert.equal(path.dirname(p), folder, `picture ${sources[i]} points into the folder: ${links[i]}`);
      const served = server.body(new URL(sources[i]).pathname);
      await waitForFile(p, (b) => b.equals(served), `${sources[i]} saved as ${path.basename(p)}`);
    }
    // One file per address: the picture spelled twice shares one file, the
    // two red.png of different addresses got one each.
    const distinct = new Set(sources);
    assert.equal(new Set(local).size, distinct.size);
    assert.deepEqual(fs.readdirSync(folder).sort(), [...new Set(local)].map((p) => path.basename(p)).sort());

    // Opened from disk, with nothing left to serve it, the page shows every
    // picture from the folder.
    await server.close();
    try {
      const opened = await open(pathToFileURL(file).href);
      const shown = await opened.evaluate(async () => {
        await Promise.all([...document.images].map((i) => i.decode().catch(() => {})));
        return [...document.images].map((i) => ({ src: i.src, complete: i.complete, width: i.naturalWidth }));
      });
      assert.equal(shown.length, sources.length);
      for (const [i, img] of shown.entries()) {
        assert.ok(img.complete && img.width > 0, `${img.src} (from ${sources[i]}) shows`);
        assert.equal(fileURLToPath(img.src), local[i]);
      }
    } finally {
      server = await serve();
    }
  });

  test('"Save entire page" as plain text saves the page text under the URL and time lines', async () => {
    const page = await open('/gallery.html');
    const bodyText = await page.evaluate(() => document.body.outerText);
    const from = Date.now();
    await save(await request('Txt_Page.js', page));
    const content = (await waitForFile(path.join(saved, 'Tide pictures.txt'))).toString('utf8');
    const { time, text } = plainHeader(content, page.url());
    assertTimeBetween(time, from, Date.now());
    assert.equal(text, asLines(bodyText));
    assert.ok(!fs.existsSync(path.join(saved, 'Tide pictures.files')), 'no picture folder for plain text');
  });

  test('With automatic renaming the second save of a page gets the name with [1]', async () => {
    const page = await open('/article.html');
    await save(await request('Txt_Page.js', page));
    const first = path.join(saved, 'Harbour notes.txt');
    const firstBytes = await waitForFile(first);
    await save(await request('Txt_Page.js', page));
    const second = (await waitForFile(path.join(saved, 'Harbour notes[1].txt'))).toString('utf8');
    assert.ok(fs.readFileSync(first).equals(firstBytes), 'the first file is left as it was');
    assert.equal(plainHeader(second, page.url()).text, plainHeader(firstBytes.toString('utf8'), page.url()).text);
    assert.deepEqual(fs.readdirSync(saved).sort(), ['Harbour notes.txt', 'Harbour notes[1].txt']);
  });

  test('Without automatic renaming the user names the second save in the rename dialog', async () => {
    // The settings are read at start: a program of its own for this case.
    await stopProgram();
    await launch({ autoRename: false });
    const page = await open('/article.html');
    await save(await request('Txt_Page.js', page));
    const first = path.join(saved, 'Harbour notes.txt');
    const firstBytes = await waitForFile(first);

    pressKeys(xvfb.display, await request('Txt_Page.js', page), ['alt+s']);
    const dialog = await waitForWindow(xvfb.display, RENAME_EXISTS);
    // The new name box has the focus, holding the old name: typing replaces it.
    typeText(xvfb.display, dialog, 'Harbour notes, evening');
    pressKeys(xvfb.display, dialog, ['alt+o']);
    await waitForNoWindow(xvfb.display, RENAME_EXISTS);
    await waitForNoWindow(xvfb.display, EDIT_TITLE);

    const renamed = (await waitForFile(path.join(saved, 'Harbour notes, evening.txt'))).toString('utf8');
    assert.equal(plainHeader(renamed, page.url()).text, plainHeader(firstBytes.toString('utf8'), page.url()).text);
    assert.ok(fs.readFileSync(first).equals(firstBytes), 'the first file is left as it was');
    assert.deepEqual(fs.readdirSync(saved).sort(), ['Harbour notes, evening.txt', 'Harbour notes.txt']);
  });
});
