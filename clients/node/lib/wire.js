'use strict';
// The bytes on the wire, as docs/protocol.md describes them: request frames,
// response headers and payloads. Nothing here touches a socket.

const ENCODING_UTF16 = 400;
const ENCODING_CODE_PAGE = 401;
const RESPONSE_HEADER_SIZE = 12;
const MAGIC = Buffer.from('VS4\0', 'latin1');

const SOURCE = { file: 1, url: 2, data: 3 };
const KIND = {
  loadFile: 1, capture: 2, loadBytes: 3, script: 4, release: 5,
  metadata: 6, setFlags: 7, clearFlags: 8, blank: 9,
};

const MEANINGS = {
  0: 'success',
  100: 'unknown verb',
  101: 'unknown operation, or an operation this verb cannot run',
  102: 'source file missing, or the image holds no picture',
  103: 'command file not found',
  105: 'command missing or not allowed',
  106: 'no memory for the encoded image',
  107: 'web page capture failed',
  201: 'image step failed: generic error (or the worker failed or timed out)',
  202: 'image step failed: invalid parameter',
  203: 'image step failed: out of memory or image too large',
  204: 'image step failed: object busy',
  205: 'image step failed: insufficient buffer',
  206: 'image step failed: not implemented',
  207: 'image step failed: file cannot be read or written',
  208: 'image step failed: wrong state',
  209: 'image step failed: aborted',
  210: 'image step failed: file not found',
  211: 'image step failed: value overflow',
  212: 'image step failed: access denied',
  213: 'image step failed: unknown image format',
  214: 'image step failed: font family not found',
  215: 'image step failed: font style not found',
  216: 'image step failed: not a TrueType font',
  219: 'image step failed: property not found',
  220: 'image step failed: property not supported',
};

/** What a result code means, in words. */
function meaning(code) {
  if (Object.prototype.hasOwnProperty.call(MEANINGS, code)) return MEANINGS[code];
  return code > 200 && code < 300 ? 'image step failed' : 'unknown result code';
}

class BrokenAnswer extends Error {}

/** A NUL-terminated UTF-16LE text. */
function utf16z(text) {
  return Buffer.from(String(text) + '\0', 'utf16le');
}

function u32(value) {
  const b = Buffer.alloc(4);
  b.writeUInt32LE(value >>> 0);
  return b;
}

// Node encodes only UTF-8 among the Windows code pages without a library.
function codePageBytes(text, codePage) {
  if (codePage !== 65001) throw new RangeError(`code page ${codePage}: this client sends 65001 (UTF-8) only`);
  return Buffer.from(String(text) + '\0', 'utf8');
}

/** The 36-byte header, the code page for encodings other than 400, the body. */
function requestFrame(verb, body, encoding = ENCODING_UTF16, codePage = 0) {
  const withCodePage = encoding !== ENCODING_UTF16;
  const header = Buffer.alloc(36 + (withCodePage ? 4 : 0));
  MAGIC.copy(header, 0);
  header.writeUInt32LE(encoding, 4);
  Buffer.from(verb.slice(0, 11), 'utf16le').copy(header, 8);
  header.writeUInt32LE(body.length, 32);
  if (withCodePage) header.writeUInt32LE(codePage, 36);
  return Buffer.concat([header, body]);
}

function getFrame(path, command, codePage) {
  if (codePage === undefined || codePage === null)
    return requestFrame('GET', Buffer.concat([utf16z(path), utf16z(command), utf16z('')]));
  const body = Buffer.concat([path, command, ''].map((s) => codePageBytes(s, codePage)));
  return requestFrame('GET', body, ENCODING_CODE_PAGE, codePage);
}

/** EXEC and EXEC2: u16 kind, u32 data length, data, two texts. */
function kindFrame(verb, kind, data, textA, textB) {
  const head = Buffer.alloc(6);
  head.writeUInt16LE(kind, 0);
  head.writeUInt32LE(data.length, 2);
  return requestFrame(verb, Buffer.concat([head, data, utf16z(textA), utf16z(textB)]));
}

/** Status and payload length of a 12-byte response header. */
function parseHeader(header) {
  if (!header.subarray(0, 4).equals(MAGIC)) throw new BrokenAnswer('not a Vistrel answer');
  return { status: header.readUInt32LE(4), length: header.readUInt32LE(8) };
}

function textUpToNul(bytes) {
  for (let i = 0; i + 1 < bytes.length; i += 2)
    if (bytes[i] === 0 && bytes[i + 1] === 0) return bytes.toString('utf16le', 0, i);
  throw new BrokenAnswer('text without its terminator');
}

/** The path of a GET answer. */
function bareText(payload, codePage) {
  if (codePage === undefined || codePage === null) return textUpToNul(payload);
  const end = payload.indexOf(0);
  if (end < 0) throw new BrokenAnswer('text without its terminator');
  return payload.toString('utf8', 0, end);
}

/** An EXEC or EXEC2 payload: text, a Buffer, or a size for 8 binary bytes. */
function typedAnswer(payload) {
  if (payload.length === 0) return null;
  if (payload.length < 2) throw new BrokenAnswer('payload of 1 byte');
  const type = payload.readUInt16LE(0);
  if (type === 1) return textUpToNul(payload.subarray(2));
  if (type !== 2 || payload.length < 6) throw new BrokenAnswer(`unknown payload type ${type}`);
  const length = payload.readUInt32LE(2);
  if (length !== payload.length - 6)
    throw new BrokenAnswer(`binary data of ${length} bytes announced, ${payload.length - 6} present`);
  const data = payload.subarray(6);
  if (length === 8) return { width: data.readUInt32LE(0), height: data.readUInt32LE(4) };
  return data;
}

module.exports = {
  ENCODING_UTF16, RESPONSE_HEADER_SIZE, SOURCE, KIND, MEANINGS, BrokenAnswer,
  meaning, utf16z, u32, requestFrame, getFrame, kindFrame, parseHeader, bareText, typedAnswer,
};
