// The built program in a program folder of its own: its per-user folders
// point into a temporary folder, so nothing touches the real home.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';

import { EXTENSION, waitFor } from './browser.mjs';

export { waitFor };

export const APP_TITLE = 'Mossgather 0.12';

export function builtProgram() {
  const build = process.env.MOSSGATHER_BUILD_DIR;
  const exe = build && path.join(build, 'bin', 'mossgather');
  return exe && fs.existsSync(exe) ? { exe, bin: path.dirname(exe) } : null;
}

// A program folder as the install lays it out: the program file and the
// extension's folder.
export function programFolder(dir, exe) {
  const prg = path.join(dir, 'prg');
  fs.mkdirSync(prg, { recursive: true });
  fs.symlinkSync(exe, path.join(prg, 'mossgather'));
  // The light host, when built: the launcher the program writes starts it.
  const relay = path.join(path.dirname(exe), 'mossgather-relay');
  if (fs.existsSync(relay)) fs.symlinkSync(relay, path.join(prg, 'mossgather-relay'));
  fs.cpSync(EXTENSION, path.join(prg, 'IEMenu'), { recursive: true });
  const run = path.join(dir, 'run');
  fs.mkdirSync(run, { mode: 0o700 });
  const env = {
    MOSSGATHER_PRGDIR: prg + '/',
    HOME: path.join(dir, 'home'),
    XDG_CONFIG_HOME: path.join(dir, 'config'),
    XDG_CACHE_HOME: path.join(dir, 'cache'),
    XDG_RUNTIME_DIR: run,
    QT_QPA_PLATFORM: 'offscreen',
    QTWEBENGINE_DISABLE_SANDBOX: '1',
    // No test asks the real web site for updates.
    MOSSGATHER_UPDHOST: '',
  };
  fs.mkdirSync(env.HOME);
  return {
    prg,
    env,
    socket: path.join(run, 'mossgather', `${APP_TITLE}.sock`),
    log: path.join(prg, 'log.txt'),
    urlCache: path.join(env.XDG_CACHE_HOME, 'mossgather', 'urlcache'),
  };
}

// Runs one of the program's command-line forms to its end.
export function runTool(exe, args, env) {
  const r = spawnSync(exe, args, { env: { ...process.env, ...env }, encoding: 'utf8' });
  if (r.status !== 0) throw new Error(`${path.basename(exe)} ${args.join(' ')}: exit ${r.status}\n${r.stdout}${r.stderr}`);
  return r.stdout;
}

export function startProgram(exe, env, outFile) {
  const out = fs.openSync(outFile, 'a');
  const child = spawn(exe, ['-RealStr'], { env: { ...process.env, ...env }, stdio: ['ignore', out, out] });
  fs.closeSync(out);
  child.exited = new Promise((resolve) => child.once('exit', (code, signal) => resolve({ code, signal })));
  return child;
}

// One request on the program's channel: 4-byte little-endian length and JSON.
export function channelRequest(socket, msg) {
  return new Promise((resolve, reject) => {
    const c = net.createConnection(socket);
    let buf = Buffer.alloc(0);
    c.once('error', reject);
    c.on('connect', () => {
      const json = Buffer.from(JSON.stringify(msg));
      const len = Buffer.alloc(4);
      len.writeUInt32LE(json.length);
      c.write(Buffer.concat([len, json]));
    });
    c.on('data', (d) => {
      buf = Buffer.concat([buf, d]);
      if (buf.length >= 4 && buf.length >= 4 + buf.readUInt32LE(0)) {
        c.destroy();
        resolve(JSON.parse(buf.subarray(4, 4 + buf.readUInt32LE(0)).toString('utf8')));
      }
    });
    c.on('end', () => reject(new Error('the channel closed without a reply')));
  });
}

// The running copy's answer to Ping, or null when none answers.
export async function ping(socket) {
  try {
    const r = await channelRequest(socket, { method: 'Ping' });
    return r.status === 0 && r.sysState === 1 ? r : null;
  } catch {
    return null;
  }
}

export function alive(pid) {
  try {
    process.kill(pid, 0);
    return true;
  } catch {
    return false;
  }
}

export function jobStarts(logFile) {
  if (!fs.existsSync(logFile)) return [];
  return [...fs.readFileSync(logFile, 'latin1').matchAll(/JobID: (\d+), \[Flow_Begin\] : Start the job\./g)].map((m) => Number(m[1]));
}
