// Debian's Chromium with the extension of IEMenu/, in a fresh profile, and
// the few things the tests do through its service worker.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..', '..');
export const EXTENSION = path.join(ROOT, 'IEMenu');
export const EXTENSION_ID = 'clpjckchdmpkgcenimeglbnciacogkjo';
export const HOST_NAME = 'org.mossgather.picker';
export const CHROMIUM = '/usr/bin/chromium';

// The five entries as the program registers them.
export const REGISTERED_MENUS = [
  { title: ' Sa&ve snippet by MG...', contexts: ['selection', 'link'], script: 'Txt_Snpt.js', method: 'SaveSnippet', dispid: 3 },
  { title: ' Save entire page by &MG...', contexts: ['page', 'selection', 'link'], script: 'Txt_Page.js', method: 'SaveFullPage', dispid: 4 },
  { title: ' Sa&ve picture by MG...', contexts: ['image'], script: 'Img_One.js', method: 'SaveOneImg', dispid: 2 },
  { title: ' Save all pictures by &MG...', contexts: ['page', 'image', 'link'], script: 'Img_All.js', method: 'SaveImages', dispid: 5 },
  { title: ' Save flash by &MG...', contexts: ['page', 'link'], script: 'Flash.js', method: 'SaveFlash', dispid: 1 },
];

export function tempDir(prefix) {
  return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}

// Where a profile started with --user-data-dir looks for host manifests.
export function hostManifestDir(profile) {
  return path.join(profile, 'NativeMessagingHosts');
}

// A host manifest in Dir naming Launcher; Allowed names the extension the
// way the browser wants it (allowed_origins or allowed_extensions).
export function writeManifestIn(dir, launcher, allowed) {
  fs.mkdirSync(dir, { recursive: true });
  const manifest = { name: HOST_NAME, description: 'Mossgather test host', path: launcher, type: 'stdio', ...allowed };
  fs.writeFileSync(path.join(dir, `${HOST_NAME}.json`), JSON.stringify(manifest, null, 2));
}

export function writeHostManifest(profile, launcher) {
  writeManifestIn(hostManifestDir(profile), launcher, { allowed_origins: [`chrome-extension://${EXTENSION_ID}/`] });
}

// The recording host of fake-host.mjs, behind a launcher as the real one
// is; the browser's host manifest is to name Launcher.
export function installFakeHost(stateDir) {
  fs.mkdirSync(stateDir, { recursive: true });
  const launcher = path.join(stateDir, 'host.sh');
  const script = fileURLToPath(new URL('./fake-host.mjs', import.meta.url));
  fs.writeFileSync(launcher, `#!/bin/sh\nexec '${process.execPath}' '${script}' '${stateDir}' "$@"\n`, { mode: 0o755 });
  let seen = 0;
  const file = path.join(stateDir, 'requests.jsonl');
  const all = () =>
    fs.existsSync(file)
      ? fs.readFileSync(file, 'utf8').split('\n').filter(Boolean).map((l) => JSON.parse(l))
      : [];
  const starts = path.join(stateDir, 'starts.jsonl');
  return {
    launcher,
    // Every start of the host so far: { pid, args }.
    starts: () => (fs.existsSync(starts) ? fs.readFileSync(starts, 'utf8').split('\n').filter(Boolean).map((l) => JSON.parse(l)) : []),
    configure(config) {
      fs.writeFileSync(path.join(stateDir, 'config.json'), JSON.stringify(config));
    },
    all,
    // The requests recorded since the last call.
    take() {
      const list = all();
      const fresh = list.slice(seen);
      seen = list.length;
      return fresh;
    },
  };
}

// Starts Chromium on a fresh profile (a folder holding NativeMessagingHosts/
// already, when the test wants a host) and waits for the extension's worker.
export async function startBrowser(profile, { env = {} } = {}) {
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    ignoreDefaultArgs: ['--disable-extensions'],
    args: [
      `--disable-extensions-except=${EXTENSION}`,
      `--load-extension=${EXTENSION}`,
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
    env: { ...process.env, ...env },
  });
  const isOurs = (w) => w.url().startsWith(`chrome-extension://${EXTENSION_ID}/`);
  let worker = context.serviceWorkers().find(isOurs);
  if (!worker) worker = await context.waitForEvent('serviceworker', { predicate: isOurs, timeout: 60000 });
  return { context, worker };
}

// The browser as the shared extension suite drives it (support/firefox.mjs
// has the other one).
export const chromiumDriver = {
  name: 'Chromium',
  skip: fs.existsSync(CHROMIUM) ? false : `${CHROMIUM} is missing (scripts/e2e-setup.sh installs it)`,
  // A page no extension may read.
  restrictedUrl: () => 'chrome://version/',
  timesOtherOrigins: false,
  framesReadTheirSource: false,
  // Starts the browser in Dir with a host manifest naming Launcher.
  async start(dir, { launcher }) {
    const profile = path.join(dir, 'profile');
    writeHostManifest(profile, launcher);
    const { context, worker } = await startBrowser(profile, {
      env: { XDG_CONFIG_HOME: path.join(dir, 'config'), XDG_CACHE_HOME: path.join(dir, 'cache') },
    });
    return {
      background: worker,
      manifest: path.join(hostManifestDir(profile), `${HOST_NAME}.json`),
      extensionId: new URL(worker.url()).host,
      newPage: () => context.newPage(),
      close: () => context.close(),
    };
  },
  extensionId: EXTENSION_ID,
  // What the browser passes the host: Chromium names the calling
  // extension's origin.
  hostArgs: () => [`chrome-extension://${EXTENSION_ID}/`],
};

export function tabIds(worker) {
  return worker.evaluate(async () => (await chrome.tabs.query({})).map((t) => t.id));
}

// Runs the service worker's click handler as a click on entry Script would,
// with the real tab that shows Page. frameUrl picks a frame of the tab;
// srcUrl is the picture address the browser gives for a click on a picture;
// tabId names the tab of a page whose address the extension may not see.
export async function clickEntry(worker, script, page, { frameUrl, srcUrl, tabId } = {}) {
  return worker.evaluate(
    async ({ script, pageUrl, frameUrl, srcUrl, tabId }) => {
      const tab = (await chrome.tabs.query({})).find((t) => (tabId === undefined ? t.url === pageUrl : t.id === tabId));
      if (!tab) throw new Error(`no tab shows ${pageUrl}`);
      let frameId = 0;
      if (frameUrl) {
        const frames = await chrome.scripting.executeScript({ target: { tabId: tab.id, allFrames: true }, func: () => location.href });
        const f = frames.find((r) => r.result === frameUrl);
        if (!f) throw new Error(`no frame shows ${frameUrl}`);
        frameId = f.frameId;
      }
      const info = { menuItemId: script, frameId, pageUrl, editable: false };
      if (frameUrl) info.frameUrl = frameUrl;
      if (srcUrl) {
        info.srcUrl = srcUrl;
        info.mediaType = 'image';
      }
      return globalThis.mossgather.onMenuClicked(info, tab);
    },
    { script, pageUrl: page.url(), frameUrl, srcUrl, tabId },
  );
}

// The notices the extension showed so far.
export function notices(worker) {
  return worker.evaluate(() => [...globalThis.mossgather.notices]);
}

// The menu the extension built: the entries it keeps, and for each of the
// five scripts whether Chromium's menu really holds an entry of that id.
export async function menuState(worker) {
  return worker.evaluate(async (scripts) => {
    await globalThis.mossgather.menusBuilt();
    const { menus } = await chrome.storage.session.get('menus');
    const present = {};
    for (const id of scripts) {
      present[id] = await chrome.contextMenus.update(id, {}).then(
        () => true,
        () => false,
      );
    }
    return { menus, present };
  }, REGISTERED_MENUS.map((m) => m.script));
}

// Asks until Check gives a value; fails after Limit ms (a bound against
// hanging, not a measure of speed).
export async function waitFor(check, what, limit = 60000) {
  const end = Date.now() + limit;
  let last;
  for (;;) {
    try {
      const v = await check();
      if (v) return v;
    } catch (e) {
      last = e;
    }
    if (Date.now() > end) throw new Error(`gave up waiting for ${what}${last ? `: ${last.message}` : ''}`);
    await new Promise((r) => setTimeout(r, 200));
  }
}

export function decode64(s) {
  return Buffer.from(s, 'base64');
}
