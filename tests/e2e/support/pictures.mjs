// Pictures made on the spot, for tests that need big ones.
import zlib from 'node:zlib';

function crc32(buf) {
  let crc = 0xffffffff;
  for (const b of buf) {
    crc ^= b;
    for (let k = 0; k < 8; k++) crc = crc & 1 ? 0xedb88320 ^ (crc >>> 1) : crc >>> 1;
  }
  return (crc ^ 0xffffffff) >>> 0;
}

function chunk(type, data) {
  const len = Buffer.alloc(4);
  len.writeUInt32BE(data.length);
  const typed = Buffer.concat([Buffer.from(type, 'latin1'), data]);
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(typed));
  return Buffer.concat([len, typed, crc]);
}

// A W x H RGB PNG of pseudo-random pixels: it does not compress, so its
// size is about 3 * W * H bytes.
export function noisePng(w, h, seed = 1) {
  let x = seed >>> 0 || 1;
  const raw = Buffer.alloc((3 * w + 1) * h);
  for (let i = 0; i < raw.length; i++) {
    if (i % (3 * w + 1) === 0) continue; // filter byte: none
    x ^= x << 13;
    x ^= x >>> 17;
    x ^= x << 5;
    raw[i] = x & 0xff;
  }
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(w, 0);
  ihdr.writeUInt32BE(h, 4);
  ihdr[8] = 8; // bit depth
  ihdr[9] = 2; // RGB
  return Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', ihdr),
    chunk('IDAT', zlib.deflateSync(raw, { level: 1 })),
    chunk('IEND', Buffer.alloc(0)),
  ]);
}

// A small landscape (a sky, a sun, two rows of hills, a little grain) whose
// colours and shapes follow Seed, as W * H * 3 bytes of RGB. Self-contained,
// so that a page can run it too.
export function scene(w, h, seed) {
  let x = (Math.imul(seed + 1, 2654435761) >>> 0) || 1;
  const rnd = () => {
    x ^= x << 13;
    x >>>= 0;
    x ^= x >>> 17;
    x ^= x << 5;
    x >>>= 0;
    return x / 4294967296;
  };
  const top = [rnd() * 120, 60 + rnd() * 160, 200 + rnd() * 55];
  const low = [220 + rnd() * 35, 180 + rnd() * 60, 150 + rnd() * 80];
  const hill = [rnd() * 90, 90 + rnd() * 110, rnd() * 80];
  const far = [hill[0] * 0.5 + 60, hill[1] * 0.5 + 50, hill[2] * 0.5 + 70];
  const sunX = w * (0.2 + rnd() * 0.6), sunY = h * (0.12 + rnd() * 0.25);
  const sunR = Math.max(2, Math.min(w, h) * (0.07 + rnd() * 0.08));
  const a1 = 0.45 + rnd() * 0.15, f1 = ((1 + rnd() * 3) * 2 * Math.PI) / w, p1 = rnd() * 6;
  const a2 = 0.65 + rnd() * 0.15, f2 = ((2 + rnd() * 4) * 2 * Math.PI) / w, p2 = rnd() * 6;
  const out = new Uint8Array(w * h * 3);
  for (let y = 0; y < h; y++) {
    const t = y / h;
    for (let i = 0; i < w; i++) {
      let c;
      if (y > h * (a2 + 0.06 * Math.sin(i * f2 + p2))) c = hill.map((v) => v * (1.2 - 0.5 * t));
      else if (y > h * (a1 + 0.08 * Math.sin(i * f1 + p1))) c = far;
      else if ((i - sunX) ** 2 + (y - sunY) ** 2 < sunR * sunR) c = [255, 232, 130];
      else c = top.map((v, k) => v + (low[k] - v) * t);
      const grain = (rnd() - 0.5) * 18;
      const o = (y * w + i) * 3;
      for (let k = 0; k < 3; k++) out[o + k] = Math.max(0, Math.min(255, c[k] + grain));
    }
  }
  return out;
}

export function pngOf(w, h, seed) {
  const rgb = scene(w, h, seed);
  const raw = Buffer.alloc((3 * w + 1) * h);
  for (let y = 0; y < h; y++) Buffer.from(rgb.buffer, y * w * 3, w * 3).copy(raw, y * (3 * w + 1) + 1);
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(w, 0);
  ihdr.writeUInt32BE(h, 4);
  ihdr[8] = 8;
  ihdr[9] = 2;
  return Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', ihdr),
    chunk('IDAT', zlib.deflateSync(raw)),
    chunk('IEND', Buffer.alloc(0)),
  ]);
}

// A 24-bit Windows bitmap, rows bottom-up and padded to 4 bytes.
export function bmpOf(w, h, seed) {
  const rgb = scene(w, h, seed);
  const row = (3 * w + 3) & ~3;
  const out = Buffer.alloc(54 + row * h);
  out.write('BM', 0, 'latin1');
  out.writeUInt32LE(out.length, 2);
  out.writeUInt32LE(54, 10);
  out.writeUInt32LE(40, 14);
  out.writeInt32LE(w, 18);
  out.writeInt32LE(h, 22);
  out.writeUInt16LE(1, 26);
  out.writeUInt16LE(24, 28);
  out.writeUInt32LE(row * h, 34);
  for (let y = 0; y < h; y++)
    for (let i = 0; i < w; i++) {
      const s = (y * w + i) * 3, d = 54 + (h - 1 - y) * row + i * 3;
      out[d] = rgb[s + 2];
      out[d + 1] = rgb[s + 1];
      out[d + 2] = rgb[s];
    }
  return out;
}

// A GIF with a fixed 3-3-2 palette. Its codes are never compressed: a clear
// code before the table would grow past 9 bits keeps every code 9 bits wide,
// which any decoder reads.
export function gifOf(w, h, seed) {
  const rgb = scene(w, h, seed);
  const head = Buffer.alloc(13 + 768 + 10);
  head.write('GIF89a', 0, 'latin1');
  head.writeUInt16LE(w, 6);
  head.writeUInt16LE(h, 8);
  head[10] = 0xf7; // global palette of 256 colours
  for (let i = 0; i < 256; i++) {
    head[13 + i * 3] = Math.round(((i >> 5) * 255) / 7);
    head[14 + i * 3] = Math.round((((i >> 2) & 7) * 255) / 7);
    head[15 + i * 3] = Math.round(((i & 3) * 255) / 3);
  }
  const d = 13 + 768;
  head[d] = 0x2c;
  head.writeUInt16LE(w, d + 5);
  head.writeUInt16LE(h, d + 7);
  const bytes = [];
  let acc = 0, bits = 0;
  const put = (code) => {
    acc |= code << bits;
    bits += 9;
    while (bits >= 8) {
      bytes.push(acc & 0xff);
      acc >>>= 8;
      bits -= 8;
    }
  };
  for (let p = 0; p < w * h; p++) {
    if (p % 250 === 0) put(256);
    const s = p * 3;
    put(((rgb[s] >> 5) << 5) | ((rgb[s + 1] >> 5) << 2) | (rgb[s + 2] >> 6));
  }
  put(257);
  if (bits > 0) bytes.push(acc & 0xff);
  const blocks = [Buffer.from([8])];
  for (let i = 0; i < bytes.length; i += 255) {
    const part = bytes.slice(i, i + 255);
    blocks.push(Buffer.from([part.length]), Buffer.from(part));
  }
  blocks.push(Buffer.from([0, 0x3b]));
  return Buffer.concat([head, ...blocks]);
}

// A JPEG of the same scene, encoded by the browser's canvas in Page.
export function jpegOf(page, w, h, seed, quality = 0.85) {
  return canvasOf(page, 'image/jpeg', w, h, seed, quality);
}

// A WebP of the same scene, encoded the same way.
export function webpOf(page, w, h, seed, quality = 0.85) {
  return canvasOf(page, 'image/webp', w, h, seed, quality);
}

async function canvasOf(page, type, w, h, seed, quality) {
  const url = await page.evaluate(
    ({ type, w, h, seed, quality, src }) => {
      const rgb = new Function(`return ${src}`)()(w, h, seed);
      const c = document.createElement('canvas');
      c.width = w;
      c.height = h;
      const ctx = c.getContext('2d');
      const img = ctx.createImageData(w, h);
      for (let p = 0; p < w * h; p++) {
        img.data[p * 4] = rgb[p * 3];
        img.data[p * 4 + 1] = rgb[p * 3 + 1];
        img.data[p * 4 + 2] = rgb[p * 3 + 2];
        img.data[p * 4 + 3] = 255;
      }
      ctx.putImageData(img, 0, 0);
      return c.toDataURL(type, quality);
    },
    { type, w, h, seed, quality, src: scene.toString() },
  );
  return Buffer.from(url.slice(url.indexOf(',') + 1), 'base64');
}
