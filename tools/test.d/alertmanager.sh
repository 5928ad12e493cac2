#!/usr/bin/env bash
# From a failed drive to an Alertmanager notification and back, with the real tools on
# loopback: a synthetic healthy controller (make_controller --healthy, one logical device
# over 8 drives) served by the monitor every second, Prometheus scraping it every second
# with the shipped alert rules (every `for:` cut to 10s in a throw-away copy), and
# Alertmanager posting to a webhook receiver in this script. One member drive is turned
# Failed in get_config.txt: the receiver must get exactly KorvaneDriveFailed for that drive
# and KorvaneHealthCritical, both critical; the drive back Online must resolve both.
# Prints the time from the failure to the first notification and to the resolved one.
#   KV_BUILD_DIR  where the linux preset built (default build/linux)
#   KV_BINARY     the monitor (default $KV_BUILD_DIR/korvane_monitor)
#   KV_RULES      the alert rules (default packaging/prometheus/korvane_monitor_rules.yml)
#   KV_ALERTMANAGER  the Alertmanager binary (default Debian's prometheus-alertmanager)
set -eu
cd "$(dirname "$0")/../.."
# tools/lib/deps.sh installs both; the package's own system Alertmanager is not used.
command -v prometheus >/dev/null && command -v prometheus-alertmanager >/dev/null || {
  echo "prometheus packages missing (apt-get install prometheus prometheus-alertmanager)"; exit 1; }
export KV_SOURCE_DIR="$PWD"
export KV_BUILD_DIR="${KV_BUILD_DIR:-$PWD/build/linux}"
export KV_BINARY="${KV_BINARY:-$KV_BUILD_DIR/korvane_monitor}"
export KV_RULES="${KV_RULES:-$PWD/packaging/prometheus/korvane_monitor_rules.yml}"
export KV_ALERTMANAGER="${KV_ALERTMANAGER:-$(command -v prometheus-alertmanager)}"
[ -x "$KV_BINARY" ] || { echo "no monitor at $KV_BINARY"; exit 1; }
[ -x "$KV_BUILD_DIR/make_controller" ] || { echo "no make_controller in $KV_BUILD_DIR (the linux preset builds it)"; exit 1; }
exec timeout 170 python3 - <<'EOF'
import http.server, json, os, re, shutil, subprocess, sys, tempfile, threading, time, urllib.parse, urllib.request
sys.path.insert(0, os.path.join(os.environ["KV_SOURCE_DIR"], "tests", "e2e"))
from kvtest import BUILD_DIR, MonitorRun, free_port, wait_for

SOURCES = {"config": "get_config.txt", "smart": "get_smartstats.txt",
           "stat": "get_logs_stats.txt", "cache": "get_logs_cache.txt"}
# What one failed member drive must raise. The others stay quiet: its logical device
# still reads Optimal (only the drive's State line changes; a real controller would say
# Degraded and KorvaneLogicalDeviceNotOk would join), the collection works, and the failed
# drive's SMART verdict, Bad because it failed, must not page a second time as
# KorvaneDriveSmartBad.
WANT = {"KorvaneDriveFailed", "KorvaneHealthCritical"}
failures = []
start = time.monotonic()
deadline = start + 110  # every wait below takes its share of this; cleanup comes after


def left(seconds):
    return max(1, min(seconds, deadline - time.monotonic()))


procs = []  # (Popen, log file)
work = tempfile.mkdtemp(prefix="kv-am-")
posts = []  # (monotonic seconds, body) as the receiver got them
posts_lock = threading.Lock()


class Receiver(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with posts_lock:
            posts.append((time.monotonic(), json.loads(body)))
        self.send_response(200)
        self.end_headers()

    def log_message(self, *args):
        pass


def received():
    with posts_lock:
        return [(t, a) for t, body in posts for a in body.get("alerts", [])]


def get_json(url):
    with urllib.request.urlopen(url, timeout=5) as r:
        return json.load(r)


def query(port, expr):
    return get_json("http://127.0.0.1:%d/api/v1/query?%s" % (port, urllib.parse.urlencode({"query": expr})))["data"]["result"]


def tail(name):
    try:
        with open(os.path.join(work, name), "rb") as f:
            return f.read()[-3000:].decode(errors="replace")
    except OSError:
        return ""


def give_up(what):
    raise AssertionError("%s\n--- prometheus.log ---\n%s\n--- alertmanager.log ---\n%s\n--- receiver ---\n%s"
                         % (what, tail("prometheus.log"), tail("alertmanager.log"), json.dumps([b for _, b in posts])[-3000:]))


def spawn(name, argv):
    log = open(os.path.join(work, name + ".log"), "wb")
    procs.append((subprocess.Popen(argv, stdout=log, stderr=log, stdin=subprocess.DEVNULL), log))


def set_state(path, device, state):
    """Device #`device`'s State line says `state`; written whole, so no read sees half."""
    with open(path, "rb") as f:
        text = f.read().decode("latin-1")
    at = text.index("Device #%d\r\n" % device)
    text = text[:at] + re.sub(r"(State\s+: )\w+", r"\g<1>" + state, text[at:], count=1)
    with open(path + ".new", "wb") as f:
        f.write(text.encode("latin-1"))
    os.replace(path + ".new", path)


receiver = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Receiver)
threading.Thread(target=receiver.serve_forever, daemon=True).start()
try:
    gen = os.path.join(work, "controller")
    subprocess.run([os.path.join(BUILD_DIR, "make_controller"), "--healthy", "8", gen], check=True, timeout=30)
    files = {}
    for name in SOURCES.values():
        with open(os.path.join(gen, name), "rb") as f:
            files[name] = f.read()
    # Drive 0 is segment 0 of logical device 0.
    serial = re.search(rb"Device #0\r\n(?:.*\r\n)*?\s+Serial number\s+: (\S+)", files["get_config.txt"]).group(1).decode()
    if b") %s\r\n" % serial.encode() not in files["get_config.txt"]:
        failures.append("drive 0 (%s) is no segment of a logical device" % serial)

    config = {"http": {"listen": "127.0.0.1"}, "scaner": {"timeout": 1}, "source": SOURCES}
    with MonitorRun(files=files, config=config) as mon:
        def verdict():
            """The overall verdict of /state.json once a cycle has judged, else None."""
            try:
                status, _, body = mon.get("/state.json")
                state = json.loads(body) if status == 200 else {}
            except (OSError, ValueError):
                return None
            return state["health"] if "health" in (state.get("controllers") or [{}])[0] else None
        healthy = wait_for(verdict, left(15), step=0.2)
        if not healthy or healthy["verdict"] != "OK" or healthy["reasons"]:
            failures.append("the healthy controller is not OK: %r" % healthy)

        # The shipped rules, every `for:` cut to 10s.
        with open(os.environ["KV_RULES"]) as f:
            rules, cut = re.subn(r"(?m)^(\s+for:\s*)\S+", r"\g<1>10s", f.read())
        if cut != len(re.findall(r"(?m)^\s+- alert:", rules)):
            failures.append("%d for: lines cut, not one per rule" % cut)
        with open(os.path.join(work, "rules.yml"), "w") as f:
            f.write(rules)

        am_port = prom_port = free_port("127.0.0.1")
        while prom_port == am_port:
            prom_port = free_port("127.0.0.1")
        with open(os.path.join(work, "alertmanager.yml"), "w") as f:
            f.write("route:\n  receiver: hook\n  group_by: ['alertname', 'controller', 'serial']\n"
                    "  group_wait: 1s\n  group_interval: 1s\n  repeat_interval: 4h\n"
                    "receivers:\n  - name: hook\n    webhook_configs:\n"
                    "      - url: 'http://127.0.0.1:%d/'\n        send_resolved: true\n" % receiver.server_port)
        spawn("alertmanager", [os.environ["KV_ALERTMANAGER"], "--config.file=" + os.path.join(work, "alertmanager.yml"),
                               "--storage.path=" + os.path.join(work, "am-data"), "--cluster.listen-address=",
                               "--web.listen-address=127.0.0.1:%d" % am_port])
        with open(os.path.join(work, "prometheus.yml"), "w") as f:
            f.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n  evaluation_interval: 1s\n"
                    "rule_files: ['%s']\n"
                    "alerting:\n  alertmanagers:\n    - static_configs:\n        - targets: ['127.0.0.1:%d']\n"
                    "scrape_configs:\n  - job_name: korvane\n    static_configs:\n"
                    "      - targets: ['127.0.0.1:%d']\n" % (os.path.join(work, "rules.yml"), am_port, mon.port))
        spawn("prometheus", ["prometheus", "--config.file=" + os.path.join(work, "prometheus.yml"),
                             "--storage.tsdb.path=" + os.path.join(work, "prom-data"),
                             "--web.listen-address=127.0.0.1:%d" % prom_port, "--rules.alert.resend-delay=1s"])

        # Healthy: scraped, the rules evaluated on it, Alertmanager known to Prometheus.
        def settled():
            try:
                ok = query(prom_port, "count_over_time(korvane_health[1m]) >= 3 and korvane_health == 0")
                ams = get_json("http://127.0.0.1:%d/api/v1/alertmanagers" % prom_port)["data"]["activeAlertmanagers"]
                groups = get_json("http://127.0.0.1:%d/api/v1/rules" % prom_port)["data"]["groups"]
                evaluated = groups and all(not r["lastEvaluation"].startswith("0001") for g in groups for r in g["rules"])
                ready = urllib.request.urlopen("http://127.0.0.1:%d/-/ready" % am_port, timeout=5).status == 200
                return ok and ams and evaluated and ready
            except Exception:
                return False
        if not wait_for(settled, left(45), step=0.5):
            give_up("not settled: a healthy scrape, every rule evaluated, Alertmanager ready and known to Prometheus")
        pending = query(prom_port, "ALERTS")
        if pending or received():
            failures.append("alerts while healthy: %r %r" % (pending, received()))
        print("healthy: scraped, rules evaluated, no alert pending (%.1f s after start)" % (time.monotonic() - start))

        # A member drive fails.
        set_state(mon.path("get_config.txt"), 0, "Failed")
        failed_at = time.monotonic()
        critical = wait_for(lambda: (verdict() or {}).get("verdict") == "Critical" and verdict(), left(10), step=0.2)
        if not critical or [r["object"] for r in critical["reasons"]] != ["Drive 0,0 (S/N %s)" % serial]:
            failures.append("one failed member drive: verdict %r" % critical)

        def firing():
            return {a["labels"]["alertname"] for _, a in received() if a["status"] == "firing"} >= WANT
        if not wait_for(firing, left(60), step=0.2):
            give_up("no %s firing %.0f s after the failure" % (" and ".join(sorted(WANT)), time.monotonic() - failed_at))
        firing_posts = {}
        for t, a in received():
            if a["status"] == "firing":
                firing_posts.setdefault(a["labels"]["alertname"], t)
        time.sleep(3)  # the other rules share the `for:`; one that fires does so by now
        alerts = {}
        for _, a in received():
            alerts.setdefault(a["labels"]["alertname"], []).append(a)
        names = set(alerts)
        if names != WANT:
            failures.append("alerts for one failed member drive: %s, want %s" % (sorted(names), sorted(WANT)))
        for name, want in (("KorvaneDriveFailed", {"controller": "1", "serial": serial, "severity": "critical"}),
                           ("KorvaneHealthCritical", {"controller": "1", "severity": "critical"})):
            for a in alerts.get(name, []):
                if any(a["labels"].get(k) != v for k, v in want.items()):
                    failures.append("%s labels %r, want %r" % (name, a["labels"], want))
        print("time to alert: %.1f s (both: %.1f s)" % (min(firing_posts.values()) - failed_at,
                                                       max(firing_posts[n] for n in WANT) - failed_at))

        # Back Online: both resolved.
        set_state(mon.path("get_config.txt"), 0, "Online")
        back_at = time.monotonic()

        def resolved():
            return {a["labels"]["alertname"] for t, a in received() if a["status"] == "resolved" and t > back_at} >= WANT
        if not wait_for(resolved, left(60), step=0.2):
            give_up("%s not resolved %.0f s after the drive came back" % (" and ".join(sorted(WANT)), time.monotonic() - back_at))
        resolved_post = max(min(t for t, a in received() if a["status"] == "resolved" and a["labels"]["alertname"] == n)
                            for n in WANT)
        print("time to resolved: %.1f s" % (resolved_post - back_at))
        extra = {a["labels"]["alertname"] for _, a in received()} - WANT - names
        if extra:
            failures.append("other alerts by the end: %s" % sorted(extra))
except AssertionError as e:
    failures.append(str(e))
except Exception as e:
    failures.append("%s: %s" % (type(e).__name__, e))
finally:
    for proc, log in procs:
        proc.terminate()
    for proc, log in procs:
        try:
            proc.wait(15)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(5)
        log.close()
    receiver.shutdown()
    receiver.server_close()
    shutil.rmtree(work, ignore_errors=True)

print("run time: %.1f s" % (time.monotonic() - start))
for line in failures:
    print("FAIL:", line)
sys.exit(1 if failures else 0)
EOF
