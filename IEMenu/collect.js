// The page snapshot collector (format: docs/snapshot.md, version 1). Loaded
// into the frame where the menu was opened, right before the entry script,
// which calls mossgatherCollect() as its last statement; the snapshot it
// resolves to is the script's result for the background.
//
// What cannot be collected is left out rather than guessed: the program
// treats a missing part as a failed read and takes its fallback.
(() => {
  const LIMITS = {
    images: 100000, // longer lists make the program refuse the snapshot
    plugins: 10000, // OBJECT or EMBED elements each
    cacheEntries: 10000,
    cacheBytes: 24 << 20, // picture bytes of one snapshot, before base64
    cacheFileBytes: 16 << 20, // one picture
    fetchesAtOnce: 6,
  };
  const FLASH_TYPE = 'application/x-shockwave-flash';
  const FLASH_CLSID = 'clsid:d27cdb6e-ae6d-11cf-96b8-444553540000';

  // Reads what the browser already holds, never the network: collecting must
  // not make the page's server see a second request. Only a successful
  // answer counts: an error page the browser kept under a picture's address
  // is no picture.
  async function fromCache(url) {
    try {
      const res = await fetch(url, { cache: 'only-if-cached', mode: 'same-origin', credentials: 'include' });
      if (res.type !== 'basic' || !res.ok) return null;
      const bytes = new Uint8Array(await res.arrayBuffer());
      return { bytes, contentType: res.headers.get('content-type') || '' };
    } catch {
      return null; // not cached, sent with no-store, or not ours to read
    }
  }

  function base64(bytes) {
    let bin = '';
    for (let i = 0; i < bytes.length; i += 0x8000) bin += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(bin);
  }

  function sameOrigin(url) {
    try {
      const u = new URL(url);
      return (u.protocol === 'http:' || u.protocol === 'https:') && u.origin === location.origin;
    } catch {
      return false;
    }
  }

  // The picture types as the program names them, the way Windows named them.
  const TYPE_NAMES = { jpeg: 'JPEG Image', gif: 'GIF Image', png: 'PNG Image', bmp: 'Bitmap Image' };

  function typeOfBytes(b) {
    if (b.length >= 3 && b[0] === 0xff && b[1] === 0xd8 && b[2] === 0xff) return 'jpeg';
    if (b.length >= 4 && b[0] === 0x47 && b[1] === 0x49 && b[2] === 0x46 && b[3] === 0x38) return 'gif';
    if (b.length >= 4 && b[0] === 0x89 && b[1] === 0x50 && b[2] === 0x4e && b[3] === 0x47) return 'png';
    if (b.length >= 2 && b[0] === 0x42 && b[1] === 0x4d) return 'bmp';
    return '';
  }

  function typeOfContentType(ct) {
    const t = ct.split(';')[0].trim().toLowerCase();
    if (t === 'image/jpeg' || t === 'image/pjpeg' || t === 'image/jpg') return 'jpeg';
    if (t === 'image/gif') return 'gif';
    if (t === 'image/png' || t === 'image/x-png') return 'png';
    if (t === 'image/bmp' || t === 'image/x-bmp' || t === 'image/x-ms-bmp') return 'bmp';
    return '';
  }

  function typeOfUrl(url) {
    let path;
    try {
      path = new URL(url).pathname;
    } catch {
      return '';
    }
    const m = /\.([a-z0-9]+)$/i.exec(path);
    const ext = m ? m[1].toLowerCase() : '';
    if (ext === 'jpg' || ext === 'jpeg' || ext === 'jpe') return 'jpeg';
    if (ext === 'gif' || ext === 'png' || ext === 'bmp') return ext;
    return '';
  }

  // The picture's size as the browser counted it while loading; 0 means it
  // was not allowed to tell (another origin without Timing-Allow-Origin).
  function timedSize(url) {
    const entries = performance.getEntriesByName(url, 'resource');
    for (let i = entries.length - 1; i >= 0; i--) if (entries[i].decodedBodySize > 0) return entries[i].decodedBodySize;
    return 0;
  }

  function documentSize() {
    const nav = performance.getEntriesByType('navigation')[0];
    return nav && nav.decodedBodySize > 0 ? String(nav.decodedBodySize) : '-1';
  }

  function selection() {
    const sel = getSelection();
    if (!sel || sel.rangeCount === 0) return { text: '', html: '' };
    const box = document.createElement('div');
    for (let i = 0; i < sel.rangeCount; i++) box.appendChild(sel.getRangeAt(i).cloneContents());
    return { text: sel.toString(), html: box.innerHTML };
  }

  // Cached picture bytes, looked up once per address and bounded in all.
  async function cachedPictures(images) {
    const urls = [];
    const seen = new Set();
    for (const img of images) {
      const url = img.src;
      if (!seen.has(url) && sameOrigin(url)) {
        seen.add(url);
        urls.push(url);
      }
    }
    const found = new Map();
    let total = 0;
    for (let i = 0; i < urls.length && found.size < LIMITS.cacheEntries && total < LIMITS.cacheBytes; i += LIMITS.fetchesAtOnce) {
      const batch = urls.slice(i, i + LIMITS.fetchesAtOnce);
      const got = await Promise.all(batch.map(fromCache));
      batch.forEach((url, k) => {
        const hit = got[k];
        if (!hit || hit.bytes.length === 0 || hit.bytes.length > LIMITS.cacheFileBytes) return;
        if (found.size >= LIMITS.cacheEntries || total + hit.bytes.length > LIMITS.cacheBytes) return;
        total += hit.bytes.length;
        found.set(url, hit);
      });
    }
    return found;
  }

  function pictureEntry(img, cached) {
    const url = img.src;
    const hit = cached.get(url);
    const type = (hit && (typeOfBytes(hit.bytes) || typeOfContentType(hit.contentType))) || typeOfUrl(url);
    const size = hit ? hit.bytes.length : timedSize(url);
    return {
      tagName: 'IMG',
      src: url,
      width: img.width,
      height: img.height,
      mimeType: TYPE_NAMES[type] || '',
      fileSize: size > 0 ? String(size) : '-1',
      outerHtml: img.outerHTML,
    };
  }

  function attr(el, name) {
    return el.getAttribute(name) ?? '';
  }

  function isSwf(address) {
    return /\.swf$/i.test(address.split(/[?#]/)[0].trim());
  }

  function objectEntry(obj) {
    let movie = '';
    for (const p of obj.getElementsByTagName('param')) {
      const name = attr(p, 'name').toLowerCase();
      if (p.parentElement === obj && (name === 'movie' || name === 'src')) {
        movie = attr(p, 'value');
        break;
      }
    }
    if (!movie) movie = attr(obj, 'data');
    const flash =
      attr(obj, 'type').trim().toLowerCase() === FLASH_TYPE ||
      attr(obj, 'classid').trim().toLowerCase() === FLASH_CLSID ||
      (movie !== '' && isSwf(movie));
    const entry = { tagName: 'OBJECT', outerHtml: obj.outerHTML, width: attr(obj, 'width'), height: attr(obj, 'height'), flash };
    if (flash) entry.movie = movie;
    return entry;
  }

  function embedEntry(emb) {
    const src = attr(emb, 'src');
    const flash = attr(emb, 'type').trim().toLowerCase() === FLASH_TYPE || (src !== '' && isSwf(src));
    const entry = { tagName: 'EMBED', outerHtml: emb.outerHTML, width: attr(emb, 'width'), height: attr(emb, 'height'), flash };
    if (flash) entry.movie = src;
    return entry;
  }

  function elementEntry(el, cached) {
    if (el instanceof HTMLImageElement) return pictureEntry(el, cached);
    if (el instanceof HTMLObjectElement) return objectEntry(el);
    if (el instanceof HTMLEmbedElement) return embedEntry(el);
    return { tagName: el.tagName.toUpperCase(), outerHtml: el.outerHTML, outerText: el.outerText ?? el.textContent ?? '' };
  }

  // options.element: name the element under the mouse.
  // options.cache: add the bytes of same-origin pictures the browser holds.
  globalThis.mossgatherCollect = async (options = {}) => {
    const images = Array.from(document.images).slice(0, LIMITS.images);
    const [source, cached] = await Promise.all([
      fromCache(location.href),
      options.cache ? cachedPictures(images) : Promise.resolve(new Map()),
    ]);

    const doc = {
      url: document.URL,
      title: document.title,
      fileSize: documentSize(),
      selection: selection(),
      documentElement: { tagName: 'HTML', outerHtml: document.documentElement ? document.documentElement.outerHTML : '' },
      images: images.map((img) => pictureEntry(img, cached)),
      objects: Array.from(document.getElementsByTagName('object')).slice(0, LIMITS.plugins).map(objectEntry),
      embeds: Array.from(document.embeds).slice(0, LIMITS.plugins).map(embedEntry),
    };
    const base = document.querySelector('base[href]');
    if (base) doc.baseHref = base.getAttribute('href');
    if (document.body) doc.body = { tagName: document.body.tagName.toUpperCase(), outerText: document.body.outerText ?? document.body.innerText };
    if (source) doc.sourceBase64 = base64(source.bytes);

    const snapshot = { version: 1, document: doc };
    if (options.element) {
      const target = globalThis.mossgatherTarget;
      if (target && target.isConnected && target.ownerDocument === document) {
        const index = images.indexOf(target);
        snapshot.element = index >= 0 ? index : elementEntry(target, cached);
      }
    }
    if (cached.size > 0) snapshot.cache = Array.from(cached, ([url, hit]) => ({ url, base64: base64(hit.bytes) }));
    return snapshot;
  };
})();
