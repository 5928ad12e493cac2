#!/bin/bash
# Imports packaging/zabbix/korvane_monitor.yaml into a real Zabbix 6.0 (Debian 12 packages) on
# loopback, links it to a host that reads the demo monitor, and prints which items got values.
# Opt-in and slow (packages, a database, a few minutes of polling); not part of tools/test.sh.
#
#   sudo tools/zabbix_import.sh          # run; stops what it started at the end
#   KV_ZABBIX_KEEP=1 tools/zabbix_import.sh   # leave it running (front end on 127.0.0.1:$WEB_PORT)
#   tools/zabbix_import.sh stop          # stop what a kept run left
#   tools/zabbix_import.sh purge         # and remove its database cluster and $WORK
#
# Runs as root. Uses its own PostgreSQL cluster (15/kvzabbix, port 5439), its own
# zabbix_server configuration and PHP's built-in web server, all under $WORK; the only file
# it writes outside is /etc/zabbix/zabbix.conf.php (the front end reads only that path),
# removed again by the stop.
set -euo pipefail

SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BINARY=${KV_BINARY:-$SOURCE_DIR/build/linux/korvane_monitor}
WORK=${KV_ZABBIX_WORK:-/var/tmp/kv-zabbix}
WEB_PORT=${KV_ZABBIX_WEB_PORT:-18080}
SERVER_PORT=${KV_ZABBIX_SERVER_PORT:-10061}
MONITOR_PORT=${KV_ZABBIX_MONITOR_PORT:-31399}
WAIT_SECONDS=${KV_ZABBIX_WAIT:-420}
PG_VERSION=15
PG_CLUSTER=kvzabbix
PG_PORT=5439
FRONT_CONF=/etc/zabbix/zabbix.conf.php
MARK="// written by korvane tools/zabbix_import.sh"

log() { printf '%s %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

stop_pid() {  # pid file
  [ -f "$1" ] || return 0
  local pid; pid=$(cat "$1")
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    kill -KILL "$pid" 2>/dev/null || true
  fi
  rm -f "$1"
}

stop_all() {
  log "stopping"
  stop_pid "$WORK/zabbix_server.pid"
  stop_pid "$WORK/php.pid"
  stop_pid "$WORK/monitor.pid"
  if pg_lsclusters -h 2>/dev/null | awk '{print $2}' | grep -qx "$PG_CLUSTER"; then
    pg_ctlcluster "$PG_VERSION" "$PG_CLUSTER" stop 2>/dev/null || true
  fi
  if [ -f "$FRONT_CONF" ] && grep -qF "$MARK" "$FRONT_CONF"; then rm -f "$FRONT_CONF"; fi
}

case "${1:-}" in
  stop) stop_all; exit 0 ;;
  purge) stop_all; pg_dropcluster "$PG_VERSION" "$PG_CLUSTER" 2>/dev/null || true; rm -rf "$WORK"; exit 0 ;;
esac
[ "$(id -u)" = 0 ] || { echo "run as root" >&2; exit 2; }
[ -x "$BINARY" ] || { echo "no monitor binary at $BINARY (set KV_BINARY)" >&2; exit 2; }

# --- packages -------------------------------------------------------------------------------
PACKAGES="zabbix-server-pgsql zabbix-frontend-php php-cli php-pgsql postgresql curl"
missing=$(for p in $PACKAGES; do dpkg -s "$p" >/dev/null 2>&1 || echo "$p"; done)
if [ -n "$missing" ]; then
  log "installing $missing"
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing >"$WORK.apt.log" 2>&1 ||
    { tail -20 "$WORK.apt.log" >&2; exit 1; }
fi

stop_all  # a run killed before its end left these
if [ "${KV_ZABBIX_KEEP:-0}" != 1 ]; then trap stop_all EXIT; fi
rm -rf "$WORK" && mkdir -p "$WORK" && chown zabbix: "$WORK"

# --- database ------------------------------------------------------------------------------
if ! pg_lsclusters -h | awk '{print $2}' | grep -qx "$PG_CLUSTER"; then
  log "creating PostgreSQL cluster $PG_VERSION/$PG_CLUSTER"
  pg_createcluster "$PG_VERSION" "$PG_CLUSTER" -p "$PG_PORT" -- --auth-local=peer --auth-host=scram-sha-256 >/dev/null
  echo "listen_addresses = '127.0.0.1'" >>"/etc/postgresql/$PG_VERSION/$PG_CLUSTER/postgresql.conf"
fi
pg_ctlcluster "$PG_VERSION" "$PG_CLUSTER" start
psql_pg() { runuser -u postgres -- psql -p "$PG_PORT" -v ON_ERROR_STOP=1 -qAt "$@"; }
psql_pg -c "DROP DATABASE IF EXISTS zabbix" -c "DROP ROLE IF EXISTS zabbix" \
  -c "CREATE ROLE zabbix LOGIN PASSWORD 'zabbix'" -c "CREATE DATABASE zabbix OWNER zabbix ENCODING 'UTF8' TEMPLATE template0"
log "loading the schema"
for f in schema images data; do zcat "/usr/share/zabbix-server-pgsql/$f.sql.gz"; done |
  PGPASSWORD=zabbix psql -h 127.0.0.1 -p "$PG_PORT" -U zabbix -d zabbix -v ON_ERROR_STOP=1 -q >/dev/null

# --- server and front end ------------------------------------------------------------------
cat >"$WORK/zabbix_server.conf" <<EOF
ListenIP=127.0.0.1
ListenPort=$SERVER_PORT
LogFile=$WORK/zabbix_server.log
PidFile=$WORK/zabbix_server.pid
SocketDir=$WORK
DBHost=127.0.0.1
DBPort=$PG_PORT
DBName=zabbix
DBUser=zabbix
DBPassword=zabbix
CacheUpdateFrequency=10
StartPollers=2
StartHTTPPollers=1
StartPingers=0
StartDiscoverers=0
StartPreprocessors=2
StartLLDProcessors=1
Timeout=10
EOF
chown zabbix: "$WORK/zabbix_server.conf"
zabbix_server -c "$WORK/zabbix_server.conf"

cat >"$FRONT_CONF" <<EOF
<?php
$MARK
\$DB['TYPE'] = 'POSTGRESQL';
\$DB['SERVER'] = '127.0.0.1';
\$DB['PORT'] = '$PG_PORT';
\$DB['DATABASE'] = 'zabbix';
\$DB['USER'] = 'zabbix';
\$DB['PASSWORD'] = 'zabbix';
\$DB['SCHEMA'] = '';
\$DB['DOUBLE_IEEE754'] = true;
\$ZBX_SERVER = '127.0.0.1';
\$ZBX_SERVER_PORT = '$SERVER_PORT';
\$ZBX_SERVER_NAME = 'korvane';
\$IMAGE_FORMAT_DEFAULT = IMAGE_FORMAT_PNG;
EOF
chmod 644 "$FRONT_CONF"
# The API needs no more than PHP's own server; it answers on loopback only.
setsid php -d memory_limit=512M -d post_max_size=16M -d max_execution_time=300 \
  -S "127.0.0.1:$WEB_PORT" -t /usr/share/zabbix >"$WORK/php.log" 2>&1 </dev/null &
echo $! >"$WORK/php.pid"

# --- the demo monitor ----------------------------------------------------------------------
mkdir -p "$WORK/monitor"
cp -r "$SOURCE_DIR/examples/demo/." "$WORK/monitor/"
cp "$BINARY" "$WORK/monitor/korvane_monitor"
sed -i "s/^port=.*/port=$MONITOR_PORT\nlisten=127.0.0.1/" "$WORK/monitor/config_http.txt"
# exec: the pid kept is the monitor's, not that of a shell waiting for it.
(cd / && exec setsid "$WORK/monitor/korvane_monitor" >"$WORK/monitor.log" 2>&1 </dev/null) &
echo $! >"$WORK/monitor.pid"

for _ in $(seq 100); do
  curl -fs -o /dev/null "http://127.0.0.1:$WEB_PORT/api_jsonrpc.php" -X POST -H 'Content-Type: application/json-rpc' \
    -d '{"jsonrpc":"2.0","method":"apiinfo.version","params":{},"id":1}' &&
    curl -fs -o /dev/null "http://127.0.0.1:$MONITOR_PORT/state.json" && break
  sleep 0.3
done

# --- import, host, wait for values ---------------------------------------------------------
API="http://127.0.0.1:$WEB_PORT/api_jsonrpc.php" TEMPLATE="$SOURCE_DIR/packaging/zabbix/korvane_monitor.yaml" \
STATE_URL="http://127.0.0.1:$MONITOR_PORT/state.json" WAIT_SECONDS="$WAIT_SECONDS" python3 - <<'EOF'
import json, os, sys, time, urllib.request

API, auth, ids = os.environ["API"], None, iter(range(1, 10**6))


def call(method, params):
    body = {"jsonrpc": "2.0", "method": method, "params": params, "id": next(ids)}
    if auth:
        body["auth"] = auth
    req = urllib.request.Request(API, json.dumps(body).encode(), {"Content-Type": "application/json-rpc"})
    with urllib.request.urlopen(req, timeout=120) as r:
        answer = json.load(r)
    if "error" in answer:
        sys.exit("%s failed: %s" % (method, answer["error"]))
    return answer["result"]


print("Zabbix", call("apiinfo.version", {}))
auth = call("user.login", {"username": "Admin", "password": "zabbix"})
both = {"createMissing": True, "updateExisting": True}
rules = {"groups": {"createMissing": True}, "templates": both, "valueMaps": both,
         "items": dict(both, deleteMissing=True), "discoveryRules": dict(both, deleteMissing=True),
         "triggers": dict(both, deleteMissing=True), "templateLinkage": {"createMissing": True}}
with open(os.environ["TEMPLATE"], encoding="utf-8") as f:
    call("configuration.import", {"format": "yaml", "source": f.read(), "rules": rules})
templates = call("template.get", {"output": ["templateid", "host"], "search": {"host": "Korvane"}})
print("imported:", ", ".join(t["host"] for t in templates))
http = next(t for t in templates if t["host"] == "Korvane Monitor by HTTP")

group = call("hostgroup.get", {"filter": {"name": ["Korvane demo"]}})
groupid = group[0]["groupid"] if group else call("hostgroup.create", {"name": "Korvane demo"})["groupids"][0]
old = call("host.get", {"filter": {"host": ["korvane-demo"]}, "output": ["hostid"]})
if old:
    call("host.delete", [h["hostid"] for h in old])
hostid = call("host.create", {
    "host": "korvane-demo", "groups": [{"groupid": groupid}], "templates": [{"templateid": http["templateid"]}],
    "interfaces": [{"type": 1, "main": 1, "useip": 1, "ip": "127.0.0.1", "dns": "", "port": "10050"}],
    "macros": [{"macro": "{$KORVANE.URL}", "value": os.environ["STATE_URL"]}]})["hostids"][0]
print("host korvane-demo linked to", http["host"])


def items():
    return call("item.get", {"hostids": hostid, "output": ["itemid", "key_", "lastclock", "lastvalue", "state", "error",
                                                           "flags", "value_type"], "selectPreprocessing": ["error_handler"],
                          "sortfield": "key_"})


def may_lack(item):  # a reading the demo may not have: the template drops it, no error
    return any(step["error_handler"] == "1" for step in item["preprocessing"])


deadline, seen, asked, quiet = time.monotonic() + int(os.environ["WAIT_SECONDS"]), set(), set(), 0
while True:
    got, rules_ = items(), call("discoveryrule.get", {"hostids": hostid, "output": ["key_", "state", "error"]})
    master = next(i for i in got if i["key_"] == "korvane.state")
    discovered = [i for i in got if i["flags"] == "4"]
    # The master polls once a minute: once items without a value have been there a round
    # (the server's configuration cache has them), ask for a poll now.
    empty = {i["itemid"] for i in got if i["lastclock"] == "0"}
    if (empty & seen) - asked:
        call("task.create", [{"type": 6, "request": {"itemid": master["itemid"]}}])
        asked |= empty & seen
    quiet = quiet + 1 if empty == seen else 0
    seen = empty
    waiting = [i for i in got if i["lastclock"] == "0" and i["key_"] != "korvane.state" and i["state"] == "0"]
    print("%s items (%d discovered), %d without a value yet" % (len(got), len(discovered), len(waiting)), flush=True)
    # Done when all have values, or when those without stay the same for 3 rounds after a poll
    # was asked for them (readings the demo lacks are dropped and never arrive).
    if (discovered and (not waiting or (quiet >= 3 and set(asked) >= seen))) or time.monotonic() > deadline:
        break
    time.sleep(15)

print()
with_value = 0
for i in got:
    if i["key_"] == "korvane.state":  # history 0: it never shows a last value
        continue
    value = i["lastvalue"] if i["value_type"] != "4" else i["lastvalue"][:60].replace("\n", " ")
    if i["lastclock"] != "0":
        with_value += 1
    print("%-4s %-70s %s" % ("LLD" if i["flags"] == "4" else "", i["key_"],
                             value if i["lastclock"] != "0" else
                             "no value: " + (i["error"] or ("dropped, not in the demo" if may_lack(i) else "?"))))
for r in rules_:
    print("rule %-40s %s" % (r["key_"], "ok" if r["state"] == "0" else "NOT SUPPORTED: " + r["error"]))
problems = call("trigger.get", {"hostids": hostid, "only_true": True, "filter": {"value": 1},
                                "output": ["description", "priority"], "expandDescription": True})
print()
for t in problems:
    print("PROBLEM (priority %s): %s" % (t["priority"], t["description"]))
total = len(got) - 1
print("\n%d of %d items have values (%d discovered items of %d); %d discovery rules; %d triggers in problem" % (
    with_value, total, sum(1 for i in discovered if i["lastclock"] != "0"), len(discovered), len(rules_), len(problems)))
missing = [i for i in got if i["lastclock"] == "0" and i["key_"] != "korvane.state" and not may_lack(i)]
sys.exit(0 if discovered and not missing and all(r["state"] == "0" for r in rules_) else 1)
EOF
