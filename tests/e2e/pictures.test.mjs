// "Save picture" and "Save all pictures" from a right-click to files on
// disk: the extension in real Chromium sends the request with the bytes of
// the pictures the browser holds, the real program opens its picture editor
// on a desktop of the test's own, the test picks and saves with the keyboard
// as a user would, and compares what arrived with what the server served.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, afterEach, before, beforeEach, describe, test } from 'node:test';

import { clickEntry, startBrowser, tempDir } from './support/browser.mjs';
import { haveDesktopTools, pressKeys, waitForNoWindow, waitForWindow, xdo } from './support/desktop.mjs';
import { bmpOf, gifOf, jpegOf, pngOf } from './support/pictures.mjs';
import { builtProgram, ping, waitFor } from './support/program.mjs';
import { setUpCopy, startCopy, stopCopy } from './support/saving.mjs';
import { startServer } from './support/server.mjs';

const built = builtProgram();
const skip = !built
  ? 'MOSSGATHER_BUILD_DIR does not hold bin/mossgather'
  : !haveDesktopTools()
    ? 'Xvfb or xdotool is missing (scripts/deps.sh installs them)'
    : false;

const EDIT_TITLE = 'Save images';
// MOSSGATHER_SHOTS=folder: the windows are photographed into that folder
// (scripts/shoot-pictures.sh points it at docs/images).
const SHOTS = process.env.MOSSGATHER_SHOTS;

// The page's pictures: where they are, their type, their size on the page
// and in the file, and which origin serves them. "near" pictures come
// from the page's own origin (the browser hands their bytes over), "far"
// ones from another (the program downloads them). Two of the biggest have
// the same file name in different folders.
const PICTURES = [
  ['/a/boat.jpg', 'jpg', 800, 600, 'near'],
  ['/b/boat.jpg', 'jpg', 800, 600, 'far'],
  ['/gallery/harbour.png', 'png', 700, 500, 'near'],
  ['/gallery/cliffs.gif', 'gif', 640, 400, 'far'],
  ['/gallery/pier.bmp', 'bmp', 660, 420, 'near'],
  ['/gallery/nets.jpg', 'jpg', 480, 320, 'near'],
  ['/gallery/gulls.png', 'png', 420, 300, 'far'],
  ['/gallery/dunes.gif', 'gif', 400, 260, 'near'],
  ['/gallery/lighthouse.jpg', 'jpg', 300, 450, 'far'],
  ['/gallery/rocks.bmp', 'bmp', 360, 240, 'far'],
  ['/gallery/tide.jpg', 'jpg', 520, 340, 'near'],
  ['/gallery/shells.png', 'png', 320, 320, 'near'],
  ['/gallery/sails.jpg', 'jpg', 250, 380, 'far'],
  ['/gallery/mist.gif', 'gif', 600, 200, 'far'],
  ['/gallery/dock.jpg', 'jpg', 440, 300, 'near'],
  ['/gallery/reef.png', 'png', 210, 210, 'far'],
  ['/thumbs/boat.jpg', 'jpg', 160, 120, 'near'],
  ['/thumbs/crab.png', 'png', 120, 120, 'far'],
  ['/thumbs/buoy.gif', 'gif', 100, 140, 'near'],
  ['/thumbs/anchor.bmp', 'bmp', 80, 80, 'near'],
  ['/thumbs/rope.jpg', 'jpg', 180, 100, 'far'],
  ['/thumbs/star.png', 'png', 64, 64, 'near'],
  ['/thumbs/kelp.gif', 'gif', 150, 90, 'far'],
  ['/thumbs/oar.jpg', 'jpg', 200, 60, 'near'],
  ['/thumbs/wave.png', 'png', 190, 110, 'near'],
  ['/thumbs/fish.jpg', 'jpg', 130, 96, 'far'],
  ['/thumbs/net.bmp', 'bmp', 110, 70, 'far'],
  ['/thumbs/cloud.gif', 'gif', 170, 130, 'near'],
  // Left out by the filters: a spacer and a rule.
  ['/deco/spacer.gif', 'gif', 1, 1, 'near'],
  ['/deco/rule.png', 'png', 600, 3, 'near'],
];

let server, dir, saved, prg, xvfb, copy, context, worker, urlOf;
const pages = [];

function writeSettings() {
  const lines = [
    '[Directory]',
    `sDir_Def_Img=${saved}`,
    '[Global]',
    'bFlAtRenam=1',
    'iVw_EFrm_H=720',
    '[JEP]',
    'Img_Flt_Typ=0',
    'Img_Flt_Siz=0',
    'Img_Sel_Kind=0',
    'bImg_Sort_Siz_Des=1',
    'bImg_Flt_IgnTiny=1',
    'bImg_Flt_IgnBar=1',
  ];
  fs.writeFileSync(path.join(prg.prg, 'cfg.ini'), lines.join('\n') + '\n');
}

// Makes every picture (the JPEGs with the browser's own encoder) and a page
// that shows them all at their sizes.
async function servePictures() {
  const maker = await context.newPage();
  await maker.goto(server.near + '/article.html');
  for (const [i, [p, type, w, h]] of PICTURES.entries()) {
    const seed = i + 11;
    const bytes =
      type === 'jpg' ? await jpegOf(maker, w, h, seed) : type === 'png' ? pngOf(w, h, seed) : type === 'gif' ? gifOf(w, h, seed) : bmpOf(w, h, seed);
    server.put(p, bytes);
  }
  await maker.close();
  urlOf = (p) => {
    const entry = PICTURES.find((e) => e[0] === p);
    return (entry[4] === 'near' ? server.near : server.far) + p;
  };
  const imgs = PICTURES.map(([p, , w, h]) => `<img src="${urlOf(p)}" width="${w}" height="${h}" alt="">`).join('\n');
  server.put('/pictures.html', `<!doctype html><html><head><meta charset="utf-8"><title>Harbour pictures</title></head><body>\n${imgs}\n</body></html>`, {
    'Content-Type': 'text/html; charset=utf-8',
  });
}

async function stopProgram() {
  await stopCopy(copy);
}

before(async () => {
  if (skip) return;
  server = await startServer();
  dir = tempDir('mg-e2e-pictures-');
  saved = path.join(dir, 'saved');
  let profile;
  ({ prg, profile, xvfb } = await setUpCopy(dir, built.exe));
  writeSettings();
  copy = await startCopy(built.exe, prg, xvfb, dir);
  ({ context, worker } = await startBrowser(profile, { env: prg.env }));
  await servePictures();
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
  fs.rmSync(saved, { recursive: true, force: true });
});

afterEach(async () => {
  while (pages.length) await pages.pop().close();
});

async function open(urlPath) {
  const page = await context.newPage();
  pages.push(page);
  await page.goto(server.near + urlPath, { waitUntil: 'load' });
  // Every picture shown, so that the browser holds the near ones.
  await page.evaluate(() => Promise.all([...document.images].map((i) => i.decode().catch(() => {}))));
  return page;
}

function programOutput() {
  const log = fs.existsSync(prg.log) ? fs.readFileSync(prg.log, 'latin1') : '(no log yet)';
  return `${log}\n--- program output ---\n${fs.readFileSync(path.join(dir, 'copy.out'), 'utf8')}`;
}

async function request(script, page, opts) {
  const outcome = await clickEntry(worker, script, page, opts);
  assert.deepEqual(outcome, { sent: true, reply: { status: 0 } }, script);
  try {
    return await waitForWindow(xvfb.display, EDIT_TITLE);
  } catch (e) {
    throw new Error(`${e.message}\n${programOutput()}`);
  }
}

async function save(window, keys = []) {
  pressKeys(xvfb.display, window, [...keys, 'alt+s']);
  try {
    await waitForNoWindow(xvfb.display, EDIT_TITLE);
  } catch (e) {
    throw new Error(`${e.message} (a message box, or the keys did not arrive?)\n${programOutput()}`);
  }
}

// The files of the saved folder once it holds Names (and nothing else).
async function savedFiles(names) {
  const want = [...names].sort();
  try {
    await waitFor(() => {
      if (!fs.existsSync(saved)) return false;
      const have = fs.readdirSync(saved).sort();
      // A file is complete once the saving job's worker renamed it into place.
      return JSON.stringify(have) === JSON.stringify(want);
    }, `exactly ${want.join(', ')} in the save folder`);
  } catch (e) {
    const list = fs.existsSync(saved) ? fs.readdirSync(saved).join(', ') : '(no folder)';
    throw new Error(`${e.message}\nsaved: ${list}\n${programOutput()}`);
  }
  return Object.fromEntries(want.map((n) => [n, fs.readFileSync(path.join(saved, n))]));
}

// The addresses the program's URL cache holds.
function cachedUrls() {
  if (!fs.existsSync(prg.urlCache)) return [];
  return fs
    .readdirSync(prg.urlCache)
    .filter((f) => f.endsWith('.url'))
    .map((f) => fs.readFileSync(path.join(prg.urlCache, f), 'utf8'));
}

// Waits until the URL cache holds every far picture of Paths, which is when
// their thumbnails have arrived; then photographs the editor.
async function shoot(window, name, paths) {
  if (!SHOTS) return;
  const far = paths.filter((p) => PICTURES.find((e) => e[0] === p)[4] === 'far').map(urlOf);
  await waitFor(() => far.every((u) => cachedUrls().includes(u)), 'the thumbnails of the far pictures');
  // The window at the height of the settings, and its panels repainted
  // after the last arrival (one more turn of the program's loop).
  await waitFor(() => /Geometry: \d+x720/.test(xdo(xvfb.display, ['getwindowgeometry', window])), 'the window at its full height');
  await waitFor(() => ping(prg.socket), 'the program to be idle');
  const out = path.resolve(SHOTS, name);
  const r = spawnSync(path.join(built.bin, 'moss_shot'), [window, out], { env: { ...process.env, DISPLAY: xvfb.display }, encoding: 'utf8' });
  assert.equal(r.status, 0, `moss_shot: ${r.stderr}`);
}

describe('Saving pictures with the real program', { skip }, () => {
  test('"Save picture" on a picture the browser holds copies its bytes without a download', async () => {
    const page = await open('/pictures.html');
    const p = '/gallery/harbour.png';
    const before = server.hits(p, 'near');
    const window = await request('Img_One.js', page, { srcUrl: urlOf(p) });
    await shoot(window, 'picture-editor-one.png', []);
    await save(window);
    const files = await savedFiles(['harbour.png']);
    assert.ok(files['harbour.png'].equals(server.body(p)), 'the saved picture is the one served');
    assert.equal(server.hits(p, 'near'), before, 'the program never asked the server for it');
  });

  test('"Save picture" on a picture of another site downloads it once', async () => {
    const page = await open('/pictures.html');
    const p = '/gallery/cliffs.gif';
    const before = server.hits(p, 'far');
    const window = await request('Img_One.js', page, { srcUrl: urlOf(p) });
    // Saved once its thumbnail shows, as a user would: the thumbnail's
    // fetch put it into the URL cache and the save copies it from there.
    await waitFor(() => cachedUrls().includes(urlOf(p)), 'the thumbnail of the picture');
    await save(window);
    const files = await savedFiles(['cliffs.gif']);
    assert.ok(files['cliffs.gif'].equals(server.body(p)));
    assert.equal(server.hits(p, 'far'), before + 1, 'downloaded once, for its thumbnail');
  });

  test('"Save all pictures" saves a picture of another site that needs the logged-in page\'s session cookie', async () => {
    // The session cookie is HttpOnly: the page's scripts never see it, only
    // the browser's cookie store. Cookies ignore ports, so the far origin
    // gets it as well, and gives its picture only with it.
    const sid = `sid=${Date.now().toString(36)}moss`;
    const p = '/private/moss.png';
    server.put(p, pngOf(420, 300, 97));
    server.lock(p, sid);
    server.put('/member.html', `<!doctype html><html><head><title>Members</title></head><body><img src="${server.far}${p}" width="420" height="300"></body></html>`, {
      'Content-Type': 'text/html; charset=utf-8',
      'Set-Cookie': `${sid}; Path=/; HttpOnly`,
    });
    const page = await open('/member.html');
    assert.ok(await page.evaluate(() => document.images[0].naturalWidth === 420), 'the browser itself shows the picture');
    assert.equal(await page.evaluate(() => document.cookie), '', 'no script sees the session cookie');
    const window = await request('Img_All.js', page);
    await save(window);
    const files = await savedFiles(['moss.png']);
    assert.ok(files['moss.png'].equals(server.body(p)), 'the picture arrived byte for byte, not the login page');
    const browserUa = await page.evaluate(() => navigator.userAgent);
    const program = server.requests(p).filter((r) => r.userAgent === browserUa && r.cookies.includes(sid));
    assert.ok(program.length >= 2, `the browser and the program both asked with the cookie: ${JSON.stringify(server.requests(p))}`);
    // The log is written in batches; what has reached it, and the program's output, must not hold the cookie.
    const written = (fs.existsSync(prg.log) ? fs.readFileSync(prg.log, 'latin1') : '') + fs.readFileSync(path.join(dir, 'copy.out'), 'latin1');
    assert.ok(!written.includes(sid.split('=')[1]), 'the cookie is nowhere in the log or the output');
  });

  test('"Save all pictures" with "Large" and "Biggest" saves exactly the two biggest, both named boat', async () => {
    const page = await open('/pictures.html');
    const window = await request('Img_All.js', page);
    await shoot(
      window,
      'picture-editor.png',
      PICTURES.map((e) => e[0]).filter((p) => !p.startsWith('/deco/')),
    );
    // From the current (first) picture: End to the last one, Tab to "All"
    // and on to the size buttons, Right to "Large"; Tab on to "Biggest",
    // Space presses it. If the window's focus order changes, so must this.
    pressKeys(xvfb.display, window, ['End', 'Tab', 'Tab', 'Right', 'Tab', 'Tab', 'Tab', 'Tab', 'space']);
    await save(window);
    const files = await savedFiles(['boat.jpg', 'boat[1].jpg']);
    const got = Object.values(files).map((b) => b.toString('base64')).sort();
    const served = ['/a/boat.jpg', '/b/boat.jpg'].map((p) => server.body(p).toString('base64')).sort();
    assert.deepEqual(got, served, 'both boats arrived, byte for byte');
  });
});
