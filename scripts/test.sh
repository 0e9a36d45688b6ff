#!/usr/bin/env bash
# The test command: installs what is missing, builds, prepares the Wine prefix
# and runs every test (Windows programs under Wine, the portable code natively
# with sanitizers). Prints CTest's summaries.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ZORVET_BUILD:-$ROOT/build}
bash "$ROOT/scripts/install-packages.sh"
bash "$ROOT/scripts/build.sh"
. "$ROOT/scripts/wine-env.sh"
# Prepare (and flush to disk) the prefix first: test beds copy it.
bash "$ROOT/scripts/wine-prefix.sh" "$BUILD/win"
# Then one wineserver for the whole run (services live as long as it does).
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
# Wine's background programs inherit the first command's handles: /dev/null.
wine cmd /c exit </dev/null >/dev/null 2>&1
# cmd starts no service manager; the first program that needs one (any COM call)
# would start services.exe with its own handles, and all services with them.
wine sc query RpcSs </dev/null >/dev/null 2>&1 || true
# Integration tests copy this prepared prefix into one of their own.
export ZORVET_PREFIX_TEMPLATE=$WINEPREFIX

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
