#!/usr/bin/env bash
# Shows the ringtone application in the current display the way a person
# would use it: waits for its page, presses Enter on the focused "Make wave
# file" button, waits for the wave file, saves a screenshot and closes the
# window. Usage: demo.sh APP_DIR SCREENSHOT
set -euo pipefail
app=$1 screenshot=$2
# Without a GPU (Xvfb) WebKit's DMA-BUF renderer paints nothing.
export WEBKIT_DISABLE_DMABUF_RENDERER=1
log=$(mktemp)
"$app/NbBrowser" --console > "$log" 2>&1 &
pid=$!
wait_for() {
  for _ in $(seq 1 600); do
    grep -q "$1" "$log" && return 0
    kill -0 "$pid" 2> /dev/null || return 1
    sleep 0.1
  done
  return 1
}
wait_for "log: ready" || { cat "$log"; exit 1; }
sleep 1
window=$(xdotool search --sync --name "^Nimbra Ringtones\$" | head -n 1)
xdotool windowfocus --sync "$window" key Return
wait_for "log: finished\|log: failed" || { cat "$log"; exit 1; }
sleep 1
import -window root "$screenshot"
grep "console:" "$log" || true
kill "$pid"
wait "$pid" || true
rm -f "$log"
