// Mossgather's browser side: the five context-menu entries and the road of
// a click to the program. The entries are the ones the program registered
// ("Register IE menu items"), asked from its native-messaging host; a click
// runs the entry's script in the frame of the click, which collects the page
// snapshot, and hands the snapshot to the host, which relays it to the
// running copy (starting one when none runs).
//
// Chromium runs this as a service worker, Firefox as an event page; both
// stop it whenever it is idle, so every listener is registered at the top
// level and nothing lives only in its memory that a click needs.

const api = globalThis.browser ?? globalThis.chrome;
// Firefox's own name for the menus, with the same calls; Chromium knows only
// the other.
const menusApi = api.menus ?? api.contextMenus;

const HOST = 'org.mossgather.picker';

const METHODS = { SaveFlash: 1, SaveOneImg: 2, SaveSnippet: 3, SaveFullPage: 4, SaveImages: 5 };

// What the install registers; shown when the host cannot be asked, so that
// the menu is never empty.
const BUILT_IN_MENUS = [
  { title: ' Sa&ve snippet by MG...', contexts: ['selection', 'link'], script: 'Txt_Snpt.js', method: 'SaveSnippet', dispid: 3 },
  { title: ' Save entire page by &MG...', contexts: ['page', 'selection', 'link'], script: 'Txt_Page.js', method: 'SaveFullPage', dispid: 4 },
  { title: ' Sa&ve picture by MG...', contexts: ['image'], script: 'Img_One.js', method: 'SaveOneImg', dispid: 2 },
  { title: ' Save all pictures by &MG...', contexts: ['page', 'image', 'link'], script: 'Img_All.js', method: 'SaveImages', dispid: 5 },
  { title: ' Save flash by &MG...', contexts: ['page', 'link'], script: 'Flash.js', method: 'SaveFlash', dispid: 1 },
];
const SCRIPTS = new Set(BUILT_IN_MENUS.map((m) => m.script));
const CONTEXTS = new Set(['all', 'page', 'frame', 'selection', 'link', 'editable', 'image', 'video', 'audio']);

const REFRESH_ALARM = 'mossgather-refresh-menus';
// The item of the toolbar button's menu that checks the connection.
const CHECK_ID = 'mossgather-check';
const CHECK_TITLE = 'Check connection';

// The browser passes at most 64 MiB to a native host in one message.
const limits = { messageBytes: 64 << 20, cookieAddresses: 5000, cookies: 10000, warmMs: 10000 };

// Scrolling through a page before its pictures are collected, so that
// pictures that load only when seen are there: at most this many screens
// and this long in all, then the pictures that started loading get the
// rest of the time.
const LAZY_SCROLL = { screens: 30, ms: 5000, pauseMs: 120, settleMs: 500 };

// The last notices shown, newest last, for a look from the worker's console.
const notices = [];
let noticeCount = 0;

// Fix: the one command that mends what Text names, or '' when the user
// has nothing to run.
function notify(text, fix = '') {
  const message = fix ? `${text}\nTo mend it, run: ${fix}` : text;
  notices.push(message);
  if (notices.length > 20) notices.shift();
  const id = `mossgather-${Date.now()}-${++noticeCount}`;
  return api.notifications
    .create(id, { type: 'basic', iconUrl: 'icons/mg48.png', title: 'Mossgather', message })
    .catch((e) => console.warn('Mossgather: notification failed:', e, message));
}

function errorText(e) {
  return (e && e.message) || String(e);
}

// What the browser's refusal to reach the host means, in the user's words,
// and the command that mends it. The browsers word the same causes
// differently; the browser's own words follow in brackets.
const HOST_FAULTS = [
  {
    match: /not found|no such native application/i,
    cause: 'the browser finds no Mossgather host (Mossgather is not installed for this browser)',
    fix: 'mossgather -REGSERVER',
  },
  {
    match: /forbidden|not allowed|access denied/i,
    cause: "the Mossgather host does not allow this extension (the host's manifest is stale)",
    fix: 'mossgather -REGSERVER',
  },
  {
    match: /exited|failed to start|unexpected error|disconnected|terminated|error when communicating/i,
    cause: 'the Mossgather host ended without answering (the program may have moved or been removed)',
    fix: 'mossgather -REGSERVER',
  },
];

function hostFault(e) {
  const said = errorText(e);
  const known = HOST_FAULTS.find((f) => f.match.test(said));
  if (known) return { cause: `${known.cause} [${said}]`, fix: known.fix };
  return { cause: said, fix: 'mossgather -doctor' };
}

// A failure the host or the program answered with: it names its own fix.
function replyFault(reply) {
  return {
    cause: reply.error || `status ${reply.status}`,
    fix: typeof reply.fix === 'string' && reply.fix ? reply.fix : 'mossgather -doctor',
  };
}

// A host started when a page's menu opens, so that a click on one of our
// entries finds it running: the browser takes tens of milliseconds to start
// a host, and the user takes longer than that to pick the entry. It serves
// one request and ends; unused, it ends after limits.warmMs.
let warm = null;

function warmHost() {
  if (warm) return rearmWarm(warm);
  let port;
  try {
    port = api.runtime.connectNative(HOST);
  } catch {
    return; // the request will start its own host and tell what fails
  }
  const w = { port, pending: [], timer: 0, ended: false };
  port.onMessage.addListener((reply) => w.pending.shift()?.resolve(reply));
  port.onDisconnect.addListener((p) => {
    w.ended = true;
    if (warm === w) warm = null;
    clearTimeout(w.timer);
    const why = (p && p.error) || api.runtime.lastError;
    const err = new Error((why && why.message) || 'Native host has exited.');
    for (const q of w.pending.splice(0)) q.reject(err);
  });
  warm = w;
  rearmWarm(w);
}

function rearmWarm(w) {
  clearTimeout(w.timer);
  w.timer = setTimeout(() => {
    if (warm !== w) return;
    warm = null;
    w.port.disconnect();
  }, limits.warmMs);
}

// The warm host's answer to Msg; the host ends after it.
async function askWarm(w, msg) {
  clearTimeout(w.timer);
  try {
    const reply = new Promise((resolve, reject) => w.pending.push({ resolve, reject }));
    w.port.postMessage(msg);
    return await reply;
  } finally {
    if (!w.ended) w.port.disconnect();
  }
}

async function askHost(msg) {
  const w = warm;
  warm = null;
  const reply = w && !w.ended ? await askWarm(w, msg) : await api.runtime.sendNativeMessage(HOST, msg);
  if (!reply || typeof reply !== 'object' || typeof reply.status !== 'number')
    throw new Error('The native-messaging host gave no valid reply');
  return reply;
}

// The host's entries as the menu shows them; an entry naming a script or
// method we do not have is left out.
function registeredMenus(list) {
  if (!Array.isArray(list)) throw new Error('The native-messaging host sent no menu list');
  const out = [];
  const seen = new Set();
  for (const m of list) {
    if (!m || typeof m.title !== 'string' || !SCRIPTS.has(m.script) || !(m.method in METHODS) || seen.has(m.script)) continue;
    const contexts = Array.isArray(m.contexts) ? m.contexts.filter((c) => CONTEXTS.has(c)) : [];
    if (contexts.length === 0) continue;
    seen.add(m.script);
    out.push({
      title: m.title,
      contexts,
      script: m.script,
      method: m.method,
      dispid: Number.isInteger(m.dispid) ? m.dispid : METHODS[m.method],
    });
  }
  return out;
}

function createMenu(m) {
  return new Promise((resolve, reject) => {
    menusApi.create({ id: m.id ?? m.script, title: m.title, contexts: m.contexts }, () => {
      const err = api.runtime.lastError;
      if (err) reject(new Error(err.message));
      else resolve();
    });
  });
}

async function rebuildMenus({ quiet }) {
  let menus;
  let problem = null;
  try {
    const reply = await askHost({ method: 'GetMenus' });
    if (reply.status !== 0) problem = replyFault(reply);
    else menus = registeredMenus(reply.menus);
  } catch (e) {
    problem = hostFault(e);
  }
  if (problem) menus = BUILT_IN_MENUS;
  await menusApi.removeAll();
  for (const m of menus) await createMenu(m);
  await createMenu({ id: CHECK_ID, title: CHECK_TITLE, contexts: ['action'] });
  await api.storage.session.set({ menus });

  // Until the host answers with entries, ask again now and then, so that the
  // program's "Register IE menu items" shows without restarting the browser.
  if (problem || menus.length === 0) {
    await api.alarms.create(REFRESH_ALARM, { periodInMinutes: 5 });
    if (!quiet) {
      if (problem) notify(`Mossgather's menu entries could not be read: ${problem.cause}`, problem.fix);
      else notify('No Mossgather menu entries are registered (in Mossgather: Tools > Register IE menu items).', 'mossgather -RegIEMenu');
    }
  } else {
    await api.alarms.clear(REFRESH_ALARM);
  }
  return menus;
}

// One rebuild at a time: two at once would create the same ids twice.
let building = Promise.resolve();
function buildMenus({ quiet = false } = {}) {
  const run = () => rebuildMenus({ quiet });
  building = building.then(run, run);
  return building;
}

async function menuEntry(id) {
  const { menus } = await api.storage.session.get('menus');
  const list = Array.isArray(menus) ? menus : BUILT_IN_MENUS;
  return list.find((m) => m.script === id) ?? BUILT_IN_MENUS.find((m) => m.script === id);
}

// The tab's top-level document for a request made inside a frame.
function collectTopDocument() {
  const doc = { url: document.URL, title: document.title };
  return fetch(location.href, { cache: 'only-if-cached', mode: 'same-origin' })
    .then((res) => (res.type === 'basic' && res.ok ? res.arrayBuffer() : null))
    .then((buf) => {
      if (buf) {
        // Our own copy: Firefox hands out the page's buffer (see collect.js).
        const bytes = new Uint8Array(buf.byteLength);
        bytes.set(new Uint8Array(buf));
        let bin = '';
        for (let i = 0; i < bytes.length; i += 0x8000) bin += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
        doc.sourceBase64 = btoa(bin);
      }
      return doc;
    })
    .catch(() => doc);
}

async function topDocument(tabId, pageUrl) {
  try {
    const [res] = await api.scripting.executeScript({ target: { tabId, frameIds: [0] }, func: collectTopDocument });
    if (res && res.result && typeof res.result.url === 'string') return res.result;
  } catch {
    // the top page may be one no extension can read; the tab still knows its address
  }
  const tab = await api.tabs.get(tabId).catch(() => null);
  return { url: (tab && tab.url) || pageUrl || '', title: (tab && tab.title) || '' };
}

// The bytes of a JSON text as the browser hands it to the host: the text as
// JSON.stringify writes it, in UTF-8.
function wireBytes(json) {
  let n = 0;
  for (let i = 0; i < json.length; i++) {
    const c = json.charCodeAt(i);
    if (c < 0x80) n += 1;
    else if (c < 0x800) n += 2;
    else if (c >= 0xd800 && c <= 0xdfff) n += 2; // half of a 4-byte pair
    else n += 3;
  }
  return n;
}

// Fits the request into one native message: picture bytes go first, then
// the sources; the program downloads what is missing. Returns false when
// even the rest is too big.
function fitMessage(msg) {
  const snap = msg.snapshot;
  // A frame's request gives up the top document's source before its own.
  const sources = [snap.topDocument, snap.document].filter((d) => d && typeof d.sourceBase64 === 'string');
  const cache = Array.isArray(snap.cache) ? snap.cache : [];
  const saved = { sources: sources.map((d) => d.sourceBase64) };
  delete snap.cache;
  for (const d of sources) delete d.sourceBase64;
  const core = wireBytes(JSON.stringify(msg));
  const margin = 1024; // the keys and commas put back below
  let total = core + margin;
  const sourceBytes = saved.sources.map((s) => s.length + 20);
  total += sourceBytes.reduce((a, b) => a + b, 0);
  const entries = cache.map((e) => ({ e, bytes: wireBytes(JSON.stringify(e)) + 1 }));
  total += entries.reduce((a, b) => a + b.bytes, 0);

  // The biggest pictures go first, so that as many as possible stay.
  entries.sort((a, b) => a.bytes - b.bytes);
  while (total > limits.messageBytes && entries.length > 0) total -= entries.pop().bytes;
  for (let i = 0; i < sources.length && total > limits.messageBytes; i++) {
    total -= sourceBytes[i];
    saved.sources[i] = null;
  }
  if (total > limits.messageBytes) return false;

  sources.forEach((d, i) => {
    if (saved.sources[i] !== null) d.sourceBase64 = saved.sources[i];
  });
  if (entries.length > 0) {
    const kept = new Set(entries.map((x) => x.e));
    snap.cache = cache.filter((e) => kept.has(e));
  }
  return true;
}

// The addresses the program may download for a snapshot: the page's, its
// pictures' and its movies', as the page resolves them.
function snapshotAddresses(snapshot) {
  const doc = snapshot.document || {};
  const base = typeof doc.url === 'string' ? doc.url : '';
  const out = new Set();
  const add = (u) => {
    if (typeof u !== 'string' || u === '') return;
    try {
      const url = new URL(u, base);
      if (url.protocol !== 'http:' && url.protocol !== 'https:') return;
      url.hash = '';
      url.search = ''; // cookies go by host and path only
      out.add(url.href);
    } catch {
      // not an address
    }
  };
  add(base);
  if (snapshot.topDocument) add(snapshot.topDocument.url);
  for (const img of Array.isArray(doc.images) ? doc.images : []) add(img && img.src);
  for (const p of [...(Array.isArray(doc.objects) ? doc.objects : []), ...(Array.isArray(doc.embeds) ? doc.embeds : [])])
    add(p && p.movie);
  return Array.from(out).slice(0, limits.cookieAddresses);
}

// The browser's identity for the downloads the program makes for this tab:
// its User-Agent and the cookies it would send to each address of the
// snapshot (HttpOnly ones included). The program keeps them for the job's
// life only. Without the cookies permission the snapshot simply has none.
async function addIdentity(snapshot, tab) {
  snapshot.userAgent = navigator.userAgent;
  if (!api.cookies || typeof api.cookies.getAll !== 'function') return;
  // The tab's own store: an incognito tab's cookies are not the others'.
  let storeId = tab && typeof tab.cookieStoreId === 'string' ? tab.cookieStoreId : undefined;
  if (!storeId && tab && typeof api.cookies.getAllCookieStores === 'function') {
    const stores = await api.cookies.getAllCookieStores().catch(() => []);
    const mine = stores.find((st) => Array.isArray(st.tabIds) && st.tabIds.includes(tab.id));
    if (mine) storeId = mine.id;
  }
  const seen = new Map();
  const lists = await Promise.all(
    snapshotAddresses(snapshot).map((url) => api.cookies.getAll(storeId ? { url, storeId } : { url }).catch(() => [])),
  );
  for (const list of lists)
    for (const c of list) {
      const key = `${c.name}\n${c.domain}\n${c.path}`;
      if (seen.has(key) || seen.size >= limits.cookies) continue;
      seen.set(key, {
        name: c.name,
        value: c.value,
        domain: c.domain,
        path: c.path,
        hostOnly: c.hostOnly,
        secure: c.secure,
        httpOnly: c.httpOnly,
        session: c.session,
        ...(typeof c.expirationDate === 'number' ? { expirationDate: c.expirationDate } : {}),
      });
    }
  if (seen.size > 0) snapshot.cookies = Array.from(seen.values());
}

// Runs in the page: one step of the scroll through it. "start" remembers
// where the user was and how long the page is, "to" scrolls, "pending"
// counts the pictures still loading, "end" puts the user back.
function scrollStep(op, y) {
  const root = document.scrollingElement || document.documentElement;
  if (op === 'start') {
    globalThis.mossgatherScroll = { x: scrollX, y: scrollY };
    return { height: root ? root.scrollHeight : 0, screen: innerHeight };
  }
  if (op === 'to') {
    window.scrollTo({ left: scrollX, top: y, behavior: 'instant' });
    return scrollY;
  }
  if (op === 'pending') return Array.from(document.images).filter((i) => !i.complete && (i.currentSrc || i.src)).length;
  const was = globalThis.mossgatherScroll;
  if (was) window.scrollTo({ left: was.x, top: was.y, behavior: 'instant' });
  delete globalThis.mossgatherScroll;
  return true;
}

function badge(tabId, text) {
  return api.action?.setBadgeText({ tabId, text }).catch(() => {});
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Scrolls the frame through the page as it stood when the scroll began (a
// page that keeps growing as it is scrolled is not followed), with the
// progress on the badge, and puts the user back where they were.
async function scrollThrough(tabId, frameId) {
  const target = { tabId, frameIds: [frameId] };
  const run = async (...args) => (await api.scripting.executeScript({ target, func: scrollStep, args }))[0]?.result;
  const end = Date.now() + LAZY_SCROLL.ms;
  const start = await run('start');
  if (!start || !(start.screen > 0)) return;
  try {
    const screens = Math.min(LAZY_SCROLL.screens, Math.ceil(Math.max(0, start.height - start.screen) / start.screen));
    for (let i = 1; i <= screens && Date.now() < end; i++) {
      await badge(tabId, `${Math.round((100 * i) / screens)}%`);
      await run('to', i * start.screen);
      await sleep(LAZY_SCROLL.pauseMs);
    }
    // The pictures that started loading may finish, as long as they get on.
    let last = -1;
    let still = Date.now();
    for (;;) {
      const pending = await run('pending');
      if (!(pending > 0) || Date.now() >= end) break;
      if (pending !== last) {
        last = pending;
        still = Date.now();
      } else if (Date.now() - still >= LAZY_SCROLL.settleMs) {
        break;
      }
      await sleep(100);
    }
  } finally {
    await run('end').catch(() => {});
    await badge(tabId, '');
  }
}

// The program's choices the extension follows; none when it cannot be asked.
async function programOptions() {
  try {
    const reply = await askHost({ method: 'GetOptions' });
    return reply.status === 0 ? reply : {};
  } catch {
    return {};
  }
}

async function collect(entry, info, tabId) {
  const frameId = typeof info.frameId === 'number' ? info.frameId : 0;
  if (entry.method === 'SaveImages' && (await programOptions()).lazyScroll === true) {
    try {
      await scrollThrough(tabId, frameId);
    } catch {
      // a page that cannot be scrolled is collected as it is
    }
  }
  const [res] = await api.scripting.executeScript({
    target: { tabId, frameIds: [frameId] },
    files: ['collect.js', entry.script],
  });
  const snapshot = res && res.result;
  if (!snapshot || typeof snapshot !== 'object' || snapshot.version !== 1)
    throw new Error((res && res.error && errorText(res.error)) || 'the page gave no snapshot');
  // Without our content script in the frame (a tab opened before the
  // extension came) the click's own picture address still finds the picture.
  if (entry.method === 'SaveOneImg' && snapshot.element === undefined && info.srcUrl) {
    const i = snapshot.document.images.findIndex((img) => img.src === info.srcUrl);
    if (i >= 0) snapshot.element = i;
  }
  if (frameId !== 0) snapshot.topDocument = await topDocument(tabId, info.pageUrl);
  return snapshot;
}

// The whole road of one click. Resolves to what became of it, never rejects:
// every failure is told to the user, and the notice is up before it resolves.
async function onMenuClicked(info, tab) {
  const entry = await menuEntry(info.menuItemId);
  if (!entry) return { sent: false, error: `unknown menu entry ${info.menuItemId}` };
  const tabId = tab && typeof tab.id === 'number' && tab.id >= 0 ? tab.id : null;
  if (tabId === null) return { sent: false, error: 'no tab' };

  let snapshot;
  try {
    snapshot = await collect(entry, info, tabId);
  } catch (e) {
    const error = `Mossgather cannot read this page: ${errorText(e)}`;
    await notify(error, '');
    return { sent: false, error };
  }
  try {
    await addIdentity(snapshot, tab);
  } catch (e) {
    // the downloads then go as the program's own, as with an older extension
    console.warn('Mossgather: the browser\'s cookies could not be read:', e);
  }
  const msg = { method: entry.method, dispid: entry.dispid, snapshot };
  if (!fitMessage(msg)) {
    const error = 'This page is too big to be handed to Mossgather.';
    await notify(error, '');
    return { sent: false, error };
  }
  let reply;
  try {
    reply = await askHost(msg);
  } catch (e) {
    const fault = hostFault(e);
    const error = `Mossgather cannot be reached: ${fault.cause}`;
    await notify(error, fault.fix);
    return { sent: false, error };
  }
  if (reply.status !== 0) {
    const fault = replyFault(reply);
    const error = `Mossgather did not take the request: ${fault.cause}`;
    await notify(error, fault.fix);
    return { sent: true, reply, error };
  }
  return { sent: true, reply };
}

function plural(n, one, many) {
  return `${n} ${n === 1 ? one : many}`;
}

// "Check connection": asks the host how the set-up stands and shows the
// answer. Resolves to { ok, text } once the notice is up.
async function checkConnection() {
  let reply;
  let fault = null;
  try {
    reply = await askHost({ method: 'Check' });
    if (reply.status !== 0) fault = replyFault(reply);
  } catch (e) {
    fault = hostFault(e);
  }
  if (fault) {
    const text = `Check connection: Mossgather cannot be reached: ${fault.cause}`;
    await notify(text, fault.fix);
    return { ok: false, text, fix: fault.fix };
  }
  const count = Number.isInteger(reply.menus) ? reply.menus : 0;
  const parts = [`Mossgather answers${reply.version ? ` (version ${reply.version})` : ''}.`];
  parts.push(
    reply.running
      ? 'The program is running.'
      : 'The program is not running; the first request starts it.',
  );
  let fix = '';
  if (count < BUILT_IN_MENUS.length) {
    parts.push(`Only ${plural(count, 'menu entry is', 'menu entries are')} registered.`);
    fix = 'mossgather -RegIEMenu';
  } else {
    parts.push(`${plural(count, 'menu entry is', 'menu entries are')} registered.`);
  }
  const text = `Check connection: ${parts.join(' ')}`;
  await notify(text, fix);
  // A set-up mended since the menu was built shows its entries at once.
  await buildMenus({ quiet: true });
  return { ok: fix === '', text, fix };
}

api.runtime.onInstalled.addListener(() => buildMenus());
api.runtime.onStartup.addListener(() => buildMenus());
api.alarms.onAlarm.addListener((alarm) => {
  if (alarm.name === REFRESH_ALARM) buildMenus({ quiet: true });
});
menusApi.onClicked.addListener((info, tab) => {
  if (info.menuItemId === CHECK_ID) checkConnection();
  else onMenuClicked(info, tab);
});
// A page's menu opening (told by the content script) starts a host for the
// click that may follow.
api.runtime.onMessage.addListener((msg, sender) => {
  if (msg && msg.mossgather === 'menu' && sender && sender.id === api.runtime.id) warmHost();
});
// A click on the toolbar button runs the check too.
api.action.onClicked.addListener(() => {
  checkConnection();
});

// For the worker's console and the tests.
globalThis.mossgather = {
  BUILT_IN_MENUS,
  limits,
  notices,
  buildMenus,
  menusBuilt: () => building,
  onMenuClicked,
  checkConnection,
  fitMessage,
  LAZY_SCROLL,
};
