// The picture corpus of tests/data/corpus: its pages, the pictures each may
// load and the ones a user sees there in their largest form, made and
// served on loopback for the browser suite and the corpus report.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import { ROOT } from './browser.mjs';
import { gifOf, jpegOf, pngOf, webpOf } from './pictures.mjs';

export const CORPUS = path.join(ROOT, 'tests', 'data', 'corpus');
const manifest = JSON.parse(fs.readFileSync(path.join(CORPUS, 'corpus.json'), 'utf8'));
// Name -> [type, width, height].
export const PICTURES = manifest.pictures;
// Page -> the names of the pictures a user sees there, in their largest form.
export const PAGES = manifest.pages;
const TYPES = { jpg: 'image/jpeg', png: 'image/png', gif: 'image/gif', webp: 'image/webp', avif: 'image/avif' };

// Makes every picture (JPEG and WebP with the browser's own encoders in a
// page of Context; the AVIFs are stored beside the pages): name -> bytes.
export async function makePictures(context) {
  const bytes = new Map();
  const maker = await context.newPage();
  try {
    await maker.goto('about:blank');
    for (const [i, [name, [type, w, h]]] of Object.entries(PICTURES).entries()) {
      const seed = i + 101;
      let b;
      if (type === 'avif') b = fs.readFileSync(path.join(CORPUS, 'img', name));
      else if (type === 'jpg') b = await jpegOf(maker, w, h, seed);
      else if (type === 'webp') b = await webpOf(maker, w, h, seed);
      else if (type === 'png') b = pngOf(w, h, seed);
      else b = gifOf(w, h, seed);
      if (type === 'webp') assert.equal(b.subarray(8, 12).toString('latin1'), 'WEBP', `${name}: the browser encodes WebP`);
      bytes.set(name, b);
    }
  } finally {
    await maker.close();
  }
  return bytes;
}

// Serves the pages under /corpus/ and the pictures under /corpus/img/.
export function serveCorpus(server, bytes) {
  for (const name of Object.keys(PAGES))
    server.put(`/corpus/${name}`, fs.readFileSync(path.join(CORPUS, name)), { 'Content-Type': 'text/html; charset=utf-8' });
  for (const [name, b] of bytes) server.put(`/corpus/img/${name}`, b, { 'Content-Type': TYPES[PICTURES[name][0]] });
}
