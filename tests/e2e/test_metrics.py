"""Metrics and the JSON state document served by the running daemon, and collection health."""
import json
import os
import re
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from kvtest import DEMO_DIR, MonitorRun, free_port, wait_for  # noqa: E402

SAMPLE = re.compile(r'^([a-zA-Z_:][a-zA-Z0-9_:]*)(\{.*\})? (\S+)$')


def demo_sources():
    return {"config": "get_config.txt", "smart": "get_smartstats.txt", "task": "get_tasks.txt",
            "stat": "get_logs_stats.txt", "cache": "get_logs_cache.txt"}


def samples(text):
    out = {}
    for line in text.splitlines():
        if not line or line.startswith("#"):
            continue
        m = SAMPLE.match(line)
        assert m, line
        out[(m.group(1) + (m.group(2) or ""))] = float(m.group(3))
    return out


def fetch_when(run, target, predicate, timeout=30):
    """Body of target once predicate(body) holds (the first cycle runs a second after start)."""
    result = {}

    def ready():
        status, headers, body = run.get(target)
        result.update(status=status, headers=headers, body=body)
        return status == 200 and predicate(body)
    wait_for(ready, timeout, step=0.2)
    return result["status"], result["headers"], result["body"]


def header(headers, name):
    for key, value in (headers.items() if hasattr(headers, "items") else headers):
        if key.lower() == name.lower():
            return value
    return None


class MetricsTest(unittest.TestCase):
    def run_demo(self, files=None):
        return MonitorRun(copy_demo=True, files=files, config={"source": demo_sources()})

    def test_demo_metrics_and_state_json_match_the_ini_report(self):
        with self.run_demo() as run:
            status, headers, body = fetch_when(run, "/metrics", lambda b: b'\nkorvane_up{controller="1"} 1\n' in b)
            self.assertEqual(status, 200)
            self.assertEqual(header(headers, "Content-Type"), "text/plain; version=0.0.4; charset=utf-8")
            m = samples(body.decode("utf-8"))
            self.assertEqual(m['korvane_up{controller="1"}'], 1)
            self.assertEqual(m['korvane_source_last_status{controller="1",source="config"}'], 0)
            self.assertEqual(m['korvane_task_progress_ratio{controller="1",logical_device="1",operation="Rebuild",status="In Progress"}'], 0.45)
            if shutil.which("promtool"):
                check = subprocess.run(["promtool", "check", "metrics"], input=body, capture_output=True, timeout=30)
                self.assertEqual(check.returncode, 0, check.stdout + check.stderr)

            status, headers, body = run.get("/state.json")
            self.assertEqual(status, 200)
            self.assertEqual(header(headers, "Content-Type"), "application/json; charset=utf-8")
            document = json.loads(body.decode("utf-8"))
            self.assertEqual(document["format"], 2)
            self.assertEqual(document["health"]["verdict"], "Critical")  # the demo's failed drive
            state = document["controllers"][0]
            self.assertEqual(state["controller"], 1)
            _, _, ini = run.get("/ini")
            ini = ini.decode("latin-1")
            counts = dict(re.findall(r"\[(hdds|ld|zepld|task)\]\r\ncount=(\d+)", ini))
            self.assertEqual(len(state["drives"]), int(counts["hdds"]))
            self.assertEqual(len(state["logical_devices"]), int(counts["ld"]))
            self.assertEqual(len(state["zepcache_devices"]), int(counts["zepld"]))
            self.assertEqual(len(state["tasks"]), int(counts["task"]))
            failed = sum(v for k, v in m.items() if k.startswith("korvane_drive_failed{"))
            self.assertEqual(failed, sum(1 for d in state["drives"] if d["failed"]))
            # Only the root folder answers with these texts.
            self.assertEqual(run.get("/sub/metrics")[0], 404)

    def test_cyrillic_drive_model_comes_out_as_utf8(self):
        with open(os.path.join(DEMO_DIR, "get_config.txt"), "rb") as f:
            listing = f.read()
        cyrillic = "Диск-Тест".encode("cp1251")
        listing = listing.replace(b"WD1003FBYZ-010FB0", cyrillic, 1)
        with self.run_demo(files={"get_config.txt": listing}) as run:
            _, _, body = fetch_when(run, "/state.json", lambda b: b'"up":true' in b)
            state = json.loads(body.decode("utf-8"))["controllers"][0]
            self.assertIn("Диск-Тест", [d["model"] for d in state["drives"]])
            _, _, metrics = run.get("/metrics")
            self.assertIn('model="Диск-Тест"', metrics.decode("utf-8"))

    def test_source_health(self):
        rows = [
            # (config source, extra sources, expectation on the samples)
            ("empty.txt", {}, {'korvane_up{controller="1"}': 0, 'korvane_source_last_status{controller="1",source="config"}': 1}),
            ("get_config.txt", {"smart": "/nonexistent/korvane-util /c0"},
             {'korvane_up{controller="1"}': 1, 'korvane_source_last_status{controller="1",source="smart"}': 2}),
            ("get_config.txt", {"task": "sleep 30"},
             {'korvane_up{controller="1"}': 1, 'korvane_source_last_status{controller="1",source="task"}': 3}),
            # Output that stops short: a non-zero exit, an XML element never closed.
            ("sh -c 'cat get_config.txt; exit 3'", {},
             {'korvane_up{controller="1"}': 0, 'korvane_source_last_status{controller="1",source="config"}': 5}),
            ("get_config.txt", {"smart": "head -c 3000 get_smartstats.txt | cat"},
             {'korvane_up{controller="1"}': 1, 'korvane_source_last_status{controller="1",source="smart"}': 5}),
        ]
        for config_source, extra, expected in rows:
            with self.subTest(config=config_source, extra=extra):
                sources = {"config": config_source}
                sources.update(extra)
                with MonitorRun(copy_demo=True, files={"empty.txt": b""},
                                config={"source": sources, "scaner": {"source_timeout": 1}}) as run:
                    status, _, body = fetch_when(run, "/metrics", lambda b: b"korvane_collections_total" in b)
                    self.assertEqual(status, 200)
                    m = samples(body.decode("utf-8"))
                    for key, value in expected.items():
                        self.assertEqual(m.get(key), value, key)

    def test_pages_unchanged_by_machine_texts(self):
        # /raw is the configuration text byte for byte; / and /ini never carry metrics.
        with self.run_demo() as run:
            fetch_when(run, "/metrics", lambda b: b'\nkorvane_up{controller="1"} 1\n' in b)
            _, _, raw = run.get("/raw")
            with open(os.path.join(DEMO_DIR, "get_config.txt"), "rb") as f:
                text = f.read()
            lines = re.split(rb"\r\n|\n|\r", text)
            if lines[-1] == b"":
                lines.pop()
            expected = b"".join(line + b"\r\n" for line in lines)
            self.assertEqual(raw, expected + b" ")
            for target in ("/", "/ini"):
                _, _, body = run.get(target)
                self.assertNotIn(b"korvane_", body)
                self.assertNotIn(b'"format"', body)


if __name__ == "__main__":
    unittest.main()
