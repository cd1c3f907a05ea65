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
    media: 10000, // VIDEO and AUDIO elements
    mediaSources: 100, // <source> children of one of them
    cacheEntries: 10000,
    cacheBytes: 24 << 20, // picture bytes of one snapshot, before base64
    cacheFileBytes: 16 << 20, // one picture
    fetchesAtOnce: 6,
    dataAttrs: 32, // data- attributes of one element
    dataValue: 4096, // characters of one data- attribute; longer ones hold no address
    backgrounds: 10000, // elements with background pictures
    styledElements: 50000, // elements whose computed style is read
    decoration: 32, // pixels: an element narrower or lower has a decoration, not a picture
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
      // Copied into a buffer of our own: in Firefox the answer's buffer
      // belongs to the page, whose typed arrays refuse us subarray().
      const buf = await res.arrayBuffer();
      const bytes = new Uint8Array(buf.byteLength);
      bytes.set(new Uint8Array(buf));
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
  const TYPE_NAMES = {
    jpeg: 'JPEG Image',
    gif: 'GIF Image',
    png: 'PNG Image',
    bmp: 'Bitmap Image',
    webp: 'WebP Image',
    avif: 'AVIF Image',
    svg: 'SVG Image',
    ico: 'Icon Image',
  };

  function ascii(b, at, text) {
    if (b.length < at + text.length) return false;
    for (let i = 0; i < text.length; i++) if (b[at + i] !== text.charCodeAt(i)) return false;
    return true;
  }

  function typeOfBytes(b) {
    if (b.length >= 3 && b[0] === 0xff && b[1] === 0xd8 && b[2] === 0xff) return 'jpeg';
    if (ascii(b, 0, 'GIF8')) return 'gif';
    if (b.length >= 4 && b[0] === 0x89 && ascii(b, 1, 'PNG')) return 'png';
    if (ascii(b, 0, 'BM')) return 'bmp';
    if (ascii(b, 0, 'RIFF') && ascii(b, 8, 'WEBP')) return 'webp';
    if (ascii(b, 4, 'ftyp') && (ascii(b, 8, 'avif') || ascii(b, 8, 'avis'))) return 'avif';
    if (b.length >= 4 && b[0] === 0 && b[1] === 0 && b[2] === 1 && b[3] === 0) return 'ico';
    return '';
  }

  function typeOfContentType(ct) {
    const t = ct.split(';')[0].trim().toLowerCase();
    if (t === 'image/jpeg' || t === 'image/pjpeg' || t === 'image/jpg') return 'jpeg';
    if (t === 'image/gif') return 'gif';
    if (t === 'image/png' || t === 'image/x-png') return 'png';
    if (t === 'image/bmp' || t === 'image/x-bmp' || t === 'image/x-ms-bmp') return 'bmp';
    if (t === 'image/webp' || t === 'image/avif') return t.slice(6);
    if (t === 'image/svg+xml') return 'svg';
    if (t === 'image/x-icon' || t === 'image/vnd.microsoft.icon') return 'ico';
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
    if (['gif', 'png', 'bmp', 'webp', 'avif', 'svg', 'ico'].includes(ext)) return ext;
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
      // The picture the browser shows may be a srcset's, not the src's.
      for (const url of [img.src, img.currentSrc]) {
        if (url && !seen.has(url) && sameOrigin(url)) {
          seen.add(url);
          urls.push(url);
        }
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

  // The element's data- attributes as written: lazy-loading scripts keep
  // the real addresses there. Which of them count is the program's to say.
  function dataAttrs(el) {
    let out = null;
    let n = 0;
    for (const a of el.attributes) {
      if (!a.name.startsWith('data-') || a.value.length > LIMITS.dataValue) continue;
      if (++n > LIMITS.dataAttrs) break;
      (out ??= {})[a.name] = a.value;
    }
    return out;
  }

  // Whether the browser shows pictures of each type: it picks a <source>
  // of a type it can show over the <img> behind it.
  const PIXEL = 'data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7';
  function typeShown(type) {
    return new Promise((resolve) => {
      const picture = document.createElement('picture');
      const source = document.createElement('source');
      source.type = type;
      source.srcset = PIXEL;
      const img = document.createElement('img');
      picture.append(source, img);
      img.src = `${PIXEL}#fallback`;
      const done = () => resolve(img.currentSrc === PIXEL);
      img.decode().then(done, done);
      setTimeout(done, 1000); // a browser that never decodes it shows no such type
    });
  }

  async function shownTypes(images) {
    const types = new Set();
    for (const img of images)
      if (img.parentElement instanceof HTMLPictureElement)
        for (const s of img.parentElement.children) if (s instanceof HTMLSourceElement && s.type) types.add(s.type);
    const shown = new Map();
    await Promise.all([...types].map(async (t) => shown.set(t, await typeShown(t))));
    return shown;
  }

  function sourceEntries(img, shown) {
    const list = [];
    for (const s of img.parentElement.children) {
      if (s === img) break;
      if (!(s instanceof HTMLSourceElement)) continue;
      const entry = { srcset: attr(s, 'srcset'), type: attr(s, 'type'), media: attr(s, 'media') };
      if (entry.type) entry.supported = shown.get(s.type) ?? false;
      const data = dataAttrs(s);
      if (data) entry.data = data;
      list.push(entry);
    }
    return list;
  }

  function linkOf(img) {
    const a = img.closest('a[href]');
    return a && /^(https?|file):$/.test(a.protocol) ? a.href : '';
  }

  function pictureEntry(img, cached, shown) {
    const url = img.src;
    const hit = cached.get(url);
    const type = (hit && (typeOfBytes(hit.bytes) || typeOfContentType(hit.contentType))) || typeOfUrl(url);
    const size = hit ? hit.bytes.length : timedSize(url);
    const entry = {
      tagName: 'IMG',
      src: url,
      width: img.width,
      height: img.height,
      mimeType: TYPE_NAMES[type] || '',
      fileSize: size > 0 ? String(size) : '-1',
      outerHtml: img.outerHTML,
      currentSrc: img.currentSrc,
      naturalWidth: img.naturalWidth,
      naturalHeight: img.naturalHeight,
    };
    if (img.hasAttribute('srcset')) entry.srcset = img.getAttribute('srcset');
    const link = linkOf(img);
    if (link) entry.link = link;
    const data = dataAttrs(img);
    if (data) entry.data = data;
    if (img.parentElement instanceof HTMLPictureElement) entry.sources = sourceEntries(img, shown);
    return entry;
  }

  // The elements whose CSS gives them background pictures, as the browser
  // computed them (addresses absolute); gradients, placeholders and the
  // backgrounds of small elements (icons, bullets, lines) are left out.
  function backgrounds() {
    const out = [];
    const all = document.getElementsByTagName('*');
    const n = Math.min(all.length, LIMITS.styledElements);
    for (let i = 0; i < n && out.length < LIMITS.backgrounds; i++) {
      const el = all[i];
      const image = getComputedStyle(el).backgroundImage;
      if (!image || !/url\(\s*["']?(?!data:)/i.test(image)) continue;
      const r = el.getBoundingClientRect();
      const width = Math.round(r.width);
      const height = Math.round(r.height);
      if (width < LIMITS.decoration || height < LIMITS.decoration) continue;
      out.push({ tagName: el.tagName.toUpperCase(), image, width, height });
    }
    return out;
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

  // A VIDEO or AUDIO: its addresses as the browser resolved them, also
  // blob: ones the program cannot save (it tells the user why).
  function mediaEntry(el) {
    const box = el.getBoundingClientRect();
    const entry = {
      tagName: el.tagName.toUpperCase(),
      outerHtml: el.outerHTML.slice(0, 4096),
      width: Math.max(0, Math.round(box.width)),
      height: Math.max(0, Math.round(box.height)),
      sources: Array.from(el.children)
        .filter((c) => c instanceof HTMLSourceElement && c.src)
        .slice(0, LIMITS.mediaSources)
        .map((c) => ({ src: c.src, type: attr(c, 'type') })),
    };
    if (el.hasAttribute('src') && el.src) entry.src = el.src;
    // A page that plays a stream it builds sets srcObject or a blob: src.
    else if (!entry.sources.length && el.currentSrc) entry.src = el.currentSrc;
    if (el instanceof HTMLVideoElement && el.hasAttribute('poster') && el.poster) entry.poster = el.poster;
    return entry;
  }

  function elementEntry(el, cached, shown) {
    if (el instanceof HTMLImageElement) return pictureEntry(el, cached, shown);
    if (el instanceof HTMLObjectElement) return objectEntry(el);
    if (el instanceof HTMLEmbedElement) return embedEntry(el);
    if (el instanceof HTMLMediaElement) return mediaEntry(el);
    return { tagName: el.tagName.toUpperCase(), outerHtml: el.outerHTML, outerText: el.outerText ?? el.textContent ?? '' };
  }

  // options.element: name the element under the mouse.
  // options.cache: add the bytes of same-origin pictures the browser holds.
  globalThis.mossgatherCollect = async (options = {}) => {
    const images = Array.from(document.images).slice(0, LIMITS.images);
    const [source, cached, shown] = await Promise.all([
      fromCache(location.href),
      options.cache ? cachedPictures(images) : Promise.resolve(new Map()),
      shownTypes(images),
    ]);

    const doc = {
      url: document.URL,
      title: document.title,
      fileSize: documentSize(),
      selection: selection(),
      documentElement: { tagName: 'HTML', outerHtml: document.documentElement ? document.documentElement.outerHTML : '' },
      images: images.map((img) => pictureEntry(img, cached, shown)),
      objects: Array.from(document.getElementsByTagName('object')).slice(0, LIMITS.plugins).map(objectEntry),
      embeds: Array.from(document.embeds).slice(0, LIMITS.plugins).map(embedEntry),
      media: Array.from(document.querySelectorAll('video, audio')).slice(0, LIMITS.media).map(mediaEntry),
    };
    const base = document.querySelector('base[href]');
    if (base) doc.baseHref = base.getAttribute('href');
    if (document.body) doc.body = { tagName: document.body.tagName.toUpperCase(), outerText: document.body.outerText ?? document.body.innerText };
    if (source) doc.sourceBase64 = base64(source.bytes);
    const bgs = backgrounds();
    if (bgs.length > 0) doc.backgrounds = bgs;

    const snapshot = { version: 1, document: doc };
    if (options.element) {
      const target = globalThis.mossgatherTarget;
      if (target && target.isConnected && target.ownerDocument === document) {
        const index = images.indexOf(target);
        snapshot.element = index >= 0 ? index : elementEntry(target, cached, shown);
      }
    }
    if (cached.size > 0) snapshot.cache = Array.from(cached, ([url, hit]) => ({ url, base64: base64(hit.bytes) }));
    return snapshot;
  };
})();
