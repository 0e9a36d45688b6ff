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
ctest --test-dir "$BUILD/host" --output-on-failure --no-tests=error -j"$(nproc)" || status=1
if [ -d "$BUILD/fuzz" ]; then
  echo "== fuzz (short bounded runs)"
  ctest --test-dir "$BUILD/fuzz" --output-on-failure --no-tests=error -j"$(nproc)" || status=1
fi
echo "== windows (wine, $ZORVET_LANE lane)"
if [ "$ZORVET_LANE" = vm ] && [ -z "${ZORVET_VM_TIMEOUT:-}" ]; then
  # The machine's time limit leaves room for CTest's own time-outs, so a test
  # that hangs ends in CTest's summary, named, not with the machine: the longest
  # Windows test time-out as configured (already scaled: 300 s x 6 = 1800 s
  # today; test-windows.sh gives tests without one 300 s scaled), plus 1200 s
  # for the rest of the run: boot (10 s), prefix and Wine session (85 s), the
  # other tests (300 s in all when none hangs, those that wait for the hung
  # test's resource lock among them), each about three times over.
  longest=$(ctest --test-dir "$BUILD/win" --show-only=json-v1 | python3 -c '
import json, sys
scale = int(sys.argv[1])
tests = json.load(sys.stdin)["tests"]
print(max([300 * scale] + [int(float(p["value"])) for t in tests
          for p in t.get("properties", []) if p["name"] == "TIMEOUT"]))' "$ZORVET_TIME_SCALE")
  export ZORVET_VM_TIMEOUT=$((longest + 1200))
  echo "vm: the machine's time limit is ${ZORVET_VM_TIMEOUT} s (longest test time-out ${longest} s)"
fi
zorvet_windows "$ROOT/scripts/test-windows.sh" || status=1
exit $status
