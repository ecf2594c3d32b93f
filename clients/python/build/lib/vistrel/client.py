"""Client and Exec2Session: the three verbs over TCP, following docs/protocol.md."""

from __future__ import annotations

import os
import socket
import threading
from typing import Callable, List, Optional, Sequence, Tuple, TypeVar, Union

from . import wire
from .errors import ProtocolError, ResultError, TransportError
from .wire import Answer, Size

DEFAULT_PORT = 19985
DEFAULT_MAX_RESPONSE = 256 << 20
KEEP_PRISTINE = 1  # EXEC2 image flag: keep an untouched copy for later layers

Script = Union[str, Sequence[str]]
PathText = Union[str, "os.PathLike[str]"]
T = TypeVar("T")

# Errors after which the request never reached the server, or its answer was
# never begun: a fresh connection may try again.
_RETRYABLE = (ConnectionRefusedError, ConnectionResetError, BrokenPipeError, ConnectionAbortedError)


class _ClosedEarly(Exception):
    """The connection ended before the first byte of the answer."""


def _script_text(script: Script) -> str:
    return script if isinstance(script, str) else "\n".join(script)


class _Connection:
    """One socket; sends a frame, reads its whole answer."""

    def __init__(self, host: str, port: int, timeout: Optional[float]) -> None:
        try:
            self.sock = socket.create_connection((host, port), timeout=timeout)
        except socket.timeout as e:
            raise TransportError("connecting to %s:%d timed out" % (host, port), True) from e
        except _RETRYABLE:
            raise
        except OSError as e:
            raise TransportError("cannot connect to %s:%d: %s" % (host, port, e)) from e
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def close(self) -> None:
        self.sock.close()

    def _read(self, size: int, first: bool = False) -> bytes:
        parts: List[bytes] = []
        left = size
        while left > 0:
            chunk = self.sock.recv(min(left, 1 << 20))
            if not chunk:
                if first and left == size:
                    raise _ClosedEarly()
                raise TransportError("the server closed the connection in the middle of an answer")
            parts.append(chunk)
            left -= len(chunk)
        return b"".join(parts)

    def exchange(self, frame: bytes, max_response: int) -> Tuple[int, bytes]:
        """Status and payload of the answer to `frame`."""
        try:
            self.sock.sendall(frame)
            header = self._read(wire.RESPONSE_HEADER_SIZE, first=True)
            status, length = wire.parse_header(header)
            if length > max_response:
                raise ProtocolError("the answer announces %d bytes, more than the limit %d" % (length, max_response))
            return status, self._read(length)
        except wire.BrokenAnswer as e:
            raise ProtocolError(str(e)) from e
        except socket.timeout as e:
            raise TransportError("the server did not answer in time", True) from e
        except (_ClosedEarly, *_RETRYABLE):
            raise
        except OSError as e:
            raise TransportError("the connection failed: %s" % e) from e


class Client:
    """A client of one server. Connections are kept open and reused; calls
    from several threads each take their own connection.

    `timeout` (seconds, None for none) bounds the connect and every wait for
    bytes. `GET` and `EXEC` are sent once more on a fresh connection when the
    connection was refused, reset or closed before the answer began.
    """

    def __init__(
        self,
        host: str = "127.0.0.1",
        port: int = DEFAULT_PORT,
        timeout: Optional[float] = 30.0,
        *,
        max_response: int = DEFAULT_MAX_RESPONSE,
        retry: bool = True,
        max_idle: int = 8,
    ) -> None:
        self.host = host
        self.port = port
        self.timeout = timeout
        self.max_response = max_response
        self.retry = retry
        self.max_idle = max_idle
        self._idle: List[_Connection] = []
        self._lock = threading.Lock()

    def __enter__(self) -> "Client":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def close(self) -> None:
        """Closes the idle connections; the client stays usable."""
        with self._lock:
            idle, self._idle = self._idle, []
        for conn in idle:
            conn.close()

    def get(self, path: PathText, command: str = "", *, code_page: Optional[int] = None) -> str:
        """The path of the result file for `command` applied to the image file
        `path` on the server's machine. With `code_page` the strings travel in
        that Windows code page (encoding 401) instead of UTF-16LE."""
        frame = wire.get_frame(os.fspath(path), command, code_page)
        status, payload = self._call(frame)
        if status != 0:
            raise ResultError("GET", status)
        try:
            return wire.bare_text(payload, code_page)
        except wire.BrokenAnswer as e:
            raise ProtocolError(str(e)) from e

    def exec(
        self,
        script: Script,
        *,
        file: Optional[PathText] = None,
        data: Optional[bytes] = None,
        url: Optional[str] = None,
        options: str = "",
    ) -> Answer:
        """Runs `script` (photo commands, one per line or item) on one source:
        a `file` on the server's machine, image `data`, or a page `url` to
        capture (with capture `options`). Returns the encoded bytes of an
        `encode` line, the path it wrote, a Size for `_getmetric_`, or None
        when the script answered nothing."""
        kinds = [(wire.SOURCE_FILE, file), (wire.SOURCE_BYTES, data), (wire.SOURCE_URL, url)]
        given = [(k, v) for k, v in kinds if v is not None]
        if len(given) != 1:
            raise ValueError("exec takes exactly one of file=, data=, url=")
        kind, value = given[0]
        raw = bytes(value) if kind == wire.SOURCE_BYTES else wire.utf16z(os.fspath(value))  # type: ignore[arg-type]
        frame = wire.kind_frame("EXEC", kind, raw, options, _script_text(script))
        return _typed("EXEC", *self._call(frame))

    def session(self) -> "Exec2Session":
        """A new EXEC2 session on its own connection to this server."""
        return Exec2Session(self.host, self.port, self.timeout, max_response=self.max_response)

    def _take(self) -> _Connection:
        with self._lock:
            if self._idle:
                return self._idle.pop()
        return _Connection(self.host, self.port, self.timeout)

    def _give_back(self, conn: _Connection) -> None:
        with self._lock:
            if len(self._idle) < self.max_idle:
                self._idle.append(conn)
                return
        conn.close()

    def _call(self, frame: bytes) -> Tuple[int, bytes]:
        attempts = 2 if self.retry else 1
        for attempt in range(attempts):
            conn: Optional[_Connection] = None
            try:
                conn = self._take()
                answer = conn.exchange(frame, self.max_response)
            except (_ClosedEarly, *_RETRYABLE) as e:
                if conn is not None:
                    conn.close()
                if attempt + 1 < attempts:
                    continue
                cause = e if isinstance(e, OSError) else None
                raise TransportError("the connection to %s:%d was refused or lost" % (self.host, self.port)) from cause
            except BaseException:
                if conn is not None:
                    conn.close()
                raise
            self._give_back(conn)
            return answer
        raise AssertionError("unreachable")


def _typed(verb: str, status: int, payload: bytes) -> Answer:
    if status != 0:
        raise ResultError(verb, status)
    try:
        return wire.typed_answer(payload)
    except wire.BrokenAnswer as e:
        raise ProtocolError(str(e)) from e


class Exec2Session:
    """Named images on one connection: what is loaded under a name in one
    call is there for the next. The images go when the session closes.
    Nothing is retried: a lost connection loses the images, and the session
    raises TransportError from then on."""

    def __init__(
        self,
        host: str = "127.0.0.1",
        port: int = DEFAULT_PORT,
        timeout: Optional[float] = 30.0,
        *,
        max_response: int = DEFAULT_MAX_RESPONSE,
    ) -> None:
        self.max_response = max_response
        try:
            self._conn: Optional[_Connection] = _Connection(host, port, timeout)
        except _RETRYABLE as e:
            raise TransportError("cannot connect to %s:%d: %s" % (host, port, e)) from e

    def __enter__(self) -> "Exec2Session":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def close(self) -> None:
        if self._conn is not None:
            self._conn.close()
            self._conn = None

    def load(self, name: str, path: PathText) -> Size:
        """Loads an image file on the server's machine."""
        return self._size(wire.KIND_LOAD_FILE, name, wire.utf16z(os.fspath(path)))

    def load_bytes(self, name: str, data: bytes) -> Size:
        """Loads an encoded image (JPEG, PNG, GIF, TIFF, WebP, BMP)."""
        return self._size(wire.KIND_LOAD_BYTES, name, bytes(data))

    def capture(self, name: str, url: str, options: str = "") -> Size:
        """Captures a web page (`options`: rwait, width, height)."""
        return self._size(wire.KIND_CAPTURE, name, wire.utf16z(url), options)

    def blank(self, name: str, width: int, height: int, colour: str = "FFFFFF") -> Size:
        """Creates a canvas filled with RRGGBB or AARRGGBB."""
        data = width.to_bytes(4, "little") + height.to_bytes(4, "little") + wire.utf16z(colour)
        return self._size(wire.KIND_BLANK, name, data)

    def script(self, name: str, script: Script) -> Answer:
        """Runs photo commands on the image: the new Size, or an `encode`
        line's bytes or written path."""
        return self._step(wire.KIND_SCRIPT, name, b"", _script_text(script))

    def metadata(self, name: str, tag: int) -> str:
        """An EXIF tag of the image as text ('' when absent)."""
        return self._text(wire.KIND_METADATA, name, tag.to_bytes(4, "little"))

    def release(self, name: str) -> None:
        """Frees the image's picture; the name stays, empty."""
        self._text(wire.KIND_RELEASE, name, b"")

    def set_flags(self, name: str, bits: int) -> None:
        """Sets image flags (KEEP_PRISTINE)."""
        self._text(wire.KIND_SET_FLAGS, name, bits.to_bytes(4, "little"))

    def clear_flags(self, name: str, bits: int) -> None:
        """Clears image flags."""
        self._text(wire.KIND_CLEAR_FLAGS, name, bits.to_bytes(4, "little"))

    def _step(self, kind: int, name: str, data: bytes, text_a: str = "") -> Answer:
        if self._conn is None:
            raise TransportError("the EXEC2 session is closed")
        frame = wire.kind_frame("EXEC2", kind, data, text_a, name)
        try:
            status, payload = self._conn.exchange(frame, self.max_response)
        except _ClosedEarly as e:
            self.close()
            raise TransportError("the server closed the EXEC2 session") from e
        except BaseException as e:
            self.close()
            if isinstance(e, OSError):
                raise TransportError("the EXEC2 session broke: %s" % e) from e
            raise
        return _typed("EXEC2", status, payload)

    def _size(self, kind: int, name: str, data: bytes, text_a: str = "") -> Size:
        return _expect(self._step(kind, name, data, text_a), Size)

    def _text(self, kind: int, name: str, data: bytes) -> str:
        return _expect(self._step(kind, name, data), str)


def _expect(answer: Answer, kind: Callable[..., T]) -> T:
    if not isinstance(answer, kind):  # type: ignore[arg-type]
        raise ProtocolError("unexpected answer %r" % (answer,))
    return answer
