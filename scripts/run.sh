#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the main job: for now the
# furthest the product reaches without its window. A song is turned into a
# canonical wave file, mixed over a background and encoded as MP3, each step
# an extension function called through the bridge as a page calls it (nbrun
# prints the result and every callback as JSON lines). The files land in
# build/main-job/.
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

echo "== output in $out:"
ls -l "$out"
