#!/usr/bin/env bash
# Installs the dependencies, builds, and runs every test.
#   scripts/test.sh            the whole suite on the plain build
#   scripts/test.sh sanitize   the unit tests under ASan + UBSan
#   scripts/test.sh thread     the tests of threads and messages under TSan
# NB_SKIP_INSTALL=1 skips the package step (CI installs once).
set -euo pipefail
cd "$(dirname "$0")/.."

flavour=${1:-plain}
[ "${NB_SKIP_INSTALL:-0}" = 1 ] || bash scripts/install-deps.sh

dir=$(bash scripts/build.sh "$flavour")
labels=()
case "$flavour" in
  sanitize) labels=(-L unit) ;;
  thread)
    labels=(-L threads)
    # Races ThreadSanitizer cannot judge inside uninstrumented libraries.
    export TSAN_OPTIONS="suppressions=$PWD/cmake/tsan.supp" ;;
esac
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 600 "${labels[@]}"
