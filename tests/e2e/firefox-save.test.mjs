// Firefox ESR against the real program: the set-up the program writes for
// Firefox in the user's home, the menu and the connection check through the
// real "mossgather -Embedding" host, and one whole text save from the click
// to the file on disk (the program on an Xvfb display of the test's own,
// Save pressed with the keyboard).
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, afterEach, before, describe, test } from 'node:test';

import { HOST_NAME, REGISTERED_MENUS, clickEntry, menuState, notices, tempDir } from './support/browser.mjs';
import { haveDesktopTools, pressKeys, startXvfb, waitForNoWindow, waitForWindow } from './support/desktop.mjs';
import { GECKO_ID, firefoxManifestDir, haveFirefox, startFirefox } from './support/firefox.mjs';
import { builtProgram, ping, programFolder, runTool, startProgram, waitFor } from './support/program.mjs';
import { EDIT_TITLE, asLines, assertTimeBetween, plainHeader, selectTwo, stopCopy, writeSettings } from './support/saving.mjs';
import { startServer } from './support/server.mjs';

const built = builtProgram();
const skip = !built
  ? 'MOSSGATHER_BUILD_DIR does not hold bin/mossgather'
  : !haveFirefox()
    ? '/usr/bin/firefox-esr is missing (scripts/deps.sh installs it)'
    : !haveDesktopTools()
      ? 'Xvfb or xdotool is missing (scripts/deps.sh installs them)'
      : false;

let server, dir, saved, prg, xvfb, copy, firefox;
const pages = [];

before(async () => {
  if (skip) return;
  server = await startServer();
  dir = tempDir('mg-e2e-ffsave-');
  saved = path.join(dir, 'saved');
  prg = programFolder(dir, built.exe);
  // Firefox has run for this user before: the program finds it by its folder.
  fs.mkdirSync(path.join(prg.env.HOME, '.mozilla'));
  const exe = path.join(prg.prg, 'mossgather');
  // What the install does: the menu entries and the host manifests of the
  // browsers found.
  runTool(exe, ['-RegIEMenu'], prg.env);
  runTool(exe, ['-REGSERVER'], prg.env);
  xvfb = await startXvfb();
  writeSettings(prg.prg, saved, { autoRename: true });
  const env = { ...prg.env, QT_QPA_PLATFORM: 'xcb', DISPLAY: xvfb.display, QTWEBENGINE_CHROMIUM_FLAGS: '--disable-gpu' };
  copy = startProgram(built.exe, env, path.join(dir, 'copy.out'));
  await waitFor(() => ping(prg.socket), 'the program to answer on its channel');
  firefox = await startFirefox(dir, prg.env.HOME, { env: prg.env });
});

after(async () => {
  await firefox?.close();
  await stopCopy(copy);
  await xvfb?.stop();
  await server?.close();
  // MOSSGATHER_E2E_KEEP=1 keeps the temporary folder (saved files, log, profile).
  if (dir && !process.env.MOSSGATHER_E2E_KEEP) fs.rmSync(dir, { recursive: true, force: true });
});

afterEach(async () => {
  while (pages.length) await pages.pop().close();
});

async function open(urlPath) {
  const page = await firefox.newPage();
  pages.push(page);
  await page.goto(server.near + urlPath, { waitUntil: 'load' });
  return page;
}

function programOutput() {
  const log = fs.existsSync(prg.log) ? fs.readFileSync(prg.log, 'latin1') : '(no log yet)';
  return `${log}\n--- program output ---\n${fs.readFileSync(path.join(dir, 'copy.out'), 'utf8')}`;
}

describe('Firefox with the real program', { skip }, () => {
  test("-REGSERVER writes Firefox's manifest in the home for our add-on only", () => {
    const file = path.join(firefoxManifestDir(prg.env.HOME), `${HOST_NAME}.json`);
    const manifest = JSON.parse(fs.readFileSync(file, 'utf8'));
    assert.equal(manifest.name, HOST_NAME);
    assert.equal(manifest.path, path.join(prg.prg, 'mossgather-host'));
    assert.deepEqual(manifest.allowed_extensions, [GECKO_ID]);
    assert.equal(manifest.allowed_origins, undefined);
  });

  test('The menu shows the five entries the program registered', async () => {
    await firefox.background.evaluate(() => globalThis.mossgather.buildMenus());
    const { menus, present } = await menuState(firefox.background);
    const byScript = (list) => [...list].sort((a, b) => a.script.localeCompare(b.script));
    assert.deepEqual(byScript(menus), byScript(REGISTERED_MENUS));
    assert.ok(Object.values(present).every(Boolean));
    assert.deepEqual(await notices(firefox.background), []);
  });

  test('Check connection finds the running program and the five entries', async () => {
    const got = await firefox.background.evaluate(() => globalThis.mossgather.checkConnection());
    assert.deepEqual(got, {
      ok: true,
      fix: '',
      text: 'Check connection: Mossgather answers (version 0.12). The program is running. 5 menu entries are registered.',
    });
  });

  test('"Save snippet" saves the selection as plain text under the URL and time lines', async () => {
    const page = await open('/article.html');
    const selected = await selectTwo(page, 'lead');
    assert.match(selected, /«fïsh» — fresh/);
    const from = Date.now();
    const outcome = await clickEntry(firefox.background, 'Txt_Snpt.js', page);
    assert.deepEqual(outcome, { sent: true, reply: { status: 0 } });
    const window = await waitForWindow(xvfb.display, EDIT_TITLE);
    // Alt+S is the edit window's Save button ("&Save").
    pressKeys(xvfb.display, window, ['alt+s']);
    try {
      await waitForNoWindow(xvfb.display, EDIT_TITLE);
    } catch (e) {
      throw new Error(`${e.message} (a message box, or the keys did not arrive?)\n${programOutput()}`);
    }
    const file = path.join(saved, 'Harbour notes.txt');
    try {
      await waitFor(() => fs.existsSync(file) && fs.statSync(file).size > 0, file);
    } catch (e) {
      throw new Error(`${e.message}\n${programOutput()}`);
    }
    const { time, text } = plainHeader(fs.readFileSync(file, 'utf8'), page.url());
    assertTimeBetween(time, from, Date.now());
    assert.equal(text, asLines(selected));
  });
});
