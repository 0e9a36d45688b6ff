#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (idempotent, as root).
# Adds the i386 architecture for wine32 and deb-src entries for the source packages
# that scripts/build-deps.sh cross-builds.
set -euo pipefail

PACKAGES=(
  cmake ninja-build make dpkg-dev python3 file
  mingw-w64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  libz-mingw-w64-dev googletest
  wine wine32:i386 wine64
  xvfb xauth x11-utils imagemagick
  clang libclang-rt-14-dev
  locales fonts-wqy-microhei iproute2 util-linux python3-pil zip unzip
)

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
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

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
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
