#!/usr/bin/env bash
# AAC-LC core of heaac against FFmpeg's native AAC encoder, both in the same run, on the
# music30 and speech10 clips: mono 22050 Hz at 24 kbit/s and stereo 44100 Hz at 64 kbit/s.
# Figures: mid LSD (all bands) and low-band segmental SNR from aqm, the bit rate of the access
# units without ADTS headers (file bytes minus 7 per frame, over the frames' duration), and the
# encode speed on one core (taskset -c 0, CPU time) as a multiple of real time.
# CMake writes this script into the build's bin/ with the paths below filled in.
set -euo pipefail

heaac_enc=@NB_INTERNALS_DIR@/heaac-enc
quality_tools=@CMAKE_SOURCE_DIR@/../shared/tools/audio-quality
adts_header_bytes=7

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash "$quality_tools/make_clips.sh" "$work/clips" >/dev/null 2>&1
cc -O2 -o "$work/aqm" "$quality_tools/aqm.c" -lm

# Encodes $1 (WAV) to ADTS $2 with encoder $3 (ours or ffmpeg) at $4 bit/s, pinned to one
# core; prints the CPU seconds (user + system) of the best of three runs. CPU time rather
# than wall time, since the machine is shared and a run may wait for its core.
timed_encode() {
  local input=$1 output=$2 encoder=$3 bitrate=$4 seconds best="" TIMEFORMAT="%3U + %3S"
  for _ in 1 2 3; do
    if [ "$encoder" = ours ]; then
      { time taskset -c 0 "$heaac_enc" --bitrate "$bitrate" "$input" "$output" >/dev/null 2>&3; } 3>&2 2>"$work/time"
    else
      { time taskset -c 0 ffmpeg -v error -y -threads 1 -i "$input" -c:a aac -b:a "$bitrate" -f adts "$output" 2>&3; } \
        3>&2 2>"$work/time"
    fi
    seconds=$(bc -l <"$work/time")
    if [ -z "$best" ] || [ "$(echo "$seconds < $best" | bc -l)" = 1 ]; then best=$seconds; fi
  done
  echo "$best"
}

# Bit rate of the access units of ADTS file $1 at $2 Hz, ADTS headers left out.
payload_bitrate_kbps() {
  local file=$1 rate_hz=$2 frames bytes
  frames=$(ffprobe -v error -select_streams a:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$file")
  bytes=$(stat -c %s "$file")
  echo "($bytes - $adts_header_bytes * $frames) * 8 / ($frames * 1024 / $rate_hz) / 1000" | bc -l
}

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
