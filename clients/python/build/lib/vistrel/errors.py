"""What the client raises. Catch VistrelError for all of them."""

from __future__ import annotations

from typing import Optional

from .wire import meaning


class VistrelError(Exception):
    """Any failure of a request. `code` is the result code when the server
    answered with one, else None."""

    code: Optional[int] = None


class ResultError(VistrelError):
    """The server answered with a non-zero result code."""

    def __init__(self, verb: str, code: int) -> None:
        self.verb = verb
        self.code = code
        self.meaning = meaning(code)
        super().__init__("%s failed: %d (%s)" % (verb, code, self.meaning))


class TransportError(VistrelError):
    """The server could not be reached, the connection broke, or it timed out.
    The underlying OSError is the __cause__."""

    def __init__(self, message: str, timed_out: bool = False) -> None:
        self.timed_out = timed_out
        super().__init__(message)


class ProtocolError(VistrelError):
    """The answer was not a Vistrel answer, was broken, or was too large."""
