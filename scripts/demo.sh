#!/usr/bin/env bash
# The main job: installs what is missing, builds, prepares the Wine prefix, starts
# the stand-in ZorvetDaemon under Wine's service manager and runs the demo.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ZORVET_BUILD:-$ROOT/build}
bash "$ROOT/scripts/install-packages.sh"
bash "$ROOT/scripts/build.sh" --no-host
. "$ROOT/scripts/wine-env.sh"
# Prepare (and flush to disk) the prefix first: test beds copy it.
bash "$ROOT/scripts/wine-prefix.sh" "$BUILD/win"
# Then one wineserver for the whole run (services live as long as it does).
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
# Wine's background programs inherit the first command's handles: /dev/null.
wine cmd /c exit </dev/null >/dev/null 2>&1
if [ -x "$ROOT/scripts/demo-run.sh" ]; then
  exec bash "$ROOT/scripts/demo-run.sh"
fi
echo "demo: nothing to run yet"
