"""Client for the Vistrel 5 image-processing server.

    import vistrel
    thumb = vistrel.Client(port=19985).get("/srv/photos/a.jpg", "cmd=thumb&w=300")
"""

from .client import DEFAULT_PORT, KEEP_PRISTINE, Client, Exec2Session
from .errors import ProtocolError, ResultError, TransportError, VistrelError
from .wire import Size, meaning

__all__ = [
    "Client",
    "DEFAULT_PORT",
    "Exec2Session",
    "KEEP_PRISTINE",
    "ProtocolError",
    "ResultError",
    "Size",
    "TransportError",
    "VistrelError",
    "meaning",
]
__version__ = "1.0.0"
