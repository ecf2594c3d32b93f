'use strict';
// What the client rejects with. Every error is a VistrelError.

const { meaning } = require('./wire');

class VistrelError extends Error {
  get name() { return this.constructor.name; }
}

/** The server answered with a non-zero result code: `code` (a number), `meaning`. */
class ResultError extends VistrelError {
  constructor(verb, code) {
    super(`${verb} failed: ${code} (${meaning(code)})`);
    this.verb = verb;
    this.code = code;
    this.meaning = meaning(code);
  }
}

/**
 * The server could not be reached, the connection broke, or it timed out.
 * `code` is the system's code ('ECONNREFUSED', 'ECONNRESET', 'ETIMEDOUT'...).
 */
class TransportError extends VistrelError {
  constructor(message, { cause, timedOut = false } = {}) {
    super(message, cause ? { cause } : undefined);
    this.timedOut = timedOut;
    this.code = timedOut ? 'ETIMEDOUT' : (cause && cause.code) || 'ECONNCLOSED';
  }
}

/** The answer was not a Vistrel answer, was broken, or was too large. */
class ProtocolError extends VistrelError {}

module.exports = { VistrelError, ResultError, TransportError, ProtocolError };
