#!/usr/bin/env bash
# Builds if needed, lays out a run folder (the binary plus examples/demo, with 90 days of
# generated drive history) and runs the monitor in the foreground on
# http://127.0.0.1:31313/ . Ctrl+C stops it.
set -eu
cd "$(dirname "$0")/.."
source tools/lib/deps.sh
kv_install_deps demo
cmake --preset linux >/dev/null
cmake --build --preset linux --target korvane_monitor korvane_history_demo
RUN=build/demo
rm -rf "$RUN"
mkdir -p "$RUN"
cp -r examples/demo/. "$RUN/"
cp build/linux/korvane_monitor "$RUN/"
[ -f build/linux/reload_service ] && cp build/linux/reload_service "$RUN/"
# A new history each run, ending now: a kept one would age, and its week of growth with it.
build/linux/korvane_history_demo "$RUN" "$RUN/korvane_monitor_history.db"
echo "Korvane Monitor demo: http://127.0.0.1:31313/  (Ctrl+C to stop)"
cd "$RUN"
exec ./korvane_monitor
