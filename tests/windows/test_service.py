"""The Windows service under Wine: install, registry values, start, core log, stop, uninstall.

Runs in a Wine prefix of its own. Wine's service manager can be slow or answer early
("net start" may return before the service runs), so every state is polled with
"sc query" and each step is retried a few times before the test fails.
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_service import close_session, open_session  # noqa: E402

BUILD = os.environ.get("KV_WINDOWS_BUILD") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "windows")
EXE = os.path.join(BUILD, "korvane_monitor.exe")
NAME = "KorvaneMonitorHTTPServer"
SERVICE_KEY = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\" + NAME
EVENTLOG_KEY = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\" + NAME
DESCRIPTION = "Служба мониторинга параметров RAID-контроллеров Korvane"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class WineServiceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.exists(EXE):
            raise AssertionError("missing " + EXE)
        cls.prefix = tempfile.mkdtemp(prefix="kv-wine-service.")
        cls.env = dict(os.environ, WINEPREFIX=cls.prefix, WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
        open_session(cls.env)
        cls.folder = os.path.join(cls.prefix, "drive_c", "kvsvc")
        os.makedirs(cls.folder)
        shutil.copy2(EXE, os.path.join(cls.folder, "korvane_monitor.exe"))
        cls.port = free_port()
        with open(os.path.join(cls.folder, "config_http.txt"), "wb") as f:
            f.write(b"[http]\r\nport=%d\r\n[scaner]\r\ntimeout=600\r\n" % cls.port)
        cls.win_exe = "C:\\kvsvc\\korvane_monitor.exe"

    @classmethod
    def tearDownClass(cls):
        close_session(cls.env)
        shutil.rmtree(cls.prefix, ignore_errors=True)

    def wine(self, *args, timeout=120):
        return subprocess.run(["wine"] + list(args), env=self.env, capture_output=True, timeout=timeout,
                              stdin=subprocess.DEVNULL)

    def reg_value(self, key, name):
        """The value's data as reg export writes it (UTF-16 file), or None when absent."""
        out = os.path.join(self.prefix, "drive_c", "export.reg")
        if os.path.exists(out):
            os.remove(out)
        result = self.wine("reg", "export", key, "C:\\export.reg", "/y")
        if result.returncode != 0 or not os.path.exists(out):
            return None
        with open(out, "rb") as f:
            text = f.read().decode("utf-16")
        for line in text.splitlines():
            if line.startswith('"%s"=' % name):
                return line.split("=", 1)[1]
        return None

    def key_exists(self, key):
        return self.wine("reg", "query", key).returncode == 0

    def state(self):
        out = self.wine("sc", "query", NAME).stdout.decode("latin-1")
        for word in ("START_PENDING", "STOP_PENDING", "RUNNING", "STOPPED"):
            if word in out:
                return word
        return out.strip() or "UNKNOWN"

    def wait_state(self, wanted, timeout=60):
        deadline = time.monotonic() + timeout
        state = self.state()
        while state != wanted and time.monotonic() < deadline:
            time.sleep(0.5)
            state = self.state()
        return state

    @staticmethod
    def wait_for(predicate, timeout):
        deadline = time.monotonic() + timeout
        while not predicate():
            if time.monotonic() > deadline:
                return False
            time.sleep(0.3)
        return True

    def core_log(self):
        try:
            with open(os.path.join(self.folder, "korvane_monitor_core_log.txt"), "rb") as f:
                return f.read()
        except OSError:
            return b""

    def start_service(self):
        """net start, retried: Wine's service manager may answer before the service runs."""
        state = "UNKNOWN"
        for attempt in range(3):
            self.wine("net", "start", NAME)
            state = self.wait_state("RUNNING")
            if state == "RUNNING":
                break
            print("attempt %d: service is %s" % (attempt + 1, state), file=sys.stderr)
        return state

    def test_install_start_stop_uninstall(self):
        result = self.wine(self.win_exe, "/INSTALL", "/SILENT")
        self.assertEqual(result.returncode, 0, result.stderr)

        self.assertEqual(self.reg_value(SERVICE_KEY, "Start"), "dword:00000002")
        self.assertEqual(self.reg_value(SERVICE_KEY, "Description"), '"%s"' % DESCRIPTION)
        self.assertEqual(self.reg_value(EVENTLOG_KEY, "TypesSupported"), "dword:00000007")
        self.assertEqual(self.reg_value(EVENTLOG_KEY, "EventMessageFile"),
                         '"%s"' % self.win_exe.replace("\\", "\\\\"))
        self.assertTrue(self.core_log().startswith(b"[Start] "))

        self.assertEqual(self.start_service(), "RUNNING")
        log = self.core_log()
        self.assertTrue(log.startswith(b"[Start] "), log[:200])
        # ServiceStart ran: the scan list manager's start-up lines follow the start line.
        self.assertTrue(self.wait_for(lambda: self.core_log().count(b"\r\n") > 1, 30), self.core_log())

        for attempt in range(3):
            self.wine("net", "stop", NAME)
            state = self.wait_state("STOPPED")
            if state == "STOPPED":
                break
        self.assertEqual(state, "STOPPED")

        result = self.wine(self.win_exe, "/uninstall", "-silent")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertFalse(self.key_exists(EVENTLOG_KEY))
        deadline = time.monotonic() + 20
        while self.key_exists(SERVICE_KEY) and time.monotonic() < deadline:
            time.sleep(0.5)
        self.assertFalse(self.key_exists(SERVICE_KEY))

        # Removing it again fails and says so.
        result = self.wine(self.win_exe, "/UNINSTALL", "/SILENT")
        self.assertNotEqual(result.returncode, 0)

    def test_stop_ends_a_hung_source_and_its_children(self):
        # A stop once waited for the running command, up to source_timeout (300 s), and the
        # service control manager called the service not responding. The source runs for
        # ever and starts a child; each beats its own file.
        folder = os.path.join(self.prefix, "drive_c", "kvstop")
        os.makedirs(folder, exist_ok=True)
        shutil.copy2(EXE, os.path.join(folder, "korvane_monitor.exe"))
        shutil.copy2(os.path.join(BUILD, "kv_collect_child.exe"), os.path.join(folder, "kv_collect_child.exe"))
        with open(os.path.join(folder, "config_http.txt"), "wb") as f:
            f.write(b"[http]\r\nuse=0\r\n[source]\r\nconfig=kv_collect_child.exe tree beat\r\n")
        exe = "C:\\kvstop\\korvane_monitor.exe"
        beats = [os.path.join(folder, "beat"), os.path.join(folder, "beat.child")]

        def sizes():
            return [os.path.getsize(b) if os.path.exists(b) else -1 for b in beats]

        self.assertEqual(self.wine(exe, "/INSTALL", "/SILENT").returncode, 0)
        try:
            self.assertEqual(self.start_service(), "RUNNING")
            self.assertTrue(self.wait_for(lambda: min(sizes()) > 0, 60), sizes())

            started = time.monotonic()
            self.wine("net", "stop", NAME)
            state = self.wait_state("STOPPED", timeout=60)
            took = time.monotonic() - started
            self.assertEqual(state, "STOPPED")
            self.assertLess(took, 10, "the stop took %.1f s" % took)
            # Nothing of the source runs on: its heartbeat files have stopped growing.
            time.sleep(1)
            before = sizes()
            time.sleep(1.5)
            self.assertEqual(sizes(), before)
        finally:
            self.wine("net", "stop", NAME)
            self.wait_state("STOPPED", timeout=30)
            self.wine(exe, "/UNINSTALL", "/SILENT")


if __name__ == "__main__":
    unittest.main()
