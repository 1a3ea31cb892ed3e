#!/usr/bin/env bash
# Builds and runs every benchmark; each prints a table against its reference.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=$(bash scripts/build.sh plain)
for bench in "$dir"/bin/*_bench; do
  echo "== $(basename "$bench")"
  "$bench"
done
