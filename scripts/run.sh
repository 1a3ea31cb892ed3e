#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the main job: for now the
# self-check of the built application directory.
set -euo pipefail
cd "$(dirname "$0")/.."

[ "${NB_SKIP_INSTALL:-0}" = 1 ] || bash scripts/install-deps.sh
dir=$(bash scripts/build.sh plain)
"$dir/app/nb-selfcheck" README.md
