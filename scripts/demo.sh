#!/usr/bin/env bash
# The main job: installs what is missing, builds, prepares the Wine prefix and
# runs ovik_acc against the stand-in ZorvetDaemon (scripts/demo-run.sh): log in
# with the demo account, connect, screenshot of the connected dialog. Wine runs
# in the lane scripts/lane.sh decides.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
bash "$ROOT/scripts/install-packages.sh"
. "$ROOT/scripts/lane.sh"
bash "$ROOT/scripts/build.sh" --no-host
zorvet_windows "$ROOT/scripts/demo-run.sh"
