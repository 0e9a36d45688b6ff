#!/usr/bin/env bash
# Makes the virtual machine of the emulated lane, once per key, and prints its
# folder: Debian 12 (debootstrap, minbase) with its own kernel and the packages
# that run the Windows side (scripts/packages-windows.txt), a Wine prefix seeded
# by one boot, all in an ext4 image. The key is all that goes into it: the
# package lists, the scripts that make and boot it, the host's Debian mirrors
# and time zone, so a change to any of them makes a new one.
#   image.sh          makes the image unless it is there (under the cache's
#                     exclusive lock, scripts/vm/cache.sh), prints its folder
#   image.sh --find   prints the folder of the finished image of this key, or
#                     fails; takes no lock (run.sh holds it shared meanwhile)
# ZORVET_VM_CACHE picks the cache, default /var/cache/zorvet-vm.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
VM=$ROOT/scripts/vm
. "$VM/cache.sh"
. "$VM/apt-sources.sh"
CACHE=$ZORVET_VM_CACHE
SUITE=bookworm
# Time limits of the steps that fetch from the network (together they take
# about 2 minutes); a mirror that stalls ends the step with a message, not a hang.
DEBOOTSTRAP_LIMIT=900 APT_UPDATE_LIMIT=300 APT_INSTALL_LIMIT=1800
# The other steps in the tree (locale-gen, apt-get clean) take seconds.
TREE_STEP_LIMIT=600

log() { echo "vm-image: $*" >&2; }
SOURCES=$(debian_sources /etc/apt "$SUITE")
# The host's time zone, however it is set: /etc/localtime as a link into the
# zone files (named by the link), or as a copy of one (named by its bytes).
TIMEZONE=none
if [ -L /etc/localtime ]; then
  TIMEZONE=$(readlink -f /etc/localtime)
elif [ -f /etc/localtime ]; then
  TIMEZONE="file $(sha1sum < /etc/localtime | cut -d' ' -f1)"
fi
mapfile -t PACKAGES < <(sed 's/#.*//' "$ROOT/scripts/packages-windows.txt" "$VM/packages-guest.txt" | xargs -n1)
KEY=$({ cat "$ROOT/scripts/packages-windows.txt" "$VM/packages-guest.txt" "$VM/image.sh" \
            "$VM/cache.sh" "$VM/apt-sources.sh" "$VM/run.sh" "$VM/guest-init" \
            "$VM/seed-prefix.sh" "$ROOT/scripts/wine-env.sh"
        printf 'sources:\n%s\ntime zone: %s\n' "$SOURCES" "$TIMEZONE"; } | sha1sum | cut -c1-12)
DIR=$CACHE/$SUITE-$KEY
found() { [ -f "$DIR/.done" ] && echo "$DIR"; }

if [ "${1:-}" = --find ]; then found; exit; fi
found && exit 0

# Another run may be making this very image: wait for the lock, and use its
# image as soon as it is there (the waiting run might otherwise wait behind
# that run's machine, which holds the lock shared).
until cache_lock -x -w 5; do found && exit 0; done
found && exit 0

start=$(date +%s)
# Older machines, and what runs that ended early left (half-made images) are of
# no further use; nothing else uses them while this lock is held.
for old in "$CACHE"/.making-* "$CACHE/$SUITE"-*; do
  if [ -e "$old" ]; then remove_tree "$old"; fi
done

# The image is made in a folder of its own and moved into place when done.
WORK=$(mktemp -d "$CACHE/.making-$KEY.XXXXXX")
TREE=$WORK/tree
cleanup() { remove_tree "$WORK"; }
trap cleanup EXIT

MIRROR=$(awk -v s="$SUITE" '$2 == s { print $1; exit }' <<<"$SOURCES")
# limited LIMIT COMMAND...: COMMAND with a time limit, in mount and PID
# namespaces of its own that end with this script, however it ends (SIGKILL
# included: each process of the chain dies with its parent, and the
# namespace's first process, a shell that stays, takes all others with it).
# What it mounts in the tree (debootstrap's /proc and /sys, the chroot's
# below) is never seen on the host and goes away with the namespace, and a
# /proc there shows only the namespace's processes. (The command itself is not
# that first process: a program that changes its credentials loses the signal
# its parent's death sends, and apt-get, seen here, outlived its namespace's
# parent that way.)
limited() {
  local limit=$1; shift
  setpriv --pdeathsig KILL timeout -k 30 "$limit" \
    setpriv --pdeathsig KILL unshare --mount --propagation private --pid --fork --kill-child \
    --mount-proc sh -c '"$@"; exit $?' namespace "$@"
}
log "debootstrap $SUITE from $MIRROR"
rc=0
limited "$DEBOOTSTRAP_LIMIT" \
  debootstrap --variant=minbase --arch=amd64 "$SUITE" "$TREE" "$MIRROR" \
  >"$WORK/debootstrap.log" 2>&1 || rc=$?
if [ $rc = 124 ]; then log "debootstrap did not finish within $DEBOOTSTRAP_LIMIT s"; fi
if [ $rc != 0 ]; then tail -30 "$WORK/debootstrap.log" >&2; exit 1; fi

# The tree's apt sources: the host's Debian entries, signed by the archive's keys.
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
[ -f "$TREE$keyring" ] || { log "the tree has no $keyring after debootstrap"; exit 1; }
rm -f "$TREE/etc/apt/sources.list"
awk -v key="$keyring" '{
    comps = $3; for (i = 4; i <= NF; i++) comps = comps " " $i
    printf "Types: deb\nURIs: %s\nSuites: %s\nComponents: %s\nSigned-By: %s\n\n", $1, $2, comps, key
  }' <<<"$SOURCES" > "$TREE/etc/apt/sources.list.d/debian.sources"
cp /etc/resolv.conf "$TREE/etc/resolv.conf" 2>/dev/null || true
# No service of the tree starts while packages are installed into it.
printf '#!/bin/sh\nexit 101\n' > "$TREE/usr/sbin/policy-rc.d"; chmod +x "$TREE/usr/sbin/policy-rc.d"
# Each command in the tree runs chrooted in namespaces of its own (limited)
# with the tree's own /proc, a read-only /sys and a minimal
# /dev: the few device nodes a package's scripts use and a private devpts.
TREE_ROOT='t=$1; shift
mount -t proc proc "$t/proc"
mount -t sysfs -o ro,nosuid,nodev,noexec sysfs "$t/sys"
mount -t tmpfs -o mode=755,nosuid,size=16m tmpfs "$t/dev"
mknod -m 666 "$t/dev/null" c 1 3; mknod -m 666 "$t/dev/zero" c 1 5
mknod -m 666 "$t/dev/full" c 1 7; mknod -m 666 "$t/dev/random" c 1 8
mknod -m 666 "$t/dev/urandom" c 1 9; mknod -m 666 "$t/dev/tty" c 5 0
mkdir -m 755 "$t/dev/pts"; mkdir -m 1777 "$t/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$t/dev/pts"
ln -s pts/ptmx "$t/dev/ptmx"; ln -s /proc/self/fd "$t/dev/fd"
ln -s /proc/self/fd/0 "$t/dev/stdin"; ln -s /proc/self/fd/1 "$t/dev/stdout"
ln -s /proc/self/fd/2 "$t/dev/stderr"
chroot "$t" env DEBIAN_FRONTEND=noninteractive LC_ALL=C "$@"'
# in_tree_limited LIMIT COMMAND...: COMMAND in the tree, with a time limit.
in_tree_limited() {
  local limit=$1; shift
  limited "$limit" sh -ec "$TREE_ROOT" tree-root "$TREE" "$@"
}
in_tree() { in_tree_limited "$TREE_STEP_LIMIT" "$@"; }
# apt_step LIMIT WHAT COMMAND...: a step of apt in the tree, logged, with its time limit.
apt_step() {
  local limit=$1 what=$2 rc=0; shift 2
  in_tree_limited "$limit" "$@" >>"$WORK/packages.log" 2>&1 || rc=$?
  [ $rc != 124 ] || log "$what did not finish within $limit s"
  [ $rc = 0 ] || { tail -40 "$WORK/packages.log" >&2; exit 1; }
}
log "installing the kernel and ${#PACKAGES[@]} packages"
in_tree dpkg --add-architecture i386
apt_step "$APT_UPDATE_LIMIT" "apt-get update" apt-get update -q
apt_step "$APT_INSTALL_LIMIT" "apt-get install" \
  apt-get install -y -q --no-install-recommends linux-image-amd64 "${PACKAGES[@]}"

# zh_CN.UTF-8 for Wine's code page 936, as on the host.
sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' "$TREE/etc/locale.gen"
grep -q '^zh_CN.UTF-8 UTF-8' "$TREE/etc/locale.gen" || echo 'zh_CN.UTF-8 UTF-8' >> "$TREE/etc/locale.gen"
in_tree locale-gen >/dev/null
# The host's time zone: without one, Wine's C runtime turns local dates into
# times in a zone of its own choosing, and dates near midnight come out wrong.
case "$TIMEZONE" in
  none) ;;
  file\ *) rm -f "$TREE/etc/localtime"; cp /etc/localtime "$TREE/etc/localtime" ;;
  *) if [ -e "$TREE$TIMEZONE" ]; then ln -sf "$TIMEZONE" "$TREE/etc/localtime"
     else rm -f "$TREE/etc/localtime"; cp -L /etc/localtime "$TREE/etc/localtime"; fi ;;
esac
in_tree apt-get clean
# Nothing may stay mounted in the tree for mke2fs (the namespaces ended with
# their commands); checked all the same.
unmount_below "$(cd "$TREE" && pwd -P)" "not making an image of $TREE" || exit 1
rm -f "$TREE/usr/sbin/policy-rc.d"

install -m 755 "$VM/guest-init" "$TREE/sbin/zorvet-init"
echo zorvet-vm > "$TREE/etc/hostname"
cp "$TREE"/boot/vmlinuz-* "$WORK/vmlinuz"
cp "$TREE"/boot/initrd.img-* "$WORK/initrd.img"

# The tree's size and room for the seeded prefix; the tests write to a tmpfs.
size_mb=$(( $(du -sm "$TREE" | cut -f1) + 1536 ))
log "ext4 image of ${size_mb} MB"
mke2fs -q -t ext4 -L zorvet-root -d "$TREE" "$WORK/root.img" "${size_mb}M"
remove_tree "$TREE"
built=$(date +%s)

# One boot seeds a Wine prefix inside the image (wineboot is the slowest step
# under emulation); the runs copy it instead of booting Wine anew. Its machine
# ends with this script, whatever ends it.
log "seeding the Wine prefix inside the machine"
ZORVET_VM_TIMEOUT=900 setpriv --pdeathsig KILL bash "$VM/run.sh" --seed "$WORK"
echo "$KEY" > "$WORK/.done"
mv -T "$WORK" "$DIR"
trap - EXIT
log "done: image $((built - start)) s, prefix seed $(( $(date +%s) - built )) s"
echo "$DIR"
