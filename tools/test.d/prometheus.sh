#!/usr/bin/env bash
# promtool check and test rules on the shipped alert rules; promtool check metrics on the
# metrics of the demo and of every real configuration listing,
# then a real scrape: a Prometheus server on loopback scrapes the running demo every second
# and its HTTP API must report what the demo's outputs say. Bounded to about a minute.
set -eu
cd "$(dirname "$0")/../.."
command -v promtool >/dev/null && command -v prometheus >/dev/null || {
  echo "prometheus package missing (apt-get install prometheus)"; exit 1; }
# The shipped alert rules: valid, and firing as their tests expect.
(cd packaging/prometheus && promtool check rules korvane_monitor_rules.yml &&
  promtool test rules korvane_monitor_rules_test.yml)
export KV_SOURCE_DIR="$PWD"
export KV_BINARY="${KV_BINARY:-$PWD/build/linux/korvane_monitor}"
exec timeout 110 python3 - <<'EOF'
import glob, json, os, re, shutil, subprocess, sys, tempfile, time, urllib.parse, urllib.request
sys.path.insert(0, os.path.join(os.environ["KV_SOURCE_DIR"], "tests", "e2e"))
from kvtest import DEMO_DIR, FIXTURES_DIR, MonitorRun, free_port, wait_for

SOURCES = {"config": "get_config.txt", "smart": "get_smartstats.txt", "task": "get_tasks.txt",
           "stat": "get_logs_stats.txt", "cache": "get_logs_cache.txt"}
failures = []


def metrics_of(run):
    body = {}
    def ready():
        status, _, text = run.get("/metrics")
        body["text"] = text
        return status == 200 and b"korvane_collections_total" in text
    if not wait_for(ready, 15, step=0.2):
        raise AssertionError("no metrics from %s" % run.folder)
    return body["text"]


def promtool_check(name, text):
    r = subprocess.run(["promtool", "check", "metrics"], input=text, capture_output=True, timeout=30)
    if r.returncode != 0:
        failures.append("promtool %s: %s" % (name, (r.stdout + r.stderr).decode(errors="replace")))


# 1. promtool on every real listing, all runs at once.
listings = sorted(glob.glob(os.path.join(FIXTURES_DIR, "real", "config", "*.txt")))
runs = []
try:
    for path in listings:
        with open(path, "rb") as f:
            data = f.read()
        run = MonitorRun(files={"get_config.txt": data}, config={"source": {"config": "get_config.txt"}})
        runs.append((os.path.basename(path), run.__enter__()))
    for (name, run), path in zip(runs, listings):
        text = metrics_of(run)
        # An excerpt that names no controller is a failed collection, not a healthy one.
        with open(path, "rb") as f:
            want = 1 if re.search(rb"controller information", f.read(), re.I) else 0
        if b'\nkorvane_up{controller="1"} %d\n' % want not in text:
            failures.append("%s: korvane_up is not %d" % (name, want))
        promtool_check(name, text)
finally:
    for _, run in runs:
        run.__exit__(None, None, None)
print("promtool: %d real listings checked" % len(runs))


def query(port, expr):
    url = "http://127.0.0.1:%d/api/v1/query?%s" % (port, urllib.parse.urlencode({"query": expr}))
    with urllib.request.urlopen(url, timeout=5) as r:
        return json.load(r)["data"]["result"]


# 2. The demo: promtool, then a real scrape.
with open(os.path.join(DEMO_DIR, "get_config.txt"), "rb") as f:
    listing = f.read().decode("latin-1")
states = re.findall(r"^\s+State\s+:\s*(.*?)\s*$", listing, re.M)
want_failed = sum(1 for s in states if re.search(r"failed|defunct|missing|offline", s, re.I))
with open(os.path.join(DEMO_DIR, "get_tasks.txt"), "rb") as f:
    want_progress = int(re.search(r"Percentage complete\s*:\s*(\d+)", f.read().decode("latin-1")).group(1)) / 100

work = tempfile.mkdtemp(prefix="kv-prom-")
prom = None
try:
    with MonitorRun(copy_demo=True, config={"source": SOURCES}) as demo:
        promtool_check("demo", metrics_of(demo))
        prom_port = free_port()
        with open(os.path.join(work, "prometheus.yml"), "w") as f:
            f.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                    "scrape_configs:\n  - job_name: korvane\n    static_configs:\n"
                    "      - targets: ['127.0.0.1:%d']\n" % demo.port)
        log = open(os.path.join(work, "prometheus.log"), "wb")
        prom = subprocess.Popen(["prometheus", "--config.file=" + os.path.join(work, "prometheus.yml"),
                                 "--storage.tsdb.path=" + os.path.join(work, "data"),
                                 "--web.listen-address=127.0.0.1:%d" % prom_port],
                                stdout=log, stderr=log, stdin=subprocess.DEVNULL)

        def two_scrapes():
            try:
                r = query(prom_port, "count_over_time(korvane_up[1m])")
                return r and float(r[0]["value"][1]) >= 2
            except Exception:
                return False
        if not wait_for(two_scrapes, 60, step=0.5):
            with open(os.path.join(work, "prometheus.log"), "rb") as f:
                raise AssertionError("Prometheus did not scrape twice:\n" + f.read()[-3000:].decode(errors="replace"))
        up = query(prom_port, "korvane_up")
        if [float(s["value"][1]) for s in up] != [1.0]:
            failures.append("korvane_up: %r" % up)
        failed = query(prom_port, "korvane_drive_failed")
        if len(failed) != len(states) or sum(float(s["value"][1]) for s in failed) != want_failed:
            failures.append("korvane_drive_failed: %d series, want %d drives with %d failed: %r"
                            % (len(failed), len(states), want_failed, failed))
        task = query(prom_port, 'korvane_task_progress_ratio{operation="Rebuild"}')
        if [float(s["value"][1]) for s in task] != [want_progress]:
            failures.append("rebuild progress: %r, want %r" % (task, want_progress))
        print("scrape: korvane_up=1, %d drives (%d failed), rebuild %.2f" % (len(failed), want_failed, want_progress))
finally:
    if prom is not None:
        prom.terminate()
        try:
            prom.wait(15)
        except subprocess.TimeoutExpired:
            prom.kill()
            prom.wait(5)
    shutil.rmtree(work, ignore_errors=True)

for line in failures:
    print("FAIL:", line)
sys.exit(1 if failures else 0)
EOF
