"""reload_service.exe under Wine: it restarts the installed, running service through the
service control manager (the service comes back RUNNING in a new process whose core log
starts afresh), and the service's self-restart through it brings the service back."""
import os
import re
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_service import BUILD, NAME, WineService, free_port  # noqa: E402

RELOAD = os.path.join(BUILD, "reload_service.exe")


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("latin-1")
    except OSError:
        return ""


def wait_for(predicate, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.5)
    return bool(predicate())


@unittest.skipUnless(os.path.exists(RELOAD), "reload_service.exe not built")
class WineReloadTest(unittest.TestCase):
    def check_restarted(self, svc, log):
        stopped = re.search(r"Stopping service \"%s\" \(process (\d+)\)" % NAME, log)
        running = re.search(r"Running \(process (\d+)\)", log)
        self.assertTrue(stopped and running, log)
        self.assertNotEqual(stopped.group(1), running.group(1), log)
        self.assertEqual(svc.wait_state("RUNNING"), "RUNNING")
        self.assertTrue(svc.core_log().startswith(b"[Start] "), svc.core_log()[:200])

    def test_restarts_the_running_service(self):
        port = free_port()
        with open(RELOAD, "rb") as f:
            files = {"config_http.txt": b"[http]\r\nport=%d\r\n" % port, "reload_service.exe": f.read()}
        with WineService(port, files=files, folder="kvreload") as svc:
            with open(os.path.join(svc.folder, "korvane_monitor_core_log.txt"), "ab") as f:
                f.write(b"marker of the old run\r\n")
            done = svc.wine("C:\\kvreload\\reload_service.exe", NAME, "reload", "korvane_monitor_core_log.txt",
                            timeout=180)
            log = read(os.path.join(svc.folder, "reload_service_log.txt"))
            self.assertEqual(done.returncode, 0, log)
            self.check_restarted(svc, log)
            self.assertNotIn(b"marker of the old run", svc.core_log())
            self.assertTrue(wait_for(lambda: svc.get("/")[0] == 200, 30))
            # A service that does not exist: failure, logged.
            done = svc.wine("C:\\kvreload\\reload_service.exe", "NoSuchService", "reload",
                            "korvane_monitor_core_log.txt", timeout=60)
            self.assertNotEqual(done.returncode, 0)
            self.assertIn("OpenService failed", read(os.path.join(svc.folder, "reload_service_log.txt")))

    def test_self_restart_brings_the_service_back(self):
        port = free_port()
        with open(RELOAD, "rb") as f:
            files = {"config_http.txt": b"[http]\r\nport=%d\r\n[scaner]\r\ntimeout=600\r\nrestart_timeout=2\r\n"
                                        b"[source]\r\nconfig=saved_config.txt\r\n" % port,
                     "saved_config.txt": b"Controllers found: 1\r\n", "reload_service.exe": f.read()}
        with WineService(port, files=files, folder="kvself") as svc:
            log_path = os.path.join(svc.folder, "reload_service_log.txt")
            self.assertTrue(wait_for(lambda: "Running (process" in read(log_path), 90), read(log_path))
            # No further restarts while the harness stops the service.
            os.remove(os.path.join(svc.folder, "reload_service.exe"))
            self.check_restarted(svc, read(log_path))
            self.assertTrue(wait_for(lambda: svc.get("/")[0] == 200, 30))


if __name__ == "__main__":
    unittest.main()
