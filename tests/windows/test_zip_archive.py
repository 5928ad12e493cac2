"""The Windows executable as a service under Wine serves support_kvr.zip, and the real ZIP
readers (unzip, 7z, bsdtar, Python's zipfile) accept it with every member intact."""
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
        # The notification command lists its KORVANE_ variables through cmd.
        files = {"config_http.txt": b"[http]\r\nport=%d\r\n[scaner]\r\ntimeout=1\r\n[source]\r\n"
                                    b"config=saved_config.txt\r\n[notify]\r\n"
                                    b"command=cmd /c set KORVANE_> notified.txt\r\n" % port,
                 "saved_config.txt": demo}
        with WineService(port, files=files, folder="kvchange", winedebug="-all,fixme+advapi") as svc:
            state = os.path.join(svc.folder, "korvane_monitor_state.txt")
            deadline = time.monotonic() + 60
            while not os.path.exists(state) and time.monotonic() < deadline:
                time.sleep(0.5)
            self.assertTrue(os.path.exists(state), svc.core_log())
            at = demo.index(b"Device #0")
            with open(os.path.join(svc.folder, "saved_config.txt"), "wb") as f:
                f.write(demo[:at] + demo[at:].replace(b": Online", b": Failed", 1))
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
            self.assertFalse(os.path.exists(os.path.join(svc.folder, "korvane_monitor_outbox.txt")))

            # Wine's event log is a stub that prints each record's type and id: the start
            # (information, 1) and the first verdict (warning, 80: the demo's degraded array and a
            # failed drive outside every device) in either order, since the listener and the
            # first cycle race, then the failure (error, 10).
            events = re.findall(rb"ReportEventA \([0-9A-F]+,0x(\w{4}),0x0000,0x(\w{8}),", svc.debug_output())
            self.assertEqual(sorted(events[:2]), [(b"0002", b"00000050"), (b"0004", b"00000001")])
            self.assertEqual(events[2:3], [(b"0001", b"0000000a")])


if __name__ == "__main__":
    unittest.main()
