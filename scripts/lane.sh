# Sourced by the commands that run the Windows side: decides the lane.
#   native  this host runs 32-bit x86 code: Wine runs here, as it always has;
#   vm      it runs none (a kernel without 32-bit emulation): the Windows side
#           runs in a Debian 12 machine under QEMU (scripts/vm/run.sh).
# ZORVET_VM=1 forces the VM lane, ZORVET_VM=0 the native one; otherwise a tiny
# i386 program decides. Sets ZORVET_LANE and ZORVET_TIME_SCALE (the factor the
# tests' waits and time-outs scale by: 1 native, ZORVET_VM_TIME_SCALE or 6 in
# the machine, which emulates the processor).
# The probe: an i386 program (assembled here by binutils) that exits with 42.
_zorvet_probe_i386() {
  local d rc=0
  d=$(mktemp -d)
  printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' > "$d/t.s"
  if ! as --32 -o "$d/t.o" "$d/t.s" || ! ld -m elf_i386 -o "$d/t" "$d/t.o"; then
    rm -rf "$d"; echo "lane: cannot make the i386 probe (binutils missing?)" >&2; return 2
  fi
  "$d/t" 2>/dev/null || rc=$?
  rm -rf "$d"
  [ "$rc" = 42 ]
}
if [ -z "${ZORVET_LANE:-}" ]; then
  case "${ZORVET_VM:-}" in
    1) ZORVET_LANE=vm ;;
    0) ZORVET_LANE=native ;;
    "") _zorvet_rc=0; _zorvet_probe_i386 || _zorvet_rc=$?
        case $_zorvet_rc in 0) ZORVET_LANE=native ;; 1) ZORVET_LANE=vm ;; *) exit 1 ;; esac ;;
    *) echo "lane: ZORVET_VM must be 0 or 1" >&2; exit 2 ;;
  esac
fi
if [ "$ZORVET_LANE" = vm ]; then
  : "${ZORVET_TIME_SCALE:=${ZORVET_VM_TIME_SCALE:-6}}"
else
  : "${ZORVET_TIME_SCALE:=1}"
fi
export ZORVET_LANE ZORVET_TIME_SCALE

# zorvet_windows SCRIPT [ARGS...]: runs `bash SCRIPT ARGS` in the lane's place.
# The machine ends with the caller, however the caller ends: run.sh is told
# (SIGTERM) and stops it and cleans up.
zorvet_windows() {
  if [ "$ZORVET_LANE" = vm ]; then
    setpriv --pdeathsig TERM bash "$(dirname "${BASH_SOURCE[0]}")/vm/run.sh" "$@"
  else
    bash "$@"
  fi
}
