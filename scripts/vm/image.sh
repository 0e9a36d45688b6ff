#!/usr/bin/env bash
# Makes the virtual machine of the emulated lane, once per key, and prints its
# folder: Debian 12 (debootstrap, minbase) with its own kernel and the packages
# that run the Windows side (scripts/packages-windows.txt), a Wine prefix seeded
# by one boot, all in an ext4 image. The key is the package list and the files
# that make the machine, so a change to any of them makes a new one.
#   image.sh            (ZORVET_VM_CACHE picks the cache, default /var/cache/zorvet-vm)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
VM=$ROOT/scripts/vm
CACHE=${ZORVET_VM_CACHE:-/var/cache/zorvet-vm}
SUITE=bookworm

mapfile -t PACKAGES < <(sed 's/#.*//' "$ROOT/scripts/packages-windows.txt" "$VM/packages-guest.txt" | xargs -n1)
KEY=$(cat "$ROOT/scripts/packages-windows.txt" "$VM/packages-guest.txt" "$VM/image.sh" \
          "$VM/guest-init" "$VM/seed-prefix.sh" "$ROOT/scripts/wine-env.sh" | sha1sum | cut -c1-12)
DIR=$CACHE/$SUITE-$KEY
if [ -f "$DIR/.done" ]; then echo "$DIR"; exit 0; fi

log() { echo "vm-image: $*" >&2; }
start=$(date +%s)
mkdir -p "$CACHE"
# Older machines of this cache are of no further use.
find "$CACHE" -mindepth 1 -maxdepth 1 -name "$SUITE-*" ! -name "$SUITE-$KEY" -exec rm -rf {} + 2>/dev/null || true
rm -rf "$DIR"; mkdir -p "$DIR"
TREE=$DIR/tree
mounts=()
# The tree's bind mounts, innermost first.
unmount_tree() {
  local i
  for ((i=${#mounts[@]}-1; i>=0; i--)); do umount -l "${mounts[$i]}"; done
  mounts=()
}
cleanup() {
  unmount_tree 2>/dev/null || true
  [ -f "$DIR/.done" ] || rm -rf "$DIR"
}
trap cleanup EXIT

# The mirror and suites of this host's own Debian entries (binary packages only).
MIRROR=http://deb.debian.org/debian
src=/etc/apt/sources.list.d/debian.sources
if [ -f "$src" ]; then
  MIRROR=$(awk '/^URIs:/{print $2; exit}' "$src")
fi
log "debootstrap $SUITE from $MIRROR"
debootstrap --variant=minbase --arch=amd64 "$SUITE" "$TREE" "$MIRROR" >"$DIR/debootstrap.log" 2>&1 ||
  { tail -30 "$DIR/debootstrap.log" >&2; exit 1; }

if [ -f "$src" ]; then
  awk 'BEGIN{RS="";ORS="\n\n"} /Types:[^\n]*deb/ && !/deb-src/' "$src" > "$TREE/etc/apt/sources.list.d/debian.sources"
  rm -f "$TREE/etc/apt/sources.list"
else
  cat > "$TREE/etc/apt/sources.list" <<EOF
deb $MIRROR $SUITE main
deb $MIRROR $SUITE-updates main
deb http://deb.debian.org/debian-security $SUITE-security main
EOF
fi
cp /etc/resolv.conf "$TREE/etc/resolv.conf" 2>/dev/null || true
# No service of the tree starts while packages are installed into it.
printf '#!/bin/sh\nexit 101\n' > "$TREE/usr/sbin/policy-rc.d"; chmod +x "$TREE/usr/sbin/policy-rc.d"
for m in proc sys dev dev/pts; do
  mount --bind "/$m" "$TREE/$m"; mounts+=("$TREE/$m")
done

in_tree() { chroot "$TREE" env DEBIAN_FRONTEND=noninteractive LC_ALL=C "$@"; }
log "installing the kernel and ${#PACKAGES[@]} packages"
in_tree dpkg --add-architecture i386
{ in_tree apt-get update -q &&
  in_tree apt-get install -y -q --no-install-recommends linux-image-amd64 "${PACKAGES[@]}"; } \
  >"$DIR/packages.log" 2>&1 || { tail -40 "$DIR/packages.log" >&2; exit 1; }

# zh_CN.UTF-8 for Wine's code page 936, as on the host.
sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' "$TREE/etc/locale.gen"
grep -q '^zh_CN.UTF-8 UTF-8' "$TREE/etc/locale.gen" || echo 'zh_CN.UTF-8 UTF-8' >> "$TREE/etc/locale.gen"
in_tree locale-gen >/dev/null
# The host's time zone: without one, Wine's C runtime turns local dates into
# times in a zone of its own choosing, and dates near midnight come out wrong.
if [ -L /etc/localtime ] && [ -e "$TREE$(readlink -f /etc/localtime)" ]; then
  ln -sf "$(readlink -f /etc/localtime)" "$TREE/etc/localtime"
fi
in_tree apt-get clean
unmount_tree
rm -f "$TREE/usr/sbin/policy-rc.d"

install -m 755 "$VM/guest-init" "$TREE/sbin/zorvet-init"
echo zorvet-vm > "$TREE/etc/hostname"
cp "$TREE"/boot/vmlinuz-* "$DIR/vmlinuz"
cp "$TREE"/boot/initrd.img-* "$DIR/initrd.img"

# The tree's size and room for the seeded prefix; the tests write to a tmpfs.
size_mb=$(( $(du -sm "$TREE" | cut -f1) + 1536 ))
log "ext4 image of ${size_mb} MB"
mke2fs -q -t ext4 -L zorvet-root -d "$TREE" "$DIR/root.img" "${size_mb}M"
rm -rf "$TREE"
built=$(date +%s)

# One boot seeds a Wine prefix inside the image (wineboot is the slowest step
# under emulation); the runs copy it instead of booting Wine anew.
log "seeding the Wine prefix inside the machine"
ZORVET_VM_IMAGE=$DIR ZORVET_VM_WRITABLE=1 bash "$VM/run.sh" --seed
echo "$KEY" > "$DIR/.done"
log "done: image $((built - start)) s, prefix seed $(( $(date +%s) - built )) s"
echo "$DIR"
