// The extension in a real browser against a recording native host: the
// menu it builds from the registered entries, the request each entry sends,
// and what the user is told when something fails. The same checks run in
// Chromium (extension.test.mjs) and Firefox (firefox.test.mjs); Driver
// (support/browser.mjs, support/firefox.mjs) starts the browser and says
// where the two differ.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, afterEach, before, describe, test } from 'node:test';

import { REGISTERED_MENUS, clickEntry, decode64, installFakeHost, menuState, notices, tabIds, tempDir, waitFor } from './browser.mjs';
import { makePictures, serveCorpus } from './corpus.mjs';
import { noisePng } from './pictures.mjs';
import { startServer } from './server.mjs';

const MENUS_OK = { status: 0, menus: REGISTERED_MENUS };
const CHECK_ID = 'mossgather-check';

export function extensionSuite(driver) {
  const { skip } = driver;
  let server, dir, host, session, worker;

  before(async () => {
    if (skip) return;
    server = await startServer();
    const gif = server.body('/pics/far.gif');
    server.put('/pics/noext', gif, { 'Content-Type': 'image/gif' });
    server.put('/pics/unknown', gif, { 'Content-Type': 'application/octet-stream' });
    server.put('/pics/tile.bmp', server.body('/pics/tile.bmp'), { 'Timing-Allow-Origin': '*' });
    server.put('/nostore.html', server.body('/nostore.html'), { 'Cache-Control': 'no-store' });

    dir = tempDir(`mg-e2e-ext-${driver.name.toLowerCase()}-`);
    host = installFakeHost(path.join(dir, 'host'));
    host.configure({ menus: MENUS_OK });
    session = await driver.start(dir, { launcher: host.launcher });
    worker = session.background;
  });

  after(async () => {
    await session?.close();
    await server?.close();
    // MOSSGATHER_E2E_KEEP=1 keeps the temporary folder (profile, recorded requests) to look at.
    if (dir && !process.env.MOSSGATHER_E2E_KEEP) fs.rmSync(dir, { recursive: true, force: true });
  });

  // Pages a test opened; closed after it, so that a failed test leaves no
  // tab behind that a later one could take for its own.
  const pages = [];

  async function newPage() {
    const page = await session.newPage();
    pages.push(page);
    return page;
  }

  async function open(urlPath, origin = server.near) {
    const page = await newPage();
    await page.goto(origin + urlPath, { waitUntil: 'load' });
    return page;
  }

  afterEach(async () => {
    while (pages.length) await pages.pop().close();
  });

  // Clicks an entry and returns what became of it and the one saving request
  // the host received for it.
  async function send(script, page, opts) {
    host.take();
    const outcome = await clickEntry(worker, script, page, opts);
    const got = host.take();
    assert.equal(got.length, 1, `one request for ${script}: ${JSON.stringify(outcome)}`);
    return { outcome, req: got[0], snap: got[0].msg.snapshot };
  }

  function images(doc) {
    return doc.images.map((i) => ({ src: i.src, width: i.width, height: i.height, mimeType: i.mimeType, fileSize: i.fileSize }));
  }

  describe(`Menu entries in ${driver.name}`, { skip }, () => {
    test('The extension loads under its fixed id', () => {
      assert.equal(session.extensionId, driver.extensionId);
    });

    test('At install the menu shows the entries the host registered', async () => {
      // The worker may be reached before its install event has run.
      await waitFor(async () => (await worker.evaluate(() => chrome.storage.session.get('menus'))).menus, 'the menu built at install');
      const { menus, present } = await menuState(worker);
      assert.deepEqual(menus, REGISTERED_MENUS);
      assert.ok(Object.values(present).every(Boolean), JSON.stringify(present));
      const ask = host.all().find((r) => r.msg.method === 'GetMenus');
      assert.ok(ask, 'the extension asked the host for its entries');
      const want = driver.hostArgs(session.manifest);
      assert.deepEqual(ask.args.slice(0, want.length), want, 'the browser named our extension to the host');
    });

    test('Only registered entries appear, with the titles the host gives', async () => {
      host.configure({
        menus: {
          status: 0,
          menus: [
            REGISTERED_MENUS[2],
            { ...REGISTERED_MENUS[4], title: ' Save &flash && movies by MG...' },
            { title: 'Foreign', contexts: ['page'], script: 'Other.js', method: 'SaveFlash', dispid: 1 },
            { title: 'No method', contexts: ['page'], script: 'Txt_Page.js', method: 'Launch', dispid: 9 },
            { title: 'No context', contexts: ['toolbar'], script: 'Img_All.js', method: 'SaveImages', dispid: 5 },
          ],
        },
      });
      try {
        await worker.evaluate(() => globalThis.mossgather.buildMenus());
        const { menus, present } = await menuState(worker);
        assert.deepEqual(
          menus.map((m) => [m.script, m.title]),
          [
            ['Img_One.js', ' Sa&ve picture by MG...'],
            ['Flash.js', ' Save &flash && movies by MG...'],
          ],
        );
        assert.deepEqual(present, { 'Txt_Snpt.js': false, 'Txt_Page.js': false, 'Img_One.js': true, 'Img_All.js': false, 'Flash.js': true });
      } finally {
        host.configure({ menus: MENUS_OK });
        await worker.evaluate(() => globalThis.mossgather.buildMenus());
      }
    });

    test('Without a host the five built-in entries appear and a notice says why', async () => {
      const manifest = session.manifest;
      const saved = fs.readFileSync(manifest);
      fs.rmSync(manifest);
      const before = (await notices(worker)).length;
      try {
        await worker.evaluate(() => globalThis.mossgather.buildMenus());
        const { menus, present } = await menuState(worker);
        assert.deepEqual(menus, REGISTERED_MENUS);
        assert.ok(Object.values(present).every(Boolean));
        const fresh = (await notices(worker)).slice(before);
        assert.equal(fresh.length, 1);
        assert.match(fresh[0], /menu entries could not be read: the browser finds no Mossgather host/);
        assert.match(fresh[0], /\nTo mend it, run: mossgather -REGSERVER$/);
      } finally {
        fs.writeFileSync(manifest, saved);
        await worker.evaluate(() => globalThis.mossgather.buildMenus());
      }
    });

    test('With no entry registered the menu stays empty and a notice says how to register', async () => {
      host.configure({ menus: { status: 0, menus: [] } });
      const before = (await notices(worker)).length;
      try {
        await worker.evaluate(() => globalThis.mossgather.buildMenus());
        const { menus, present } = await menuState(worker);
        assert.deepEqual(menus, []);
        assert.ok(Object.values(present).every((p) => !p));
        const fresh = (await notices(worker)).slice(before);
        assert.equal(fresh.length, 1);
        assert.match(fresh[0], /No Mossgather menu entries are registered \(in Mossgather: Tools > Register IE menu items\)/);
        assert.match(fresh[0], /\nTo mend it, run: mossgather -RegIEMenu$/);
      } finally {
        host.configure({ menus: MENUS_OK });
        await worker.evaluate(() => globalThis.mossgather.buildMenus());
      }
      assert.deepEqual((await menuState(worker)).menus, REGISTERED_MENUS);
    });
  });

  describe(`Check connection in ${driver.name}`, { skip }, () => {
    const check = () => worker.evaluate(() => globalThis.mossgather.checkConnection());

    test('The toolbar button offers "Check connection" whatever the host registered', async () => {
      const present = () =>
        worker.evaluate(async (id) => {
          await globalThis.mossgather.menusBuilt();
          return chrome.contextMenus.update(id, {}).then(
            () => true,
            () => false,
          );
        }, CHECK_ID);
      assert.equal(await present(), true);
      host.configure({ menus: { status: 0, menus: [] } });
      try {
        await worker.evaluate(() => globalThis.mossgather.buildMenus({ quiet: true }));
        assert.equal(await present(), true, 'with no entry registered');
      } finally {
        host.configure({ menus: MENUS_OK });
        await worker.evaluate(() => globalThis.mossgather.buildMenus());
      }
    });

    test('The check tells how the set-up stands and what mends it', async () => {
      const cases = [
        [
          { status: 0, version: '0.12', menus: 5, running: true },
          { ok: true, fix: '', text: 'Check connection: Mossgather answers (version 0.12). The program is running. 5 menu entries are registered.' },
        ],
        [
          { status: 0, version: '0.12', menus: 5, running: false },
          {
            ok: true,
            fix: '',
            text: 'Check connection: Mossgather answers (version 0.12). The program is not running; the first request starts it. 5 menu entries are registered.',
          },
        ],
        [
          { status: 0, version: '0.12', menus: 1, running: true },
          {
            ok: false,
            fix: 'mossgather -RegIEMenu',
            text: 'Check connection: Mossgather answers (version 0.12). The program is running. Only 1 menu entry is registered.',
          },
        ],
        [
          { status: 1, error: 'the key store cannot be read', fix: 'mossgather -doctor' },
          { ok: false, fix: 'mossgather -doctor', text: 'Check connection: Mossgather cannot be reached: the key store cannot be read' },
        ],
      ];
      try {
        for (const [reply, want] of cases) {
          host.configure({ menus: MENUS_OK, check: reply });
          const before = (await notices(worker)).length;
          host.take();
          assert.deepEqual(await check(), want, JSON.stringify(reply));
          assert.deepEqual(host.take().map((r) => r.msg.method).slice(0, 1), ['Check']);
          const fresh = (await notices(worker)).slice(before);
          assert.deepEqual(fresh, [want.fix ? `${want.text}\nTo mend it, run: ${want.fix}` : want.text]);
        }
      } finally {
        host.configure({ menus: MENUS_OK });
      }
    });

    test('The check names a missing host and the command that writes it', async () => {
      const saved = fs.readFileSync(session.manifest);
      fs.rmSync(session.manifest);
      try {
        const got = await check();
        assert.equal(got.ok, false);
        assert.equal(got.fix, 'mossgather -REGSERVER');
        assert.match(got.text, /^Check connection: Mossgather cannot be reached: the browser finds no Mossgather host/);
      } finally {
        fs.writeFileSync(session.manifest, saved);
        await worker.evaluate(() => globalThis.mossgather.buildMenus());
      }
    });
  });

  describe(`Requests in ${driver.name}`, { skip }, () => {
    test('Save snippet sends the selection with its page', async () => {
      const page = await open('/article.html');
      await page.evaluate(() => {
        const r = document.createRange();
        r.selectNodeContents(document.getElementById('lead'));
        getSelection().addRange(r);
      });
      const { outcome, req, snap } = await send('Txt_Snpt.js', page);
      assert.deepEqual(outcome, { sent: true, reply: { status: 0 } });
      assert.equal(req.msg.method, 'SaveSnippet');
      assert.equal(req.msg.dispid, 3);
      assert.equal(snap.version, 1);
      assert.equal(snap.document.url, `${server.near}/article.html`);
      assert.equal(snap.document.title, 'Harbour notes');
      assert.deepEqual(snap.document.selection, {
        text: 'The boats came in before dawn with the tide.',
        html: 'The boats came in <b>before dawn</b> with the tide.',
      });
      assert.equal(snap.topDocument, undefined, 'a top-level page is its own top');
      assert.equal(snap.element, undefined, 'only the picture entry names an element');
    });

    test('Save entire page sends the document as received, its text and its HTML', async () => {
      const page = await open('/article.html');
      const { req, snap } = await send('Txt_Page.js', page);
      assert.equal(req.msg.method, 'SaveFullPage');
      assert.equal(req.msg.dispid, 4);
      const doc = snap.document;
      const served = server.body('/article.html');
      assert.ok(decode64(doc.sourceBase64).equals(served), 'the source is the bytes the server sent');
      assert.equal(doc.source, undefined, 'the source is given once, as bytes');
      assert.equal(doc.fileSize, String(served.length));
      assert.deepEqual(doc.selection, { text: '', html: '' });
      assert.match(doc.body.outerText, /^Harbour notes\n+The boats came in before dawn with the tide\.\n+Prices: 3 < 5 & «fïsh» — fresh\./);
      assert.match(doc.documentElement.outerHtml, /^<html><head><meta charset="utf-8"><title>Harbour notes<\/title><\/head>/);
      assert.equal(doc.baseHref, undefined, 'a page without <base> gives none');
      assert.deepEqual([doc.objects, doc.embeds], [[], []]);
    });

    test('Collecting reads the browser cache and asks the server nothing new', async () => {
      const page = await open('/article.html');
      const paths = ['/article.html', '/pics/red.png', '/pics/photo.jpg', '/pics/noext'];
      const before = paths.map((p) => server.hits(p));
      const { snap } = await send('Img_All.js', page);
      assert.deepEqual(
        paths.map((p) => server.hits(p)),
        before,
      );
      assert.ok(snap.document.sourceBase64 && snap.cache.length === 3);
    });

    test('Pictures carry absolute addresses, rendered sizes, picture types and file sizes', async () => {
      const page = await open('/article.html');
      const { req, snap } = await send('Img_All.js', page);
      assert.equal(req.msg.method, 'SaveImages');
      assert.equal(req.msg.dispid, 5);
      const n = server.near;
      const f = server.far;
      const far = (size) => (driver.timesOtherOrigins ? size : '-1');
      assert.deepEqual(images(snap.document), [
        { src: `${n}/pics/red.png`, width: 40, height: 30, mimeType: 'PNG Image', fileSize: '108' },
        { src: `${n}/pics/photo.jpg`, width: 16, height: 12, mimeType: 'JPEG Image', fileSize: '837' },
        // no extension: the type comes from the cached bytes
        { src: `${n}/pics/noext`, width: 1, height: 1, mimeType: 'GIF Image', fileSize: '35' },
        // another origin: the type from the extension, the size unknown
        // (Firefox tells it to an extension that may read that origin)...
        { src: `${f}/pics/far.gif`, width: 1, height: 1, mimeType: 'GIF Image', fileSize: far('35') },
        // ...unless the server lets the page time it
        { src: `${f}/pics/tile.bmp`, width: 2, height: 2, mimeType: 'Bitmap Image', fileSize: '70' },
        { src: `${f}/pics/unknown`, width: 1, height: 1, mimeType: '', fileSize: far('35') },
      ]);
      assert.ok(snap.document.images.every((i) => i.tagName === 'IMG'));
      assert.equal(snap.document.images[0].outerHtml, '<img id="red" src="pics/red.png" width="40" height="30" alt="red">');
    });

    test("A request carries the browser's User-Agent and its cookies for the page and its pictures, HttpOnly ones too", async () => {
      // Cookies ignore ports: the far origin's picture gets the page's cookie
      // as well. One for a path nothing of the page is under stays behind.
      const sid = `sid=${Date.now().toString(36)}moss`;
      server.put('/member-snap.html', `<!doctype html><html><body><img src="${server.far}/pics/far.gif"></body></html>`, {
        'Content-Type': 'text/html; charset=utf-8',
        'Set-Cookie': [`${sid}; Path=/; HttpOnly`, 'elsewhere=1; Path=/not-here/'],
      });
      const page = await open('/member-snap.html');
      assert.equal(await page.evaluate(() => document.cookie), '', 'no script sees the session cookie');
      const { snap } = await send('Img_All.js', page);
      assert.equal(snap.userAgent, await page.evaluate(() => navigator.userAgent));
      const cookies = snap.cookies ?? [];
      const mine = cookies.filter((c) => `${c.name}=${c.value}` === sid);
      assert.equal(mine.length, 1, `the session cookie once: ${JSON.stringify(cookies)}`);
      assert.deepEqual(
        { domain: mine[0].domain, path: mine[0].path, hostOnly: mine[0].hostOnly, httpOnly: mine[0].httpOnly, session: mine[0].session },
        { domain: '127.0.0.1', path: '/', hostOnly: true, httpOnly: true, session: true },
      );
      assert.ok(!cookies.some((c) => c.name === 'elsewhere'), `no cookie of another path: ${JSON.stringify(cookies)}`);
    });

    test('Same-origin picture bytes travel in the cache, other origins do not', async () => {
      const page = await open('/article.html');
      const { snap } = await send('Txt_Page.js', page);
      const cache = Object.fromEntries(snap.cache.map((c) => [c.url, decode64(c.base64)]));
      assert.deepEqual(Object.keys(cache).sort(), [`${server.near}/pics/noext`, `${server.near}/pics/photo.jpg`, `${server.near}/pics/red.png`]);
      for (const p of ['/pics/red.png', '/pics/photo.jpg', '/pics/noext'])
        assert.ok(cache[server.near + p].equals(server.body(p)), `${p} as served`);
    });

    test('A picture the server refused travels without its bytes', async () => {
      // The error page is cacheable, so the browser keeps it under the picture's address.
      const notFound = '<!DOCTYPE HTML><html><head><title>404 Not Found</title></head><body>gone</body></html>';
      server.put('/pics/HERO.JPG', notFound, { 'Content-Type': 'text/html', 'Cache-Control': 'max-age=3600' }, 404);
      server.put('/refused.html', '<!doctype html><html><body><img src="pics/HERO.JPG"><img src="pics/photo.jpg"></body></html>', {
        'Content-Type': 'text/html; charset=utf-8',
      });
      const page = await open('/refused.html');
      const { snap } = await send('Img_All.js', page);
      assert.equal(server.hits('/pics/HERO.JPG'), 1, 'the browser asked for the picture once');
      assert.deepEqual(
        snap.document.images.map((i) => i.src),
        [`${server.near}/pics/HERO.JPG`, `${server.near}/pics/photo.jpg`],
      );
      assert.deepEqual((snap.cache ?? []).map((c) => c.url), [`${server.near}/pics/photo.jpg`]);
    });

    test('Save picture names the picture under the mouse', async () => {
      const page = await open('/article.html');
      await page.click('#photo', { button: 'right' });
      // No picture address from the click: the remembered target alone names it.
      const { req, snap } = await send('Img_One.js', page);
      assert.equal(req.msg.method, 'SaveOneImg');
      assert.equal(req.msg.dispid, 2);
      assert.equal(snap.element, 1, 'the index of the picture in document.images');
      assert.equal(snap.document.images[1].src, `${server.near}/pics/photo.jpg`);
      assert.ok(snap.cache.length > 0, 'the picture entry sends the cached bytes too');

      // The remembered target is the last one: a second right-click moves it.
      await page.click('#farbmp', { button: 'right' });
      assert.equal((await send('Img_One.js', page, { srcUrl: `${server.far}/pics/tile.bmp` })).snap.element, 4);
    });

    test('Save picture without a remembered target finds the picture by its address', async () => {
      const page = await open('/article.html');
      const { snap } = await send('Img_One.js', page, { srcUrl: `${server.far}/pics/far.gif` });
      assert.equal(snap.element, 3);
      const none = await send('Img_One.js', page, {});
      assert.equal(none.snap.element, undefined, 'no target and no address: no element');
    });

    test('Save flash sends objects and embeds with sizes and movies as written, and the video and audio', async () => {
      const page = await open('/movies.html');
      const { req, snap } = await send('Flash.js', page);
      assert.equal(req.msg.method, 'SaveFlash');
      assert.equal(req.msg.dispid, 1);
      const doc = snap.document;
      assert.equal(doc.baseHref, '/games/');
      const pick = (e) => ({ tagName: e.tagName, width: e.width, height: e.height, flash: e.flash, movie: e.movie });
      assert.deepEqual(doc.objects.map(pick), [
        { tagName: 'OBJECT', width: '550', height: '400', flash: true, movie: 'movies/intro.swf' },
        { tagName: 'OBJECT', width: '100%', height: '', flash: false, movie: undefined },
        { tagName: 'OBJECT', width: '120', height: '60', flash: true, movie: 'anim.SWF?x=1' },
      ]);
      assert.deepEqual(doc.embeds.map(pick), [
        { tagName: 'EMBED', width: '550', height: '400', flash: true, movie: 'movies/intro.swf' },
        { tagName: 'EMBED', width: '200', height: '50', flash: true, movie: '/shared/score.swf?v=2' },
        { tagName: 'EMBED', width: '320', height: '240', flash: false, movie: undefined },
      ]);
      assert.match(doc.objects[0].outerHtml, /^<object id="o1" classid="clsid:D27CDB6E-AE6D-11cf-96B8-444553540000"[^>]*><param name="movie" value="movies\/intro.swf"><embed id="e1"/);
      assert.equal(doc.embeds[2].outerHtml, '<embed id="e3" src="clip.mp4" width="320" height="240">');
      assert.equal(snap.cache, undefined, 'the movie entry sends no picture bytes');
      // VIDEO and AUDIO with their addresses resolved and their rendered size.
      const media = (e) => ({ tagName: e.tagName, src: e.src, poster: e.poster, sources: e.sources, width: e.width, height: e.height });
      assert.deepEqual(doc.media.map(media), [
        {
          tagName: 'VIDEO',
          src: undefined,
          poster: `${server.near}/games/pics/poster.png`,
          sources: [
            { src: `${server.near}/games/clip.webm`, type: 'video/webm' },
            { src: `${server.near}/games/clip.mp4`, type: '' },
          ],
          width: 320,
          height: 180,
        },
        { tagName: 'AUDIO', src: `${server.near}/media/song.mp3`, poster: undefined, sources: [], width: 0, height: 0 },
      ]);
    });

    test('A request from a frame carries the frame document and the top document', async () => {
      const page = await open('/frames.html');
      const frameUrl = `${server.near}/frame-inner.html`;
      const { snap } = await send('Txt_Page.js', page, { frameUrl });
      assert.equal(snap.document.url, frameUrl);
      assert.equal(snap.document.title, 'Inner frame');
      assert.deepEqual(snap.document.images.map((i) => i.src), [`${server.near}/pics/red.png`]);
      // Chromium keeps a frame's document apart in its cache, where a page
      // cannot read it: the frame goes without its source there.
      if (driver.framesReadTheirSource) assert.ok(decode64(snap.document.sourceBase64).equals(server.body('/frame-inner.html')));
      else assert.equal(snap.document.sourceBase64, undefined);
      assert.equal(snap.topDocument.url, `${server.near}/frames.html`);
      assert.equal(snap.topDocument.title, 'Frame host');
      assert.ok(decode64(snap.topDocument.sourceBase64).equals(server.body('/frames.html')));
    });

    test('A picture in a frame of another origin is named in that frame', async () => {
      const page = await open('/frames.html');
      const frame = page.frames().find((f) => f.url() === `${server.far}/frame-far.html`);
      await frame.click('#photo', { button: 'right' });
      const { snap } = await send('Img_One.js', page, { frameUrl: frame.url(), srcUrl: `${server.far}/pics/photo.jpg` });
      assert.equal(snap.document.url, `${server.far}/frame-far.html`);
      assert.equal(snap.element, 0);
      assert.deepEqual(images(snap.document), [
        { src: `${server.far}/pics/photo.jpg`, width: 24, height: 18, mimeType: 'JPEG Image', fileSize: '837' },
      ]);
      // The frame's own origin is the one whose pictures it may read.
      assert.deepEqual(snap.cache.map((c) => c.url), [`${server.far}/pics/photo.jpg`]);
      assert.equal(snap.topDocument.url, `${server.near}/frames.html`);
      assert.equal(snap.topDocument.title, 'Frame host');
    });

    test('A page sent with no-store goes without its source', async () => {
      const page = await open('/nostore.html');
      const { snap } = await send('Txt_Page.js', page);
      assert.equal(snap.document.title, 'Not kept');
      assert.ok(!('sourceBase64' in snap.document) && !('source' in snap.document));
      assert.equal(server.hits('/nostore.html'), 1, 'and it is not fetched again for it');
    });
  });

  describe(`Pictures in their other forms in ${driver.name}`, { skip }, () => {
    before(async () => {
      if (skip) return;
      serveCorpus(server, await makePictures(session));
      // A page that grows by a screen whenever it is scrolled near its end.
      const growing = `<!doctype html><html><head><meta charset="utf-8"><title>Endless</title></head><body>
<div id="feed" style="height: 3000px"></div>
<script>
  addEventListener('scroll', () => {
    const feed = document.getElementById('feed');
    if (scrollY + innerHeight > feed.offsetHeight - 1000) feed.style.height = feed.offsetHeight + 3000 + 'px';
  });
</script></body></html>`;
      server.put('/endless.html', growing, { 'Content-Type': 'text/html; charset=utf-8' });
    });

    after(() => host?.configure({ menus: MENUS_OK }));

    const corpus = (name) => `/corpus/${name}`;
    const img = (name) => `${server.near}/corpus/img/${name}`;

    // The badge texts the extension sets while the test runs Act. The
    // extension's own global is the background's where the driver hands it
    // out apart (Firefox), else the worker's.
    async function badges(act) {
      await worker.evaluate(() => {
        const bg = globalThis.backgroundGlobal ?? globalThis;
        const action = (bg.browser ?? bg.chrome).action;
        globalThis.badgeLog = [];
        if (!globalThis.realSetBadgeText) globalThis.realSetBadgeText = action.setBadgeText.bind(action);
        action.setBadgeText = (d) => {
          globalThis.badgeLog.push(d.text);
          return globalThis.realSetBadgeText(d);
        };
      });
      try {
        return { result: await act(), texts: await worker.evaluate(() => Array.from(globalThis.badgeLog)) };
      } finally {
        await worker.evaluate(() => {
          const bg = globalThis.backgroundGlobal ?? globalThis;
          (bg.browser ?? bg.chrome).action.setBadgeText = globalThis.realSetBadgeText;
        });
      }
    }

    test('Pictures carry srcset, <picture> sources, data- attributes, links and natural sizes', async () => {
      host.configure({ menus: MENUS_OK, options: { status: 0, lazyScroll: false } });
      const news = (await send('Img_All.js', await open(corpus('news.html')))).snap.document.images;
      assert.equal(news[0].srcset, 'img/news-480.jpg 480w, img/news-960.jpg 960w, img/news-1600.jpg 1600w');
      assert.match(news[0].currentSrc, /\/img\/news-(480|960|1600)\.jpg$/);
      assert.ok(news[0].naturalWidth > 0 && news[0].naturalHeight > 0);

      const picPage = await open(corpus('picture.html'));
      const pic = (await send('Img_All.js', picPage)).snap.document.images;
      assert.deepEqual(
        pic.map((i) => i.sources.map((s) => [s.type, s.supported])),
        [
          [['image/avif', true], ['image/webp', true]],
          [['image/x-mossgather-test', false], ['image/webp', true]],
        ],
      );
      // The AVIF source is shown, in the candidate that fills the page's
      // width (the browsers are started with windows of different widths).
      const device = await picPage.evaluate(() => innerWidth * devicePixelRatio);
      assert.equal(pic[0].currentSrc, img(device > 800 ? 'hero-1600.avif' : 'hero-800.avif'), `page ${device} device pixels wide`);

      const lazy = (await send('Img_All.js', await open(corpus('lazy-srcset.html')))).snap.document.images;
      assert.deepEqual(lazy[0].data, { 'data-srcset': 'img/seal-400.jpg 400w, img/seal-1200.jpg 1200w', 'data-sizes': 'auto' });
      assert.deepEqual(lazy[1].sources[0].data, { 'data-srcset': 'img/otter-1200.webp 1200w, img/otter-400.webp 400w' });
      assert.equal(lazy[1].naturalWidth, 1, 'the spacer shows until the picture is scrolled into view');

      const gallery = (await send('Img_All.js', await open(corpus('gallery.html')))).snap.document.images;
      assert.deepEqual(
        gallery.map((i) => i.link),
        ['regatta-1.jpg', 'regatta-2.jpg', 'regatta-3.png', 'regatta-4.jpg'].map(img).concat(`${server.near}/corpus/crew.html`),
      );
    });

    test('Backgrounds are the computed CSS pictures with their sizes, without gradients and decorations', async () => {
      host.configure({ menus: MENUS_OK, options: { status: 0, lazyScroll: false } });
      const hero = (await send('Img_All.js', await open(corpus('hero-bg.html')))).snap.document.backgrounds;
      assert.deepEqual(
        hero.map((b) => [b.tagName, b.width, b.height]),
        [
          ['DIV', 1200, 480],
          ['DIV', 600, 200],
        ],
      );
      assert.equal(hero[0].image, `url("${img('cafe-hero.jpg')}")`);
      assert.ok(hero[1].image.includes(img('menu-2x.png')), hero[1].image);
      const inline = (await send('Img_All.js', await open(corpus('inline-bg.html')))).snap.document.backgrounds;
      assert.deepEqual(
        inline.map((b) => b.image),
        [`url("${img('nets-wide.jpg')}")`, `url("${img('knots.png')}")`],
      );
      const plain = (await send('Img_All.js', await open('/article.html'))).snap.document;
      assert.equal(plain.backgrounds, undefined, 'a page without background pictures names none');
    });

    test('With the scroll on, lazy pictures load, the badge shows the progress and the user is put back', async () => {
      host.configure({ menus: MENUS_OK, options: { status: 0, lazyScroll: true } });
      const page = await open(corpus('lazy-script.html'));
      await page.evaluate(() => scrollTo(0, 300));
      const { result, texts } = await badges(() => send('Img_All.js', page));
      const shown = result.snap.document.images.map((i) => i.currentSrc);
      assert.deepEqual(shown, ['walk-1.jpg', 'walk-2.jpg', 'walk-3.jpg'].map(img), 'every lazy picture was loaded');
      assert.equal(await page.evaluate(() => scrollY), 300, 'back where the user was');
      assert.ok(texts.some((t) => /^\d+%$/.test(t)), `progress on the badge: ${texts}`);
      assert.equal(texts.at(-1), '', 'the badge is cleared');

      // The entry finds its tab by the page's address: one tab at a time.
      await pages.pop().close();
      host.configure({ menus: MENUS_OK, options: { status: 0, lazyScroll: false } });
      const still = await open(corpus('lazy-script.html'));
      const { snap } = await send('Img_All.js', still);
      assert.match(snap.document.images[2].currentSrc, /^data:/, 'without the scroll the last picture was never loaded');
    });

    test('A page that keeps growing is scrolled through as it stood, at most 30 screens', async () => {
      host.configure({ menus: MENUS_OK, options: { status: 0, lazyScroll: true } });
      const page = await open('/endless.html');
      const { result, texts } = await badges(() => send('Img_All.js', page));
      assert.equal(result.req.msg.method, 'SaveImages');
      const steps = texts.filter((t) => /%$/.test(t));
      assert.ok(steps.length > 0 && steps.length <= 30, `screens scrolled: ${steps.length}`);
      assert.equal(await page.evaluate(() => scrollY), 0, 'back at the top');
    });
  });

  describe(`Failures in ${driver.name}`, { skip }, () => {
    test('A request the host fails shows its cause and the command the host names', async () => {
      const failures = [
        [{ status: 1, error: 'Mossgather did not answer: connection refused', fix: '/opt/mg/mossgather' }, '/opt/mg/mossgather'],
        // A host that names no fix leaves the user the set-up check.
        [{ status: 1, error: 'Mossgather did not answer: connection refused' }, 'mossgather -doctor'],
      ];
      const page = await open('/article.html');
      try {
        for (const [save, fix] of failures) {
          host.configure({ menus: MENUS_OK, save });
          const before = (await notices(worker)).length;
          const { outcome } = await send('Txt_Page.js', page);
          assert.equal(outcome.reply.status, 1);
          const fresh = (await notices(worker)).slice(before);
          assert.deepEqual(fresh, [`Mossgather did not take the request: Mossgather did not answer: connection refused\nTo mend it, run: ${fix}`]);
        }
        // The browser shows a notice a moment after it was asked to.
        await waitFor(
          async () => Object.keys(await worker.evaluate(() => chrome.notifications.getAll())).length > 0,
          'the notice to be shown by the browser',
          10000,
        );
      } finally {
        host.configure({ menus: MENUS_OK });
      }
    });

    test('A host that cannot be started or that ends without answering is told', async () => {
      const page = await open('/article.html');
      const manifest = session.manifest;
      const saved = fs.readFileSync(manifest);
      const before = (await notices(worker)).length;
      try {
        fs.rmSync(manifest);
        const missing = await clickEntry(worker, 'Txt_Page.js', page);
        assert.equal(missing.sent, false);
        fs.writeFileSync(manifest, saved);
        host.configure({ menus: MENUS_OK, silent: true });
        const silent = await clickEntry(worker, 'Img_All.js', page);
        assert.equal(silent.sent, false);
      } finally {
        fs.writeFileSync(manifest, saved);
        host.configure({ menus: MENUS_OK });
      }
      const fresh = (await notices(worker)).slice(before);
      assert.equal(fresh.length, 2);
      assert.match(fresh[0], /^Mossgather cannot be reached: the browser finds no Mossgather host .*\[.+\]\n/);
      assert.match(fresh[1], /^Mossgather cannot be reached: the Mossgather host ended without answering .*\[.+\]\n/);
      assert.ok(fresh.every((n) => n.endsWith('\nTo mend it, run: mossgather -REGSERVER')), fresh.join('\n'));
    });

    test('A menu opening starts the host the click then uses; unused or failing, it ends and is told', async () => {
      const alive = (pid) => {
        try {
          process.kill(pid, 0);
          return true;
        } catch {
          return false;
        }
      };
      const startedBy = async (n, what) => {
        const s = await waitFor(() => host.starts().length === n + 1 && host.starts(), what);
        return s[n];
      };
      const page = await open('/article.html');
      host.take();
      let n = host.starts().length;
      await page.click('#photo', { button: 'right' });
      const early = await startedBy(n, 'a host started by the menu opening');
      const { req } = await send('Img_One.js', page);
      assert.equal(req.pid, early.pid, 'the request went to the host the menu started');
      assert.equal(host.starts().length, n + 1, 'no second host for the click');
      await waitFor(() => !alive(early.pid), 'the host to end after its one request');

      await worker.evaluate(() => {
        globalThis.mossgather.limits.warmMs = 200;
      });
      const before = (await notices(worker)).length;
      try {
        n = host.starts().length;
        await page.click('#photo', { button: 'right' });
        const unused = await startedBy(n, 'a host started by the second menu opening');
        await waitFor(() => !alive(unused.pid), 'the unused host to end by itself');
        assert.equal(host.take().length, 0, 'the unused host was asked nothing');

        host.configure({ menus: MENUS_OK, silent: true });
        await worker.evaluate(() => {
          globalThis.mossgather.limits.warmMs = 60000;
        });
        n = host.starts().length;
        await page.click('#photo', { button: 'right' });
        await startedBy(n, 'a host started by the third menu opening');
        const silent = await clickEntry(worker, 'Img_One.js', page);
        assert.equal(silent.sent, false);
      } finally {
        host.configure({ menus: MENUS_OK });
        await worker.evaluate(() => {
          globalThis.mossgather.limits.warmMs = 10000;
        });
      }
      const fresh = (await notices(worker)).slice(before);
      assert.equal(fresh.length, 1, fresh.join('\n'));
      assert.match(fresh[0], /^Mossgather cannot be reached: the Mossgather host ended without answering .*\[.+\]\n/);
      host.take();
    });

    test('A page the extension may not read is told and nothing is sent', async () => {
      const known = await tabIds(worker);
      const page = await newPage();
      await page.goto(driver.restrictedUrl(server));
      const [tabId] = (await tabIds(worker)).filter((id) => !known.includes(id));
      host.take();
      const before = (await notices(worker)).length;
      const refused = await clickEntry(worker, 'Txt_Page.js', page, { tabId });
      assert.equal(refused.sent, false);
      assert.match(refused.error, /cannot read this page/);
      assert.equal(host.take().length, 0);
      const fresh = (await notices(worker)).slice(before);
      assert.equal(fresh.length, 1);
      assert.doesNotMatch(fresh[0], /To mend it/, 'the set-up is not to blame');
    });

    test('An oversized request drops cached pictures, biggest first, then the source', async () => {
      const text = 'Long harbour log. '.repeat(2000);
      server.put('/big.html', `<!doctype html><html><head><title>Big pictures</title></head><body><p>${text}</p>` +
        '<img src="/gen/noise-a.png"><img src="/gen/noise-b.png"></body></html>', { 'Content-Type': 'text/html; charset=utf-8' });
      server.put('/gen/noise-a.png', noisePng(200, 200, 7), { 'Content-Type': 'image/png' });
      server.put('/gen/noise-b.png', noisePng(120, 120, 9), { 'Content-Type': 'image/png' });
      const page = await open('/big.html');
      const setLimit = (n) => worker.evaluate((n) => (globalThis.mossgather.limits.messageBytes = n), n);
      try {
        const full = await send('Img_All.js', page);
        const entry = (u) => JSON.stringify(full.snap.cache.find((c) => c.url.endsWith(u))).length;
        const A = entry('noise-a.png');
        const B = entry('noise-b.png');
        const S = full.snap.document.sourceBase64.length;
        const total = full.req.bytes;
        assert.ok(A > 100000 && B > 40000 && S > 40000);

        await setLimit(total - A / 2);
        let got = await send('Img_All.js', page);
        assert.deepEqual(got.snap.cache.map((c) => c.url), [`${server.near}/gen/noise-b.png`]);
        assert.equal(got.snap.document.sourceBase64, full.snap.document.sourceBase64);
        assert.ok(got.req.bytes <= total - A / 2);

        await setLimit(total - A - B / 2);
        got = await send('Img_All.js', page);
        assert.equal(got.snap.cache, undefined);
        assert.equal(got.snap.document.sourceBase64, full.snap.document.sourceBase64);

        await setLimit(total - A - B - S / 2);
        got = await send('Img_All.js', page);
        assert.equal(got.snap.cache, undefined);
        assert.equal(got.snap.document.sourceBase64, undefined);
        assert.deepEqual(got.snap.document.images, full.snap.document.images, 'the rest is whole');

        await setLimit((total - A - B - S) / 2);
        host.take();
        const refused = await clickEntry(worker, 'Img_All.js', page);
        assert.equal(refused.sent, false);
        assert.match(refused.error, /too big/);
        assert.equal(host.take().length, 0, 'nothing is sent');
      } finally {
        await setLimit(64 << 20);
      }
    });
  });
}
