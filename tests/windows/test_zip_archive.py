"""The Windows executable as a service under Wine serves support_kvr.zip, and the real ZIP
readers (unzip, 7z, bsdtar, Python's zipfile) accept it with every member intact; state
changes reach the changes file, the state and the notification, for two controllers too."""
import io
import os
import re
import sys
import time
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from wine_service import WineService, free_port  # noqa: E402
from test_zip_archive import COMMENT, as_file_source, reader_failures  # noqa: E402
from kvtest import controller_listing, first_drive_failed  # noqa: E402
from webhook_receiver import WebhookReceiver  # noqa: E402

DEMO = os.path.join(HERE, "..", "..", "examples", "demo")


class WineSupportArchiveTest(unittest.TestCase):
    def test_service_serves_an_archive_the_readers_accept(self):
        with open(os.path.join(DEMO, "get_config.txt"), "rb") as f:
            config_text = f.read()
        with open(os.path.join(DEMO, "get_tasks.txt"), "rb") as f:
            task_text = f.read()
        port = free_port()
        files = {
            "config_http.txt": b"[http]\r\nport=%d\r\n[source]\r\nconfig=saved_config.txt\r\n"
                               b"task=saved_tasks.txt\r\n" % port,
            "saved_config.txt": config_text,
            "saved_tasks.txt": task_text,
        }
        with WineService(port, files=files, folder="kvzip") as svc:
            deadline = time.monotonic() + 60
            while True:
                status, headers, body = svc.get("/support_kvr.zip")
                with zipfile.ZipFile(io.BytesIO(body)) as z:
                    names = [i.filename for i in z.infolist()]
                    comment = z.comment
                if names or time.monotonic() > deadline:
                    break
                time.sleep(0.5)
            self.assertEqual(status, 200)
            self.assertEqual(headers.get("Content-Disposition"), "attachment; filename=support_kvr.zip")
            self.assertEqual(names, ["get_config.txt", "get_status.txt"])
            self.assertRegex(comment, COMMENT)
            expected = {"get_config.txt": as_file_source(config_text), "get_status.txt": as_file_source(task_text)}
            self.assertEqual(reader_failures(body, expected), [])


class WineStateChangeTest(unittest.TestCase):
    def test_a_failed_drive_reaches_the_changes_file_and_the_state(self):
        with open(os.path.join(DEMO, "get_config.txt"), "rb") as f:
            demo = f.read()
        port = free_port()
        receiver = WebhookReceiver()
        self.addCleanup(receiver.stop)
        hook = receiver.start("ok").encode()
        # The notification command lists its KORVANE_ variables through cmd; WinHTTP posts
        # the same message to a receiver on loopback.
        files = {"config_http.txt": b"[http]\r\nport=%d\r\n[scaner]\r\ntimeout=1\r\n[source]\r\n"
                                    b"config=saved_config.txt\r\n[notify]\r\n"
                                    b"command=cmd /c set KORVANE_> notified.txt\r\nwebhook=%s\r\n" % (port, hook),
                 "saved_config.txt": demo}
        with WineService(port, files=files, folder="kvchange", winedebug="-all,fixme+advapi") as svc:
            state = os.path.join(svc.folder, "korvane_monitor_state.txt")
            deadline = time.monotonic() + 60
            while not os.path.exists(state) and time.monotonic() < deadline:
                time.sleep(0.5)
            self.assertTrue(os.path.exists(state), svc.core_log())
            with open(os.path.join(svc.folder, "saved_config.txt"), "wb") as f:
                f.write(first_drive_failed(demo))
            changes = os.path.join(svc.folder, "korvane_monitor_changes.txt")
            want = b" critical Drive 0,0 (S/N WD-WMC1T0000101, enclosure 0 slot 0): Online -> Failed\r\n"
            text = b""
            deadline = time.monotonic() + 60
            while want not in text and time.monotonic() < deadline:
                time.sleep(0.5)
                if os.path.exists(changes):
                    with open(changes, "rb") as f:
                        text = f.read()
            self.assertIn(want, text, svc.core_log())
            self.assertIn(b"<title>Critical: Korvane Monitor</title>", svc.get("/")[2])
            deadline = time.monotonic() + 60
            while b"notify: the command ended" not in svc.core_log() and time.monotonic() < deadline:
                time.sleep(0.5)
            self.assertIn(b"notify: the command ended, exit code 0", svc.core_log())
            with open(os.path.join(svc.folder, "notified.txt"), "rb") as f:
                notified = f.read()
            self.assertIn(b"KORVANE_VERDICT=Critical\r\n", notified)
            self.assertIn(b"KORVANE_SUMMARY=Critical: Drive 0,0 (S/N WD-WMC1T0000101, enclosure 0 slot 0): "
                          b"Online -> Failed", notified)
            self.assertFalse(os.path.exists(os.path.join(svc.folder, "korvane_monitor_notify.tmp")))
            self.assertTrue(receiver.wait_requests(1, 60), svc.core_log()[-3000:])
            posted = receiver.requests[0].json()
            self.assertEqual((posted["event"], posted["verdict"]), ("problem", "Critical"))
            self.assertIn(b"notify: webhook: problem message delivered, HTTP 200", svc.core_log())
            self.assertTrue(wait_until(lambda: not os.path.exists(os.path.join(svc.folder, "korvane_monitor_outbox.txt")), 30))
            # The test switch beside the running service: both ways, the status printed.
            tested = svc.wine(os.path.join(svc.folder, "korvane_monitor.exe"), "--test-notify", timeout=60)
            self.assertEqual(tested.returncode, 0, tested.stdout + tested.stderr)
            self.assertIn(b"webhook: HTTP 200 in ", tested.stdout)
            self.assertTrue(wait_until(lambda: any(r.json()["event"] == "test" for r in receiver.requests), 10))

            # Wine's event log is a stub that prints each record's type and id: the start
            # (information, 1) and the first verdict (warning, 80: the demo's degraded array and a
            # failed drive outside every device) in either order, since the listener and the
            # first cycle race, then the failure (error, 10).
            events = re.findall(rb"ReportEventA \([0-9A-F]+,0x(\w{4}),0x0000,0x(\w{8}),", svc.debug_output())
            self.assertEqual(sorted(events[:2]), [(b"0002", b"00000050"), (b"0004", b"00000001")])
            self.assertEqual(events[2:3], [(b"0001", b"0000000a")])


def wait_until(predicate, timeout=60):
    deadline = time.monotonic() + timeout
    while not predicate() and time.monotonic() < deadline:
        time.sleep(0.5)
    return predicate()


def read_or_empty(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""


class WineControllersTest(unittest.TestCase):
    def test_a_templated_command_serves_each_controller_and_a_second_one_failing_is_told(self):
        listings = {n: controller_listing(n, found=2) for n in (1, 2)}
        port = free_port()
        # Through cmd: the script records its argument, then prints that controller's listing.
        # (A space before ">>": "1>>" would redirect handle 1.)
        files = {"config_http.txt": b"[http]\r\nport=%d\r\n[scaner]\r\ntimeout=1\r\n[source]\r\n"
                                    b"config=cmd /c listing.cmd {controller}\r\n" % port,
                 "listing.cmd": b"@echo config %1 >> calls.txt\r\n@type config_%1.out\r\n",
                 "config_1.out": listings[1], "config_2.out": listings[2]}
        with WineService(port, files=files, folder="kvctl") as svc:
            self.assertTrue(wait_until(lambda: svc.get("/c2/raw")[2] == listings[2] + b" "),
                            (svc.get("/c2/raw")[2][:200], svc.core_log()[-3000:]))
            calls = {line.strip() for line in read_or_empty(os.path.join(svc.folder, "calls.txt")).splitlines()}
            self.assertEqual(calls, {b"config 1", b"config 2"})
            self.assertEqual(svc.get("/raw")[2], listings[1] + b" ")
            self.assertIn(b"WD-WMC2T0000101", svc.get("/c2/hdd_0_0")[2])
            self.assertIn(b"WD-WMC1T0000101", svc.get("/c1/hdd_0_0")[2])
            status, headers, _ = svc.get("/c2")
            self.assertEqual((status, headers.get("Location")), (301, "/c2/"))
            self.assertEqual(svc.get("/c3/")[0], 404)
            with zipfile.ZipFile(io.BytesIO(svc.get("/c2/support_kvr.zip")[2])) as z:
                self.assertEqual(z.read("get_config.txt"), listings[2])

            with open(os.path.join(svc.folder, "config_2.out"), "wb") as f:
                f.write(listings[2].replace(b"Status of logical device              : Optimal",
                                            b"Status of logical device              : Offline", 1))
            changes = os.path.join(svc.folder, "korvane_monitor_changes.txt")
            want = b"Controller 2: Logical device 0 (Data): Optimal -> Offline\r\n"
            self.assertTrue(wait_until(lambda: want in read_or_empty(changes)), svc.core_log()[-3000:])
            self.assertIn(b'"health":{"verdict":"Critical"', svc.get("/state.json")[2])
            self.assertIn(b"<title>Critical: Korvane Monitor</title>", svc.get("/c2/")[2])


if __name__ == "__main__":
    unittest.main()
