"""The restart program on Linux without systemd: it stops the running monitor with SIGTERM
and starts it again in its folder; and the monitor's own self-restart through it."""
import os
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from kvtest import BINARY, MonitorRun, free_port, wait_for  # noqa: E402

ARGS = ["KorvaneMonitorHTTPServer", "reload", "korvane_monitor_core_log.txt"]


def pids_of(exe):
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            link = os.readlink("/proc/%s/exe" % name)
        except OSError:
            continue
        if link.removesuffix(" (deleted)") == exe:
            found.append(int(name))
    return found


def kill_all(folder):
    """Ends every monitor and restart program running from `folder`, also ones that
    appear while we are at it."""
    for name in ("reload_service",):
        try:
            os.remove(os.path.join(folder, name))
        except OSError:
            pass
    exes = [os.path.realpath(os.path.join(folder, n)) for n in ("korvane_monitor", "reload_service")]
    deadline = time.monotonic() + 10
    quiet_since = None
    while time.monotonic() < deadline:
        pids = [p for exe in exes for p in pids_of(exe)]
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        if pids:
            quiet_since = None
        elif quiet_since is None:
            quiet_since = time.monotonic()
        elif time.monotonic() - quiet_since > 1.0:
            return
        time.sleep(0.05)


def reload_log(run):
    try:
        with open(run.path("reload_service_log.txt"), "rb") as f:
            return f.read().decode("latin-1")
    except OSError:
        return ""


def answers(run):
    try:
        status, _, _ = run.get("/", timeout=2)
        return status == 200
    except OSError:
        return False


@unittest.skipUnless(os.path.exists(os.path.join(os.path.dirname(BINARY), "reload_service")),
                     "reload_service not built")
class ReloadTest(unittest.TestCase):
    def test_restarts_a_running_monitor_and_the_page_answers_again(self):
        with MonitorRun(config={"http": {}}) as run:
            try:
                exe = os.path.realpath(run.path("korvane_monitor"))
                old = run.proc.pid
                self.assertTrue(answers(run))
                done = subprocess.run([run.path("reload_service")] + ARGS, cwd="/", timeout=60,
                                      stdin=subprocess.DEVNULL, capture_output=True)
                self.assertEqual(done.returncode, 0, reload_log(run))
                self.assertIsNotNone(run.proc.poll(), "the old monitor still runs")
                new = wait_for(lambda: pids_of(exe), 5)
                self.assertTrue(new, reload_log(run))
                self.assertNotIn(old, new)
                self.assertTrue(wait_for(lambda: answers(run), 10), "restarted monitor does not answer")
                self.assertTrue(run.core_log().startswith("[Start] "), run.core_log()[:200])
                log = reload_log(run)
                for text in ("Started with \"KorvaneMonitorHTTPServer\" \"reload\"",
                             "Sending SIGTERM to process %d" % old, "Starting " + exe,
                             "Finished: service \"KorvaneMonitorHTTPServer\" restarted"):
                    self.assertIn(text, log)
            finally:
                kill_all(run.folder)

    def test_refuses_unusable_command_lines_and_leaves_the_monitor_alone(self):
        with MonitorRun(config={"http": {}}) as run:
            try:
                for args in ([], ["KorvaneMonitorHTTPServer", "stop", "korvane_monitor_core_log.txt"],
                             ["KorvaneMonitorHTTPServer", "reload", "../bin/sh_core_log.txt"],
                             ["--now", "reload", "korvane_monitor_core_log.txt"]):
                    done = subprocess.run([run.path("reload_service")] + args, cwd="/", timeout=30,
                                          stdin=subprocess.DEVNULL, capture_output=True)
                    self.assertEqual(done.returncode, 2, args)
                self.assertIsNone(run.proc.poll())
                self.assertEqual(reload_log(run).count("Refused: "), 4, reload_log(run))
            finally:
                kill_all(run.folder)

    def test_monitor_restarts_itself_after_restart_timeout(self):
        config = {"http": {"port": free_port()}, "scaner": {"timeout": 60, "restart_timeout": 2},
                  "source": {"config": "get_config.txt"}}
        with MonitorRun(copy_demo=True, config=config) as run:
            try:
                old = run.proc.pid
                started = time.monotonic()
                self.assertTrue(wait_for(lambda: "SERVICE RESTART!" in run.core_log() or run.proc.poll() is not None,
                                         10), run.core_log())
                self.assertTrue(wait_for(lambda: run.proc.poll() is not None, 10), reload_log(run))
                exe = os.path.realpath(run.path("korvane_monitor"))
                self.assertTrue(wait_for(lambda: [p for p in pids_of(exe) if p != old] and answers(run), 10),
                                reload_log(run))
                self.assertLess(time.monotonic() - started, 15)
                self.assertIn("Sending SIGTERM to process %d" % old, reload_log(run))
            finally:
                kill_all(run.folder)


if __name__ == "__main__":
    unittest.main()
