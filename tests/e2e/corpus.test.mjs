// The pages of tests/data/corpus, one for each form a picture comes in
// (width and density srcset, <picture> with AVIF and WebP sources, two
// lazy-loading scripts, native lazy loading below the fold, CSS and inline
// style backgrounds, thumbnails linking to their full-size pictures), in
// real Chromium against the real program: "Save all pictures" saves each
// picture a user sees in its largest form, byte for byte, and "Save entire
// page" as HTML keeps every picture showing when the page is opened from
// disk with the server stopped.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { after, afterEach, before, beforeEach, describe, test } from 'node:test';

import { clickEntry, startBrowser, tempDir } from './support/browser.mjs';
import { PAGES, makePictures, serveCorpus } from './support/corpus.mjs';
import { haveDesktopTools, pressKeys, waitForNoWindow, waitForWindow } from './support/desktop.mjs';
import { builtProgram, waitFor } from './support/program.mjs';
import { setUpCopy, startCopy, stopCopy } from './support/saving.mjs';
import { startServer } from './support/server.mjs';

const built = builtProgram();
const skip = !built
  ? 'MOSSGATHER_BUILD_DIR does not hold bin/mossgather'
  : !haveDesktopTools()
    ? 'Xvfb or xdotool is missing (scripts/deps.sh installs them)'
    : false;

const IMG_TITLE = 'Save images';
const TXT_TITLE = 'Save snippet/page';

let server, dir, saved, prg, xvfb, copy, context, worker;
let bytes; // picture name -> what the server serves
const pages = [];

// One folder for pictures, one for pages; all pictures checked, the tiny
// and line filters on, the lazy pictures scrolled into view first; pages as
// HTML with their pictures, without the URL and time lines.
function writeSettings() {
  const lines = [
    '[Directory]',
    `sDir_Def_Img=${path.join(saved, 'pictures')}`,
    `sDir_Def_Txt=${path.join(saved, 'pages')}`,
    '[Global]',
    'bFlAtRenam=1',
    'iVw_EFrm_H=720',
    '[JEP]',
    'Img_Flt_Typ=0',
    'Img_Flt_Siz=0',
    'Img_Sel_Kind=0',
    'bImg_Flt_IgnTiny=1',
    'bImg_Flt_IgnBar=1',
    'bImg_LazyScroll=1',
    'SrcTextFmt=1',
    'bTxt_Atch_Image=1',
    'bTxt_ExItem_Url=0',
    'bTxt_ExItem_Time=0',
  ];
  fs.writeFileSync(path.join(prg.prg, 'cfg.ini'), lines.join('\n') + '\n');
}

async function stopProgram() {
  await stopCopy(copy);
}

before(async () => {
  if (skip) return;
  dir = tempDir('mg-e2e-corpus-');
  saved = path.join(dir, 'saved');
  let profile;
  ({ prg, profile, xvfb } = await setUpCopy(dir, built.exe));
  writeSettings();
  copy = await startCopy(built.exe, prg, xvfb, dir);
  ({ context, worker } = await startBrowser(profile, { env: prg.env }));
  bytes = await makePictures(context);
  server = await startServer();
  serveCorpus(server, bytes);
});

after(async () => {
  await context?.close();
  await stopProgram();
  await xvfb?.stop();
  await server?.close();
  if (dir && !process.env.MOSSGATHER_E2E_KEEP) fs.rmSync(dir, { recursive: true, force: true });
});

beforeEach(() => {
  if (skip) return;
  fs.rmSync(path.join(saved, 'pictures'), { recursive: true, force: true });
});

afterEach(async () => {
  while (pages.length) await pages.pop().close();
});

async function open(url) {
  const page = await context.newPage();
  pages.push(page);
  await page.goto(url, { waitUntil: 'load' });
  return page;
}

function programOutput() {
  const log = fs.existsSync(prg.log) ? fs.readFileSync(prg.log, 'latin1') : '(no log yet)';
  return `${log}\n--- program output ---\n${fs.readFileSync(path.join(dir, 'copy.out'), 'utf8')}`;
}

async function request(script, page, title) {
  const outcome = await clickEntry(worker, script, page);
  assert.deepEqual(outcome, { sent: true, reply: { status: 0 } }, script);
  try {
    return await waitForWindow(xvfb.display, title);
  } catch (e) {
    throw new Error(`${e.message}\n${programOutput()}`);
  }
}

async function save(window, title) {
  pressKeys(xvfb.display, window, ['alt+s']);
  try {
    await waitForNoWindow(xvfb.display, title);
  } catch (e) {
    throw new Error(`${e.message} (a message box, or the keys did not arrive?)\n${programOutput()}`);
  }
}

// Waits until Folder holds exactly Names, each with the bytes served.
async function expectFiles(folder, names) {
  const want = [...names].sort();
  const complete = () =>
    fs.existsSync(folder) &&
    JSON.stringify(fs.readdirSync(folder).sort()) === JSON.stringify(want) &&
    want.every((n) => fs.readFileSync(path.join(folder, n)).equals(bytes.get(n)));
  try {
    await waitFor(complete, `exactly ${want.join(', ')}, as served, in ${folder}`);
  } catch (e) {
    const list = fs.existsSync(folder) ? fs.readdirSync(folder).join(', ') : '(no folder)';
    throw new Error(`${e.message}\nsaved: ${list}\n${programOutput()}`);
  }
}

// What an open page shows: each <img> (loaded, lazy ones too) with its
// natural width, and each address of a computed background with the width
// of the picture it loads (0 when it does not load).
function shownPictures(page) {
  return page.evaluate(async () => {
    const loads = (url) =>
      new Promise((resolve) => {
        const i = new Image();
        i.onload = () => resolve(i.naturalWidth);
        i.onerror = () => resolve(0);
        i.src = url;
      });
    const imgs = [...document.images];
    for (const i of imgs) i.loading = 'eager';
    await Promise.all(imgs.map((i) => i.decode().catch(() => {})));
    const backgrounds = [];
    for (const el of document.querySelectorAll('*')) {
      const css = getComputedStyle(el).backgroundImage;
      for (const m of css.matchAll(/url\("((?:[^"\\]|\\.)*)"\)/g)) backgrounds.push(m[1].replace(/\\(.)/g, '$1'));
    }
    return {
      images: imgs.map((i) => ({ src: i.currentSrc || i.src, width: i.naturalWidth })),
      backgrounds: await Promise.all(backgrounds.map(async (url) => ({ url, width: await loads(url) }))),
    };
  });
}

describe('The picture corpus with the real program', { skip }, () => {
  for (const [name, largest] of Object.entries(PAGES)) {
    test(`"Save all pictures" on ${name} saves ${largest.join(', ')}, byte for byte`, async () => {
      const page = await open(`${server.near}/corpus/${name}`);
      const window = await request('Img_All.js', page, IMG_TITLE);
      await save(window, IMG_TITLE);
      await expectFiles(path.join(saved, 'pictures'), largest);
    });
  }

  test('"Save entire page" as HTML keeps every picture of every page showing from disk', async () => {
    const online = {};
    for (const name of Object.keys(PAGES)) {
      const page = await open(`${server.near}/corpus/${name}`);
      online[name] = await shownPictures(page);
      const title = await page.title();
      const window = await request('Txt_Page.js', page, TXT_TITLE);
      await save(window, TXT_TITLE);
      const file = path.join(saved, 'pages', `${title}.html`);
      try {
        await waitFor(() => fs.existsSync(file), `${file}`);
      } catch (e) {
        throw new Error(`${e.message}\n${programOutput()}`);
      }
      online[name].file = file;
      online[name].folder = path.join(saved, 'pages', `${title}.files`);
    }
    // A picture file appears once complete (it is renamed into place); the
    // pages are opened once every file they link to is there and nothing
    // is left to serve them.
    for (const [name, want] of Object.entries(online)) {
      const linked = linkedFiles(fs.readFileSync(want.file, 'utf8'), want.folder);
      assert.ok(linked.length > 0, `${name}: the saved page links to its folder`);
      try {
        // Each as served, where its name tells which picture it is.
        const complete = (f) => fs.existsSync(f) && (!bytes.has(path.basename(f)) || fs.readFileSync(f).equals(bytes.get(path.basename(f))));
        await waitFor(() => linked.every(complete), `the pictures ${name} links to, as served`);
      } catch (e) {
        const list = fs.existsSync(want.folder) ? fs.readdirSync(want.folder).join(', ') : '(no folder)';
        throw new Error(`${e.message}
linked: ${linked.join(', ')}
saved: ${list}
${programOutput()}`);
      }
    }
    await server.close();
    server = null;
    for (const [name, want] of Object.entries(online)) {
      await pageFromDisk(name, want);
    }
  });
});

// The files of Folder a saved page links to: its src links are the
// folder's name and the file's as they are, the others percent-escaped.
function linkedFiles(html, folder) {
  const name = path.basename(folder);
  const escaped = encodeURIComponent(name).replace(/[!'()*]/g, (c) => `%${c.charCodeAt(0).toString(16).toUpperCase()}`);
  const found = new Set();
  for (const link of new Set([name, escaped])) {
    const re = new RegExp(`${link.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')}/([^"'\\s),&<>]+)`, 'g');
    for (const m of html.matchAll(re)) found.add(path.join(folder, decodeURIComponent(m[1])));
  }
  return [...found];
}

async function pageFromDisk(name, want) {
  const opened = await open(pathToFileURL(want.file).href);
  let got;
  try {
    await waitFor(async () => {
      got = await shownPictures(opened);
      return got.images.every((i) => i.width > 0) && got.backgrounds.every((b) => b.width > 0);
    }, `every picture of ${name} to show from disk`, 30000);
  } catch (e) {
    throw new Error(`${e.message}\n${JSON.stringify(got, null, 1)}\n${programOutput()}`);
  }
  assert.equal(got.images.length, want.images.length, `${name}: every <img> is still there`);
  assert.equal(got.backgrounds.length, want.backgrounds.length, `${name}: every background is still there`);
  for (const i of got.images) {
    assert.equal(path.dirname(fileURLToPath(i.src)), want.folder, `${name}: ${i.src} comes from the page's folder`);
  }
  for (const b of got.backgrounds) {
    assert.equal(path.dirname(fileURLToPath(b.url)), want.folder, `${name}: ${b.url} comes from the page's folder`);
  }
}
