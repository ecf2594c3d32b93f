"""The bytes on the wire, as docs/protocol.md describes them: request frames,
response headers and payloads. Nothing here touches a socket."""

from __future__ import annotations

import codecs
import struct
from typing import NamedTuple, Optional, Union

ENCODING_UTF16 = 400
ENCODING_CODE_PAGE = 401
REQUEST_HEADER_SIZE = 36
RESPONSE_HEADER_SIZE = 12
MAGIC = b"VS4\x00"

PAYLOAD_TEXT = 1
PAYLOAD_BINARY = 2

# Source kinds of EXEC.
SOURCE_FILE = 1
SOURCE_URL = 2
SOURCE_BYTES = 3

# Request kinds of EXEC2.
KIND_LOAD_FILE = 1
KIND_CAPTURE = 2
KIND_LOAD_BYTES = 3
KIND_SCRIPT = 4
KIND_RELEASE = 5
KIND_METADATA = 6
KIND_SET_FLAGS = 7
KIND_CLEAR_FLAGS = 8
KIND_BLANK = 9

MEANINGS = {
    0: "success",
    100: "unknown verb",
    101: "unknown operation, or an operation this verb cannot run",
    102: "source file missing, or the image holds no picture",
    103: "command file not found",
    105: "command missing or not allowed",
    106: "no memory for the encoded image",
    107: "web page capture failed",
    201: "image step failed: generic error (or the worker failed or timed out)",
    202: "image step failed: invalid parameter",
    203: "image step failed: out of memory or image too large",
    204: "image step failed: object busy",
    205: "image step failed: insufficient buffer",
    206: "image step failed: not implemented",
    207: "image step failed: file cannot be read or written",
    208: "image step failed: wrong state",
    209: "image step failed: aborted",
    210: "image step failed: file not found",
    211: "image step failed: value overflow",
    212: "image step failed: access denied",
    213: "image step failed: unknown image format",
    214: "image step failed: font family not found",
    215: "image step failed: font style not found",
    216: "image step failed: not a TrueType font",
    219: "image step failed: property not found",
    220: "image step failed: property not supported",
}


def meaning(code: int) -> str:
    """What a result code means, in words."""
    if code in MEANINGS:
        return MEANINGS[code]
    return "image step failed" if 200 < code < 300 else "unknown result code"


class Size(NamedTuple):
    """A size answer: the image's width and height in pixels."""

    width: int
    height: int


Answer = Union[bytes, str, Size, None]


class BrokenAnswer(ValueError):
    """The bytes received are not an answer this protocol allows."""


def utf16z(text: str) -> bytes:
    """A NUL-terminated UTF-16LE text."""
    return text.encode("utf-16-le") + b"\x00\x00"


def codec_for(code_page: int) -> str:
    """The Python codec of a Windows code page number."""
    if code_page == 65001:
        return "utf-8"
    name = "cp%d" % code_page
    codecs.lookup(name)  # LookupError for a code page Python does not know
    return name


def request_frame(verb: str, body: bytes, encoding: int = ENCODING_UTF16, code_page: int = 0) -> bytes:
    """The 36-byte header, the code page for encodings other than 400, the body."""
    verb_field = verb[:11].encode("utf-16-le").ljust(24, b"\x00")
    header = MAGIC + struct.pack("<I", encoding) + verb_field + struct.pack("<I", len(body))
    if encoding != ENCODING_UTF16:
        header += struct.pack("<I", code_page)
    return header + body


def get_frame(path: str, command: str, code_page: Optional[int] = None) -> bytes:
    """GET: source path, command and an empty third string."""
    if code_page is None:
        return request_frame("GET", utf16z(path) + utf16z(command) + utf16z(""))
    codec = codec_for(code_page)
    body = b"".join(s.encode(codec) + b"\x00" for s in (path, command, ""))
    return request_frame("GET", body, ENCODING_CODE_PAGE, code_page)


def kind_frame(verb: str, kind: int, data: bytes, text_a: str, text_b: str) -> bytes:
    """EXEC and EXEC2: u16 kind, u32 data length, data, two texts."""
    body = struct.pack("<HI", kind, len(data)) + bytes(data) + utf16z(text_a) + utf16z(text_b)
    return request_frame(verb, body)


def parse_header(header: bytes) -> tuple[int, int]:
    """Status and payload length of a 12-byte response header."""
    if header[:4] != MAGIC:
        raise BrokenAnswer("not a Vistrel answer (magic %r)" % header[:4])
    status, length = struct.unpack_from("<II", header, 4)
    return status, length


def _text_up_to_nul(data: bytes) -> str:
    for i in range(0, len(data) - 1, 2):
        if data[i] == 0 and data[i + 1] == 0:
            return data[:i].decode("utf-16-le", errors="replace")
    raise BrokenAnswer("text without its terminator")


def bare_text(payload: bytes, code_page: Optional[int] = None) -> str:
    """The path of a GET answer."""
    if code_page is None:
        return _text_up_to_nul(payload)
    end = payload.find(b"\x00")
    if end < 0:
        raise BrokenAnswer("text without its terminator")
    return payload[:end].decode(codec_for(code_page), errors="replace")


def typed_answer(payload: bytes) -> Answer:
    """An EXEC or EXEC2 payload: text, bytes, or a size for 8 binary bytes."""
    if not payload:
        return None
    if len(payload) < 2:
        raise BrokenAnswer("payload of %d byte" % len(payload))
    kind = struct.unpack_from("<H", payload)[0]
    if kind == PAYLOAD_TEXT:
        return _text_up_to_nul(payload[2:])
    if kind != PAYLOAD_BINARY or len(payload) < 6:
        raise BrokenAnswer("unknown payload type %d" % kind)
    length = struct.unpack_from("<I", payload, 2)[0]
    if length != len(payload) - 6:
        raise BrokenAnswer("binary data of %d bytes announced, %d present" % (length, len(payload) - 6))
    data = payload[6:]
    if length == 8:
        return Size(*struct.unpack("<II", data))
    return data
