#!/usr/bin/env bash
# The ringtone application as a person times it, under Xvfb, against FFmpeg
# doing the same work in the same run (median of the runs):
#   open   opening a 3-minute MP3 until its waveform is on screen (the page's
#          own clock: conversion plus pictures), against ffmpeg decoding it
#          to a 44.1 kHz stereo wave;
#   make   a 30-second 3GP (HE-AAC v2) ringtone from the save dialog's answer
#          to the finished file, against ffmpeg cutting the same 30 seconds
#          into AAC-LC at 32 kbit/s (Debian's FFmpeg has no HE-AAC encoder);
#   play   from pressing play to the first position report, and to the
#          start of the sound (the first report past the start, less its
#          position: the position comes from what the server has played).
# CMake writes this script into the build's bin/ with the paths it needs.
set -uo pipefail
app=@NB_APP_DIR@
drive=@CMAKE_SOURCE_DIR@/apps/ringtones/drive.sh
runs=${NB_BENCH_RUNS:-3}
if [ -z "${NB_BENCH_IN_DISPLAY:-}" ]; then
  NB_BENCH_IN_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x900x24" dbus-run-session -- "$0" "$@" 2> /dev/null
fi

out=$(mktemp -d)
song="$out/song.mp3"
ffmpeg -v error -y -f lavfi -i "sine=frequency=330:duration=180" \
  -f lavfi -i "anoisesrc=color=pink:duration=180:amplitude=0.15" \
  -filter_complex "[0][1]amix=inputs=2,volume=2" -ac 2 -b:a 160k "$song"
# shellcheck source=../apps/ringtones/drive.sh
source "$drive"
start_sound

ms_since() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
page() { grep -o "log: $1" "$log" | tail -n 1; }

: > "$out/figures"
for run in $(seq 1 "$runs"); do
  start_app
  open_song
  wait_for "log: waveform shown" 120 || { echo "run $run: no waveform"; cat "$log"; exit 1; }
  converted=$(page "song ready [0-9]* ms after [0-9]*" | awk '{ print $NF }')
  drawn=$(page "waveform shown [0-9]*" | awk '{ print $NF }')
  mark_now
  xdotool windowfocus --sync "$window" key F5
  wait_for "log: sound began" 15
  play_ms=$(page "playing [0-9]*" | awk '{ print $NF }')
  sound_ms=$(page "sound began -*[0-9]*" | awk '{ print $NF }')
  xdotool key F6
  sleep 0.5
  rm -f "$out/ringtone.3gp"
  save_ringtone "$out/ringtone.3gp"
  wait_for "log: ringtone saved" 60 || { echo "run $run: no ringtone"; cat "$log"; exit 1; }
  made=$(page "ringtone saved .* after [0-9]*" | awk '{ print $NF }')
  kill "$pid"; wait "$pid" 2> /dev/null || true; pid=

  started=$(date +%s%N)
  ffmpeg -v error -y -i "$song" -ar 44100 -ac 2 "$out/ref.wav"
  ref_open=$(ms_since "$started")
  started=$(date +%s%N)
  ffmpeg -v error -y -ss 10 -t 30 -i "$out/ref.wav" -c:a aac -b:a 32k "$out/ref.m4a"
  ref_make=$(ms_since "$started")
  echo "$((converted + drawn)) $ref_open $made $ref_make $play_ms $sound_ms" >> "$out/figures"
done

column() { awk -v c="$1" '{ print $c }' "$out/figures" | median; }
open=$(column 1) ref_open=$(column 2) make=$(column 3) ref_make=$(column 4)
play=$(column 5) sound=$(column 6)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf '%-44s %9s %14s %7s\n' "ringtone application, median of $runs" "ms" "reference ms" "ratio"
printf '%-44s %9s %14s %7s\n' "3-min MP3 opened to waveform on screen" "$open" "$ref_open" "$(ratio "$open" "$ref_open")"
printf '%-44s %9s %14s %7s\n' "30-s 3GP ringtone made (HE-AAC v2)" "$make" "$ref_make" "$(ratio "$make" "$ref_make")"
printf '%-44s %9s %14s %7s\n' "play pressed to first position report" "$play" "-" "-"
printf '%-44s %9s %14s %7s\n' "play pressed to the start of the sound" "$sound" "-" "-"
rm -rf "$out"
