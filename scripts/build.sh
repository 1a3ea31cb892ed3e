#!/usr/bin/env bash
# Configures and builds one flavour of the tree:
#   scripts/build.sh            -> build/        (RelWithDebInfo)
#   scripts/build.sh sanitize   -> build-asan/   (AddressSanitizer + UndefinedBehaviorSanitizer)
#   scripts/build.sh thread     -> build-tsan/   (ThreadSanitizer)
set -euo pipefail
cd "$(dirname "$0")/.."

flavour=${1:-plain}
case "$flavour" in
  plain) dir=build; extra=() ;;
  sanitize) dir=build-asan; extra=(-DNB_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug) ;;
  thread) dir=build-tsan; extra=(-DNB_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug) ;;
  *) echo "unknown flavour: $flavour (plain, sanitize or thread)" >&2; exit 2 ;;
esac

# Progress goes to stderr; stdout names the build directory for the caller.
cmake -S . -B "$dir" -G Ninja "${extra[@]}" >&2
cmake --build "$dir" -j "$(nproc)" >&2
echo "$dir"
