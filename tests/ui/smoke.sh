#!/bin/bash
# smoke.sh PROGRAM OUTDIR: run under xvfb-run. Starts the editor, waits for its
# main window, takes a screenshot, closes it with Ctrl+Q and checks it ended.
set -euo pipefail
program=${1:?path to velmora}
out=${2:?folder for screenshots}
mkdir -p "$out"
home=$(mktemp -d)
export VELMORA_HOME=$home XDG_RUNTIME_DIR=$home
chmod 700 "$home"

"$program" & pid=$!
trap 'kill $pid 2>/dev/null || true; rm -rf "$home"' EXIT

wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quorantel Velmora$' | head -1)
[ -n "$wid" ] || { echo "main window did not appear"; exit 1; }
sleep 0.5
import -window root "$out/main-window.png"
xdotool windowfocus --sync "$wid"
xdotool key --clearmodifiers ctrl+q
for _ in $(seq 50); do
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
if kill -0 $pid 2>/dev/null; then echo "editor did not close on Ctrl+Q"; exit 1; fi
wait $pid
echo "screenshot: $out/main-window.png"
