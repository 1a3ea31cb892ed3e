#!/usr/bin/env bash
# HE-AAC v2 encoder of heaac on the music30 and speech10 clips (44100 Hz stereo), at 32 kbit/s
# and the neighbouring tunings, against FFmpeg's native AAC-LC encoder at the same rates, both
# measured in the same run (no HE-AAC encoder ships with Debian's FFmpeg).
# Figures from aqm on FFmpeg's decoding: mid LSD (all bands), low-band segmental SNR, ILD error
# in the low bands, BW10; the bit rate of the access units without ADTS headers; the encode
# speed on one core (taskset -c 0, CPU time, best of three) as a multiple of real time.
# CMake writes this script into the build's bin/, beside heaac_bench_common.sh.
set -euo pipefail

heaac_mode=--he2
# shellcheck source=heaac_bench_common.sh
source "$(dirname "$0")/heaac_bench_common.sh"

# The rate of the core of ADTS file $1 as its first header gives it: 22050 Hz for ours,
# 44100 Hz for LC.
adts_core_rate() {
  head -c 3 "$1" | od -An -tu1 | awk '{ split("96000 88200 64000 48000 44100 32000 24000 22050 16000 12000 11025 8000", r, " "); print r[int($3 / 4) % 16 + 1] }'
}

# Prints "LSD SNR ILD BW" of decoded ADTS $2 against reference WAV $1.
measure() {
  local ref=$1 coded=$2 report
  ffmpeg -v error -y -f aac -i "$coded" -ac 2 -c:a pcm_f32le "$work/dec.wav"
  report=$("$work/aqm" "$ref" "$work/dec.wav")
  field() { sed -n "s/.*$1=\([-0-9.]*\).*/\1/p" <<<"$report" | head -1; }
  echo "$(field LSD_mid_all) $(field SEGSNR_low_mid) $(field ILDERR_low) $(field BW10_Hz)"
}

printf '%-8s %-9s %-12s %7s %7s %7s %7s %8s %7s %8s\n' rate clip encoder "LSD dB" "SNR dB" "ILD dB" "BW kHz" "kbit/s" "vs tgt" "speed x"
for bitrate in 32000 24000 48000; do
  for clip in music30 speech10; do
    ref="$work/clips/$clip.wav"
    clip_seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$ref")
    for encoder in ours ffmpeg; do
      coded="$work/$clip.$encoder.aac"
      seconds=$(timed_encode "$ref" "$coded" "$encoder" "$bitrate")
      read -r lsd snr ild bw <<<"$(measure "$ref" "$coded")"
      kbps=$(payload_bitrate_kbps "$coded" "$(adts_core_rate "$coded")")
      name=$([ "$encoder" = ours ] && echo "heaac HEv2" || echo "ffmpeg LC")
      printf '%-8s %-9s %-12s %7.2f %7.2f %7.2f %7.1f %8.2f %+6.1f%% %8.1f\n' \
        "$((bitrate / 1000))k" "$clip" "$name" "$lsd" "$snr" "$ild" "$(echo "$bw / 1000" | bc -l)" "$kbps" \
        "$(echo "($kbps * 1000 / $bitrate - 1) * 100" | bc -l)" "$(echo "$clip_seconds / $seconds" | bc -l)"
    done
  done
done
