#!/usr/bin/env bash
# Runs one command of the Windows side inside the emulated lane's machine (a
# Debian 12 VM under QEMU, made and cached by scripts/vm/image.sh). The
# checkout and the build are shared with it under the same paths, so what the
# command writes there (CTest's logs, screenshots, benchmark outputs) is here
# when it ends. Its output is printed as it comes; the exit status is the
# command's. A machine that does not boot, or gives no status within
# ZORVET_VM_TIMEOUT seconds (default 3600), is a failure and prints its console.
#   run.sh SCRIPT [ARGS...]   runs `bash SCRIPT ARGS` inside, from this folder
#   run.sh --seed             seeds the image's Wine prefix (image.sh does this)
# ZORVET_* variables pass into the machine (ZORVET_TIME_SCALE among them);
# ZORVET_VM_ACCEL picks QEMU's accelerator (tcg, or kvm where it works).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${ZORVET_BUILD:-$ROOT/build}
mkdir -p "$BUILD"
BUILD=$(cd "$BUILD" && pwd)
seed=0
if [ "${1:-}" = --seed ]; then seed=1; shift; fi
[ $seed = 1 ] || [ $# -gt 0 ] || { echo "usage: run.sh SCRIPT [ARGS...]" >&2; exit 2; }
IMAGE=${ZORVET_VM_IMAGE:-$(bash "$ROOT/scripts/vm/image.sh" | tail -1)}
LIMIT=${ZORVET_VM_TIMEOUT:-3600}

RUN=$(mktemp -d /var/tmp/zorvet-vm.XXXXXX)
qpid=
finish() {
  [ -z "$qpid" ] || kill "$qpid" 2>/dev/null || true
  # The last console is kept beside the build.
  cp -f "$RUN/console.log" "$BUILD/vm-console.log" 2>/dev/null || true
  rm -rf "$RUN"
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
[ "${ZORVET_VM_WRITABLE:-0}" = 1 ] || drive+=",snapshot=on"

: > "$RUN/out.log"
start=$(date +%s)
# A named processor model: with -cpu max the guest kernel faults on Wine's
# 32-bit iret under TCG.
timeout -k 10 "$LIMIT" qemu-system-x86_64 -nodefaults -no-user-config -no-reboot \
  -machine pc -accel "$accel" -cpu Nehalem -smp "$cpus" -m "$mem_mb" \
  -kernel "$IMAGE/vmlinuz" -initrd "$IMAGE/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 quiet loglevel=3 panic=-1 init=/sbin/zorvet-init" \
  -drive "$drive" "${fsargs[@]}" -device virtio-rng-pci -nic none \
  -display none -monitor none -serial "file:$RUN/console.log" \
  </dev/null >"$RUN/qemu.log" 2>&1 &
qpid=$!
tail -n +1 -F --pid=$qpid "$RUN/out.log" 2>/dev/null || true
qrc=0; wait $qpid || qrc=$?
qpid=
took=$(( $(date +%s) - start ))
if [ -f "$RUN/rc" ]; then
  rc=$(cat "$RUN/rc")
  echo "vm: the job ended with status $rc after ${took} s in the machine" >&2
  exit "$rc"
fi
if [ "$qrc" = 124 ] || [ "$qrc" = 137 ]; then
  echo "vm: no result within ${LIMIT} s; the machine was stopped" >&2
else
  echo "vm: the machine ended (QEMU status $qrc) after ${took} s without a result" >&2
fi
echo "vm: QEMU said:" >&2; sed 's/^/  /' "$RUN/qemu.log" >&2
echo "vm: the console's last lines:" >&2; tail -n 60 "$RUN/console.log" | sed 's/^/  /' >&2
exit 1
