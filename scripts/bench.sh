#!/usr/bin/env bash
# Runs every benchmark and prints one line each (scripts/bench-run.sh): builds
# the Windows side first, then runs them where Wine runs, in the lane
# scripts/lane.sh decides (the emulated machine's ratios compare programs run
# side by side in it, as here).
#   bench.sh            (ZORVET_BUILD picks the build directory, default build/)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ZORVET_BUILD:-$ROOT/build}
. "$ROOT/scripts/lane.sh"
mkdir -p "$BUILD"
bash "$ROOT/scripts/build.sh" --no-host >"$BUILD/bench-build.txt" 2>&1 ||
  { cat "$BUILD/bench-build.txt"; exit 1; }
zorvet_windows "$ROOT/scripts/bench-run.sh"
