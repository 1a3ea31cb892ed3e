#!/usr/bin/env bash
# The ringtone application's error paths, as a person meets them: a damaged
# song, no CD drive, a ringtone saved where no file can be made, and no
# phone nearby. Each must end in a sentence on the page, not in silence.
# Usage: errors.sh APP_DIR GOOD_SONG OUT_DIR
set -uo pipefail
app=$1 good=$2 out=$3
source "$(dirname "$0")/../drive.sh"
start_sound
start_bluetooth  # an adapter, and no phone in reach
start_app

echo "== a damaged song"
song="$work/damaged.mp3"
head -c 200000 /dev/urandom > "$song"
open_song
wait_for "log: error:" 60 && echo "ERROR-SHOWN damaged-song"
sleep 0.5
shot error-damaged-song

echo "== no CD drive"
mark_now
xdotool windowfocus --sync "$window" key ctrl+r
wait_for "log: error:" 30 && echo "ERROR-SHOWN no-cd-drive"
sleep 0.5
shot error-no-cd-drive

echo "== a folder where no file can be made"
song=$good
open_song
wait_for "log: song ready" 120
wait_for "log: waveform shown\|log: error:" 60
save_ringtone "/proc/ringtone.3gp"
wait_for "log: error:" 60 && echo "ERROR-SHOWN unwritable-folder"
sleep 0.5
shot error-unwritable-folder

echo "== no phone nearby"
save_ringtone "$work/ringtone.3gp"
wait_for "log: ringtone saved" 60
sleep 1
mark_now
click_control bt-find
wait_for "log: search finished: 0 phones, status 3302" 40 && echo "ERROR-SHOWN no-phone"
sleep 0.5
shot error-no-phone
grep "console: log:" "$log" | sed 's/^console: log: /  page: /' | grep -v "layout "
