#!/usr/bin/env bash
# The benchmarks proper, where Wine runs (scripts/bench.sh calls it once the
# Windows build is made): prepares the Wine prefix and one wineserver for the
# run, then runs every benchmark and prints one line each: its name, its ratios
# and what each ratio compares. The benchmarks that talk to the stand-in
# service make test beds of their own. The whole run has a network namespace
# of its own (loopback only). Each benchmark's full output goes to
# BUILD/bench/NAME.txt. Benchmarks print their ratios as lines
# "ratio (WHAT): VALUE"; those are what is summed up here.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ "${ZORVET_NETNS:-0}" != 1 ]; then
  exec unshare -n env ZORVET_NETNS=1 sh -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$@"
fi
BUILD=${ZORVET_BUILD:-$ROOT/build}
export ZORVET_BUILD=$BUILD
. "$ROOT/scripts/wine-session.sh" "$BUILD/win"
unset ZORVET_NETNS  # each test bed makes a namespace of its own again

OUT=$BUILD/bench
mkdir -p "$OUT"
BIN=$BUILD/win/bin
status=0

# NAME COMMAND...: runs it, keeps its output, prints its summary line.
run() {
  local name=$1; shift
  local log=$OUT/$name.txt rc=0
  timeout 900 "$@" </dev/null >"$log" 2>&1 || rc=$?
  local ratios
  ratios=$(sed -n 's/^ratio (\(.*\)): *\([-0-9.inf]*\)[[:space:]]*$/\2  \1/p' "$log" | paste -sd '|' - |
           sed 's/|/ | /g')
  if [ "$rc" != 0 ] || [ -z "$ratios" ]; then
    printf '%-12s failed (exit %s), see %s\n' "$name" "$rc" "$log"
    status=1
  else
    printf '%-12s %s\n' "$name" "$ratios"
  fi
}

run roundtrip wine "$BIN/bench_roundtrip.exe"
run core_query python3 "$ROOT/bench/query_bench.py" --build "$BUILD"
run upgrade python3 "$ROOT/bench/upgrade_bench.py" --build "$BUILD"
run client_idle python3 "$ROOT/bench/client_idle_bench.py" --build "$BUILD"
run md5 wine "$BIN/bench_md5.exe"
run download wine "$BIN/bench_download.exe"
run unzip wine "$BIN/bench_unzip.exe"
exit $status
