"""The drive history file under trouble: kills during writes, a damaged file, a lock held by
another program, a full disk. Monitoring carries on in every case; each trouble is logged
once and the history recovers."""
import glob
import os
import random
import signal
import sqlite3
import subprocess
import tempfile
import unittest

from kvtest import MonitorRun, history_config, wait_for

HISTORY = "korvane_monitor_history.db"
SKIPPED = "ERROR! history: a sample is skipped"
RESUMED = "history: samples are written again"


def sample_times(path):
    """The distinct sample times the file holds, read as another program would."""
    if not os.path.exists(path):
        return set()
    try:
        with sqlite3.connect("file:%s?mode=ro" % path, uri=True, timeout=5) as db:
            return {row[0] for row in db.execute("SELECT DISTINCT time FROM drive_samples")}
    except sqlite3.Error:
        return set()


def integrity(path):
    with sqlite3.connect(path, timeout=5) as db:
        return db.execute("PRAGMA integrity_check").fetchone()[0]


def file_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("latin-1")
    except OSError:
        return ""


def ini_time(run):
    status, _, body = run.get("/ini")
    text = body.decode("latin-1")
    at = text.rfind("time=")
    return int(text[at + 5:].split()[0]) if status == 200 and at >= 0 else 0


class HistoryDurabilityTest(unittest.TestCase):
    def test_kill_during_writes_loses_no_committed_sample(self):
        random.seed(7)
        with MonitorRun(copy_demo=True, config=history_config()) as run:
            path = run.path(HISTORY)
            committed = set()
            for attempt in range(20):
                # At least one sample more than before, then a kill at a random moment of the
                # next writes.
                self.assertTrue(wait_for(lambda: len(sample_times(path)) > len(committed), 20),
                                "attempt %d: no new sample; %s" % (attempt, run.core_log()[-2000:]))
                committed = sample_times(path)
                subprocess.run(["sleep", "%.2f" % random.uniform(0.0, 1.2)], timeout=5)
                os.killpg(run.proc.pid, signal.SIGKILL)
                run.proc.wait(5)
                run._stderr.close()
                self.assertEqual(integrity(path), "ok", "attempt %d" % attempt)
                after = sample_times(path)
                self.assertTrue(committed <= after, "attempt %d lost %s" % (attempt, sorted(committed - after)))
                committed = after
                run.start()

    def test_damaged_file_is_moved_aside_once_and_a_new_history_starts(self):
        with MonitorRun(copy_demo=True, config=history_config(), files={HISTORY: b"not a database " * 300}) as run:
            self.assertTrue(wait_for(lambda: len(sample_times(run.path(HISTORY))) >= 2, 20), run.core_log())
            aside = glob.glob(run.path(HISTORY + ".damaged-*"))
            self.assertEqual(len(aside), 1, os.listdir(run.folder))
            with open(aside[0], "rb") as f:
                self.assertTrue(f.read().startswith(b"not a database"))
            log = run.core_log()
            self.assertEqual(log.count("was damaged; it is kept as"), 1, log)
            self.assertTrue(wait_for(
                lambda: "Drive history restarted" in file_text(run.path("korvane_monitor_changes.txt")), 10))
            self.assertEqual(run.get("/metrics")[0], 200)

    def test_a_lock_held_by_another_program_skips_samples_with_one_line(self):
        with MonitorRun(copy_demo=True, config=history_config()) as run:
            path = run.path(HISTORY)
            self.assertTrue(wait_for(lambda: sample_times(path), 20), run.core_log())
            holder = sqlite3.connect(path, timeout=5, isolation_level=None)
            try:
                holder.execute("BEGIN EXCLUSIVE")
                self.assertTrue(wait_for(lambda: SKIPPED in run.core_log(), 30), run.core_log()[-2000:])
                # The pages go on while the history waits.
                before = ini_time(run)
                self.assertTrue(wait_for(lambda: ini_time(run) > before, 15))
                wait_for(lambda: run.core_log().count("history: a sample") > 1, 5)
                self.assertEqual(run.core_log().count(SKIPPED), 1, run.core_log()[-3000:])
            finally:
                holder.execute("ROLLBACK")
                holder.close()
            count = len(sample_times(path))
            self.assertTrue(wait_for(lambda: RESUMED in run.core_log(), 30), run.core_log()[-2000:])
            self.assertTrue(wait_for(lambda: len(sample_times(path)) > count, 20))
            self.assertEqual(integrity(path), "ok")

    @unittest.skipUnless(os.geteuid() == 0, "mounting a file system needs root")
    def test_a_full_disk_skips_samples_with_one_line_until_space_returns(self):
        mount = tempfile.mkdtemp(prefix="kv-e2e-hfull-")
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", mount],
                          capture_output=True, timeout=20).returncode != 0:
            os.rmdir(mount)
            self.skipTest("a tmpfs cannot be mounted here")
        try:
            path = os.path.join(mount, "history.db")
            with MonitorRun(copy_demo=True, config=history_config(file=path)) as run:
                self.assertTrue(wait_for(lambda: sample_times(path), 20), run.core_log())
                filler = os.path.join(mount, "filler")
                with open(filler, "wb") as f:
                    try:
                        while True:
                            f.write(b"\0" * 65536)
                            f.flush()
                    except OSError:
                        pass
                self.assertTrue(wait_for(lambda: SKIPPED in run.core_log(), 40), run.core_log()[-2000:])
                before = ini_time(run)
                self.assertTrue(wait_for(lambda: ini_time(run) > before, 15))
                wait_for(lambda: False, 3)
                self.assertEqual(run.core_log().count(SKIPPED), 1, run.core_log()[-3000:])
                os.remove(filler)
                count = len(sample_times(path))
                self.assertTrue(wait_for(lambda: RESUMED in run.core_log(), 30), run.core_log()[-2000:])
                self.assertTrue(wait_for(lambda: len(sample_times(path)) > count, 20))
                run.stop()
            self.assertEqual(integrity(path), "ok")
        finally:
            subprocess.run(["umount", "-l", mount], capture_output=True, timeout=20)
            os.rmdir(mount)

    def test_history_off_creates_no_file(self):
        with MonitorRun(copy_demo=True, config=history_config(use=0)) as run:
            self.assertTrue(wait_for(lambda: "OK, StartData" in run.core_log(), 20), run.core_log())
            wait_for(lambda: False, 2.5)
            self.assertEqual(glob.glob(run.path(HISTORY + "*")), [])


if __name__ == "__main__":
    unittest.main()
