"""korvane_monitor --test-notify: one test message through the command and the webhook, the
exit code saying whether every configured way worked, and nothing left behind (no core log,
no outbox). HTTPS is verified against [notify] webhook_ca."""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from kvtest import BINARY, MonitorRun, config_text, first_drive_failed, free_port, wait_for  # noqa: E402
from test_collect import demo_config  # noqa: E402
from webhook_receiver import TestCertificates, WebhookReceiver  # noqa: E402

# The command writes what it was given beside the program.
NOTIFY_SH = "#!/bin/sh\nenv > notified_env.txt\nexit ${KV_TEST_EXIT:-0}\n"


def closed_port_url():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return "http://127.0.0.1:%d/hook" % s.getsockname()[1]


class TestNotifySwitch(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="kv-notify-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        shutil.copy2(BINARY, os.path.join(self.folder, "korvane_monitor"))
        with open(os.path.join(self.folder, "notify.sh"), "w") as f:
            f.write(NOTIFY_SH)
        os.chmod(os.path.join(self.folder, "notify.sh"), 0o755)

    def run_switch(self, notify, exit_code=0):
        """Runs the switch with [notify] `notify`; the exit code, stdout and seconds taken.
        It may leave nothing behind but what the command writes."""
        path = os.path.join(self.folder, "config_http.txt")
        with open(path, "w") as f:
            f.write(config_text({"http": {"use": 0}, "notify": notify}))
        if os.path.exists(os.path.join(self.folder, "notified_env.txt")):
            os.remove(os.path.join(self.folder, "notified_env.txt"))
        before = set(os.listdir(self.folder))
        env = dict(os.environ, KV_TEST_EXIT=str(exit_code))
        start = time.monotonic()
        done = subprocess.run([os.path.join(self.folder, "korvane_monitor"), "--test-notify"], cwd="/", env=env,
                              capture_output=True, timeout=40, stdin=subprocess.DEVNULL)
        took = time.monotonic() - start
        out = done.stdout.decode("utf-8", "replace")
        left = set(os.listdir(self.folder)) - before - {"notified_env.txt"}
        self.assertEqual(left, set(), "the switch left files behind (core log, outbox, changes file)\n" + out)
        return done.returncode, out, took

    def command_env(self):
        with open(os.path.join(self.folder, "notified_env.txt")) as f:
            return dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)

    def test_exit_code_output_and_what_each_way_was_given(self):
        with WebhookReceiver() as receiver:
            url = receiver.start("ok")
            closed = closed_port_url()
            header = "Authorization: Bearer kv-test-token"
            cases = [
                # name, notify keys, the receiver's mode, command exit code, exit code, printed, posts
                ("none", {}, "ok", 0, 2, "nothing to test: [notify] command and [notify] webhook are both empty", 0),
                ("closed", {"webhook": closed}, "ok", 0, 1, "webhook: no answer", 0),
                ("json", {"webhook": url, "command": "./notify.sh", "webhook_header": header}, "ok", 0, 0,
                 "webhook: HTTP 200 in ", 1),
                ("fail", {"webhook": url}, "fail", 0, 1, "webhook: HTTP 500", 1),
                # Each way is tried whatever the other gave.
                ("exit 3", {"webhook": url, "command": "./notify.sh"}, "ok", 3, 1, "command: exit code 3 in ", 1),
                ("no program", {"command": "./no-such-notify.sh"}, "ok", 0, 1, "command: ", 0),
                ("text", {"webhook": url, "webhook_format": "text"}, "ok", 0, 0, "webhook: HTTP 200", 1),
                ("plain", {"webhook": url, "webhook_format": "plain", "page_url": "http://srv:31313/"}, "ok", 0, 0,
                 "webhook: HTTP 200", 1),
            ]
            got = {}
            for name, notify, mode, command_exit, code, printed, posts in cases:
                with self.subTest(name):
                    receiver.set_mode(mode)
                    receiver.requests.clear()
                    exit_code, out, took = self.run_switch(notify, command_exit)
                    self.assertEqual((exit_code, printed in out), (code, True), out)
                    self.assertLess(took, 15, out)
                    self.assertEqual(len(receiver.wait_requests(posts, 5 if posts else 0)), posts, receiver.requests)
                    got[name] = receiver.requests[:]
                    if notify.get("command") == "./notify.sh":
                        got[name + " env"] = self.command_env()

            # The json document, with the message's essentials.
            request = got["json"][0]
            self.assertEqual((request.method, request.path), ("POST", "/hook"))
            self.assertEqual(request.headers["content-type"], "application/json; charset=utf-8")
            self.assertEqual(request.headers.get("authorization"), "Bearer kv-test-token")
            doc = request.json()
            self.assertEqual((doc["format"], doc["event"], doc["verdict"]), (1, "test", "unknown"), doc)
            self.assertTrue(doc["host"].lower().startswith(socket.gethostname().split(".")[0].lower()), doc)
            self.assertTrue(doc["summary"].startswith("Test message"), doc)
            self.assertEqual(got["exit 3"][0].json()["event"], "test", "the webhook was tried after the command failed")
            for name in ("json env", "exit 3 env"):
                self.assertEqual((got[name]["KORVANE_EVENT"], got[name]["KORVANE_VERDICT"]), ("test", "unknown"))

            text = got["text"][0]
            self.assertEqual(text.headers["content-type"], "application/json; charset=utf-8")
            self.assertIn("Test message", text.json()["text"])
            plain = got["plain"][0]
            self.assertEqual(plain.headers["content-type"], "text/plain; charset=utf-8")
            self.assertIn(b"Test message", plain.body)
            self.assertIn(b"http://srv:31313/", plain.body)

    def test_a_receiver_that_never_answers_ends_after_the_timeout(self):
        with WebhookReceiver() as receiver:
            url = receiver.start("hang")
            code, out, took = self.run_switch({"webhook": url})
            self.assertEqual((code, "webhook: no answer" in out), (1, True), out)
            self.assertLess(took, 20, out)
            self.assertEqual(len(receiver.wait_requests(1, 5)), 1)

    def test_https_is_verified_against_the_configured_ca(self):
        certificates = TestCertificates(self.folder)
        shutil.copy2(certificates.ca_file, os.path.join(self.folder, "relative_ca.pem"))
        with WebhookReceiver() as receiver:
            url = receiver.start("ok", tls=certificates)
            localhost = url.replace("127.0.0.1", "localhost")
            cases = [
                ({"webhook": url, "webhook_ca": certificates.ca_file}, 0, "webhook: HTTP 200", 1),
                # Relative to the program folder, as the service reads it.
                ({"webhook": localhost, "webhook_ca": "relative_ca.pem"}, 0, "webhook: HTTP 200", 1),
                # The test CA is not among the system's roots.
                ({"webhook": url}, 1, "webhook: no answer", 0),
            ]
            for notify, code, printed, posts in cases:
                with self.subTest(notify=notify):
                    receiver.requests.clear()
                    exit_code, out, took = self.run_switch(notify)
                    self.assertEqual((exit_code, printed in out), (code, True), out)
                    self.assertLess(took, 15, out)
                    requests = receiver.wait_requests(posts, 5 if posts else 0)
                    self.assertEqual(len(requests), posts, requests)
                    if posts:
                        self.assertEqual(json.loads(requests[0].body)["event"], "test")


class WebhookDeliveryTest(unittest.TestCase):
    """The running service posts a failed member drive, keeps it across a kill while the
    receiver refuses it, sends it after the start, then posts "resolved"."""

    def test_problem_survives_a_kill_and_resolved_follows(self):
        with WebhookReceiver() as receiver:
            config = demo_config()
            config["http"]["port"] = free_port()
            config["scaner"]["timeout"] = 1
            config["notify"] = {"webhook": receiver.start("fail"), "page_url": "http://raid.example/"}
            with MonitorRun(copy_demo=True, config=config) as run:
                listing = run.path(config["source"]["config"])
                with open(listing, "rb") as f:
                    demo = f.read()
                self.assertTrue(wait_for(lambda: "OK, StartData" in run.core_log(), 30), run.core_log())
                with open(listing, "wb") as f:
                    f.write(first_drive_failed(demo))
                self.assertTrue(wait_for(lambda: "trying again in 30 s (try 1)" in run.core_log(), 30),
                                run.core_log()[-3000:])
                with open(run.path("korvane_monitor_outbox.txt"), "rb") as f:
                    self.assertIn(b"[webhook]\r\nevent=problem\r\n", f.read())

                # Killed while the message waits; the next start sends it at once.
                run.kill_session()
                receiver.set_mode("ok")
                run.start()
                self.assertTrue(wait_for(lambda: any(r.json()["event"] == "problem" and
                                                     not os.path.exists(run.path("korvane_monitor_outbox.txt"))
                                                     for r in receiver.requests[1:]), 30),
                                run.core_log()[-3000:])
                problem = next(r.json() for r in receiver.requests[1:] if r.json()["event"] == "problem")
                self.assertEqual((problem["format"], problem["verdict"], problem["page_url"]),
                                 (1, "Critical", "http://raid.example/"))
                drive = next(c for c in problem["changes"] if c["event_id"] == 10)
                self.assertEqual((drive["controller"], drive["serial"], drive["from"], drive["to"], drive["severity"]),
                                 (1, "WD-WMC1T0000101", "Online", "Failed", "critical"))
                self.assertRegex(problem["time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")

                # The drive is back: one "resolved", though the demo's other faults stay.
                with open(listing, "wb") as f:
                    f.write(demo)
                self.assertTrue(wait_for(lambda: any(r.json()["event"] == "resolved" for r in receiver.requests), 30),
                                run.core_log()[-3000:])
                resolved = next(r.json() for r in receiver.requests if r.json()["event"] == "resolved")
                self.assertEqual(resolved["previous_verdict"], "Critical")
                self.assertIn("Failed -> Online", " ".join(c["line"] for c in resolved["changes"]))
                time.sleep(3)
                events = [r.json()["event"] for r in receiver.requests]
                self.assertEqual(events.count("resolved"), 1, events)
                self.assertNotIn("reminder", events)


if __name__ == "__main__":
    unittest.main()
