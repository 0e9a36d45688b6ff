#!/usr/bin/env bash
# The demo proper (scripts/demo.sh calls it once the prefix is prepared): ovik_acc
# against the stand-in service; see scripts/demo_client.py.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/scripts/wine-env.sh"
export ZORVET_PREFIX_TEMPLATE=$WINEPREFIX
exec /usr/bin/python3 "$ROOT/scripts/demo_client.py" --build "${ZORVET_BUILD:-$ROOT/build}"
