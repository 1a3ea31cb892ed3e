#!/usr/bin/env bash
# AAC-LC core of heaac against FFmpeg's native AAC encoder, both in the same run, on the
# music30 and speech10 clips: mono 22050 Hz at 24 kbit/s and stereo 44100 Hz at 64 kbit/s.
# Figures: mid LSD (all bands) and low-band segmental SNR from aqm, the bit rate of the access
# units without ADTS headers (file bytes minus 7 per frame, over the frames' duration), and the
# encode speed on one core (taskset -c 0, CPU time) as a multiple of real time.
# CMake writes this script into the build's bin/, beside heaac_bench_common.sh.
set -euo pipefail

heaac_mode=--lc
# shellcheck source=heaac_bench_common.sh
source "$(dirname "$0")/heaac_bench_common.sh"

# Prints "LSD SNR" of decoded ADTS $2 against reference WAV $1 (both made stereo for aqm).
measure() {
  local ref=$1 coded=$2 report
  ffmpeg -v error -y -i "$ref" -ac 2 -c:a pcm_f32le "$work/ref2.wav"
  ffmpeg -v error -y -f aac -i "$coded" -ac 2 -c:a pcm_f32le "$work/dec2.wav"
  report=$("$work/aqm" "$work/ref2.wav" "$work/dec2.wav")
  echo "$(sed -n 's/.*LSD_mid_all=\([-0-9.]*\).*/\1/p' <<<"$report") $(sed -n 's/.*SEGSNR_low_mid=\([-0-9.]*\).*/\1/p' <<<"$report")"
}

printf '%-22s %-9s %-7s %9s %9s %10s %8s %9s\n' setup clip encoder "LSD dB" "SNR dB" "kbit/s" "vs tgt" "speed x"
for setup in "22050 1 24000" "44100 2 64000"; do
  read -r rate_hz channels bitrate <<<"$setup"
  for clip in music30 speech10; do
    ref="$work/${clip}_${rate_hz}_${channels}.wav"
    ffmpeg -v error -y -i "$work/clips/$clip.wav" -ar "$rate_hz" -ac "$channels" -c:a pcm_s16le "$ref"
    clip_seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$ref")
    for encoder in ours ffmpeg; do
      coded="$work/$clip.$encoder.aac"
      seconds=$(timed_encode "$ref" "$coded" "$encoder" "$bitrate")
      read -r lsd snr <<<"$(measure "$ref" "$coded")"
      kbps=$(payload_bitrate_kbps "$coded" "$rate_hz")
      printf '%-22s %-9s %-7s %9.2f %9.2f %10.2f %+7.1f%% %9.1f\n' \
        "${channels}ch ${rate_hz} Hz $((bitrate / 1000))k" "$clip" "$encoder" "$lsd" "$snr" "$kbps" \
        "$(echo "($kbps * 1000 / $bitrate - 1) * 100" | bc -l)" "$(echo "$clip_seconds / $seconds" | bc -l)"
    done
  done
done
