// Debian's Firefox ESR with the extension of IEMenu/ installed as a
// temporary add-on, driven through WebDriver BiDi by puppeteer-core (never a
// browser download).
//
// Firefox shows no extension background to BiDi, so the tests reach it
// through one of the extension's own pages: a tab opened on one of its
// files (only the browser's own chrome may open it, hence system access)
// has the extension's API and hands out the background page, where the
// extension keeps what the tests look at.
import fs from 'node:fs';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

import { EXTENSION, HOST_NAME, waitFor, writeManifestIn } from './browser.mjs';

export const FIREFOX = '/usr/bin/firefox-esr';
export const GECKO_ID = 'picker@mossgather.org';
// Fixed, so that the extension's pages have a known address.
const UUID = '6d6f7373-6761-4e74-8865-722d66697265';
export const FIREFOX_ORIGIN = `moz-extension://${UUID}/`;
const HELPER_PAGE = `${FIREFOX_ORIGIN}icons/mg48.png`;

export function haveFirefox() {
  return fs.existsSync(FIREFOX);
}

// Where Firefox looks for a user's host manifests.
export function firefoxManifestDir(home) {
  return path.join(home, '.mozilla', 'native-messaging-hosts');
}

export function writeFirefoxHostManifest(home, launcher) {
  writeManifestIn(firefoxManifestDir(home), launcher, { allowed_extensions: [GECKO_ID] });
}

async function bidi(browser, method, params) {
  const { result } = await browser.connection.send(method, params);
  return result;
}

async function evaluateIn(browser, context, expression) {
  const r = await bidi(browser, 'script.evaluate', { expression, target: { context }, awaitPromise: true });
  if (r.type === 'exception') throw new Error(`in Firefox: ${r.exceptionDetails.text}`);
  return r.result;
}

// Starts Firefox ESR on a fresh profile in Dir/profile with Home as the
// user's home (holding .mozilla/native-messaging-hosts/ already, when the
// test wants a host), installs the extension and opens the helper tab.
// Returns { browser, id, background, newPage, close }.
export async function startFirefox(dir, home, { env = {} } = {}) {
  const browser = await puppeteer.launch({
    browser: 'firefox',
    executablePath: FIREFOX,
    headless: true,
    userDataDir: path.join(dir, 'profile'),
    args: ['--remote-allow-system-access'],
    env: { ...process.env, ...env, HOME: home },
    extraPrefsFirefox: {
      'extensions.webextensions.uuids': JSON.stringify({ [GECKO_ID]: UUID }),
      // An idle background is not put to sleep between two tests.
      'extensions.background.idle.enabled': false,
      'browser.shell.checkDefaultBrowser': false,
      'datareporting.policy.dataSubmissionEnabled': false,
      // Notices in Firefox's own alert windows, which a headless browser
      // shows too, rather than through the desktop's.
      'alerts.useSystemBackend': false,
      // A host where extensions may not run, as on the add-on store's.
      'extensions.webextensions.restrictedDomains': 'localhost',
    },
  });
  try {
    const id = await browser.installExtension(EXTENSION);
    const { contexts } = await bidi(browser, 'browsingContext.getTree', { 'moz:scope': 'chrome' });
    const chrome = contexts.find((c) => c.url === 'chrome://browser/content/browser.xhtml');
    if (!chrome) throw new Error(`no browser window among ${contexts.map((c) => c.url)}`);
    await evaluateIn(
      browser,
      chrome.context,
      `gBrowser.addTab(${JSON.stringify(HELPER_PAGE)}, {triggeringPrincipal: Services.scriptSecurityManager.getSystemPrincipal()}) && 0`,
    );
    const helper = await waitFor(async () => {
      const tree = await bidi(browser, 'browsingContext.getTree', {});
      const c = tree.contexts.find((x) => x.url === HELPER_PAGE);
      if (!c) return null;
      // The page has the extension's API once its document is there.
      const ready = await evaluateIn(browser, c.context, 'typeof browser === "object" && typeof browser.runtime === "object"');
      return ready.value ? c.context : null;
    }, 'the extension page of the helper tab');

    // Runs Fn(Arg) with the extension's API as "chrome" and the
    // background's test handle as globalThis.mossgather; the result comes
    // back through JSON.
    const background = {
      async evaluate(fn, arg) {
        const expression = `(async () => {
          const bg = await browser.runtime.getBackgroundPage();
          globalThis.chrome = browser;
          // The background's own global, whose API objects the extension calls.
          globalThis.backgroundGlobal = bg;
          // Arguments are made anew in the background's own realm: Firefox
          // refuses objects of another page's realm in the extension's calls.
          const inBg = (v) => (v === undefined ? v : bg.JSON.parse(JSON.stringify(v)));
          globalThis.mossgather = new Proxy(bg.mossgather, {
            get: (t, k) => (typeof t[k] === 'function' ? (...a) => t[k](...a.map(inBg)) : t[k]),
          });
          const r = await (${fn.toString()})(${arg === undefined ? '' : JSON.stringify(arg)});
          return r === undefined ? undefined : JSON.stringify(r);
        })()`;
        const v = await evaluateIn(browser, helper, expression);
        return v.type === 'string' ? JSON.parse(v.value) : undefined;
      },
    };
    await waitFor(() => background.evaluate(() => typeof globalThis.mossgather === 'object'), 'the extension background');
    return {
      browser,
      id,
      background,
      newPage: () => browser.newPage(),
      close: () => browser.close(),
    };
  } catch (e) {
    await browser.close();
    throw e;
  }
}

// The browser as the shared extension suite drives it (support/browser.mjs
// has Chromium's).
export const firefoxDriver = {
  name: 'Firefox',
  skip: haveFirefox() ? false : `${FIREFOX} is missing (scripts/deps.sh installs firefox-esr)`,
  // A page no extension may read: Firefox's own pages cannot be opened
  // through BiDi, so a host the profile marks as restricted stands in.
  restrictedUrl: (server) => `${server.near.replace('127.0.0.1', 'localhost')}/article.html`,
  // An extension that may read a picture's origin learns its size.
  timesOtherOrigins: true,
  // A frame's document is read from the cache as a top document is.
  framesReadTheirSource: true,
  async start(dir, { launcher }) {
    const home = path.join(dir, 'home');
    writeFirefoxHostManifest(home, launcher);
    const ff = await startFirefox(dir, home, {
      env: { XDG_CONFIG_HOME: path.join(dir, 'config'), XDG_CACHE_HOME: path.join(dir, 'cache') },
    });
    return {
      background: ff.background,
      manifest: path.join(firefoxManifestDir(home), `${HOST_NAME}.json`),
      extensionId: await ff.background.evaluate(() => chrome.runtime.id),
      newPage: ff.newPage,
      close: ff.close,
    };
  },
  extensionId: GECKO_ID,
  // What the browser passes the host: Firefox names the manifest it read
  // and the calling extension.
  hostArgs: (manifest) => [manifest, GECKO_ID],
};
