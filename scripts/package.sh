#!/usr/bin/env bash
# Builds the Debian package of the framework and the ringtone application
# from the plain build (build/, no second build) with CPack, and checks it
# with lintian, which fails on errors and lists its warnings. Progress goes to
# stderr; stdout names the package:
#   build/package/nimbra_<version>_<arch>.deb
# Install it with: sudo apt-get install ./build/package/nimbra_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(bash scripts/build.sh plain)
out="$PWD/$build/package"
rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$out") >&2
deb=$(ls "$out"/nimbra_*.deb)
lintian --fail-on error --info "$deb" >&2
echo "$deb"
