"""The Windows executable as a service under Wine answers HTTP: the main page, the 404 page,
a ranged disk-file request and a slow reader that must receive every byte.

Runs in a Wine prefix of its own; every service state is polled, every wait is bounded.
"""
import http.client
import os
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

BUILD = os.environ.get("KV_WINDOWS_BUILD") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "windows")
EXE = os.path.join(BUILD, "korvane_monitor.exe")
NAME = "KorvaneMonitorHTTPServer"
PATTERN = bytes((i * 7 + i // 251) & 0xFF for i in range(1000))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class WineHttpTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.exists(EXE):
            raise AssertionError("missing " + EXE)
        cls.prefix = tempfile.mkdtemp(prefix="kv-wine-http.")
        cls.env = dict(os.environ, WINEPREFIX=cls.prefix, WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
        subprocess.run(["wineboot", "-i"], env=cls.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=180)
        cls.folder = os.path.join(cls.prefix, "drive_c", "kvhttp")
        os.makedirs(cls.folder)
        shutil.copy2(EXE, os.path.join(cls.folder, "korvane_monitor.exe"))
        cls.port = free_port()
        with open(os.path.join(cls.folder, "config_http.txt"), "wb") as f:
            f.write(b"[http]\r\nport=%d\r\n" % cls.port)
        with open(os.path.join(cls.folder, "thousand.bin"), "wb") as f:
            f.write(PATTERN)
        cls.big = os.urandom(5 * 1024 * 1024)
        with open(os.path.join(cls.folder, "big.bin"), "wb") as f:
            f.write(cls.big)
        cls.win_exe = "C:\\kvhttp\\korvane_monitor.exe"
        cls.wine("C:\\kvhttp\\korvane_monitor.exe", "/INSTALL", "/SILENT")
        for _ in range(3):
            cls.wine("net", "start", NAME)
            if cls.wait_listening(30):
                break
        else:
            raise AssertionError("the service does not listen on %d" % cls.port)

    @classmethod
    def tearDownClass(cls):
        try:
            cls.wine("net", "stop", NAME)
            cls.wine(cls.win_exe, "/UNINSTALL", "/SILENT")
        finally:
            subprocess.run(["wineserver", "-k"], env=cls.env, timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            shutil.rmtree(cls.prefix, ignore_errors=True)

    @classmethod
    def wine(cls, *args, timeout=120):
        return subprocess.run(["wine"] + list(args), env=cls.env, capture_output=True,
                              timeout=timeout, stdin=subprocess.DEVNULL)

    @classmethod
    def wait_listening(cls, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                with socket.create_connection(("127.0.0.1", cls.port), timeout=1):
                    return True
            except OSError:
                time.sleep(0.3)
        return False

    def get(self, target, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=20)
        try:
            conn.putrequest("GET", target, skip_host=True, skip_accept_encoding=True)
            for k, v in (headers or {}).items():
                conn.putheader(k, v)
            conn.endheaders()
            resp = conn.getresponse()
            return resp.status, dict(resp.getheaders()), resp.read()
        finally:
            conn.close()

    def test_main_page_404_page_and_a_range(self):
        status, headers, body = self.get("/")
        self.assertEqual(status, 200)
        self.assertEqual(headers["Content-Type"], "text/html; charset=windows-1251")
        self.assertEqual(headers["Content-length"], str(len(body)))

        status, headers, body = self.get("/nothing.txt")
        self.assertEqual(status, 404)
        self.assertIn(b"<TITLE>404 - 404 Not Found</TITLE>", body)

        status, headers, body = self.get("/thousand.bin", {"Range": "bytes=0-99"})
        self.assertEqual(status, 206)
        self.assertEqual(headers["Content-Range"], "bytes 0-99/1000")
        self.assertEqual(body, PATTERN[:100])
        status, headers, body = self.get("/thousand.bin", {"Range": "bytes=-100"})
        self.assertEqual((status, body), (206, PATTERN[900:]))

        for target in ("/../windows/win.ini", "/..\\windows\\win.ini", "/CON", "/nul.txt",
                       "/thousand.bin::$DATA", "/C:/windows/win.ini"):
            status, _, body = self.get(target)
            self.assertEqual(status, 404, target)

    def test_slow_reader_receives_every_byte(self):
        with socket.create_connection(("127.0.0.1", self.port), timeout=30) as s:
            s.sendall(b"GET /big.bin HTTP/1.0\r\n\r\n")
            chunks = []
            while True:
                time.sleep(0.05)
                chunk = s.recv(64 * 1024)
                if not chunk:
                    break
                chunks.append(chunk)
        head, _, body = b"".join(chunks).partition(b"\r\n\r\n")
        self.assertTrue(head.startswith(b"HTTP/1.0 200\r\n"), head[:100])
        self.assertEqual(len(body), len(self.big))
        self.assertTrue(body == self.big)


if __name__ == "__main__":
    unittest.main()
