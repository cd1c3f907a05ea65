// node snapshots.mjs OUT: serves the corpus on loopback, opens each page in
// Chromium with the extension and a recording host, and writes what
// "Save all pictures" sends: OUT/PAGE.plain.json as the page loaded
// (without the scroll through it) and OUT/PAGE.json with it. Prints the
// address the pictures were served under.
import fs from 'node:fs';
import path from 'node:path';

import { REGISTERED_MENUS, clickEntry, installFakeHost, startBrowser, tempDir, waitFor, writeHostManifest } from '../../tests/e2e/support/browser.mjs';
import { PAGES, makePictures, serveCorpus } from '../../tests/e2e/support/corpus.mjs';
import { startServer } from '../../tests/e2e/support/server.mjs';

const out = process.argv[2];
if (!out) {
  console.error('usage: node snapshots.mjs OUT');
  process.exit(2);
}
fs.mkdirSync(out, { recursive: true });
const dir = tempDir('mg-corpus-');
const profile = path.join(dir, 'profile');
const host = installFakeHost(path.join(dir, 'host'));
writeHostManifest(profile, host.launcher);
const menus = { status: 0, menus: REGISTERED_MENUS };
host.configure({ menus, save: { status: 0 } });
const server = await startServer();
const { context, worker } = await startBrowser(profile);
try {
  serveCorpus(server, await makePictures(context));
  for (const name of Object.keys(PAGES)) {
    const stem = name.replace(/\.html$/, '');
    for (const [suffix, lazyScroll] of [['.plain', false], ['', true]]) {
      host.configure({ menus, save: { status: 0 }, options: { status: 0, lazyScroll } });
      const page = await context.newPage();
      await page.goto(`${server.near}/corpus/${name}`, { waitUntil: 'load' });
      host.take();
      await clickEntry(worker, 'Img_All.js', page);
      const sent = await waitFor(() => host.take().find((r) => r.msg.method === 'SaveImages'), `the request of ${name}`);
      fs.writeFileSync(path.join(out, `${stem}${suffix}.json`), JSON.stringify(sent.msg));
      await page.close();
    }
  }
  console.log(`${server.near}/corpus/img/`);
} finally {
  await context.close();
  await server.close();
  fs.rmSync(dir, { recursive: true, force: true });
}
