"""The built packages: .deb contents, an install/remove/purge cycle into a private dpkg root,
the unit file through systemd-analyze, and the Windows ZIP's members and line ends.

KV_DEB and KV_ZIP name the package files; a missing one skips its tests."""
import os
import shutil
import subprocess
import tempfile
import unittest
import zipfile

DEB = os.environ.get("KV_DEB", "")
ZIP = os.environ.get("KV_ZIP", "")
OPT = "opt/korvane-monitor"
UNIT = "usr/lib/systemd/system/KorvaneMonitorHTTPServer.service"


def run(*args, **kw):
    return subprocess.run(list(args), capture_output=True, timeout=120, **kw)


@unittest.skipUnless(DEB and os.path.exists(DEB), "no .deb")
class DebTest(unittest.TestCase):
    def test_contents(self):
        listing = run("dpkg-deb", "-c", DEB).stdout.decode()
        entries = {}
        for line in listing.splitlines():
            parts = line.split()
            entries[parts[-1].lstrip("./")] = parts[0]
        for name, mode in ((OPT + "/korvane_monitor", "-rwxr-xr-x"), (OPT + "/reload_service", "-rwxr-xr-x"),
                           (OPT + "/config_http.txt", "-rw-r--r--"), (OPT + "/README", "-rw-r--r--"),
                           (OPT + "/korvane_monitor_rules.yml", "-rw-r--r--"),
                           (OPT + "/korvane_monitor_grafana.json", "-rw-r--r--"),
                           (OPT + "/korvane_monitor_zabbix.yaml", "-rw-r--r--"), (UNIT, "-rw-r--r--")):
            self.assertEqual(entries.get(name), mode, name + "\n" + listing)
        self.assertEqual(run("dpkg-deb", "-f", DEB, "Package").stdout.decode().strip(), "korvane-monitor")
        self.assertIn("libsqlite3-0", run("dpkg-deb", "-f", DEB, "Depends").stdout.decode())
        conffiles = run("dpkg-deb", "-I", DEB, "conffiles").stdout.decode().split()
        self.assertEqual(conffiles, ["/" + OPT + "/config_http.txt"])

    def test_install_remove_purge_in_a_private_root(self):
        root = tempfile.mkdtemp(prefix="kv-dpkg-")
        try:
            for d in ("var/lib/dpkg/info", "var/lib/dpkg/updates"):
                os.makedirs(os.path.join(root, d))
            for f in ("var/lib/dpkg/status", "var/lib/dpkg/available"):
                open(os.path.join(root, f), "w").close()
            dpkg = ["dpkg", "--root=" + root, "--force-script-chrootless", "--force-depends", "--log=/dev/null"]
            done = run(*dpkg, "-i", DEB)
            self.assertEqual(done.returncode, 0, done.stderr)
            for rel in (OPT + "/korvane_monitor", OPT + "/reload_service", OPT + "/config_http.txt", OPT + "/README",
                        UNIT):
                self.assertTrue(os.path.isfile(os.path.join(root, rel)), rel)
            with open(os.path.join(root, UNIT)) as f:
                unit = f.read()
            self.assertIn('ExecStart="/opt/korvane-monitor/korvane_monitor"\n', unit)
            self.assertIn("WantedBy=multi-user.target", unit)
            # The installed program answers --check-config with the packaged file: no stray lines.
            done = run(os.path.join(root, OPT, "korvane_monitor"), "--check-config")
            self.assertEqual(done.returncode, 0, done.stdout)
            self.assertIn(b"Lines not understood: none", done.stdout)

            if shutil.which("systemd-analyze"):
                # verify wants the program at its path; check a copy pointing into the root.
                unit_dir = os.path.join(root, "unit-check")
                os.makedirs(unit_dir)
                with open(os.path.join(unit_dir, os.path.basename(UNIT)), "w") as f:
                    f.write(unit.replace("/opt/korvane-monitor", os.path.join(root, OPT)))
                done = run("systemd-analyze", "verify", os.path.join(unit_dir, os.path.basename(UNIT)))
                self.assertEqual(done.returncode, 0, done.stderr)
                shutil.rmtree(unit_dir)

            # The administrator's config, the program's logs and its drive history.
            with open(os.path.join(root, OPT, "config_http.txt"), "a") as f:
                f.write("[source]\nconfig=mine\n")
            for log in ("korvane_monitor_core_log.txt", "korvane_monitor_core_log.old.txt", "reload_service_log.txt",
                        "korvane_monitor_changes.txt", "korvane_monitor_changes.old.txt", "korvane_monitor_state.txt",
                        "korvane_monitor_history.db", "korvane_monitor_history.db-wal",
                        "korvane_monitor_history.db-shm", "korvane_monitor_history.db.damaged-20260102-030405"):
                open(os.path.join(root, OPT, log), "w").close()
            done = run(*dpkg, "-r", "korvane-monitor")
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertFalse(os.path.exists(os.path.join(root, OPT, "korvane_monitor")))
            self.assertFalse(os.path.exists(os.path.join(root, UNIT)))
            with open(os.path.join(root, OPT, "config_http.txt")) as f:
                self.assertIn("config=mine", f.read())
            done = run(*dpkg, "-P", "korvane-monitor")
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertFalse(os.path.exists(os.path.join(root, OPT)), "purge left the program folder")
        finally:
            shutil.rmtree(root, ignore_errors=True)


@unittest.skipUnless(ZIP and os.path.exists(ZIP), "no ZIP")
class ZipTest(unittest.TestCase):
    def test_members_and_text_files(self):
        with zipfile.ZipFile(ZIP) as z:
            names = {n.split("/", 1)[1]: n for n in z.namelist() if "/" in n and not n.endswith("/")}
            self.assertEqual(sorted(names), ["README.txt", "config_http.txt", "korvane_monitor.exe",
                                             "korvane_monitor_grafana.json", "korvane_monitor_rules.yml",
                                             "korvane_monitor_zabbix.yaml", "reload_service.exe"])
            for exe in ("korvane_monitor.exe", "reload_service.exe"):
                self.assertEqual(z.read(names[exe])[:2], b"MZ")
            for text in ("README.txt", "config_http.txt"):
                data = z.read(names[text])
                self.assertGreater(data.count(b"\r\n"), 10)
                self.assertEqual(data.count(b"\n"), data.count(b"\r\n"), text)
                self.assertEqual(data.count(b"\r"), data.count(b"\r\n"), text)
            readme = z.read(names["README.txt"]).decode("ascii")
            for needed in ("/INSTALL", "/UNINSTALL", "net start KorvaneMonitorHTTPServer", "[source]",
                           "Event Viewer", "korvane_monitor_core_log.txt"):
                self.assertIn(needed, readme)


if __name__ == "__main__":
    unittest.main()
