#!/usr/bin/env bash
# Builds the libFuzzer flavour with clang and runs one target:
#   scripts/fuzz.sh buffer_readline_fuzz 180
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:?fuzz target name}
seconds=${2:-60}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DNB_FUZZ=ON >/dev/null
cmake --build build-fuzz --target "$target"
corpus=$(find . -path ./build\* -prune -o -type d -path "*/fuzz/corpus/$target" -print | head -n 1)
work=$(mktemp -d)
cp -r "$corpus"/. "$work"/
# The sanitizer runtime is a shared library here (see CMakeLists.txt), loaded
# as the program's own dependency rather than first of all.
ASAN_OPTIONS=verify_asan_link_order=0 \
  "build-fuzz/bin/$target" -max_total_time="$seconds" -print_final_stats=1 "$work"
