// A stand-in for "mossgather -Embedding" as the browser starts it: reads
// native messages from standard input, records each into
// STATE/requests.jsonl and answers as STATE/config.json says:
//   {"menus": <GetMenus reply>, "check": <Check reply>,
//    "save": <reply to the saving methods>, "options": <GetOptions reply>,
//    "silent": true (exit without answering)}
// GetOptions, asked before a request when the extension needs the program's
// choices, goes to STATE/options.jsonl, so that requests.jsonl holds what
// the browser sent to be saved.
// Each start is recorded in STATE/starts.jsonl.
// Usage: node fake-host.mjs STATE [arguments the browser passes]
import fs from 'node:fs';
import path from 'node:path';

const state = process.argv[2];
const args = process.argv.slice(3);
// Every start, so that a test can tell which host served a request.
fs.appendFileSync(path.join(state, 'starts.jsonl'), JSON.stringify({ pid: process.pid, args }) + '\n');

function config() {
  try {
    return JSON.parse(fs.readFileSync(path.join(state, 'config.json'), 'utf8'));
  } catch {
    return {};
  }
}

function reply(obj) {
  const json = Buffer.from(JSON.stringify(obj));
  const len = Buffer.alloc(4);
  len.writeUInt32LE(json.length);
  process.stdout.write(Buffer.concat([len, json]));
}

function answer(raw) {
  const msg = JSON.parse(raw.toString('utf8'));
  const log = msg.method === 'GetOptions' ? 'options.jsonl' : 'requests.jsonl';
  fs.appendFileSync(path.join(state, log), JSON.stringify({ pid: process.pid, args, cwd: process.cwd(), bytes: raw.length, msg }) + '\n');
  const c = config();
  if (c.silent) process.exit(3);
  if (msg.method === 'GetMenus') reply(c.menus ?? { status: 1, error: 'no menus configured' });
  else if (msg.method === 'Check') reply(c.check ?? { status: 0, version: '0.12', menus: 5, running: true });
  else if (msg.method === 'GetOptions') reply(c.options ?? { status: 0, lazyScroll: false });
  else reply(c.save ?? { status: 0 });
}

let buf = Buffer.alloc(0);
process.stdin.on('data', (chunk) => {
  buf = Buffer.concat([buf, chunk]);
  while (buf.length >= 4 && buf.length >= 4 + buf.readUInt32LE(0)) {
    const n = buf.readUInt32LE(0);
    answer(buf.subarray(4, 4 + n));
    buf = buf.subarray(4 + n);
  }
});
process.stdin.on('end', () => process.exit(0));
