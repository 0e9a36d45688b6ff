#!/usr/bin/env bash
# The demo proper, where Wine runs (scripts/demo.sh calls it): prepares the
# prefix, then ovik_acc against the stand-in service; see scripts/demo_client.py.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ZORVET_BUILD:-$ROOT/build}
bash "$ROOT/scripts/wine-prefix.sh" "$BUILD/win"
. "$ROOT/scripts/wine-env.sh"
export ZORVET_PREFIX_TEMPLATE=$WINEPREFIX
exec /usr/bin/python3 "$ROOT/scripts/demo_client.py" --build "$BUILD"
