#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (idempotent, as root).
# Adds deb-src entries for the source packages that scripts/build-deps.sh
# cross-builds, and in the native lane the i386 architecture for wine32.
set -euo pipefail

# The builds (both lanes): CMake, mingw, the third-party source builds, the
# native sanitizer (gcc) and fuzz (clang) builds; binutils also makes the
# lane's i386 probe.
PACKAGES=(
  cmake ninja-build make dpkg-dev python3 file binutils gcc g++
  mingw-w64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  libz-mingw-w64-dev googletest
  clang libclang-rt-14-dev
  locales
)
# The Windows side runs here (native lane) or in a machine this host makes and
# emulates (VM lane, scripts/vm/): the lane decides what else this host needs.
missing_now() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}
if [ -z "${ZORVET_LANE:-}" ] && [ -z "${ZORVET_VM:-}" ] && [ -n "$(missing_now binutils)" ]; then
  # The lane's probe is assembled by binutils.
  apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends binutils
fi
. "$(dirname "$0")/lane.sh"
need_i386=0
if [ "$ZORVET_LANE" = native ]; then
  PACKAGES+=($(sed 's/#.*//' "$(dirname "$0")/packages-windows.txt"))
  need_i386=1
else
  PACKAGES+=(qemu-system-x86 debootstrap e2fsprogs)
fi

need_update=0
if [ $need_i386 = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

# deb-src next to every deb entry of Debian's own deb822 sources file.
src=/etc/apt/sources.list.d/debian.sources
srcadd=/etc/apt/sources.list.d/zorvet-src.sources
if [ -f "$src" ] && [ ! -f "$srcadd" ]; then
  awk 'BEGIN{RS="";ORS="\n\n"} /Types:[^\n]*deb/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$src" > "$srcadd"
  need_update=1
elif [ ! -f "$src" ] && [ -f /etc/apt/sources.list ] && ! grep -q '^deb-src' /etc/apt/sources.list; then
  sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > /etc/apt/sources.list.d/zorvet-src.list
  need_update=1
fi

mapfile -t missing < <(missing_now "${PACKAGES[@]}")
stamp=/var/lib/apt/lists/zorvet-updated
if [ ${#missing[@]} -gt 0 ] || [ $need_update = 1 ]; then
  if [ $need_update = 1 ] || [ ! -f "$stamp" ]; then
    apt-get update -q
    touch "$stamp"
  fi
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# zh_CN.UTF-8 for LC_ALL (Wine's ANSI code page 936); generated once.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
