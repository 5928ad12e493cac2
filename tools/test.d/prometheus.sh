#!/usr/bin/env bash
# promtool check and test rules on the shipped alert rules; promtool check metrics on the
# metrics of the demo and of every real configuration listing,
# then a real scrape: a Prometheus server on loopback scrapes the running demo every second
# and its HTTP API must report what the demo's outputs say; every query of the Grafana
# dashboard must parse and return data there. Bounded to about a minute.
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
import glob, json, os, re, shutil, subprocess, sys, tempfile, time, urllib.error, urllib.parse, urllib.request
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


DASHBOARD = os.path.join(os.environ["KV_SOURCE_DIR"], "packaging", "grafana", "korvane_monitor.json")
WINDOW = "1m"  # stands for $__range and the other interval variables: a few scrapes long
INTERVALS = ("__range", "__rate_interval", "__interval")


def dashboard_queries():
    """The dashboard's layout checked; its queries as (where, expr, label of label_values or None)."""
    with open(DASHBOARD, encoding="utf-8") as f:
        dash = json.load(f)
    variables = {v["name"]: v for v in dash["templating"]["list"]}
    if variables.get("datasource", {}).get("type") != "datasource" or not {"instance", "controller"} <= set(variables):
        failures.append("dashboard: variables datasource, instance and controller wanted, got %s" % sorted(variables))
    ds_ref = {"type": "prometheus", "uid": "${datasource}"}
    panels = []
    for p in dash["panels"]:
        panels.append(p)
        panels.extend(p.get("panels", []))  # a collapsed row holds its panels
    ids, cells, out = set(), {}, []
    for p in panels:
        where = "panel %r (id %s)" % (p.get("title"), p.get("id"))
        g = p.get("gridPos", {})
        if not p.get("title") or p.get("id") in ids or not all(isinstance(g.get(k), int) for k in "xywh") \
                or g["x"] + g["w"] > 24:
            failures.append("dashboard: %s lacks a title, a unique id or a gridPos within 24 columns" % where)
            continue
        ids.add(p["id"])
        area = {(x, y) for x in range(g["x"], g["x"] + g["w"]) for y in range(g["y"], g["y"] + g["h"])}
        failures.extend("dashboard: %s overlaps %s" % (where, other) for other in sorted({cells[c] for c in area & cells.keys()}))
        cells.update(dict.fromkeys(area, where))
        if p["type"] == "row":
            continue
        if p.get("datasource") != ds_ref or not p.get("targets") \
                or any(t.get("datasource") != ds_ref for t in p["targets"]):
            failures.append("dashboard: %s does not query ${datasource} in all its targets" % where)
        for t in p.get("targets", []):
            out.append((where, t.get("expr", ""), None))
    for name in ("instance", "controller"):
        v = variables.get(name, {})
        q = v.get("query", "")
        m = re.fullmatch(r"\s*label_values\((.+),\s*(\w+)\s*\)\s*", q.get("query", "") if isinstance(q, dict) else q)
        if not m or m.group(2) != name or not v.get("multi") or not v.get("includeAll"):
            failures.append("dashboard: variable %s: multi, include All and label_values(..., %s) wanted: %r"
                            % (name, name, q))
            continue
        out.append(("variable %s" % name, m.group(1), name))
    return out


def check_dashboard(port):
    def promql(expr):
        expr = re.sub(r"\$\{?(instance|controller)(:\w+)?\}?", ".*", expr)
        return re.sub(r"\$\{?(%s)\}?" % "|".join(INTERVALS), WINDOW, expr)
    answered, selectors_seen = 0, {}
    for where, expr, label in dashboard_queries():
        unknown = set(re.findall(r"\$\{?(\w+)", expr)) - {"instance", "controller", *INTERVALS}
        if unknown:
            failures.append("dashboard: %s: unknown variables %s in %s" % (where, sorted(unknown), expr))
            continue
        try:
            result = query(port, promql(expr))
        except urllib.error.HTTPError as e:
            failures.append("dashboard: %s: %s\n  %s" % (where, e.read().decode(errors="replace"), expr))
            continue
        if not result or (label and not all(label in s["metric"] for s in result)):
            failures.append("dashboard: %s returned no data: %s" % (where, expr))
            continue
        answered += 1
        # Each selector on its own too: `or vector(0)` would hide a misspelt metric. Every
        # selector of a panel honours both variables; the variable queries need not.
        for sel in re.findall(r"\bkorvane_\w+(?:\{[^}]*\})?", expr):
            if label is None and ('instance=~"$instance"' not in sel or 'controller=~"$controller"' not in sel):
                failures.append("dashboard: %s: %s ignores $instance or $controller" % (where, sel))
            if sel not in selectors_seen:
                selectors_seen[sel] = bool(query(port, promql(sel)))
            if not selectors_seen[sel]:
                failures.append("dashboard: %s: %s selects nothing" % (where, sel))
    print("dashboard: %d queries returned data, %d selectors" % (answered, len(selectors_seen)))


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
        started = time.monotonic()
        check_dashboard(prom_port)
        print("dashboard: checked in %.2f s" % (time.monotonic() - started))
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
