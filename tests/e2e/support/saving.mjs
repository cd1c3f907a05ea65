// What the suites that save through the real program share: a copy of the
// program set up for a browser profile on a display of its own, the
// settings a user would have chosen, the end of a running copy, and how a
// saved text file reads.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import { hostManifestDir } from './browser.mjs';
import { startXvfb } from './desktop.mjs';
import { alive, ping, programFolder, runTool, startProgram, waitFor } from './program.mjs';

export const EDIT_TITLE = 'Save snippet/page';
export const RENAME_EXISTS = 'Rename dialog EXISTENT file';

// A program folder in Dir with the menu entries registered and the host
// manifest written for the browser profile Dir/profile, and an Xvfb of its
// own for the program's windows (the browser stays headless).
export async function setUpCopy(dir, exe) {
  const prg = programFolder(dir, exe);
  const installed = path.join(prg.prg, 'mossgather');
  runTool(installed, ['-RegIEMenu'], prg.env);
  const profile = path.join(dir, 'profile');
  runTool(installed, ['-REGSERVER', '--manifest-dir', hostManifestDir(profile)], prg.env);
  const xvfb = await startXvfb();
  return { prg, profile, xvfb };
}

// Starts the program on the display and waits until its channel answers.
export async function startCopy(exe, prg, xvfb, dir) {
  const env = { ...prg.env, QT_QPA_PLATFORM: 'xcb', DISPLAY: xvfb.display, QTWEBENGINE_CHROMIUM_FLAGS: '--disable-gpu' };
  const copy = startProgram(exe, env, path.join(dir, 'copy.out'));
  await waitFor(() => ping(prg.socket), 'the program to answer on its channel');
  return copy;
}

// The settings a user would have chosen, so that a test only has to press
// Save: every text job goes to Saved, as plain text with the URL and time
// lines, with pictures when saved as HTML. The program reads them at start.
export function writeSettings(prgDir, saved, { autoRename }) {
  const lines = [
    '[Directory]',
    `sDir_Def_Txt=${saved}`,
    '[Global]',
    `bFlAtRenam=${autoRename ? 1 : 0}`,
    'iVw_EFrm_Txt_W=800',
    'iVw_EFrm_Txt_H=600',
    '[JEP]',
    'SrcTextFmt=0',
    'bTxt_Atch_Image=1',
    'bTxt_ExItem_Url=1',
    'bTxt_ExItem_Time=1',
  ];
  fs.writeFileSync(path.join(prgDir, 'cfg.ini'), lines.join('\n') + '\n');
}

// Ends a copy through its normal close path, which writes its log and
// settings; a copy that does not end is killed.
export async function stopCopy(copy) {
  if (!copy || !alive(copy.pid)) return;
  copy.kill('SIGTERM');
  let timer;
  const ended = await Promise.race([copy.exited, new Promise((r) => (timer = setTimeout(() => r(null), 20000)))]);
  clearTimeout(timer);
  if (!ended && alive(copy.pid)) {
    copy.kill('SIGKILL');
    await copy.exited;
  }
}

// "yyyy-MM-dd HH:mm:ss" as local time.
export function localTime(text) {
  const m = /^(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)$/.exec(text);
  assert.ok(m, `a date and time: ${text}`);
  const [y, mo, d, h, mi, s] = m.slice(1).map(Number);
  return new Date(y, mo - 1, d, h, mi, s).getTime();
}

export function assertTimeBetween(time, from, to) {
  // The saved time has whole seconds.
  const ok = time >= Math.floor(from / 1000) * 1000 && time <= to;
  assert.ok(ok, `${new Date(time)} lies between ${new Date(from)} and ${new Date(to)}`);
}

// A plain-text save: the URL line, the time line and an empty line, each
// ended by a line feed, then the text. Returns the time and the text.
export function plainHeader(content, url) {
  const m = /^URL for this page: (.*)\nSaved time: (.*)\n\n([\s\S]*)$/.exec(content);
  assert.ok(m, `the URL and time lines: ${JSON.stringify(content.slice(0, 200))}`);
  assert.equal(m[1], url);
  return { time: localTime(m[2]), text: m[3] };
}

// Text as the program writes it: as lines, each ended by a line feed.
export function asLines(text) {
  return text === '' || text.endsWith('\n') ? text : `${text}\n`;
}

// Selects the paragraph of id First and the element after it; returns the
// selection's text.
export function selectTwo(page, first) {
  return page.evaluate((first) => {
    const p = document.getElementById(first);
    const r = document.createRange();
    r.setStartBefore(p);
    r.setEndAfter(p.nextElementSibling);
    getSelection().removeAllRanges();
    getSelection().addRange(r);
    return getSelection().toString();
  }, first);
}
