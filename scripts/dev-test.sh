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
. "$ROOT/scripts/wine-session.sh" "$ZORVET_BUILD/win"
# Each test bed makes a namespace of its own again.
unset ZORVET_NETNS
ctest --test-dir "$ZORVET_BUILD/win" --output-on-failure "$@"
