"""Slow clients and connection floods against the running daemon: the page keeps answering
at once, the process survives and the core log stays small."""
import os
import resource
import socket
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from kvtest import MonitorRun, log_span, wait_for  # noqa: E402

DEMO_SOURCES = {"config": "get_config.txt", "smart": "get_smartstats.txt", "task": "get_tasks.txt",
                "stat": "get_logs_stats.txt", "cache": "get_logs_cache.txt"}
ATTACKERS = ["127.0.0.%d" % n for n in range(2, 10)]


def raise_file_limit(wanted):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < wanted:
        resource.setrlimit(resource.RLIMIT_NOFILE, (min(wanted, hard), hard))
    return resource.getrlimit(resource.RLIMIT_NOFILE)[0]


def open_connection(source, port):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    # Shared ports, so that a listener started later by another test can still bind its own.
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.settimeout(5)
    s.bind((source, 0))
    s.connect(("127.0.0.1", port))
    return s


# Page fetches under load: a bound that only a hung or starved server exceeds, never one
# that a slow machine (a sanitizer build on two cores) can miss.
HANG = 20


def timed_get(run, target):
    started = time.monotonic()
    status, _, body = run.get(target, timeout=HANG + 10)
    return status, body, time.monotonic() - started


def sock_error_lines(text):
    return [line for line in text.splitlines() if "SOCK.ERROR" in line]


class FloodTest(unittest.TestCase):
    def run_demo(self):
        return MonitorRun(copy_demo=True, config={"source": DEMO_SOURCES})

    def need_descriptors(self, connections):
        if raise_file_limit(connections + 200) < connections + 100:
            self.skipTest("not enough file descriptors for %d connections" % connections)

    def wait_page(self, run):
        ready = wait_for(lambda: len(run.get("/")[2]) > 10000, 20, step=0.2)
        self.assertTrue(ready, "the demo page was not rendered")

    def test_slow_clients_from_eight_addresses_leave_the_page_answering(self):
        count = 2000
        self.need_descriptors(count)
        with self.run_demo() as run:
            self.wait_page(run)
            slow = []
            try:
                for i in range(count):
                    try:
                        slow.append(open_connection(ATTACKERS[i % len(ATTACKERS)], run.port))
                    except OSError:
                        pass  # a refused or reset connection is the server defending itself
                self.assertGreater(len(slow), count // 2)
                worst = 0.0
                fetches = 0
                deadline = time.monotonic() + 25
                next_byte = 0.0
                while time.monotonic() < deadline:
                    if time.monotonic() >= next_byte:
                        # One byte of a request line from every slow client, every 10 s.
                        for s in list(slow):
                            try:
                                s.send(b"G")
                            except OSError:
                                slow.remove(s)
                                s.close()
                        next_byte = time.monotonic() + 10
                    status, body, took = timed_get(run, "/")
                    self.assertEqual(status, 200)
                    self.assertIn(b"</html>", body.lower())
                    worst = max(worst, took)
                    fetches += 1
                    time.sleep(0.25)
                self.assertIsNone(run.proc.poll(), "the daemon ended")
                self.assertGreater(fetches, 3)
                self.assertLess(worst, HANG, "the slowest of %d page fetches took %.2f s" % (fetches, worst))
            finally:
                for s in slow:
                    s.close()

    def test_ten_thousand_connections_opened_and_closed_at_once(self):
        batch = 1000
        self.need_descriptors(batch)
        with self.run_demo() as run:
            self.wait_page(run)
            time.sleep(0.5)
            before = run.core_log().count("\n")
            opened = 0
            for first in range(0, 10000, batch):
                sockets = []
                for i in range(first, first + batch):
                    try:
                        sockets.append(open_connection(ATTACKERS[i % len(ATTACKERS)], run.port))
                    except OSError:
                        pass
                opened += len(sockets)
                for s in sockets:
                    s.close()
            self.assertGreater(opened, 9000)
            status, _, took = timed_get(run, "/")
            self.assertEqual(status, 200)
            self.assertIsNone(run.proc.poll(), "the daemon ended")
            # The lines past the budget are counted in one line once their window is over.
            summary = wait_for(lambda: "more connection errors were not written" in run.core_log(), 40, step=0.5)
            self.assertTrue(summary, "no line counts the connection errors left out")
            # A slow machine drains the backlog over more than one 10 s window, and every
            # window has its own budget of 5 lines and one count line.
            errors = sock_error_lines("\n".join(run.core_log().splitlines()[before:]))
            windows = int(log_span(errors) // 10) + 2
            self.assertLessEqual(len(errors), 6 * windows, "\n".join(errors[:40]))
            status, _, took = timed_get(run, "/")
            self.assertEqual(status, 200)
            self.assertLess(took, HANG)


if __name__ == "__main__":
    unittest.main()
