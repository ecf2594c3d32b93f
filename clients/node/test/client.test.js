'use strict';
// The Node client against a real vistrel5 started in a temporary folder.
// The server programs come from $VISTREL_BUILD_DIR (default build-test/bin of
// the repository). Run: node --test clients/node/test/

const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const vistrel = require('..');

const binDir = process.env.VISTREL_BUILD_DIR || path.join(__dirname, '..', '..', '..', 'build-test', 'bin');
let server;
let home;
let work;
let port;
let source;

function freePort() {
  return new Promise((resolve) => {
    const probe = net.createServer().listen(0, '127.0.0.1', () => {
      const { port: p } = probe.address();
      probe.close(() => resolve(p));
    });
  });
}

async function waitForPort() {
  for (let i = 0; i < 600; i++) {
    if (server.exitCode !== null) throw new Error(`vistrel5 exited with ${server.exitCode}`);
    const open = await new Promise((resolve) => {
      const s = net.connect({ host: '127.0.0.1', port }, () => { s.destroy(); resolve(true); });
      s.on('error', () => resolve(false));
    });
    if (open) return;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`vistrel5 does not listen on ${port}`);
}

before(async () => {
  home = fs.mkdtempSync(path.join(os.tmpdir(), 'vistrel-node-'));
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'vistrel-node-work-'));
  for (const name of ['vistrel5', 'vistrelremt']) fs.copyFileSync(path.join(binDir, name), path.join(home, name));
  for (const name of ['vistrel5', 'vistrelremt']) fs.chmodSync(path.join(home, name), 0o755);
  port = await freePort();
  fs.writeFileSync(path.join(home, 'vistrel5.ini'), `[Server]\nPort=${port}\nEngineWorkprocessCount=1\n`);
  const out = fs.openSync(path.join(home, 'out.txt'), 'w');
  server = spawn(path.join(home, 'vistrel5'), ['-debug'], { cwd: home, stdio: ['pipe', out, out] });
  await waitForPort();
  // The source photo is drawn by the server itself.
  source = path.join(work, 'blue.jpg');
  const s = new vistrel.Client({ port }).session();
  await s.blank('canvas', 640, 480, '336699');
  assert.equal(await s.script('canvas', `cmd=encode&path=${source}`), source);
  s.close();
});

after(async () => {
  if (server && server.exitCode === null) {
    const exited = new Promise((r) => server.once('exit', r));
    server.kill('SIGTERM');
    await exited;
  }
  fs.rmSync(home, { recursive: true, force: true });
  fs.rmSync(work, { recursive: true, force: true });
});

test('get answers a cached path and rejects with result codes', async () => {
  const client = new vistrel.Client({ port });
  const first = await client.get(source, 'cmd=thumb&w=100');
  assert.ok(fs.statSync(first).isFile());
  assert.equal(await client.get(source, 'cmd=thumb&w=100'), first); // the cache hit
  assert.equal(await client.get(source, 'cmd=thumb&w=100', { codePage: 65001 }), first);
  for (const [file, command, code] of [
    [path.join(work, 'missing.jpg'), 'cmd=thumb&w=100', 102],
    [source, 'w=100', 105],
    [source, 'cmd=nosuchfile', 103],
  ]) {
    await assert.rejects(client.get(file, command), (e) =>
      e instanceof vistrel.ResultError && e.code === code && e.meaning === vistrel.meaning(code) &&
      e.message.startsWith(`GET failed: ${code}`));
  }
  client.close();
});

test('exec resolves to bytes, a path, a size or null', async () => {
  const client = new vistrel.Client({ port });
  const data = fs.readFileSync(source);
  const png = await client.exec(['cmd=resize&w=100', 'cmd=encode&format=png'], { data });
  assert.ok(Buffer.isBuffer(png) && png.subarray(0, 4).equals(Buffer.from([0x89, 0x50, 0x4e, 0x47])));
  assert.deepEqual(await client.exec('cmd=_getmetric_&info=v1', { file: source }), { width: 640, height: 480 });
  const out = path.join(work, 'small.png');
  assert.equal(await client.exec(['cmd=resize&w=64', `cmd=encode&path=${out}`], { data }), out);
  assert.ok(fs.existsSync(out));
  assert.equal(await client.exec('cmd=resize&w=64', { data }), null);
  await assert.rejects(client.exec('cmd=encode', { data: Buffer.from('not an image') }), { code: 213 });
  // Calls made at the same time each take a connection; all are kept for reuse.
  const sizes = await Promise.all([1, 2, 3].map(() => client.exec('cmd=_getmetric_&info=v1', { data })));
  assert.deepEqual(sizes, Array(3).fill({ width: 640, height: 480 }));
  assert.equal(client.idle.length, 3);
  client.close();
});

test('an exec2 session keeps named images on its connection', async () => {
  const client = new vistrel.Client({ port });
  const s = client.session();
  assert.deepEqual(await s.load('a', source), { width: 640, height: 480 });
  assert.deepEqual(await s.script('a', 'cmd=resize&w=100&h=75'), { width: 100, height: 75 });
  const jpeg = await s.script('a', 'cmd=encode&format=jpg&quality=80');
  assert.ok(Buffer.isBuffer(jpeg) && jpeg[0] === 0xff && jpeg[1] === 0xd8);
  assert.deepEqual(await s.loadBytes('b', fs.readFileSync(source)), { width: 640, height: 480 });
  assert.equal(await s.metadata('b', 0x010f), '');
  await s.setFlags('b', vistrel.KEEP_PRISTINE);
  await s.clearFlags('b', vistrel.KEEP_PRISTINE);
  await s.release('b');
  await assert.rejects(s.script('b', 'cmd=resize&w=10'), { code: 102 });
  s.close();
  const other = client.session(); // a new connection has no "a"
  await assert.rejects(other.script('a', 'cmd=resize&w=10'), { code: 102 });
  other.close();
});

test('a port nobody listens on is a transport error', async () => {
  const dead = new vistrel.Client({ port: await freePort(), timeout: 5000 });
  await assert.rejects(dead.get(source, 'cmd=thumb&w=100'), (e) =>
    e instanceof vistrel.TransportError && e.code === 'ECONNREFUSED');
});
