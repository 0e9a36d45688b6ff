#!/usr/bin/env bash
# Runs inside the machine once, when its image is made: a new Wine prefix with
# the project's Wine environment, kept in the image. scripts/wine-prefix.sh
# copies it (ZORVET_PREFIX_SEED) instead of running wineboot for a new prefix.
set -euo pipefail
export ZORVET_PREFIX=/var/lib/zorvet-prefix-seed
. "$(dirname "$0")/../wine-env.sh"
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
time wineboot -i </dev/null >/dev/null 2>&1
wineserver -w
test -f "$WINEPREFIX/system.reg"
sync
