#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test: the
# portable code natively with sanitizers, the fuzz targets, and the Windows
# programs under Wine (scripts/test-windows.sh) in the lane scripts/lane.sh
# decides: here, or in the emulated machine where this host runs no 32-bit code.
# Prints CTest's summaries.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ZORVET_BUILD:-$ROOT/build}
bash "$ROOT/scripts/install-packages.sh"
. "$ROOT/scripts/lane.sh"
bash "$ROOT/scripts/build.sh"

status=0
echo "== native (sanitizers)"
ctest --test-dir "$BUILD/host" --output-on-failure -j"$(nproc)" || status=1
if [ -d "$BUILD/fuzz" ]; then
  echo "== fuzz (short bounded runs)"
  ctest --test-dir "$BUILD/fuzz" --output-on-failure -j"$(nproc)" || status=1
fi
echo "== windows (wine, $ZORVET_LANE lane)"
zorvet_windows "$ROOT/scripts/test-windows.sh" || status=1
exit $status
