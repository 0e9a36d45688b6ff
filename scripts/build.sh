#!/usr/bin/env bash
# Builds everything: the third-party libraries (cached), the Windows deliverables
# with their tests (build/win), and the portable code natively with sanitizers
# (build/host). Usage: build.sh [--no-host]
# ZORVET_TIME_SCALE (set by scripts/lane.sh) scales the Windows tests' CTest
# time-outs for the lane they run in.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ZORVET_BUILD:-$ROOT/build}
export ZORVET_DEPS=$(bash "$ROOT/scripts/build-deps.sh" | tail -1)

cmake -S "$ROOT" -B "$BUILD/win" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DZORVET_DEPS="$ZORVET_DEPS" \
  -DZORVET_TIME_SCALE="${ZORVET_TIME_SCALE:-1}" >/dev/null
cmake --build "$BUILD/win"

if [ "${1:-}" != "--no-host" ]; then
  cmake -S "$ROOT" -B "$BUILD/host" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
  cmake --build "$BUILD/host"
  if [ -f "$ROOT/fuzz/CMakeLists.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZORVET_FUZZ=ON \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
    cmake --build "$BUILD/fuzz"
  fi
fi
