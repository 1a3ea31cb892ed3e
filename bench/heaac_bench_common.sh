# Shared by the heaac benchmark scripts, which source it from their own directory after
# setting heaac_mode (the encoder's mode option, --lc or --he2). It makes a work directory
# (removed on exit) with the clips in $work/clips and aqm built as $work/aqm.
# CMake writes this file into the build's bin/ with the paths below filled in.
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
      { time taskset -c 0 "$heaac_enc" "$heaac_mode" --bitrate "$bitrate" "$input" "$output" >/dev/null 2>&3; } 3>&2 2>"$work/time"
    else
      { time taskset -c 0 ffmpeg -v error -y -threads 1 -i "$input" -c:a aac -b:a "$bitrate" -f adts "$output" 2>&3; } \
        3>&2 2>"$work/time"
    fi
    seconds=$(bc -l <"$work/time")
    if [ -z "$best" ] || [ "$(echo "$seconds < $best" | bc -l)" = 1 ]; then best=$seconds; fi
  done
  echo "$best"
}

# Bit rate of the access units of ADTS file $1, each frame 1024 samples at $2 Hz, ADTS
# headers left out.
payload_bitrate_kbps() {
  local file=$1 rate_hz=$2 frames bytes
  frames=$(ffprobe -v error -select_streams a:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$file")
  bytes=$(stat -c %s "$file")
  echo "($bytes - $adts_header_bytes * $frames) * 8 / ($frames * 1024 / $rate_hz) / 1000" | bc -l
}
