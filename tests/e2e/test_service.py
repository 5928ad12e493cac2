"""The Linux daemon as a user runs it: start, core log, start/stop events, SIGTERM, -install."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from kvtest import BINARY, DEMO_DIR, MonitorRun, free_port, wait_for  # noqa: E402

NO_HTTP_EVENT = '<6>Starting "Korvane Monitor HTTP Server" / HTTP Server: Dont use server:disable\n'
STOP_EVENT = '<6>Stoping "Korvane Monitor HTTP Server"\n'


class ServiceRunTest(unittest.TestCase):
    def test_fresh_core_log_start_events_and_sigterm(self):
        with MonitorRun(config="[http]\r\nuse=0\r\n", wait_listening=False) as run:
            # The core log is created before anything else; a second run starts it anew.
            self.assertTrue(wait_for(lambda: run.stderr().count(NO_HTTP_EVENT) == 2, 10), run.stderr())
            log = run.core_log()
            self.assertTrue(log.startswith("[Start] "), log[:80])
            self.assertRegex(log.split("\r\n")[0], r"^\[Start\] \d\d/\d\d/\d{4} \d\d:\d\d:\d\d$")
            self.assertEqual(run.stop(), 0)
            err = run.stderr()
            self.assertEqual(err.count(NO_HTTP_EVENT), 2, err)
            self.assertTrue(err.endswith(STOP_EVENT), err)

            run.start()
            self.assertTrue(wait_for(lambda: run.stderr().count(NO_HTTP_EVENT) == 4, 10), run.stderr())
            self.assertEqual(run.core_log().count("[Start] "), 1)
            self.assertEqual(run.stop(), 0)

    def test_listener_starts_without_configuration_of_collection(self):
        port = free_port()
        with MonitorRun(config={"http": {"port": port}}) as run:
            self.assertTrue(run.listening())
            # The listener's start event names the bound port.
            self.assertTrue(wait_for(lambda: (":%d\n" % port) in run.stderr(), 10), run.stderr())
            self.assertEqual(run.stop(), 0)
            self.assertTrue(run.stderr().endswith(STOP_EVENT), run.stderr())

    def test_sigint_stops_like_sigterm(self):
        with MonitorRun(config="[http]\nuse=0\n", wait_listening=False) as run:
            self.assertTrue(wait_for(lambda: NO_HTTP_EVENT in run.stderr(), 10))
            run.proc.send_signal(2)
            self.assertEqual(run.proc.wait(10), 0)
            self.assertTrue(run.stderr().endswith(STOP_EVENT), run.stderr())

    def test_unreadable_configuration_fails_the_start(self):
        # A folder where the file should be: it exists but cannot be read.
        with MonitorRun(files={"config_http.txt/x": ""}, wait_listening=False) as run:
            try:
                code = run.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.fail("still running with an unreadable configuration")
            self.assertNotEqual(code, 0)
            err = run.stderr()
            self.assertIn("<3>", err)
            self.assertIn("config_http.txt", err)
            self.assertNotIn("Starting", err)

    def test_core_log_that_cannot_be_written_does_not_stop_the_start(self):
        # A folder in the core log's place: every line is lost, even for root, and that is
        # said once on stderr.
        with MonitorRun(config="[http]\nuse=0\n", wait_listening=False,
                        files={"korvane_monitor_core_log.txt/x": ""}) as run:
            self.assertTrue(wait_for(lambda: run.stderr().count(NO_HTTP_EVENT) == 2, 10), run.stderr())
            self.assertEqual(run.stop(), 0)
            self.assertTrue(run.stderr().endswith(STOP_EVENT), run.stderr())
            self.assertEqual(run.stderr().count("<4>Cannot write korvane_monitor_core_log.txt: Is a directory\n"), 1,
                             run.stderr())

    @unittest.skipUnless(os.geteuid() == 0, "mounting a file system needs root")
    def test_a_full_disk_is_a_warning_without_torn_lines_until_space_returns(self):
        mount = tempfile.mkdtemp(prefix="kv-e2e-full-")
        # Room for the program and a few MiB, then a filler file takes the rest.
        size = os.path.getsize(BINARY) + 4 * 1024 * 1024
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", mount],
                          capture_output=True, timeout=20).returncode != 0:
            os.rmdir(mount)
            self.skipTest("a tmpfs cannot be mounted here")
        try:
            with open(os.path.join(DEMO_DIR, "get_config.txt"), "rb") as f:
                online = f.read()
            at = online.index(b"Device #0")
            failed = online[:at] + online[at:].replace(b": Online", b": Failed", 1)
            config = {"http": {"port": free_port()}, "scaner": {"timeout": 1}, "source": {"config": "get_config.txt"}}
            with MonitorRun(config=config, folder=mount, files={"get_config.txt": online}) as run:
                def listing(text):
                    with open(run.path("get_config.txt"), "r+b") as f:  # in place: no new space needed
                        f.write(text)

                def reasons():
                    status, _, body = run.get("/state.json")
                    return [r["text"] for r in json.loads(body)["health"]["reasons"]] if status == 200 else []

                changes = run.path("korvane_monitor_changes.txt")
                self.assertTrue(wait_for(lambda: os.path.exists(run.path("korvane_monitor_state.txt")), 30),
                                run.core_log()[-3000:])
                listing(failed)
                self.assertTrue(wait_for(lambda: os.path.exists(changes) and os.path.getsize(changes) > 0, 30))

                # Whole lines up to 10 bytes short of a page: the next line can start in
                # that page but not end, as on a disk that fills up.
                with open(changes, "rb") as f:
                    pad = (4086 - len(f.read())) % 4096 + 4096
                with open(changes, "ab") as f:
                    f.write(b"2025-12-09 03:10:00 information " + b"p" * (pad - 34) + b"\r\n")
                fd = os.open(run.path("filler"), os.O_WRONLY | os.O_CREAT)
                try:
                    while os.write(fd, b"\0" * 4096) > 0:
                        pass
                except OSError:
                    pass
                finally:
                    os.close(fd)
                with open(changes, "rb") as f:
                    told = f.read()
                listing(online)  # the drive is back: a change line that cannot be written
                full = "Cannot write %s: No space left on device"
                for name in ("korvane_monitor_state.txt", "korvane_monitor_changes.txt"):
                    self.assertTrue(wait_for(lambda: full % name in reasons(), 30), (reasons(), run.stderr()))
                self.assertIn(b"<li>Warning: <a href=\"#health\">Monitor</a>: " +
                              (full % "korvane_monitor_state.txt").encode(), run.get("/")[2])
                with open(changes, "rb") as f:
                    self.assertEqual(f.read(), told)

                os.remove(run.path("filler"))
                self.assertTrue(wait_for(lambda: not any(r.startswith("Cannot write") for r in reasons()), 30),
                                reasons())
                with open(changes, "rb") as f:
                    self.assertRegex(f.read()[len(told):].decode("latin-1"),
                                     r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d information Drive 0,0 [^\r\n]*: Failed -> Online\r\n$")
                for name in ("korvane_monitor_state.txt", "korvane_monitor_changes.txt"):
                    self.assertTrue(wait_for(lambda: (name + " is written again") in run.core_log(), 10),
                                    run.core_log()[-3000:])
                    self.assertEqual(run.stderr().count("<4>" + full % name), 1, run.stderr())
                    self.assertIn("<6>%s is written again\n" % name, run.stderr())
                # Every line of the core log is whole, as are the change lines from before.
                log = run.core_log()
                self.assertTrue(log.endswith("\r\n"))
                stamp = r"\d\d\D\d\d\D\d{4} \d\d\D\d\d\D\d\d"
                for line in log[:-2].split("\r\n"):
                    self.assertRegex(line, r"^\[(Start\] %s$|%s\] )" % (stamp, stamp))
                self.assertRegex(told.decode("latin-1"), r"^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \w+ [^\r\n]+\r\n)+$")
        finally:
            subprocess.run(["umount", mount], capture_output=True, timeout=20)
            shutil.rmtree(mount, ignore_errors=True)


def processes_in(folder, exclude):
    """Processes whose current folder is `folder`: sources run in the program folder."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) in exclude:
            continue
        try:
            if os.readlink("/proc/%s/cwd" % pid) == folder:
                found.append(int(pid))
        except OSError:
            pass
    return found


class StopTest(unittest.TestCase):
    def test_stop_ends_a_hung_source_and_everything_it_started(self):
        # A stop once waited for the running command, up to source_timeout (300 s).
        config = {"http": {"use": 0}, "source": {"config": "sleep 600 & sleep 600"}}
        with MonitorRun(config=config, wait_listening=False) as run:
            folder = os.path.realpath(run.folder)
            monitor = run.proc.pid
            self.assertTrue(wait_for(lambda: len(processes_in(folder, {monitor})) >= 2, 10), run.core_log())
            started = time.monotonic()
            self.assertEqual(run.stop(timeout=30), 0)
            took = time.monotonic() - started
            self.assertLess(took, 10, "the stop took %.1f s" % took)
            self.assertTrue(run.stderr().endswith(STOP_EVENT), run.stderr())
            # Ended processes are reaped by init; give it a moment.
            self.assertTrue(wait_for(lambda: not processes_in(folder, set()), 5), processes_in(folder, set()))


class InstallTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="kv-e2e-install-")
        self.units = os.path.join(self.folder, "units")
        os.mkdir(self.units)
        self.exe = os.path.join(self.folder, "my monitor", "korvane_monitor")
        os.makedirs(os.path.dirname(self.exe))
        shutil.copy2(BINARY, self.exe)
        self.env = dict(os.environ, KORVANE_SYSTEMD_DIR=self.units)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def run_exe(self, *args):
        return subprocess.run([self.exe] + list(args), env=self.env, capture_output=True, timeout=20,
                              stdin=subprocess.DEVNULL)

    def test_install_writes_the_unit_and_uninstall_removes_it(self):
        unit = os.path.join(self.units, "KorvaneMonitorHTTPServer.service")
        result = self.run_exe("-install")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"installed", result.stdout)
        with open(unit, "rb") as f:
            text = f.read().decode("utf-8")
        self.assertIn("\nDescription=Служба мониторинга параметров RAID-контроллеров Korvane\n", text)
        self.assertIn('\nExecStart="%s"\n' % self.exe, text)
        self.assertIn("WantedBy=multi-user.target", text)
        # The install run starts a fresh core log like any other run.
        with open(os.path.join(os.path.dirname(self.exe), "korvane_monitor_core_log.txt"), "rb") as f:
            self.assertTrue(f.read().startswith(b"[Start] "))

        result = self.run_exe("/UNINSTALL", "/silent")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, b"")
        self.assertEqual(os.listdir(self.units), [])

        # Nothing left to remove: a failure, said so, and a non-zero exit code.
        result = self.run_exe("-Uninstall", "-SILENT")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(b"failed to uninstall", result.stderr)

    def test_install_into_a_missing_folder_fails(self):
        self.env["KORVANE_SYSTEMD_DIR"] = os.path.join(self.folder, "nowhere")
        result = self.run_exe("/install", "/silent")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(b"failed to install", result.stderr)


if __name__ == "__main__":
    unittest.main()
