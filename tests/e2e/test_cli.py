"""The console switches of the real binary: --help, /?, --version, --check-config; none of
them may start the core log of a service running from the same folder afresh."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from kvtest import BINARY, MonitorRun, wait_for  # noqa: E402


class CliTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="kv-cli-")
        self.exe = os.path.join(self.folder, "korvane_monitor")
        shutil.copy2(BINARY, self.exe)
        self.log = os.path.join(self.folder, "korvane_monitor_core_log.txt")
        with open(self.log, "wb") as f:
            f.write(b"[Start] earlier run\r\n")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def run_exe(self, *args):
        done = subprocess.run([self.exe] + list(args), cwd="/", capture_output=True, timeout=20,
                              stdin=subprocess.DEVNULL)
        return done.returncode, done.stdout.decode("latin-1")

    def write_config(self, text):
        with open(os.path.join(self.folder, "config_http.txt"), "wb") as f:
            f.write(text)

    def test_help_version_and_check_config(self):
        for switch in ("--help", "/?", "-h"):
            code, out = self.run_exe(switch)
            self.assertEqual(code, 0)
            self.assertIn(os.path.join(self.folder, "config_http.txt"), out)
            for key in ("port", "use", "timeout", "restart_timeout", "config", "smart", "task", "stat", "cache",
                        "/INSTALL", "/UNINSTALL", "--check-config", "--version"):
                self.assertIn(key, out, switch)
        code, out = self.run_exe("--version")
        self.assertEqual(code, 0)
        self.assertRegex(out, r"^Korvane Monitor \d+\.\d+\.\d+\.\d+\n$")

        self.write_config(b"[http]\r\nport=0x7A52\r\nuse=yes\r\nbogus=1\r\n[source]\r\nconfig=get_config.txt\r\n")
        code, out = self.run_exe("--check-config")
        self.assertEqual(code, 2, out)
        self.assertRegex(out, r"\nport=31314 +; configured\n")
        self.assertRegex(out, r"\nuse=1 +; default; configured value \"yes\" not understood\n")
        self.assertRegex(out, r"\nconfig=get_config.txt +; configured, read as a saved file, which is not there")
        self.assertRegex(out, r"\nrestart_timeout=604800 +; default\n")
        self.assertIn("line 4: bogus=1  (unknown key in section [http])", out)

        self.write_config(b"[http]\nport=8080\n")
        code, out = self.run_exe("--check-config")
        self.assertEqual((code, re.search(r"Lines not understood: none", out) is not None), (0, True), out)

        with open(self.log, "rb") as f:
            self.assertEqual(f.read(), b"[Start] earlier run\r\n", "a console switch touched the core log")

    def test_check_config_problems_are_the_lines_the_start_logs(self):
        long_command = b"x" * 270
        cases = [
            # The service once logged none of these; the byte-order mark hid [http].
            (b"\xef\xbb\xbf[http]\r\nuse=0\r\nport=99999999999999999999\r\n[scaner]\r\ntimeout=0\r\n"
             b"[source]\r\nconfig=no-such-kv-program -a\r\nsmart=" + long_command + b"\r\n", 4,
             "[source] config: program not found: no-such-kv-program"),
            # The last [source] is empty: nothing is collected.
            (b"[http]\r\nuse=0\r\n[source]\r\nconfig=get_config.txt\r\n[source]\r\n", 1, "section repeated"),
            (b"\xef\xbb\xbf[http]\r\nuse=0\r\n", 0, "Lines not understood: none"),
        ]
        for config, count, named in cases:
            self.write_config(config)
            code, out = self.run_exe("--check-config")
            listed = out.split("Problems, as the service logs them at start:", 1)[1].splitlines()
            listed = [line[2:] for line in listed[1:]]
            self.assertEqual((code, len(listed)), (2 if count else 0, count), out)
            self.assertIn(named, out)
            with MonitorRun(config=config, wait_listening=False) as run:
                self.assertTrue(wait_for(lambda: "Version: " in run.core_log(), 10), run.core_log())
                start = run.core_log().split("Version: ", 1)[0]
                logged = [line.split("] ERROR! ", 1)[1] for line in start.splitlines() if "] ERROR! " in line]
                self.assertEqual(logged, listed, config)
                run.stop()


if __name__ == "__main__":
    unittest.main()
