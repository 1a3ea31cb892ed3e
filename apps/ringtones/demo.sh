#!/usr/bin/env bash
# The ringtone application's scripted run, as a person would make a
# ringtone, in the current display (run.sh starts it under Xvfb): open a
# song through the file dialog, drag five seconds out of its waveform,
# listen to them, save them as a 3GP ringtone and push it to an OBEX server
# on this machine. A screenshot of each screen goes to OUT_DIR.
# Usage: demo.sh APP_DIR SONG OUT_DIR
set -uo pipefail
app=$1 song=$2 out=$3
mkdir -p "$out"
# Without a GPU (Xvfb) WebKit's DMA-BUF renderer paints nothing.
export WEBKIT_DISABLE_DMABUF_RENDERER=1
log="$out/console.txt"
work=$(mktemp -d)
daemons=()
cleanup() {
  [ -n "${pid:-}" ] && kill "$pid" 2> /dev/null
  for daemon in "${daemons[@]}"; do kill "$daemon" 2> /dev/null; done
  wait 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A private sound server with a silent output, so the preview plays here too.
if command -v pulseaudio > /dev/null; then
  export PULSE_RUNTIME_PATH="$work/pulse" PULSE_STATE_PATH="$work/pulse" XDG_RUNTIME_DIR="$work"
  mkdir -p "$PULSE_RUNTIME_PATH"
  pulseaudio --daemonize=no --exit-idle-time=-1 --disable-shm -n \
    --load="module-null-sink sink_name=demo" --load="module-native-protocol-unix" > "$work/pulse.log" 2>&1 &
  daemons+=($!)
  sleep 1
fi
# An OBEX server that receives the ringtone.
obex_port=650
if command -v obex_tcp > /dev/null; then
  mkdir -p "$work/phone"
  (cd "$work/phone" && exec obex_tcp -s > "$work/obex.log" 2>&1) &
  daemons+=($!)
fi

shot() { import -window root "$out/$1.png" && echo "  screenshot: $out/$1.png"; }
mark=0
mark_now() { mark=$(wc -l < "$log"); }
wait_for() {  # a console line written since the last mark, for at most $2 seconds
  for _ in $(seq 1 $((${2:-30} * 10))); do
    tail -n +$((mark + 1)) "$log" | grep -q "$1" && return 0
    kill -0 "$pid" 2> /dev/null || return 1
    sleep 0.1
  done
  return 1
}
layout() { grep "log: layout $1 " "$log" | tail -n 1 | sed 's/.*layout [^ ]* //'; }

"$app/NbBrowser" --console > "$log" 2>&1 &
pid=$!
wait_for "log: ready" 30 || { cat "$log"; exit 1; }
sleep 1
window=$(xdotool search --sync --name "^Nimbra Ringtones\$" | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y of the page's corner
shot 1-welcome

echo "== open $song through the file dialog"
mark_now
xdotool windowfocus --sync "$window" key ctrl+o
xdotool search --sync --name "^Open a song\$" > /dev/null
sleep 1
shot 2-open-dialog
xdotool key ctrl+l sleep 0.3 type --delay 5 "$song"
xdotool sleep 0.3 key Return
wait_for "log: waveform shown\|log: error:\|log: song ready" 120
wait_for "log: waveform shown\|log: error:" 60
sleep 1
shot 3-song

if grep -q "log: waveform shown" "$log"; then
  echo "== drag five seconds out of the waveform"
  read -r left top width height <<< "$(layout zoom-view)"
  length_ms=$(grep -o "log: song ready [0-9]*" "$log" | tail -n 1 | awk '{print $4}')
  from=$((X + left + width / 4))
  to=$((from + width * 5000 / length_ms))
  y=$((Y + top + height / 2))
  xdotool mousemove "$from" "$y" mousedown 1 sleep 0.2
  for step in 1 2 3 4 5; do xdotool mousemove $((from + (to - from) * step / 5)) "$y" sleep 0.1; done
  xdotool mouseup 1
  sleep 0.5
  shot 4-selection
fi

echo "== listen to the stretch"
mark_now
xdotool windowfocus --sync "$window" key F5
wait_for "log: playing\|log: error:" 15
sleep 1.5
shot 5-preview
wait_for "log: playback ended\|log: error:" 15

echo "== save it as a 3GP ringtone"
mark_now
xdotool key ctrl+s
xdotool search --sync --name "^Save the ringtone\$" > /dev/null
sleep 1
shot 6-save-dialog
xdotool key ctrl+a sleep 0.2 type --delay 5 "$out/ringtone.3gp"
xdotool sleep 0.3 key Return
wait_for "log: ringtone saved\|log: error:" 60
sleep 1.5
shot 7-saved

if [ -n "$(layout obex-target)" ] && command -v obex_tcp > /dev/null; then
  echo "== push it to the OBEX server at 127.0.0.1:$obex_port"
  read -r left top width height <<< "$(layout obex-target)"
  xdotool mousemove $((X + left + width / 2)) $((Y + top + height / 2)) click --repeat 3 1
  xdotool key ctrl+a type "127.0.0.1:$obex_port"
  read -r left top width height <<< "$(layout obex-send)"
  mark_now
  xdotool mousemove $((X + left + width / 2)) $((Y + top + height / 2)) click 1
  wait_for "log: ringtone sent\|log: error:" 60
  sleep 1
  shot 8-sent
  ls -l "$work/phone" 2> /dev/null
fi

grep "console: log:" "$log" | sed 's/^console: log: /  page: /' | grep -v "layout "
grep -q "log: error:" "$log" && exit 1
exit 0
