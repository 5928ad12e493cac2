"""The Windows executable as a service under Wine answers HTTP: the main page, the 404 page,
ranged disk-file requests, hostile targets, and a slow reader that must receive every byte.
"""
import os
import socket
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_service import WineService, free_port  # noqa: E402

PATTERN = bytes((i * 7 + i // 251) & 0xFF for i in range(1000))
BIG = os.urandom(5 * 1024 * 1024)


def request(port, target, headers=None, read_pause=0.0, source="127.0.0.1", host="127.0.0.1"):
    """Raw HTTP/1.0 exchange; returns (status line, header dict, body)."""
    lines = ["GET %s HTTP/1.0" % target] + ["%s: %s" % kv for kv in (headers or {}).items()]
    with socket.create_connection((host, port), timeout=30, source_address=(source, 0)) as s:
        s.sendall(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"))
        chunks = []
        while True:
            if read_pause:
                time.sleep(read_pause)
            chunk = s.recv(64 * 1024)
            if not chunk:
                break
            chunks.append(chunk)
    head, _, body = b"".join(chunks).partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    return lines[0], dict(l.split(": ", 1) for l in lines[1:] if ": " in l), body


class WineHttpTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.port = free_port()
        cls.svc = WineService(cls.port, folder="kvhttp", files={
            "config_http.txt": b"[http]\r\nport=%d\r\n" % cls.port,
            "thousand.bin": PATTERN, "big.bin": BIG})
        cls.svc.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.svc.__exit__(None, None, None)

    def test_main_page_404_page_and_ranges(self):
        status, headers, body = request(self.port, "/")
        self.assertEqual(status, "HTTP/1.0 200")
        self.assertEqual(headers["Content-Type"], "text/html; charset=windows-1251")
        self.assertEqual(headers["Content-length"], str(len(body)))

        status, _, body = request(self.port, "/nothing.txt")
        self.assertEqual(status, "HTTP/1.0 404")
        self.assertIn(b"<TITLE>404 - 404 Not Found</TITLE>", body)

        for spec, first, last in (("bytes=0-99", 0, 99), ("bytes=-100", 900, 999), ("bytes=900-", 900, 999)):
            status, headers, body = request(self.port, "/thousand.bin", {"Range": spec})
            self.assertEqual(status, "HTTP/1.0 206", spec)
            self.assertEqual(headers["Content-Range"], "bytes %d-%d/1000" % (first, last), spec)
            self.assertEqual(body, PATTERN[first:last + 1], spec)
        status, headers, _ = request(self.port, "/thousand.bin", {"Range": "bytes=5000-"})
        self.assertEqual((status, headers.get("Content-Range")), ("HTTP/1.0 416", "bytes */1000"))

    def test_hostile_targets_are_missing_files(self):
        # Names holding "ini", "raw" or "hdd_" are routed to the texts before any disk
        # look-up, so the targets name a program of the prefix's Windows folder instead.
        for target in ("/../windows/notepad.exe", "/..\\windows\\notepad.exe", "/C:/windows/notepad.exe",
                       "/c:windows/notepad.exe", "/CON", "/nul.txt", "/com1", "/lpt1.log", "/aux",
                       "/thousand.bin::$DATA", "/thousand.bin:x", "/sub/../../windows/notepad.exe"):
            status, _, body = request(self.port, target)
            self.assertEqual(status, "HTTP/1.0 404", target)

    def test_slow_reader_receives_every_byte(self):
        status, _, body = request(self.port, "/big.bin", read_pause=0.05)
        self.assertEqual(status, "HTTP/1.0 200")
        self.assertEqual(len(body), len(BIG))
        self.assertTrue(body == BIG)


class WineAccessTest(unittest.TestCase):
    """[http] listen and allow through the Windows socket layer."""

    def test_listen_address_and_allow_list(self):
        port = free_port()
        config = b"[http]\r\nport=%d\r\nlisten=127.0.0.1\r\nallow=127.0.0.3\r\n" % port
        with WineService(port, folder="kvaccess", files={"config_http.txt": config}):
            self.assertEqual(request(port, "/")[0], "HTTP/1.0 403")
            self.assertEqual(request(port, "/", source="127.0.0.3")[0], "HTTP/1.0 200")
            with self.assertRaises(OSError):
                request(port, "/", host="127.0.0.2")


class WineHistoryTest(unittest.TestCase):
    """The drive history through the Windows build's own SQLite: written, read back over
    HTTP, and drawn on the drive page."""

    def test_history_is_written_served_and_charted(self):
        demo = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "demo")
        files = {}
        for name in ("get_config.txt", "get_smartstats.txt"):
            with open(os.path.join(demo, name), "rb") as f:
                files[name] = f.read()
        port = free_port()
        files["config_http.txt"] = (b"[http]\r\nport=%d\r\n[scaner]\r\ntimeout=1\r\n[source]\r\nconfig=get_config.txt\r\n"
                                    b"smart=get_smartstats.txt\r\n[history]\r\ninterval=1\r\n" % port)
        with WineService(port, folder="kvhistory", files=files) as svc:
            deadline = time.monotonic() + 90
            page = b""
            while b"<svg" not in page and time.monotonic() < deadline:
                time.sleep(0.5)
                page = request(port, "/hdd_0_0")[2]
            self.assertIn(b"<svg", page, svc.core_log()[-2000:])
            status, headers, body = request(port, "/history.csv")
            self.assertEqual(status, "HTTP/1.0 200")
            self.assertGreater(body.count(b"WD-WMC1T0000101"), 1)
            self.assertTrue(os.path.exists(os.path.join(svc.folder, "korvane_monitor_history.db")))


if __name__ == "__main__":
    unittest.main()
