#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libglib2.0-dev  # the message loop of GLib programs
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev  # libFuzzer targets
  nlohmann-json3-dev  # JSON of the nbrun command line and output
  libmp3lame-dev  # the encoder under internals/lame_enc.so
  lame mediainfo ffmpeg  # MP3 tests and benchmark: reference encoder, tag and stream checks
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev  # the transcoder's decoding
  ffmpeg sox  # audio tests and benchmarks: test media and reference timings
  faad espeak-ng  # heaac tests and benchmark: second decoder, speech clip
)

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends \
  "${packages[@]}"
