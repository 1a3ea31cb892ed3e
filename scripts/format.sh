#!/usr/bin/env bash
# Formats every C and C++ file the repository tracks with its .clang-format:
#   scripts/format.sh           rewrites the files in place
#   scripts/format.sh --check   changes nothing; fails naming each file that differs
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -d '' files < <(git ls-files -z '*.c' '*.cc' '*.cpp' '*.h')
if [ "${1:-}" = --check ]; then
  unformatted=()
  for file in "${files[@]}"; do
    clang-format --style=file "$file" | cmp -s - "$file" || unformatted+=("$file")
  done
  if [ "${#unformatted[@]}" -gt 0 ]; then
    printf 'not formatted (run scripts/format.sh): %s\n' "${unformatted[@]}" >&2
    exit 1
  fi
  echo "format: all ${#files[@]} files formatted"
else
  printf '%s\0' "${files[@]}" | xargs -0 -n 50 -P "$(nproc)" clang-format --style=file -i
fi
