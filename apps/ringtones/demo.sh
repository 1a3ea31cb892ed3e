#!/usr/bin/env bash
# The ringtone application's scripted run, as a person would make a
# ringtone, in the current display (run.sh starts it under Xvfb): open a
# song through the file dialog, drag five seconds out of its waveform,
# listen to them, save them as a 3GP ringtone and push it to an OBEX server
# on this machine, after a search for phones (played by a stand-in Bluetooth
# daemon). A screenshot of each screen goes to OUT_DIR.
# Usage: demo.sh APP_DIR SONG OUT_DIR
set -uo pipefail
app=$1 song=$2 out=$3
mkdir -p "$out"
source "$(dirname "$0")/drive.sh"
start_sound
start_bluetooth "00:1A:7D:DA:71:13=Anna's phone" "5C:F3:70:8B:12:04=Office phone"

start_app
shot 1-welcome

echo "== open $song through the file dialog"
open_song 2-open-dialog
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
save_ringtone "$out/ringtone.3gp" 6-save-dialog
wait_for "log: ringtone saved\|log: error:" 60
sleep 1.5
shot 7-saved

echo "== look for phones nearby"
mark_now
click_control bt-find
wait_for "log: search finished" 40
echo "  $(tail -n +$((mark + 1)) "$log" | grep -o 'search finished: .*' | head -n 1)"
shot 8-phones

if [ -n "$(layout obex-target)" ] && start_phone; then
  echo "== push it to the OBEX server at 127.0.0.1:$obex_port"
  xdotool windowfocus --sync "$window"
  click_control obex-target
  xdotool sleep 0.3 key ctrl+a sleep 0.2 type --delay 20 "127.0.0.1:$obex_port"
  # Keys pass through the input method, clicks do not: a Tab after the text
  # makes sure the field holds all of it before Send is clicked.
  xdotool key Tab sleep 1
  mark_now
  click_control obex-send
  wait_for "log: ringtone sent\|log: error:" 60
  sleep 1
  shot 9-sent
  for file in "$phone"/*; do
    [ -f "$file" ] || continue
    cp "$file" "$out/received-$(basename "$file")"
    echo "  received by the OBEX server: $(basename "$file")"
  done
fi

grep "console: log:" "$log" | sed 's/^console: log: /  page: /' | grep -v "layout "
# The session succeeded when the ringtone was made; a failed push is shown above.
[ -s "$out/ringtone.3gp" ]
