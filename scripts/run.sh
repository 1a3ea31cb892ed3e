#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the main job: for now the
# self-check of the built application directory, then extension functions
# called through the bridge as a page calls them, with nbrun.
set -euo pipefail
cd "$(dirname "$0")/.."

[ "${NB_SKIP_INSTALL:-0}" = 1 ] || bash scripts/install-deps.sh
app="$(bash scripts/build.sh plain)/app"
"$app/nb-selfcheck" README.md
echo "== nbrun: a synchronous call, then a worker with its final callback"
"$app/nbrun" GetSpecialFolderPath '["Music"]'
"$app/nbrun" RunExecutable '["uname -sr", true]'
