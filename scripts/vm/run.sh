#!/usr/bin/env bash
# Runs one command of the Windows side inside the emulated lane's machine (a
# Debian 12 VM under QEMU, made and cached by scripts/vm/image.sh). The
# checkout and the build are shared with it under the same paths, so what the
# command writes there (CTest's logs, screenshots, benchmark outputs) is here
# when it ends. Its output is printed as it comes; the exit status is the
# command's, taken only from a machine that powered itself off after the
# command's files were written back. A machine that does not boot, gives no
# status within ZORVET_VM_TIMEOUT seconds (default 3600), is killed or ends
# otherwise is a failure and prints its console.
#   run.sh SCRIPT [ARGS...]   runs `bash SCRIPT ARGS` inside, from this folder
#   run.sh --seed IMAGE_DIR   seeds that image's Wine prefix (image.sh does
#                             this, holding the cache's lock)
# ZORVET_* variables pass into the machine (ZORVET_TIME_SCALE among them);
# ZORVET_VM_ACCEL picks QEMU's accelerator (tcg, or kvm where it works).
# The machine is this script's child and is killed when this script ends,
# however it ends (SIGKILL included), so it never writes into the shared
# folders behind a later run's back; the run's temporary folder goes with it.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
VM=$ROOT/scripts/vm
. "$VM/cache.sh"
BUILD=${ZORVET_BUILD:-$ROOT/build}
mkdir -p "$BUILD"
BUILD=$(cd "$BUILD" && pwd)
seed=0
if [ "${1:-}" = --seed ]; then
  seed=1; IMAGE=${2:?usage: run.sh --seed IMAGE_DIR}; shift 2
fi
[ $seed = 1 ] || [ $# -gt 0 ] || { echo "usage: run.sh SCRIPT [ARGS...]" >&2; exit 2; }
LIMIT=${ZORVET_VM_TIMEOUT:-3600}

if [ $seed = 0 ]; then
  # The image, under the cache's shared lock until the machine ends (it keeps
  # the lock's descriptor): no run deletes it meanwhile. Without one, image.sh
  # makes it under the exclusive lock, or finds it made by a run it waited for.
  cache_lock -s
  tries=0
  until IMAGE=$(bash "$VM/image.sh" --find); do
    tries=$((tries + 1))
    [ $tries -le 3 ] || { echo "vm: the machine's image is gone each time it is made" >&2; exit 1; }
    cache_lock -u
    setpriv --pdeathsig TERM bash "$VM/image.sh" >/dev/null
    cache_lock -s
  done
fi

RUN=$(mktemp -d /var/tmp/zorvet-vm.XXXXXX)
# The run folder outlives a run killed with SIGKILL, whose trap never runs: a
# reaper of its own session waits for the folder's lock, which this script and
# its children (all of which die with it) hold, and then deletes it.
exec {run_lock}<"$RUN"
flock -x "$run_lock"
setsid flock "$RUN" rm -rf --one-file-system -- "$RUN" </dev/null >/dev/null 2>&1 {run_lock}<&- &
qpid=
finish() {
  [ -z "$qpid" ] || kill -KILL "$qpid" 2>/dev/null || true
  # The last console is kept beside the build.
  cp -f "$RUN/console.log" "$BUILD/vm-console.log" 2>/dev/null || true
  remove_tree "$RUN"
}
trap finish EXIT

# Shares: the checkout, and the build where it lies outside it.
shares=("$ROOT")
case "$BUILD/" in "$ROOT"/*) ;; *) shares+=("$BUILD") ;; esac
fsargs=()
: > "$RUN/shares"
for i in "${!shares[@]}"; do
  fsargs+=(-fsdev "local,id=fs$i,path=${shares[$i]},security_model=none"
           -device "virtio-9p-pci,fsdev=fs$i,mount_tag=share$i")
  printf 'share%s %s\n' "$i" "${shares[$i]}" >> "$RUN/shares"
done
fsargs+=(-fsdev "local,id=fsrun,path=$RUN,security_model=none"
         -device "virtio-9p-pci,fsdev=fsrun,mount_tag=zorvetrun")

{
  echo "set -e"
  # The machine's own Wine prefixes live in its tmpfs, beside the test beds'
  # copies (which hard-link into them); a new one starts from the seeded one.
  export -p | grep -E '^declare -x ZORVET_' |
    grep -vE '^declare -x ZORVET_(VM[A-Z_]*|NETNS|PREFIX|PREFIX_TEMPLATE|CACHE|BUILD|LANE)=' || true
  printf 'export ZORVET_LANE=vm ZORVET_BUILD=%q ZORVET_CACHE=/tmp/zorvet-cache\n' "$BUILD"
  echo 'export ZORVET_PREFIX_SEED=/var/lib/zorvet-prefix-seed'
  printf 'cd %q\n' "$PWD"
  if [ $seed = 1 ]; then
    printf 'exec bash %q\n' "$ROOT/scripts/vm/seed-prefix.sh"
  else
    printf 'exec bash'; printf ' %q' "$@"; echo
  fi
} > "$RUN/job.sh"

cpus=$(nproc)
mem_mb=$(awk '/MemTotal/{m=int($2/1024*0.6); if (m>12288) m=12288; print m}' /proc/meminfo)
accel=${ZORVET_VM_ACCEL:-tcg}
[ "$accel" = tcg ] && accel=tcg,thread=multi
drive="file=$IMAGE/root.img,if=virtio,format=raw,cache=unsafe"
[ $seed = 1 ] || drive+=",snapshot=on"

: > "$RUN/out.log"
start=$(date +%s)
# Each process started here dies with this script (--pdeathsig), QEMU first.
# A named processor model: with -cpu max the guest kernel faults on Wine's
# 32-bit iret under TCG. A guest kernel panic ends QEMU with a failure
# (pvpanic), not like the guest's own power-off.
setpriv --pdeathsig KILL qemu-system-x86_64 -nodefaults -no-user-config -no-reboot \
  -machine pc -accel "$accel" -cpu Nehalem -smp "$cpus" -m "$mem_mb" \
  -kernel "$IMAGE/vmlinuz" -initrd "$IMAGE/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 quiet loglevel=3 panic=-1 init=/sbin/zorvet-init" \
  -drive "$drive" "${fsargs[@]}" -device virtio-rng-pci -nic none \
  -device pvpanic-pci -action panic=exit-failure \
  -display none -monitor none -serial "file:$RUN/console.log" \
  </dev/null >"$RUN/qemu.log" 2>&1 &
qpid=$!
setpriv --pdeathsig KILL tail -n +1 -F --pid=$qpid "$RUN/out.log" 2>/dev/null &
tpid=$!
# The limit is this script's to record, not a guess from QEMU's status.
timed_out=0
while kill -0 "$qpid" 2>/dev/null; do
  if [ $(( $(date +%s) - start )) -ge "$LIMIT" ]; then
    timed_out=1
    kill -TERM "$qpid" 2>/dev/null || true
    for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$qpid" 2>/dev/null || break; sleep 1; done
    kill -KILL "$qpid" 2>/dev/null || true
    break
  fi
  sleep 1
done
qrc=0; wait "$qpid" || qrc=$?
qpid=
wait "$tpid" 2>/dev/null || true
took=$(( $(date +%s) - start ))

# QEMU ends on SIGTERM, SIGINT and SIGHUP by itself (status 0) and says so.
signal=
if [ "$qrc" -gt 128 ]; then
  signal=$((qrc - 128))
else
  signal=$(sed -n 's/.*terminating on signal \([0-9]*\).*/\1/p' "$RUN/qemu.log" | head -1)
fi
rc=
[ ! -f "$RUN/rc" ] || rc=$(cat "$RUN/rc")
if [ $timed_out = 1 ]; then
  why="no result within ${LIMIT} s; the machine was stopped"
elif [ -n "$signal" ]; then
  why="QEMU was killed by signal $signal after ${took} s"
elif [ "$qrc" != 0 ]; then
  why="QEMU ended with status $qrc after ${took} s (a guest kernel panic ends it with 1)"
elif [ -f "$RUN/unsynced" ]; then
  why="the machine could not unmount $(cat "$RUN/unsynced"); what the job wrote there may be incomplete"
elif [ -z "$rc" ]; then
  why="the machine powered off after ${took} s without a result"
else
  echo "vm: the job ended with status $rc after ${took} s in the machine" >&2
  exit "$rc"
fi
if [ -n "$rc" ]; then
  echo "vm: $why; the job's status ($rc) does not count" >&2
else
  echo "vm: $why" >&2
fi
echo "vm: QEMU said:" >&2; sed 's/^/  /' "$RUN/qemu.log" >&2
echo "vm: the console's last lines:" >&2; tail -n 60 "$RUN/console.log" | sed 's/^/  /' >&2
exit 1
