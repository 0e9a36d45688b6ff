#!/usr/bin/env bash
# For developers working side by side: builds into build-NAME, prepares a prefix
# of its own and runs ctest (with the given ctest arguments) inside a network
# namespace of its own, so that port 63872 and the prefix are not shared.
#   dev-test.sh NAME [ctest args...]      e.g. dev-test.sh core -R protocol
# ZORVET_TARGETS="a b" builds only those targets (default: everything).
set -euo pipefail
NAME=${1:?name}; shift
ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ "${ZORVET_NETNS:-0}" != 1 ]; then
  exec unshare -n env ZORVET_NETNS=1 sh -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$NAME" "$@"
fi
export ZORVET_BUILD=/work/build-$NAME
export ZORVET_PREFIX=/var/cache/zorvet-deps/prefix-$NAME
export ZORVET_DEPS=$(bash "$ROOT/scripts/build-deps.sh" | tail -1)
cmake -S "$ROOT" -B "$ZORVET_BUILD/win" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DZORVET_DEPS="$ZORVET_DEPS" >/dev/null
if [ -n "${ZORVET_TARGETS:-}" ]; then
  cmake --build "$ZORVET_BUILD/win" --target $ZORVET_TARGETS
else
  cmake --build "$ZORVET_BUILD/win"
fi
. "$ROOT/scripts/wine-env.sh"
# Prepare (and flush to disk) the prefix first: test beds copy it.
bash "$ROOT/scripts/wine-prefix.sh" "$ZORVET_BUILD/win"
# Then one wineserver for the whole run (services live as long as it does).
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
# Wine's background programs inherit the first command's handles: /dev/null.
wine cmd /c exit </dev/null >/dev/null 2>&1
# cmd starts no service manager; the first program that needs one (any COM call)
# would start services.exe with its own handles, and all services with them.
wine sc query RpcSs </dev/null >/dev/null 2>&1 || true
export ZORVET_PREFIX_TEMPLATE=$WINEPREFIX
# Each test bed makes a namespace of its own again.
unset ZORVET_NETNS
ctest --test-dir "$ZORVET_BUILD/win" --output-on-failure "$@"
