#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the main job. First the audio
# engine alone: a song is turned into a canonical wave file, mixed over a
# background, encoded as MP3 and cut into ringtones, each step an extension
# function called through the bridge as a page calls it (nbrun prints the
# result and every callback as JSON lines). Then the ringtone application in
# its window; without a display, a scripted run of it under Xvfb with a
# screenshot of each screen. The files land in build/main-job/.
set -euo pipefail
cd "$(dirname "$0")/.."

[ "${NB_SKIP_INSTALL:-0}" = 1 ] || bash scripts/install-deps.sh
build=$(bash scripts/build.sh plain)
app="$build/app"
out="$PWD/$build/main-job"
mkdir -p "$out"

"$app/nb-selfcheck" README.md

echo "== a 20-second song and a 5-second background, made with ffmpeg"
ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=20" -ac 2 -b:a 128k "$out/song.mp3"
ffmpeg -v error -y -f lavfi -i "anoisesrc=color=pink:duration=5:amplitude=0.3" -ac 2 -b:a 128k \
  "$out/background.mp3"

echo "== Transcode song.mp3 -> song.wav (normalised)"
"$app/nbrun" Transcode "[\"$out/song.mp3\", \"$out/song.wav\", true, 1000]"
echo "== Transcode background.mp3 -> background.wav (as it is)"
"$app/nbrun" Transcode "[\"$out/background.mp3\", \"$out/background.wav\", false, 1000]"
echo "== WaveMix song.wav over background.wav -> mixed.wav"
"$app/nbrun" WaveMix "[\"$out/song.wav\", \"$out/background.wav\", \"$out/mixed.wav\", 1000]"
echo "== MakeMP3 mixed.wav -> mixed.mp3 at 128 kbit/s"
"$app/nbrun" MakeMP3 "[\"$out/mixed.wav\", \"$out/mixed.mp3\", 128, 1000]"
echo "== MakeRingtone mixed.wav -> ringtone.3gp (HE-AAC v2) and ringtone.wav, 10 s from 5 s"
"$app/nbrun" MakeRingtone "[\"$out/mixed.wav\", \"$out/ringtone.3gp\", 4010, 5000, 10000, 100, 1000, 2000]"
"$app/nbrun" MakeRingtone "[\"$out/mixed.wav\", \"$out/ringtone.wav\", 4011, 5000, 10000, 100, 1000, 2000]"

echo "== output in $out:"
ls -l "$out"

echo "== the ringtone application in its window"
if [ -n "${DISPLAY:-}" ]; then
  "$app/NbBrowser"
else
  # No display: a scripted run under Xvfb, photographed screen by screen.
  ffmpeg -v error -y -f lavfi -i "sine=frequency=330:duration=60" \
    -f lavfi -i "anoisesrc=color=pink:duration=60:amplitude=0.15" \
    -filter_complex "[0][1]amix=inputs=2,volume=2,aecho=0.8:0.7:60:0.4" -ac 2 -b:a 160k "$out/demo-song.mp3"
  xvfb-run -a -s "-screen 0 1280x900x24" dbus-run-session -- \
    bash apps/ringtones/demo.sh "$PWD/$app" "$out/demo-song.mp3" "$out/app"
  echo "screenshots of the application's screens and the ringtone it made: $out/"
fi
