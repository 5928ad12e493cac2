"""support_kvr.zip from the running monitor: members, comment, Range, and real ZIP readers."""
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(__file__))
from kvtest import DEMO_DIR, FIXTURES_DIR, MonitorRun, wait_for  # noqa: E402

COMMENT = re.compile(rb"^Korvane Web Monitor \d+\.\d+\.\d+\.\d+\r\n\S+\r\n\r\n\d\d/\d\d/\d{4} \d\d:\d\d:\d\d$")
CONFIG_FIXTURE = os.path.join(FIXTURES_DIR, "real", "config", "06-3154-16i.txt")


def as_file_source(text):
    """A file source is read as lines and joined again with CR LF after each line."""
    return b"".join(line + b"\r\n" for line in text.splitlines())


def header(headers, name):
    for key, value in headers:
        if key.lower() == name.lower():
            return value
    return None


def members(body):
    with zipfile.ZipFile(io.BytesIO(body)) as z:
        return [i.filename for i in z.infolist()]


def reader_failures(body, expected=None):
    """Runs unzip -t, 7z t, bsdtar -tf and Python's zipfile; returns what they complained about."""
    failures = []
    folder = tempfile.mkdtemp(prefix="kv-zip-e2e-")
    try:
        path = os.path.join(folder, "support_kvr.zip")
        with open(path, "wb") as f:
            f.write(body)
        with zipfile.ZipFile(path) as z:
            bad = z.testzip()
            if bad is not None:
                failures.append("zipfile: bad member %s" % bad)
            if expected is not None:
                got = {i.filename: z.read(i) for i in z.infolist()}
                if got != expected:
                    failures.append("zipfile: members differ: %s" % sorted(got))
        empty = expected is not None and not expected
        unzip = subprocess.run(["unzip", "-t", "-q", path], capture_output=True, timeout=60)
        unzip_out = (unzip.stdout + unzip.stderr).decode("latin-1")
        # unzip warns about any archive without members, whoever wrote it.
        if not (empty and unzip.returncode == 1 and unzip_out.strip().endswith("zipfile is empty")):
            if unzip.returncode != 0 or "arning" in unzip_out:
                failures.append("unzip: " + unzip_out)
        seven = subprocess.run(["7z", "t", path], capture_output=True, timeout=60)
        seven_out = (seven.stdout + seven.stderr).decode("latin-1")
        if seven.returncode != 0 or "Everything is Ok" not in seven_out or "ARNING" in seven_out:
            failures.append("7z: " + seven_out)
        bsdtar = subprocess.run(["bsdtar", "-tf", path], capture_output=True, timeout=60)
        if bsdtar.returncode != 0 or bsdtar.stderr:
            failures.append("bsdtar: " + bsdtar.stderr.decode("latin-1"))
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return failures


class SupportArchiveTest(unittest.TestCase):
    def fetch_when(self, run, predicate, timeout=20):
        """GETs the archive until predicate(body) holds; returns the last response."""
        last = [None]

        def attempt():
            last[0] = run.get("/support_kvr.zip")
            return last[0][0] == 200 and predicate(last[0][2])
        wait_for(attempt, timeout, step=0.2)
        return last[0]

    def test_before_any_collection_it_is_an_empty_archive_with_the_comment(self):
        # No configuration source: no collection ever runs.
        with MonitorRun(config={"http": {}}) as run:
            status, headers, body = run.get("/support_kvr.zip")
            self.assertEqual(status, 200)
            self.assertEqual(header(headers, "Content-Type"), "application/zip; name=support_kvr.zip")
            self.assertEqual(header(headers, "Content-Disposition"), "attachment; filename=support_kvr.zip")
            self.assertEqual(int(header(headers, "Content-length")), len(body))
            self.assertEqual(body[:4], b"PK\x05\x06")
            with zipfile.ZipFile(io.BytesIO(body)) as z:
                self.assertEqual(z.infolist(), [])
                self.assertRegex(z.comment, COMMENT)
            self.assertEqual(reader_failures(body, {}), [])

    @unittest.skipUnless(os.path.exists(CONFIG_FIXTURE), "no fixtures")
    def test_only_the_config_source_gives_only_get_config_and_range_is_ignored(self):
        with open(CONFIG_FIXTURE, "rb") as f:
            config_text = f.read()
        with MonitorRun(config={"http": {}, "source": {"config": "saved_config.txt"}},
                        files={"saved_config.txt": config_text}) as run:
            status, headers, body = self.fetch_when(run, lambda b: members(b) != [])
            self.assertEqual(status, 200)
            self.assertEqual(members(body), ["get_config.txt"])
            self.assertEqual(reader_failures(body, {"get_config.txt": as_file_source(config_text)}), [])
            # The member is exactly what "raw" serves (which adds one blank).
            self.assertEqual(run.get("/raw")[2], as_file_source(config_text) + b" ")
            with zipfile.ZipFile(io.BytesIO(body)) as z:
                self.assertRegex(z.comment, COMMENT)

            # A byte range is not honoured for the archive: the whole of it comes back.
            status, headers, ranged = run.get("/support_kvr.zip", headers={"Range": "bytes=0-9"})
            self.assertEqual(status, 200)
            self.assertEqual(int(header(headers, "Content-length")), len(ranged))
            self.assertEqual(members(ranged), ["get_config.txt"])
            self.assertEqual(reader_failures(ranged), [])

    @unittest.skipUnless(os.path.exists(os.path.join(DEMO_DIR, "config_http.txt")), "no demo")
    def test_demo_archive_holds_every_source_in_order(self):
        with MonitorRun(copy_demo=True, config={"http": {}, "scaner": {"timeout": 60}, "source": {
                "config": "get_config.txt", "smart": "get_smartstats.txt", "task": "get_tasks.txt",
                "stat": "get_logs_stats.txt", "cache": "get_logs_cache.txt"}}) as run:
            expected = {}
            for member, source in (("get_config.txt", "get_config.txt"),
                                   ("get_smartstats.txt", "get_smartstats.txt"),
                                   ("get_logs_stats.txt", "get_logs_stats.txt"),
                                   ("get_status.txt", "get_tasks.txt"),
                                   ("get_logs_cache.txt", "get_logs_cache.txt")):
                with open(os.path.join(DEMO_DIR, source), "rb") as f:
                    content = f.read()
                if content:
                    expected[member] = as_file_source(content)
            status, headers, body = self.fetch_when(run, lambda b: len(members(b)) == len(expected))
            self.assertEqual(status, 200)
            self.assertEqual(members(body), [m for m in ("get_config.txt", "get_smartstats.txt",
                                                         "get_logs_stats.txt", "get_status.txt",
                                                         "get_logs_cache.txt") if m in expected])
            self.assertEqual(reader_failures(body, expected), [])


if __name__ == "__main__":
    unittest.main()
