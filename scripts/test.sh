#!/usr/bin/env bash
# The test command: installs what is missing, builds, prepares the Wine prefix
# and runs every test (Windows programs under Wine, the portable code natively
# with sanitizers). Prints CTest's summaries.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ZORVET_BUILD:-$ROOT/build}
bash "$ROOT/scripts/install-packages.sh"
bash "$ROOT/scripts/build.sh"
. "$ROOT/scripts/wine-session.sh" "$BUILD/win"

status=0
echo "== native (sanitizers)"
ctest --test-dir "$BUILD/host" --output-on-failure -j"$(nproc)" || status=1
if [ -d "$BUILD/fuzz" ]; then
  echo "== fuzz (short bounded runs)"
  ctest --test-dir "$BUILD/fuzz" --output-on-failure -j"$(nproc)" || status=1
fi
echo "== windows (wine)"
ctest --test-dir "$BUILD/win" --output-on-failure -j"$(nproc)" || status=1
exit $status
