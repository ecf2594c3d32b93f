'use strict';
// Client and Exec2Session: the three verbs over TCP, following docs/protocol.md.

const net = require('node:net');
const wire = require('./wire');
const { ResultError, TransportError, ProtocolError } = require('./errors');

const DEFAULT_PORT = 19985;
const DEFAULT_MAX_RESPONSE = 256 * 1024 * 1024;
const KEEP_PRISTINE = 1; // EXEC2 image flag: keep an untouched copy for later layers

// Failures after which the request never reached the server, or its answer
// was never begun: a fresh connection may try again.
const RETRYABLE = new Set(['ECONNREFUSED', 'ECONNRESET', 'EPIPE', 'ECONNABORTED']);

/** One socket; sends a frame, reads its whole answer. */
class Connection {
  constructor(host, port, timeoutMs, maxResponse) {
    this.timeoutMs = timeoutMs;
    this.maxResponse = maxResponse;
    this.pending = null;
    this.dead = false;
    this.socket = net.connect({ host, port });
    this.socket.setNoDelay(true);
    this.socket.on('data', (chunk) => this.onData(chunk));
    this.socket.on('error', (e) => this.fail(e));
    this.socket.on('close', () => this.fail(null));
    this.socket.on('timeout', () => this.fail(null, true));
  }

  /** Resolves to { status, payload } of the answer to `frame`. */
  exchange(frame) {
    if (this.dead) return Promise.reject(Object.assign(new TransportError('connection closed'), { retryable: true }));
    return new Promise((resolve, reject) => {
      this.pending = { resolve, reject, chunks: [], received: 0, header: null };
      this.socket.ref();
      if (this.timeoutMs > 0) this.socket.setTimeout(this.timeoutMs);
      this.socket.write(frame);
    });
  }

  close() {
    this.dead = true;
    this.socket.destroy();
  }

  onData(chunk) {
    const p = this.pending;
    if (!p) return this.fail(new ProtocolError('bytes arrived without a request'));
    p.chunks.push(chunk);
    p.received += chunk.length;
    if (!p.header && p.received >= wire.RESPONSE_HEADER_SIZE) {
      const all = Buffer.concat(p.chunks);
      p.chunks = [all];
      try {
        p.header = wire.parseHeader(all);
      } catch (e) {
        return this.fail(new ProtocolError(e.message));
      }
      if (p.header.length > this.maxResponse)
        return this.fail(new ProtocolError(`the answer announces ${p.header.length} bytes, more than the limit ${this.maxResponse}`));
    }
    if (!p.header) return undefined;
    const total = wire.RESPONSE_HEADER_SIZE + p.header.length;
    if (p.received < total) return undefined;
    if (p.received > total) return this.fail(new ProtocolError('more bytes than the answer announced'));
    this.pending = null;
    this.socket.setTimeout(0);
    this.socket.unref(); // an idle connection does not keep the process alive
    const payload = Buffer.concat(p.chunks).subarray(wire.RESPONSE_HEADER_SIZE);
    return p.resolve({ status: p.header.status, payload });
  }

  fail(cause, timedOut = false) {
    const p = this.pending;
    this.pending = null;
    this.close();
    if (!p) return;
    let error;
    if (cause instanceof ProtocolError) {
      error = cause;
    } else if (timedOut) {
      error = new TransportError('the server did not answer in time', { timedOut: true });
    } else {
      const begun = p.received > 0;
      error = new TransportError(cause ? `the connection failed: ${cause.message}` : 'the server closed the connection', { cause });
      error.retryable = !begun && (!cause || RETRYABLE.has(cause.code));
    }
    p.reject(error);
  }
}

function scriptText(script) {
  return Array.isArray(script) ? script.join('\n') : String(script);
}

function typed(verb, { status, payload }) {
  if (status !== 0) throw new ResultError(verb, status);
  try {
    return wire.typedAnswer(payload);
  } catch (e) {
    throw new ProtocolError(e.message);
  }
}

/**
 * A client of one server. Connections are kept open and reused; calls made
 * at the same time each take their own connection. `timeout` (ms, 0 for none)
 * bounds the connect and every wait for bytes. GET and EXEC are sent once
 * more on a fresh connection when the connection was refused, reset or closed
 * before the answer began.
 */
class Client {
  constructor({ host = '127.0.0.1', port = DEFAULT_PORT, timeout = 30000,
    maxResponse = DEFAULT_MAX_RESPONSE, retry = true, maxIdle = 8 } = {}) {
    Object.assign(this, { host, port, timeout, maxResponse, retry, maxIdle });
    this.idle = [];
  }

  /** Resolves to the path of the result file for `command` applied to `path`. */
  async get(path, command = '', { codePage } = {}) {
    const answer = await this.call(wire.getFrame(String(path), command, codePage));
    if (answer.status !== 0) throw new ResultError('GET', answer.status);
    try {
      return wire.bareText(answer.payload, codePage);
    } catch (e) {
      throw new ProtocolError(e.message);
    }
  }

  /**
   * Runs `script` (a string of lines or an array of lines) on exactly one of
   * `file` (a path on the server's machine), `data` (image bytes) or `url`.
   * Resolves to a Buffer, a written path, { width, height }, or null.
   */
  async exec(script, { file, data, url, options = '' } = {}) {
    const given = [['file', file], ['data', data], ['url', url]].filter(([, v]) => v !== undefined && v !== null);
    if (given.length !== 1) throw new TypeError('exec takes exactly one of file, data, url');
    const [key, value] = given[0];
    const raw = key === 'data' ? Buffer.from(value) : wire.utf16z(value);
    const frame = wire.kindFrame('EXEC', wire.SOURCE[key], raw, options, scriptText(script));
    return typed('EXEC', await this.call(frame));
  }

  /** A new EXEC2 session on its own connection to this server. */
  session() {
    return new Exec2Session(this);
  }

  /** Closes the idle connections; the client stays usable. */
  close() {
    for (const conn of this.idle.splice(0)) conn.close();
  }

  connect() {
    return new Connection(this.host, this.port, this.timeout, this.maxResponse);
  }

  async call(frame) {
    const attempts = this.retry ? 2 : 1;
    for (let attempt = 1; ; attempt++) {
      let conn;
      while ((conn = this.idle.pop()) && conn.dead);
      conn = conn || this.connect();
      try {
        const answer = await conn.exchange(frame);
        if (this.idle.length < this.maxIdle) this.idle.push(conn);
        else conn.close();
        return answer;
      } catch (e) {
        conn.close();
        if (!e.retryable || attempt >= attempts) throw e;
      }
    }
  }
}

/**
 * Named images on one connection: what is loaded under a name in one call is
 * there for the next. The images go when the session closes. Steps run one
 * after the other in the order called. Nothing is retried.
 */
class Exec2Session {
  constructor(client) {
    this.client = client;
    this.conn = null;
    this.queue = Promise.resolve();
  }

  load(name, path) { return this.step(wire.KIND.loadFile, name, wire.utf16z(path)); }
  loadBytes(name, data) { return this.step(wire.KIND.loadBytes, name, Buffer.from(data)); }
  capture(name, url, options = '') { return this.step(wire.KIND.capture, name, wire.utf16z(url), options); }
  blank(name, width, height, colour = 'FFFFFF') {
    return this.step(wire.KIND.blank, name, Buffer.concat([wire.u32(width), wire.u32(height), wire.utf16z(colour)]));
  }
  script(name, script) { return this.step(wire.KIND.script, name, Buffer.alloc(0), scriptText(script)); }
  metadata(name, tag) { return this.step(wire.KIND.metadata, name, wire.u32(tag)); }
  async release(name) { await this.step(wire.KIND.release, name, Buffer.alloc(0)); }
  async setFlags(name, bits) { await this.step(wire.KIND.setFlags, name, wire.u32(bits)); }
  async clearFlags(name, bits) { await this.step(wire.KIND.clearFlags, name, wire.u32(bits)); }

  close() {
    this.closed = true;
    if (this.conn) this.conn.close();
  }

  step(kind, name, data, textA = '') {
    const frame = wire.kindFrame('EXEC2', kind, data, textA, name);
    const run = this.queue.then(async () => {
      if (this.closed || (this.conn && this.conn.dead)) throw new TransportError('the EXEC2 session is closed');
      if (!this.conn) this.conn = this.client.connect();
      return typed('EXEC2', await this.conn.exchange(frame));
    });
    this.queue = run.catch(() => {});
    return run;
  }
}

module.exports = { Client, Exec2Session, DEFAULT_PORT, KEEP_PRISTINE };
