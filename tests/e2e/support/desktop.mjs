// A desktop of the test's own: an Xvfb server on a free display, and real
// keyboard input into the program's windows through xdotool (XTEST events,
// which Qt takes as a user's typing; synthetic --window events it ignores).
import { spawn, spawnSync } from 'node:child_process';

import { waitFor } from './browser.mjs';

export function haveDesktopTools() {
  const found = (tool) => spawnSync('sh', ['-c', `command -v ${tool}`]).status === 0;
  return found('Xvfb') && found('xdotool');
}

// Starts Xvfb on the first free display (it names the display on fd 3) and
// returns { display, stop }.
export async function startXvfb() {
  const child = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'], {
    stdio: ['ignore', 'ignore', 'pipe', 'pipe'],
  });
  let errors = '';
  child.stderr.on('data', (d) => (errors += d));
  const exited = new Promise((resolve) => child.once('exit', resolve));
  const number = await new Promise((resolve, reject) => {
    let got = '';
    const timer = setTimeout(() => reject(new Error(`Xvfb named no display within 30 s: ${errors}`)), 30000);
    child.stdio[3].on('data', (d) => {
      got += d;
      if (got.includes('\n')) {
        clearTimeout(timer);
        resolve(got.trim());
      }
    });
    child.once('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`Xvfb ended (${code}) before naming its display: ${errors}`));
    });
  });
  return {
    display: `:${number}`,
    async stop() {
      if (child.exitCode === null && child.signalCode === null) {
        child.kill('SIGTERM');
        await exited;
      }
    },
  };
}

// Runs xdotool on Display; Check false lets a failing search return null.
export function xdo(display, args, { check = true } = {}) {
  const r = spawnSync('xdotool', args, { env: { ...process.env, DISPLAY: display }, encoding: 'utf8', timeout: 30000 });
  if (r.status !== 0) {
    if (!check) return null;
    throw new Error(`xdotool ${args.join(' ')}: exit ${r.status}: ${r.stderr}`);
  }
  return r.stdout.trim();
}

// The ids of the shown windows whose title is Title, or starts with it when
// Prefix is set.
export function shownWindows(display, title, { prefix = false } = {}) {
  const escaped = title.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
  const out = xdo(display, ['search', '--onlyvisible', '--name', `^${escaped}${prefix ? '' : '$'}`], { check: false });
  return out ? out.split('\n') : [];
}

export async function waitForWindow(display, title, { prefix = false, limit = 60000 } = {}) {
  return waitFor(() => shownWindows(display, title, { prefix })[0], `a shown window titled "${title}"`, limit);
}

export async function waitForNoWindow(display, title, { prefix = false, limit = 60000 } = {}) {
  return waitFor(() => shownWindows(display, title, { prefix }).length === 0, `the window "${title}" to close`, limit);
}

// Gives Window the keyboard focus, then types Keys (xdotool key names,
// "alt+s", "Tab", "space", ...) one after another as a user would.
export function pressKeys(display, window, keys) {
  xdo(display, ['windowfocus', '--sync', window]);
  xdo(display, ['key', '--delay', '80', ...keys]);
}

// Types Text into whatever has the focus in Window.
export function typeText(display, window, text) {
  xdo(display, ['windowfocus', '--sync', window]);
  xdo(display, ['type', '--delay', '40', text]);
}

// Clicks the left mouse button at (X, Y) inside Window, in pixels from its
// top left corner.
export function clickIn(display, window, x, y) {
  xdo(display, ['mousemove', '--window', window, '--sync', String(x), String(y), 'click', '1']);
}
