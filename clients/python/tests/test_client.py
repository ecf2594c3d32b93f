"""The Python client against a real vistrel5 started in a temporary folder.

The server programs come from $VISTREL_BUILD_DIR (default build-test/bin of
the repository). Run: python3 -m unittest discover -s clients/python/tests
"""

from __future__ import annotations

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "src"))

import vistrel  # noqa: E402

REPO = HERE.parents[2]


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class RunningServer:
    """vistrel5 -debug and its worker, copied into a folder of their own."""

    def __init__(self) -> None:
        given = os.environ.get("VISTREL_BUILD_DIR")
        bin_dir = Path(given) if given else REPO / "build-test" / "bin"
        if not (bin_dir / "vistrel5").exists():
            if given:
                raise RuntimeError("no vistrel5 in %s" % bin_dir)
            raise unittest.SkipTest("build the server first (no %s)" % (bin_dir / "vistrel5"))
        self.home = Path(tempfile.mkdtemp(prefix="vistrel-py-"))
        for name in ("vistrel5", "vistrelremt"):
            shutil.copy2(bin_dir / name, self.home / name)
        self.port = free_port()
        (self.home / "vistrel5.ini").write_text(
            "[Server]\nPort=%d\nEngineWorkprocessCount=1\n" % self.port)
        self.out = open(self.home / "out.txt", "wb")
        self.start()

    def start(self) -> None:
        self.process = subprocess.Popen(
            [str(self.home / "vistrel5"), "-debug"], cwd=self.home,
            stdin=subprocess.PIPE, stdout=self.out, stderr=subprocess.STDOUT)
        self._wait_for_port()

    def _wait_for_port(self) -> None:
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("vistrel5 exited with %s" % self.process.returncode)
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("vistrel5 does not listen on %d" % self.port)

    def terminate(self) -> None:
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdin.close()  # type: ignore[union-attr]

    def stop(self) -> None:
        self.terminate()
        self.out.close()
        shutil.rmtree(self.home, ignore_errors=True)


class ClientTest(unittest.TestCase):
    server: RunningServer
    work: Path
    source: Path

    @classmethod
    def setUpClass(cls) -> None:
        cls.server = RunningServer()
        cls.work = Path(tempfile.mkdtemp(prefix="vistrel-py-work-"))
        # The source photo is drawn by the server itself.
        cls.source = cls.work / "blue.jpg"
        with vistrel.Exec2Session(port=cls.server.port) as s:
            s.blank("canvas", 640, 480, "336699")
            written = s.script("canvas", "cmd=encode&path=%s" % cls.source)
        assert written == str(cls.source), written

    @classmethod
    def tearDownClass(cls) -> None:
        cls.server.stop()
        shutil.rmtree(cls.work, ignore_errors=True)

    def client(self) -> vistrel.Client:
        client = vistrel.Client(port=self.server.port, timeout=30)
        self.addCleanup(client.close)
        return client

    def test_get_answers_a_cached_path_and_raises_result_codes(self) -> None:
        client = self.client()
        first = client.get(self.source, "cmd=thumb&w=100")
        self.assertTrue(Path(first).is_file())
        self.assertEqual(client.get(str(self.source), "cmd=thumb&w=100"), first)  # the cache hit
        self.assertEqual(client.get(self.source, "cmd=thumb&w=100", code_page=65001), first)
        for path, command, code in [
            (self.work / "missing.jpg", "cmd=thumb&w=100", 102),
            (self.source, "w=100", 105),
            (self.source, "cmd=nosuchfile", 103),
        ]:
            with self.subTest(command=command), self.assertRaises(vistrel.ResultError) as caught:
                client.get(path, command)
            self.assertEqual(caught.exception.code, code)
            self.assertEqual(caught.exception.meaning, vistrel.meaning(code))
            self.assertIn("GET failed: %d" % code, str(caught.exception))

    def test_exec_returns_bytes_a_path_or_a_size(self) -> None:
        client = self.client()
        data = self.source.read_bytes()
        png = client.exec(["cmd=resize&w=100", "cmd=encode&format=png"], data=data)
        self.assertIsInstance(png, bytes)
        self.assertTrue(png.startswith(b"\x89PNG"))  # type: ignore[union-attr]
        self.assertEqual(client.exec("cmd=_getmetric_&info=v1", file=self.source), vistrel.Size(640, 480))
        out = self.work / "small.png"
        self.assertEqual(client.exec(["cmd=resize&w=64", "cmd=encode&path=%s" % out], data=data), str(out))
        self.assertTrue(out.is_file())
        self.assertIsNone(client.exec("cmd=resize&w=64", data=data))
        with self.assertRaises(vistrel.ResultError) as caught:
            client.exec("cmd=encode", data=b"not an image")
        self.assertEqual(caught.exception.code, 213)

    def test_exec2_session_keeps_named_images_on_its_connection(self) -> None:
        with self.client().session() as s:
            self.assertEqual(s.load("a", self.source), (640, 480))
            self.assertEqual(s.script("a", "cmd=resize&w=100&h=75"), vistrel.Size(100, 75))
            jpeg = s.script("a", "cmd=encode&format=jpg&quality=80")
            self.assertTrue(isinstance(jpeg, bytes) and jpeg.startswith(b"\xff\xd8"))
            self.assertEqual(s.load_bytes("b", self.source.read_bytes()), (640, 480))
            self.assertEqual(s.metadata("b", 0x010F), "")
            s.set_flags("b", vistrel.KEEP_PRISTINE)
            s.clear_flags("b", vistrel.KEEP_PRISTINE)
            s.release("b")
            with self.assertRaises(vistrel.ResultError) as caught:
                s.script("b", "cmd=resize&w=10")
            self.assertEqual(caught.exception.code, 102)
        with self.client().session() as other:  # a new connection has no "a"
            with self.assertRaises(vistrel.ResultError):
                other.script("a", "cmd=resize&w=10")

    def test_one_connection_serves_many_calls_and_survives_a_restart(self) -> None:
        client = self.client()
        for _ in range(3):
            client.get(self.source, "cmd=thumb&w=100")
        self.assertEqual(len(client._idle), 1)
        # The kept connection dies with the server; the next call is sent
        # again on a fresh one, while a session reports the loss.
        session = self.client().session()
        self.addCleanup(session.close)
        session.blank("x", 8, 8)
        self.server.terminate()
        self.server.start()
        self.assertTrue(Path(client.get(self.source, "cmd=thumb&w=100")).is_file())
        with self.assertRaises(vistrel.TransportError):
            session.blank("x", 8, 8)
        dead = vistrel.Client(port=free_port(), timeout=5)
        with self.assertRaises(vistrel.TransportError):
            dead.get(self.source, "cmd=thumb&w=100")


if __name__ == "__main__":
    unittest.main()
