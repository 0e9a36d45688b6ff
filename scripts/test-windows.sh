#!/usr/bin/env bash
# The Windows half of the test command, where Wine runs (this host or the
# emulated machine): prepares the prefix and runs the Windows build's CTest.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ZORVET_BUILD:-$ROOT/build}
. "$ROOT/scripts/wine-session.sh" "$BUILD/win"
echo "wine: prefix and session ready after ${SECONDS} s"
# Tests without a TIMEOUT of their own get the helpers' default (300 s, scaled).
ctest --test-dir "$BUILD/win" --output-on-failure --no-tests=error \
  --timeout $((300 * ${ZORVET_TIME_SCALE:-1})) -j"$(nproc)"
