"""The drive history downloads, read from the file the running service writes itself:
/history.csv of every drive and of one, /history.json of a time range, bad queries and
the history turned off."""
import csv
import io
import json
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from kvtest import MonitorRun, history_config, wait_for  # noqa: E402

FIXED = ["time", "time_utc", "controller", "drive", "serial", "channel", "id", "state", "smart"]


def header(headers, name):
    return next((v for k, v in headers if k.lower() == name.lower()), None)


def csv_rows(body):
    """Whether the UTF-8 mark leads, and the lines as lists of fields (the header first)."""
    return body.startswith(b"\xef\xbb\xbf"), list(csv.reader(io.StringIO(body.decode("utf-8-sig"), newline="")))


def percent_encoded(text):
    return "".join("%%%02X" % b for b in text.encode("utf-8"))


class HistoryDownloadTest(unittest.TestCase):
    def test_csv_and_json_downloads_of_the_written_history(self):
        with MonitorRun(copy_demo=True, config=history_config()) as run:
            got = {}

            def two_sample_times():
                status, headers, body = run.get("/history.csv")
                if status != 200:
                    return False
                got.update(headers=headers, body=body)
                return len({row[0] for row in csv_rows(body)[1][1:]}) >= 2
            self.assertTrue(wait_for(two_sample_times, 30, step=0.5), run.core_log()[-2000:])

            headers, body = got["headers"], got["body"]
            self.assertEqual(header(headers, "Content-Type"), "text/csv; charset=utf-8")
            self.assertEqual(header(headers, "Content-Disposition"), "attachment; filename=drive_history.csv")
            self.assertIsNone(header(headers, "Content-Length"))
            marked, rows = csv_rows(body)
            self.assertTrue(marked)
            self.assertIn(b"\r\n", body)
            head, rows = rows[0], rows[1:]
            self.assertEqual(head[:len(FIXED)], FIXED)
            self.assertIn("temperature", head)
            self.assertTrue(all(len(row) == len(head) for row in rows))
            by_key = {(row[3], row[0]): dict(zip(head, row)) for row in rows}
            serials = {row[4] for row in rows}
            self.assertIn("WD-WMC1T0000101", serials)

            # One drive by its serial, every byte of it percent-encoded.
            status, headers, body = run.get("/history.csv?serial=" + percent_encoded("WD-WMC1T0000101"))
            self.assertEqual(status, 200)
            self.assertEqual(header(headers, "Content-Disposition"),
                             "attachment; filename=drive_history_WD-WMC1T0000101.csv")
            one = csv_rows(body)[1][1:]
            self.assertTrue(one)
            self.assertEqual({row[4] for row in one}, {"WD-WMC1T0000101"})

            # One sample time as JSON: the same rows and values as the CSV, null where empty.
            t0 = min(int(row[0]) for row in rows)
            status, headers, body = run.get("/history.json?from=%d&to=%d" % (t0, t0))
            self.assertEqual(status, 200)
            self.assertEqual(header(headers, "Content-Type"), "application/json; charset=utf-8")
            samples = json.loads(body.decode("utf-8"))["samples"]
            self.assertEqual(len(samples), sum(1 for row in rows if int(row[0]) == t0))
            nulls = 0
            for sample in samples:
                self.assertEqual(sample["time"], t0)
                row = by_key[(sample["drive"], str(t0))]
                for column in head:
                    value = sample[column]
                    nulls += value is None
                    self.assertEqual("" if value is None else str(value), row[column], column)
            self.assertGreater(nulls, 0)

            for target in ("/history.json?from=yesterday", "/history.csv?serial=%zz", "/history.csv?serial=a%00",
                           "/history.json?from=%d&to=%d" % (t0, t0 - 1)):
                status, _, body = run.get(target)
                self.assertEqual(status, 400, target)

    def test_history_off_is_a_404_that_says_so(self):
        with MonitorRun(copy_demo=True, config=history_config(use=0)) as run:
            for target in ("/history.csv", "/history.json?from=0"):
                status, _, body = run.get(target)
                self.assertEqual(status, 404, target)
                self.assertIn(b"history is off", body, target)


if __name__ == "__main__":
    unittest.main()
