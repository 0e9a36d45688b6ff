#!/usr/bin/env bash
# The main job: installs what is missing, builds, prepares the Wine prefix and
# runs ovik_acc against the stand-in ZorvetDaemon (scripts/demo_client.py): log
# in with the demo account, connect, screenshot of the connected dialog.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ZORVET_BUILD:-$ROOT/build}
bash "$ROOT/scripts/install-packages.sh"
bash "$ROOT/scripts/build.sh" --no-host
bash "$ROOT/scripts/wine-prefix.sh" "$BUILD/win"
exec bash "$ROOT/scripts/demo-run.sh"
