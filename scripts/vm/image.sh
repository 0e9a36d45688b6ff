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

log() { echo "vm-image: $*" >&2; }
SOURCES=$(debian_sources /etc/apt "$SUITE")
TIMEZONE=none
if [ -L /etc/localtime ]; then TIMEZONE=$(readlink -f /etc/localtime); fi
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
log "debootstrap $SUITE from $MIRROR"
rc=0
timeout -k 30 "$DEBOOTSTRAP_LIMIT" debootstrap --variant=minbase --arch=amd64 "$SUITE" "$TREE" "$MIRROR" \
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
for m in proc sys dev dev/pts; do mount --bind "/$m" "$TREE/$m"; done

IN_TREE=(chroot "$TREE" env DEBIAN_FRONTEND=noninteractive LC_ALL=C)
in_tree() { "${IN_TREE[@]}" "$@"; }
# apt_step LIMIT WHAT COMMAND...: a step of apt in the tree, logged, with its time limit.
apt_step() {
  local limit=$1 what=$2 rc=0; shift 2
  timeout -k 30 "$limit" "${IN_TREE[@]}" "$@" >>"$WORK/packages.log" 2>&1 || rc=$?
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
if [ "$TIMEZONE" != none ] && [ -e "$TREE$TIMEZONE" ]; then
  ln -sf "$TIMEZONE" "$TREE/etc/localtime"
fi
in_tree apt-get clean
# mke2fs must not copy the host's devices: nothing may stay mounted in the tree.
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
