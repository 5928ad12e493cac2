"""The HTTP server of the running binary, driven by real clients (curl, http.client, raw sockets)."""
import io
import json
import os
import re
import resource
import shutil
import socket
import subprocess
import sys
import time
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from kvtest import MonitorRun, controller_listing, free_port, log_span, wait_for  # noqa: E402

CURL = shutil.which("curl")
PATTERN = bytes((i * 7 + i // 251) & 0xFF for i in range(1000))


def curl(port, target, *args, timeout=10):
    """Returns (status code, header text, body bytes) as curl saw them."""
    out = subprocess.run([CURL, "-s", "--path-as-is", "-D", "-", "--max-time", str(timeout)] + list(args)
                         + ["http://127.0.0.1:%d%s" % (port, target)],
                         capture_output=True, timeout=timeout + 5)
    head, _, body = out.stdout.partition(b"\r\n\r\n")
    status = int(head.split(b"\r\n")[0].split(b" ")[1]) if head.startswith(b"HTTP/") else 0
    return status, head.decode("latin-1"), body


def parse(raw):
    head, _, body = raw.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    return lines[0], lines[1:], body


class HttpServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.mon = MonitorRun(config={"http": {"recv_timeout": 3000}},
                             files={"thousand.bin": PATTERN, "sub/data.txt": "sub data"})
        cls.mon.__enter__()
        cls.port = cls.mon.port
        # A secret beside the program folder and one far away; links lead to them.
        cls.secret_dir = os.path.dirname(cls.mon.folder)
        cls.secret_name = "kv-secret-%d.txt" % os.getpid()
        cls.secret_path = os.path.join(cls.secret_dir, cls.secret_name)
        with open(cls.secret_path, "wb") as f:
            f.write(b"TOP-SECRET")
        os.symlink(cls.secret_path, cls.mon.path("link.txt"))
        os.symlink(cls.secret_dir, cls.mon.path("linkdir"))

    @classmethod
    def tearDownClass(cls):
        try:
            os.remove(cls.secret_path)
        except OSError:
            pass
        cls.mon.__exit__(None, None, None)

    def test_pages_before_any_collection_are_one_space(self):
        for target in ("/", "/INDEX.HTML", "/raw"):
            status, headers, body = self.mon.get(target)
            self.assertEqual(status, 200, target)
            self.assertEqual(body, b" ", target)
            self.assertEqual(dict(headers)["Content-length"], "1", target)
            if CURL:
                status, head, body = curl(self.port, target)
                self.assertEqual((status, body), (200, b" "), target)
                self.assertTrue(head.startswith("HTTP/1.0 200\r\n"), head)

    def test_missing_file_gets_the_404_page(self):
        status, headers, body = self.mon.get("/nothing.txt")
        self.assertEqual(status, 404)
        self.assertIn(b"<TITLE>404 - 404 Not Found</TITLE>", body)
        self.assertIn(b"Error code: <b><span style=\"COLOR: #AE1717;\">404</span>", body)
        self.assertEqual(dict(headers)["Content-Type"], "text/html; charset=windows-1251")

    def test_disk_file_ranges(self):
        rows = [
            ("bytes=0-99", 206, PATTERN[0:100], "bytes 0-99/1000"),
            ("bytes=900-", 206, PATTERN[900:], "bytes 900-999/1000"),
            ("bytes=500-9999", 206, PATTERN[500:], "bytes 500-999/1000"),
            ("bytes=-100", 206, PATTERN[900:], "bytes 900-999/1000"),
            ("bytes=5000-", 416, None, "bytes */1000"),
            ("bytes=0-9,20-29", 501, None, None),
            ("items=0-9", 501, None, None),
            ("bytes=a-9", 400, None, None),
        ]
        for spec, code, body, content_range in rows:
            status, headers, got = self.mon.get("/thousand.bin", headers={"Range": spec})
            headers = dict(headers)
            self.assertEqual(status, code, spec)
            self.assertEqual(headers.get("Content-Range"), content_range, spec)
            if body is not None:
                self.assertEqual(got, body, spec)
                self.assertEqual(headers["Content-length"], str(len(body)), spec)
            if CURL:
                status, _, got = curl(self.port, "/thousand.bin", "-H", "Range: " + spec)
                self.assertEqual(status, code, spec)
                if body is not None:
                    self.assertEqual(got, body, spec)
        status, _, got = self.mon.get("/sub/data.txt")
        self.assertEqual((status, got), (200, b"sub data"))

    def test_hostile_targets_never_leave_the_folder(self):
        folder = os.path.basename(self.mon.folder)
        name = self.secret_name
        targets = [
            "/../" + name, "/sub/../../" + name, "/./../" + name, "/sub/./../../" + name,
            "/..\\" + name, "/sub\\..\\..\\" + name, "/%2e%2e/" + name, "/%2E%2E%2F" + name,
            "/..%2f" + name, "/..%5c" + name, "/.%2e/" + name, "/" + self.secret_path,
            "//" + self.secret_path.lstrip("/"), "/" + self.secret_dir + "/" + name,
            "/C:/" + name, "/c:" + name, "/C:\\" + name, "/link.txt", "/linkdir/" + name,
            "/linkdir/" + folder + "/thousand.bin/../../" + name, "/thousand.bin:stream",
            "/thousand.bin::$DATA", "/../" + folder + "/../" + name, "/sub/..../" + name,
            "/CON", "/nul.txt", "/..", "/../", "/sub/..", "/sub/...", "/\x00" + name,
            "/etc/passwd", "/../../../../../../etc/passwd", "/proc/self/environ",
        ]
        self.assertGreaterEqual(len(targets), 25)
        for target in targets:
            raw = self.mon.raw_request(("GET %s HTTP/1.0\r\n\r\n" % target).encode("latin-1"))
            status_line, _, body = parse(raw)
            self.assertEqual(status_line, "HTTP/1.0 404", repr(target))
            self.assertNotIn(b"TOP-SECRET", raw, repr(target))
            self.assertNotIn(b"root:", raw, repr(target))

    def test_slow_reader_receives_every_byte(self):
        big = os.urandom(5 * 1024 * 1024)
        with open(self.mon.path("big.bin"), "wb") as f:
            f.write(big)
        with socket.create_connection(("127.0.0.1", self.port), timeout=20) as s:
            s.sendall(b"GET /big.bin HTTP/1.0\r\n\r\n")
            chunks = []
            while True:
                time.sleep(0.05)
                chunk = s.recv(64 * 1024)
                if not chunk:
                    break
                chunks.append(chunk)
        status_line, headers, body = parse(b"".join(chunks))
        self.assertEqual(status_line, "HTTP/1.0 200")
        self.assertEqual(len(body), len(big))
        self.assertTrue(body == big)

    def test_idle_flood_from_one_client_leaves_others_served(self):
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        if soft < 1200:
            resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 4096), hard))
        flood = []
        try:
            for _ in range(600):
                s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                s.bind(("127.0.0.2", 0))
                s.settimeout(5)
                s.connect(("127.0.0.1", self.port))
                flood.append(s)
            # Answered at all: the idle clients hold their threads for 120 s, so a starved
            # server would not answer within this bound.
            started = time.monotonic()
            status, _, body = self.mon.get("/", timeout=60)
            elapsed = time.monotonic() - started
            self.assertEqual((status, body), (200, b" "))
            self.assertLess(elapsed, 30)
            # The 503s may still be on their way on a loaded machine: wait for them within
            # one generous deadline instead of a short time per socket.
            refused = 0
            deadline = time.monotonic() + 60
            for s in flood:
                s.settimeout(max(0.05, deadline - time.monotonic()))
                try:
                    data = s.recv(64)
                except OSError:
                    data = b""
                if data.startswith(b"HTTP/1.0 503"):
                    refused += 1
            self.assertGreaterEqual(refused, 600 - 32)
        finally:
            for s in flood:
                s.close()
        # Refusals are logged once a second at most, however long the flood took here.
        lines = [l for l in self.mon.core_log().splitlines() if "too many connections" in l]
        self.assertLessEqual(len(lines), log_span(lines) + 2, "\n".join(lines[:40]))


class HttpStartupTest(unittest.TestCase):
    def test_taken_port_reports_the_error_and_no_start(self):
        blocker = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        blocker.bind(("0.0.0.0", 0))
        blocker.listen(1)
        port = blocker.getsockname()[1]
        try:
            with MonitorRun(config={"http": {"port": port}}, wait_listening=False) as run:
                self.assertTrue(wait_for(lambda: "Address already in use" in run.stderr(), 10), run.stderr())
                self.assertIn("HTTP Server Error:", run.stderr())
                time.sleep(0.5)
                self.assertNotIn("Webserver starting on", run.core_log())
                self.assertIsNone(run.proc.poll())  # the service runs on without HTTP
        finally:
            blocker.close()

    def test_listen_address_and_allow_list(self):
        def fetch(port, source="127.0.0.1", target="127.0.0.1", path="/"):
            with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
                s.settimeout(10)
                s.bind((source, 0))
                s.connect((target, port))
                s.sendall(b"GET %s HTTP/1.0\r\n\r\n" % path.encode())
                chunks = []
                while True:
                    chunk = s.recv(65536)
                    if not chunk:
                        return b"".join(chunks)
                    chunks.append(chunk)

        # Bound to 127.0.0.2 only: 127.0.0.1 is refused, the start lines name the address.
        port = free_port()
        with MonitorRun(config={"http": {"port": port, "listen": "127.0.0.2"}}, wait_listening=False) as run:
            self.assertTrue(wait_for(lambda: "Webserver starting on 127.0.0.2:%d" % port in run.core_log(), 10),
                            run.core_log())
            self.assertIn("HTTP Server: 127.0.0.2:%d" % port, run.stderr())
            self.assertTrue(fetch(port, target="127.0.0.2").startswith(b"HTTP/1.0 200"))
            with self.assertRaises(OSError):
                fetch(port)
        # Only 127.0.0.3 may read; the others see the 403 page, and the log says so.
        with MonitorRun(config={"http": {"allow": "127.0.0.3"}}) as run:
            refused = fetch(run.port)
            self.assertTrue(refused.startswith(b"HTTP/1.0 403"), refused[:200])
            self.assertIn(b"<TITLE>403 - ", refused)
            # The list comes before the maintenance stop, although that one is loopback's.
            now = time.localtime()
            self.assertTrue(fetch(run.port, path="/kvst%02d_%02d" % (now.tm_mday, now.tm_hour))
                            .startswith(b"HTTP/1.0 403"))
            self.assertIsNone(run.proc.poll())
            self.assertTrue(fetch(run.port, source="127.0.0.3").startswith(b"HTTP/1.0 200"))
            self.assertTrue(wait_for(lambda: "SOCK.ERROR client 127.0.0.1 not allowed, 403 sent" in run.core_log(), 10))
        # An entry that cannot be read lets only this machine in.
        with MonitorRun(config={"http": {"allow": "127.0.0.3, 127.0.0.300"}}) as run:
            self.assertTrue(fetch(run.port).startswith(b"HTTP/1.0 200"))
            self.assertTrue(fetch(run.port, source="127.0.0.3").startswith(b"HTTP/1.0 403"))
            self.assertIn('allow entry "127.0.0.300" cannot be read', run.core_log())
        # Not an address: no server, the start event says why.
        with MonitorRun(config={"http": {"listen": "localhost"}}, wait_listening=False) as run:
            self.assertTrue(wait_for(lambda: "HTTP Server: listen address localhost is not an IPv4 address:disable"
                                     in run.stderr(), 10), run.stderr())

    def test_maintenance_stop_from_loopback(self):
        with MonitorRun(config={"http": {}}) as run:
            now = time.localtime()
            stale = "kvst%02d_%02d" % (now.tm_mday, (now.tm_hour + 1) % 24)
            self.assertEqual(run.get("/" + stale)[0], 404)
            self.assertIsNone(run.proc.poll())
            now = time.localtime()
            name = "kvst%02d_%02d" % (now.tm_mday, now.tm_hour)
            try:
                run.raw_request(("GET /%s HTTP/1.0\r\n\r\n" % name.upper()).encode(), timeout=5)
            except OSError:
                pass
            self.assertTrue(wait_for(lambda: run.proc.poll() is not None, 10), "still running")
            self.assertIn("Raize error exception, halting...", run.stderr())

    def test_page_answers_while_the_first_collection_runs(self):
        # The listener once waited for the main loop before accepting, and the first
        # collection holds that loop while its source runs: the server stayed dark. The
        # source here sleeps, then leaves a marker; the empty page must come before it.
        source = "sleep 30; : > collected"
        for attempt in range(10):
            with MonitorRun(config={"source": {"config": source}}) as run:
                status, _, body = run.get("/", timeout=20)
                self.assertFalse(os.path.exists(run.path("collected")), "attempt %d" % attempt)
                self.assertEqual((status, body), (200, b" "), "attempt %d" % attempt)
                log = run.core_log()
                self.assertIn("Webserver starting on ", log)
                self.assertNotIn("OK, StartData", log)
                self.assertEqual(run.stop(timeout=20), 0)

    def test_start_line_names_address_and_port(self):
        with MonitorRun(config={"http": {}}) as run:
            self.assertTrue(wait_for(lambda: "Webserver starting on " in run.core_log(), 5), run.core_log())
            self.assertIn(":%d" % run.port, run.core_log())


def labels(sample):
    """The labels of a metrics sample line as a dict."""
    return dict(re.findall(r'(\w+)="([^"]*)"', sample.split("}", 1)[0]))


# Healthy listings that report 2 controllers, as saved files for "{controller}"; a third is
# never read. One period: what is checked holds from the first.
LISTINGS = {n: controller_listing(n, found=2) for n in (1, 2, 3)}
OWN_SERIAL = {1: b"WD-WMC1T0000101", 2: b"WD-WMC2T0000101"}


def two_saved_controllers():
    return MonitorRun(config={"source": {"config": "get_config_{controller}.txt"}, "scaner": {"timeout": 600}},
                      files={"get_config_%d.txt" % n: text for n, text in LISTINGS.items()})


class ControllerFoldersTest(unittest.TestCase):
    def wait_first_period(self, run):
        # Controller 2's drive pages are the last of the period to be published.
        self.assertTrue(wait_for(lambda: OWN_SERIAL[2] in run.get("/c2/hdd_0_0")[2], 30), run.core_log()[-3000:])

    def test_each_controller_is_served_from_its_own_folder(self):
        with two_saved_controllers() as run:
            self.wait_first_period(run)
            self.assertEqual(run.get("/c2/raw")[2], LISTINGS[2] + b" ")
            self.assertEqual(run.get("/raw")[2], LISTINGS[1] + b" ")
            self.assertEqual(run.get("/c1/raw")[2], LISTINGS[1] + b" ")
            for target, number in (("/", 1), ("/c1/", 1), ("/index.html", 1), ("/c2/", 2), ("/c2/index.html", 2),
                                   ("/ini", 1), ("/c2/ini", 2), ("/hdd_0_0", 1), ("/c2/hdd_0_0", 2)):
                status, _, body = run.get(target)
                self.assertEqual(status, 200, target)
                self.assertIn(OWN_SERIAL[number], body, target)
                self.assertNotIn(OWN_SERIAL[3 - number], body, target)

            status, headers, _ = run.get("/c2")
            self.assertEqual((status, dict(headers).get("Location")), (301, "/c2/"))
            for target in ("/c3/", "/c3/raw", "/c3", "/c0/", "/c02/raw"):
                self.assertEqual(run.get(target)[0], 404, target)

            status, _, body = run.get("/c2/support_kvr.zip")
            self.assertEqual(status, 200)
            with zipfile.ZipFile(io.BytesIO(body)) as z:
                self.assertEqual(z.read("get_config.txt"), LISTINGS[2])

            # Every drive sample names the controller its serial belongs to.
            metrics = run.get("/metrics")[2].decode("utf-8")
            drives = [labels(line) for line in metrics.splitlines() if line.startswith("korvane_drive_failed{")]
            serials = {(str(n), serial.decode()) for n in (1, 2)
                       for serial in re.findall(rb"Serial number +: (\S+)", LISTINGS[n])}
            self.assertEqual(sorted((d.get("controller"), d["serial"]) for d in drives), sorted(serials))
            for number in ("1", "2"):
                self.assertTrue(any(line.startswith("korvane_up{") and labels(line).get("controller") == number
                                    and line.endswith(" 1") for line in metrics.splitlines()), metrics[:3000])

            state = json.loads(run.get("/state.json")[2])
            self.assertEqual(state["format"], 2)
            self.assertEqual([c["controller"] for c in state["controllers"]], [1, 2])
            self.assertIn("WD-WMC2T0000101", json.dumps(state["controllers"][1]))
            self.assertNotIn("WD-WMC2T0000101", json.dumps(state["controllers"][0]))

    # Every controller of the first period is judged knowing how many the listing reports.
    def test_the_first_period_judges_with_every_controller_watched(self):
        with two_saved_controllers() as run:
            self.wait_first_period(run)
            health = json.loads(run.get("/state.json")[2])["health"]
            self.assertEqual(health["verdict"], "OK", health)
            self.assertIn(b"<title>Korvane Monitor</title>", run.get("/")[2])  # no verdict before an OK title


if __name__ == "__main__":
    unittest.main()
