// scripts/web serve: the built site on loopback, with the types browsers
// insist on for modules and WebAssembly.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { createServer } from 'node:net';
import { test } from 'node:test';

const root = new URL('../../', import.meta.url).pathname;

function freePort() {
  return new Promise((resolve) => {
    const s = createServer().listen(0, '127.0.0.1', () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    });
  });
}

test('scripts/web serve PORT prints its address and serves the site', async () => {
  const port = await freePort();
  const server = spawn('bash', ['scripts/web', 'serve', String(port)], { cwd: root, detached: true });
  try {
    const line = await new Promise((resolve, reject) => {
      let out = '';
      server.stdout.on('data', (d) => {
        out += d;
        if (out.includes('\n')) resolve(out.split('\n')[0]);
      });
      server.on('exit', (code) => reject(new Error(`serve exited with ${code}`)));
    });
    assert.match(line, new RegExp(`http://127\\.0\\.0\\.1:${port}/`));
    const types = {};
    for (const path of ['', 'opl2play.mjs', 'opl2play.wasm', 'opl2play-worklet.js', 'js/app.js',
      'examples/index.json']) {
      let r;
      for (let tries = 0; !r && tries < 50; ++tries) {
        r = await fetch(`http://127.0.0.1:${port}/${path}`).catch(() => null);
        if (!r) await new Promise((done) => setTimeout(done, 100));
      }
      assert.equal(r.status, 200, path);
      types[path] = r.headers.get('content-type').split(';')[0];
    }
    assert.deepEqual(types, {
      '': 'text/html', 'opl2play.mjs': 'text/javascript', 'opl2play.wasm': 'application/wasm',
      'opl2play-worklet.js': 'text/javascript', 'js/app.js': 'text/javascript',
      'examples/index.json': 'application/json',
    });
  } finally {
    process.kill(-server.pid);
  }
});
