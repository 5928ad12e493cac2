"""The Windows Installer package under Wine: install, reinstall, upgrade and uninstall, each
checked through the service manager (polled), HTTP and the registry.

One prefix, one history, as an administrator would live it: a copy installed from the ZIP
makes the package stop with the command that removes it; then a quiet install with
properties (the configuration is filled in, the registry matches "/INSTALL" value for
value), the same version again, an edited configuration through an upgrade to a higher
version built from the same files, the uninstall, which leaves the configuration and the
service's own files, and a last install to the default folder. msiexec runs from a batch
file, so the properties are quoted as an administrator types them.
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from wine_service import WineService, close_session, free_port, open_session  # noqa: E402

ROOT = os.path.join(HERE, "..", "..")
BUILD = os.environ.get("KV_WINDOWS_BUILD") or os.path.join(ROOT, "build", "windows")
WXS = os.path.join(ROOT, "packaging", "windows", "korvane-monitor.wxs")
STAGE = os.path.join(BUILD, "generated", "msi", "files")
NAME = "KorvaneMonitorHTTPServer"
SERVICE_KEY = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\" + NAME
EVENTLOG_KEY = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\" + NAME
UNINSTALL_KEY = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
FOLDER = "C:\\Korvane Test"


class WindowsInstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        found = glob.glob(os.path.join(BUILD, "packages", "korvane-monitor-*-x64.msi"))
        if not found:
            raise AssertionError("no MSI in %s/packages: the Windows build makes it" % BUILD)
        found = [max(found, key=os.path.getmtime)]
        cls.prefix = tempfile.mkdtemp(prefix="kv-wine-msi.")
        cls.env = dict(os.environ, WINEPREFIX=cls.prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        cls.drive = os.path.join(cls.prefix, "drive_c")
        # Its wine() and service-state polling, on this prefix (it installs nothing here).
        cls.svc = WineService(0)
        cls.svc.env = cls.env
        try:
            open_session(cls.env)
            shutil.copy2(found[0], os.path.join(cls.drive, "kv.msi"))
            cls.version = cls.msi_version(found[0])
            # The next release: the same files, a higher version, its own product code.
            major, minor, build = (int(x) for x in cls.version.split("."))
            cls.next_version = "%d.%d.%d" % (major, minor, build + 1)
            cls.build_msi(cls.next_version, str(uuid.uuid4()), "kv-next.msi")
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        close_session(cls.env)
        shutil.rmtree(cls.prefix, ignore_errors=True)

    @classmethod
    def build_msi(cls, version, product_code, name):
        """Builds the package from the build's staged files with another version or product code."""
        result = subprocess.run(["wixl", "-a", "x64", "-D", "Version=" + version, "-D", "ProductCode=" + product_code,
                                 "-o", os.path.join(cls.drive, name), os.path.abspath(WXS)],
                                cwd=STAGE, capture_output=True, timeout=300)
        if result.returncode != 0:
            raise AssertionError("wixl: %r" % result.stderr[-2000:])

    @staticmethod
    def msi_version(path):
        # The version is in the file name only as the project's; the package's own is derived.
        name = os.path.basename(path)[len("korvane-monitor-"):-len("-x64.msi")]
        major, minor, patch, tweak = (int(x) for x in (name.split(".") + ["0"] * 4)[:4])
        return "%d.%d.%d" % (major, minor, patch * 1000 + tweak)

    def wine(self, *args, timeout=180):
        return self.svc.wine(*args, timeout=timeout)

    def msiexec(self, arguments, log):
        """Runs "msiexec <arguments>" from a batch file; returns its exit code and log text."""
        with open(os.path.join(self.drive, "kvmsi.cmd"), "w", newline="\r\n") as f:
            # The exit code through a file: a Unix exit status keeps only its low byte.
            f.write("@msiexec %s /l*v C:\\%s\n@echo rc=%%ERRORLEVEL%%> C:\\kvmsi.rc\n" % (arguments, log))
        started = time.monotonic()
        self.wine("cmd", "/c", "C:\\kvmsi.cmd", timeout=600)
        with open(os.path.join(self.drive, "kvmsi.rc")) as f:
            code = int(f.read().strip()[len("rc="):])
        self.timings.append("%s %.1f s (exit %d)" % (log, time.monotonic() - started, code))
        try:
            with open(os.path.join(self.drive, log), "rb") as f:
                raw = f.read()
        except OSError:
            raw = b""
        # Windows writes the log in UTF-16, Wine in its code page.
        text = raw.decode("utf-16") if raw.startswith(b"\xff\xfe") else raw.decode("latin-1")
        return code, text

    def state(self):
        return self.svc.state()

    def wait_state(self, wanted, timeout=60):
        return self.svc.wait_state(wanted, timeout)

    def get_root(self, port, want=b"", timeout=60):
        """The main page once it answers (and holds `want`), else the last failure."""
        import http.client
        deadline = time.monotonic() + timeout
        last = None
        while time.monotonic() < deadline:
            try:
                conn = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
                conn.request("GET", "/")
                resp = conn.getresponse()
                body = resp.read()
                conn.close()
                last = (resp.status, body[:200])
                if resp.status == 200 and want in body:
                    return resp.status, body
            except OSError as e:
                last = e
            time.sleep(0.5)
        self.fail("no main page on %d: %r" % (port, last))

    def reg_key(self, key):
        """The key's values as reg export writes them, or None when the key is absent."""
        out = os.path.join(self.drive, "export.reg")
        if os.path.exists(out):
            os.remove(out)
        if self.wine("reg", "export", key, "C:\\export.reg", "/y").returncode != 0 or not os.path.exists(out):
            return None
        with open(out, "rb") as f:
            text = f.read().decode("utf-16")
        values, current = {}, None
        for line in text.splitlines():
            if line.startswith("["):
                current = line.strip("[]")
            elif "=" in line and current is not None and current.lower() == ("HKEY_LOCAL_MACHINE" + key[4:]).lower():
                name, value = line.split("=", 1)
                values[name] = value
        return values

    def products(self):
        """(product code, DisplayVersion) of every installed product named Korvane Monitor."""
        out = self.wine("reg", "query", UNINSTALL_KEY, "/s").stdout.decode("latin-1")
        found, key, version, name = [], None, None, None
        for line in out.splitlines() + ["HKEY_END"]:
            if line.startswith("HKEY_"):
                if name == "Korvane Monitor":
                    found.append((key.rsplit("\\", 1)[-1], version))
                key, version, name = line.strip(), None, None
            elif "DisplayVersion" in line:
                version = line.split()[-1]
            elif "DisplayName" in line:
                name = line.split("REG_SZ", 1)[1].strip()
        return found

    def path(self, *parts):
        return os.path.join(self.drive, "Korvane Test", *parts)

    def read(self, *parts):
        with open(self.path(*parts), "rb") as f:
            return f.read()

    def test_install_reinstall_upgrade_uninstall(self):
        self.timings = []
        port = free_port()
        data = os.path.join(self.drive, "kv data")
        os.makedirs(data)
        with open(os.path.join(ROOT, "examples", "demo", "get_config.txt"), "rb") as f:
            with open(os.path.join(data, "demo config.txt"), "wb") as out:
                out.write(f.read())

        # A copy installed from the ZIP, in the folder the package will use.
        os.makedirs(self.path())
        shutil.copy2(os.path.join(STAGE, "korvane_monitor.exe"), self.path("korvane_monitor.exe"))
        with open(self.path("config_http.txt"), "wb") as f:
            f.write(b"[http]\r\nport=%d\r\n" % port)
        exe = FOLDER + "\\korvane_monitor.exe"
        self.assertEqual(self.wine(exe, "/INSTALL", "/SILENT").returncode, 0)
        zip_service = self.reg_key(SERVICE_KEY)
        zip_eventlog = self.reg_key(EVENTLOG_KEY)
        self.assertIn("\"Description\"", zip_service)
        self.wine("net", "start", NAME)
        self.assertEqual(self.wait_state("RUNNING"), "RUNNING")

        code, log = self.msiexec("/i C:\\kv.msi /qn", "refused.log")
        # Windows logs the launch condition's message with the command; Wine shows it only in a UI.
        self.assertEqual(code, 1603)
        self.assertIn("KV_OTHER_MESSAGE_FILE = %s" % exe, log)
        self.assertEqual(self.state(), "RUNNING")
        self.assertTrue(os.path.exists(self.path("config_http.txt")), "the refused install touched the copy")

        self.wine("net", "stop", NAME)
        self.assertEqual(self.wait_state("STOPPED"), "STOPPED")
        self.assertEqual(self.wine(exe, "/UNINSTALL", "/SILENT").returncode, 0)
        shutil.rmtree(self.path())

        # Quiet install with properties: blanks in values, a section the template lacks.
        code, log = self.msiexec(
            '/i C:\\kv.msi /qn INSTALLDIR="%s" HTTP_PORT=%d HTTP_ALLOW="127.0.0.1, 10.0.0.0/8" '
            'SOURCE_CONFIG="C:\\kv data\\demo config.txt" NOTIFY_COMMAND="cmd /c echo changed"'
            % (FOLDER, port), "install.log")
        self.assertEqual(code, 0, log[-3000:])
        self.assertEqual(self.wait_state("RUNNING"), "RUNNING")
        for name in ("korvane_monitor.exe", "reload_service.exe", "README.txt", "korvane_monitor_rules.yml",
                     "korvane_monitor_grafana.json", "korvane_monitor_zabbix.yaml"):
            self.assertTrue(os.path.exists(self.path(name)), name)
        config = self.read("config_http.txt")
        self.assertIn(b"[http]\r\n; TCP port of the web server, on all local addresses.\r\nport=%d\r\n" % port, config)
        self.assertIn(b"use=1\r\nallow=127.0.0.1, 10.0.0.0/8\r\n", config)
        self.assertIn(b"\r\nconfig=C:\\kv data\\demo config.txt\r\nsmart=\r\n", config)
        self.assertTrue(config.endswith(b"cache=\r\n\r\n[notify]\r\ncommand=cmd /c echo changed\r\n"), config[-200:])
        self.assertEqual(config.count(b"port="), 1)
        self.get_root(port, want=b"WD-WMC1T0000101")
        # Value for value what "/INSTALL" writes for a copy in the same folder.
        self.assertEqual(self.reg_key(SERVICE_KEY), zip_service)
        self.assertEqual(self.reg_key(EVENTLOG_KEY), zip_eventlog)
        [(product_code, version)] = self.products()
        self.assertEqual(version, self.version)

        # The same version again: the same file, and a rebuild of it (another package code).
        self.build_msi(self.version, product_code.strip("{}"), "kv-rebuilt.msi")
        for package in ("kv.msi", "kv-rebuilt.msi"):
            code, log = self.msiexec("/i C:\\%s /qn" % package, "again-" + package + ".log")
            self.assertIn(code, (0, 1638), log[-3000:])
            self.assertEqual(self.wait_state("RUNNING"), "RUNNING")
            self.get_root(port)
        self.assertEqual(self.products(), [(product_code, self.version)])

        # An edited configuration survives the upgrade, which finds the folder by itself.
        edited = config.replace(b"timeout=600", b"timeout=300") + b"; edited\r\n"
        with open(self.path("config_http.txt"), "wb") as f:
            f.write(edited)
        core_log = self.read("korvane_monitor_core_log.txt")
        code, log = self.msiexec("/i C:\\kv-next.msi /qn HTTP_PORT=1", "upgrade.log")
        self.assertEqual(code, 0, log[-3000:])
        self.assertEqual(self.read("config_http.txt"), edited)
        self.assertEqual(self.wait_state("RUNNING"), "RUNNING")
        self.get_root(port, want=b"WD-WMC1T0000101")
        self.assertEqual([version for _, version in self.products()], [self.next_version])
        self.assertFalse(os.path.exists(os.path.join(self.drive, "Program Files", "Korvane Monitor")))
        # Restarted: the core log starts afresh at every start.
        self.assertNotEqual(self.read("korvane_monitor_core_log.txt"), core_log)

        # Uninstall: the service, its event-log source and the programs go; the user's files stay.
        code, log = self.msiexec("/x C:\\kv-next.msi /qn", "uninstall.log")
        self.assertEqual(code, 0, log[-3000:])
        self.assertNotEqual(self.wine("sc", "query", NAME).returncode, 0)
        self.assertIsNone(self.reg_key(SERVICE_KEY))
        self.assertIsNone(self.reg_key(EVENTLOG_KEY))
        self.assertEqual(self.products(), [])
        self.assertEqual(self.read("config_http.txt"), edited)
        for name in ("korvane_monitor_core_log.txt", "korvane_monitor_state.txt"):
            self.assertTrue(os.path.exists(self.path(name)), name)
        self.assertFalse(os.path.exists(self.path("korvane_monitor.exe")))

        # Without INSTALLDIR and with no earlier install to follow: the default folder.
        code, log = self.msiexec("/i C:\\kv.msi /qn", "default.log")
        self.assertEqual(code, 0, log[-3000:])
        default = os.path.join(self.drive, "Program Files", "Korvane Monitor")
        self.assertLessEqual({"README.txt", "config_http.txt", "korvane_monitor.exe", "korvane_monitor_rules.yml",
                              "reload_service.exe"}, set(os.listdir(default)))
        self.assertEqual(self.wait_state("RUNNING"), "RUNNING")
        print("\nmsiexec under Wine: " + ", ".join(self.timings), file=sys.stderr)


if __name__ == "__main__":
    unittest.main()
