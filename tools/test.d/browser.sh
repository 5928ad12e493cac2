#!/usr/bin/env bash
# Browser test: the demo, with drive 0,0 (a member of "Data") failed so that the verdict is
# Critical and with the demo's 90 days of drive history (drive 0,2's reallocated sectors
# growing this week), served by the real binary on loopback, checked in headless Chromium through
# playwright-core. Installs what is missing of chromium, nodejs and npm
# (apt) and playwright-core (npm, into build/browser-node, not into the repo).
# Screenshots go to build/screenshots/.
#   KV_BINARY  the Linux binary (default build/linux/korvane_monitor)
#   KV_HISTORY_DEMO  the history generator (default korvane_history_demo beside KV_BINARY)
set -eu
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
BINARY=${KV_BINARY:-$ROOT/build/linux/korvane_monitor}
HISTORY_DEMO=${KV_HISTORY_DEMO:-$(dirname "$BINARY")/korvane_history_demo}
NODE_DIR=$ROOT/build/browser-node
SHOTS=$ROOT/build/screenshots

# Only what is missing: a Node.js from another source (NodeSource, nvm) brings its own npm
# and conflicts with Debian's npm package, so asking apt for nodejs and npm there fails.
missing=()
[ -x /usr/bin/chromium ] || missing+=(chromium)
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
if [ ! -d "$NODE_DIR/node_modules/playwright-core" ]; then
  mkdir -p "$NODE_DIR"
  (cd "$NODE_DIR" && { [ -f package.json ] || npm init -y >/dev/null; } &&
    timeout 600 npm install --no-audit --no-fund playwright-core@1.65.2 >/dev/null)
fi
[ -x "$BINARY" ] || { echo "no binary at $BINARY"; exit 1; }
[ -x "$HISTORY_DEMO" ] || { echo "no history generator at $HISTORY_DEMO"; exit 1; }

RUN=$(mktemp -d /tmp/kv-browser-XXXXXX)
PID=""
cleanup() {
  if [ -n "$PID" ]; then
    kill "$PID" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$PID" 2>/dev/null || true
  fi
  rm -rf "$RUN"
}
trap cleanup EXIT

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cp -r examples/demo/. "$RUN/"
cp "$BINARY" "$RUN/korvane_monitor"
# From the unchanged demo: drive 0,0's failure below is today's news, not part of its past.
"$HISTORY_DEMO" examples/demo "$RUN/korvane_monitor_history.db" >/dev/null
sed -i "s/^port=.*/port=$PORT/" "$RUN/config_http.txt"
grep -q "^port=$PORT" "$RUN/config_http.txt" || { echo "could not set the port"; exit 1; }
python3 - "$RUN/get_config.txt" <<'PY'
import sys
path = sys.argv[1]
with open(path, "rb") as f:
    text = f.read()
at = text.index(b"Device #0")
failed = text[:at] + text[at:].replace(b": Online", b": Failed", 1)
assert failed != text, "drive 0,0 is not Online in the demo"
with open(path, "wb") as f:
    f.write(failed)
PY
(cd "$RUN" && exec ./korvane_monitor >"$RUN/stdout.log" 2>&1) &
PID=$!

# Wait (bounded) until the first cycle has rendered a drive page.
URL=http://127.0.0.1:$PORT
ready=""
for _ in $(seq 150); do
  if curl -fs "$URL/hdd_0_0" 2>/dev/null | grep -q "table class=\"grid\""; then ready=1; break; fi
  kill -0 "$PID" 2>/dev/null || break
  sleep 0.2
done
[ -n "$ready" ] || { echo "the monitor did not serve the demo"; cat "$RUN/stdout.log"; exit 1; }
# The History sections are drawn on the history writer's thread once it has opened the file,
# which the first cycle does not wait for: the next cycle, a minute on, hands them to the
# drive pages. Waiting for it also starts the checks just after a cycle, not across one.
history=""
for _ in $(seq 450); do
  if curl -fs "$URL/hdd_0_2" 2>/dev/null | grep -q 'id="c_hist"'; then history=1; break; fi
  kill -0 "$PID" 2>/dev/null || break
  sleep 0.2
done
[ -n "$history" ] || { echo "drive 0,2 got no History section"; cat "$RUN/stdout.log"; exit 1; }

mkdir -p "$SHOTS"
NODE_PATH=$NODE_DIR/node_modules timeout 180 node tests/browser/pages_test.js "$URL" "$SHOTS"
