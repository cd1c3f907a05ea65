// The test pages, served on 127.0.0.1 from two ports: "near" is the origin
// of the pages, "far" a second origin for cross-origin pictures and frames.
// Files come from pages/; in .html files "{{NEAR}}" and "{{FAR}}" stand for
// the two origins. Every request is logged, so a test can tell whether the
// browser asked the server again.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const PAGES = path.join(path.dirname(fileURLToPath(import.meta.url)), '..', 'pages');

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.png': 'image/png',
  '.jpg': 'image/jpeg',
  '.gif': 'image/gif',
  '.bmp': 'image/bmp',
  '.webp': 'image/webp',
  '.avif': 'image/avif',
};

function listen(server) {
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => resolve(server.address().port));
  });
}

export async function startServer() {
  const log = [];
  const extra = new Map(); // path -> { body, headers }
  const locked = new Map(); // path -> the "name=value" a request must carry in its Cookie header
  const origins = {};

  function body(urlPath) {
    if (extra.has(urlPath)) return extra.get(urlPath).body;
    const file = path.join(PAGES, path.normalize(urlPath).replace(/^([/\\]|\.\.)+/, ''));
    if (!file.startsWith(PAGES) || !fs.existsSync(file) || !fs.statSync(file).isFile()) return null;
    const bytes = fs.readFileSync(file);
    if (path.extname(file) !== '.html') return bytes;
    return Buffer.from(bytes.toString('utf8').replaceAll('{{NEAR}}', origins.near).replaceAll('{{FAR}}', origins.far));
  }

  function handler(which) {
    return (req, res) => {
      const urlPath = new URL(req.url, 'http://x').pathname;
      const cookies = (req.headers.cookie ?? '').split(/;\s*/);
      log.push({ origin: which, method: req.method, path: urlPath, cookies, userAgent: req.headers['user-agent'] ?? '' });
      if (locked.has(urlPath) && !cookies.includes(locked.get(urlPath))) {
        // As a site behind a login answers: its login page, with status 200.
        res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8', 'Cache-Control': 'no-store' });
        res.end('<!doctype html><html><head><title>Sign in</title></head><body><form>Sign in</form></body></html>');
        return;
      }
      const bytes = body(urlPath);
      if (bytes === null) {
        res.writeHead(404, { 'Content-Type': 'text/plain', 'Cache-Control': 'no-store' });
        res.end('not here');
        return;
      }
      const headers = {
        'Content-Type': TYPES[path.extname(urlPath)] || 'application/octet-stream',
        'Content-Length': bytes.length,
        // Cached, so that the extension can read pages and pictures again
        // without asking the server.
        'Cache-Control': 'max-age=3600',
        ...(extra.get(urlPath)?.headers ?? {}),
      };
      res.writeHead(extra.get(urlPath)?.status ?? 200, headers);
      res.end(req.method === 'HEAD' ? undefined : bytes);
    };
  }

  const near = http.createServer(handler('near'));
  const far = http.createServer(handler('far'));
  origins.near = `http://127.0.0.1:${await listen(near)}`;
  origins.far = `http://127.0.0.1:${await listen(far)}`;

  return {
    near: origins.near,
    far: origins.far,
    // The exact bytes served for a path.
    body,
    // Serves Body at Path (on both origins), with extra or replaced headers
    // and the status given.
    put(urlPath, bytes, headers = {}, status = 200) {
      extra.set(urlPath, { body: Buffer.from(bytes), headers, status });
    },
    // Path answers with a login page unless the request carries Cookie ("name=value").
    lock(urlPath, cookie) {
      locked.set(urlPath, cookie);
    },
    // The requests for a path, as logged (origin, cookies, userAgent).
    requests(urlPath) {
      return log.filter((e) => e.path === urlPath);
    },
    // How often a path was asked for (on one origin, or on both).
    hits(urlPath, origin) {
      return log.filter((e) => e.path === urlPath && (!origin || e.origin === origin)).length;
    },
    close() {
      near.closeAllConnections();
      far.closeAllConnections();
      return Promise.all([new Promise((r) => near.close(r)), new Promise((r) => far.close(r))]);
    },
  };
}
