#!/usr/bin/env bash
# Cross-builds the third-party libraries from Debian's source packages for
# i686-w64-mingw32 into a cache outside the checkout, keyed by the versions.
# Prints the install prefix on its last line.
#   OpenSSL: libcrypto only, static (the mingw target)
#   TinyXML: the four sources with Debian's patches, as a static library
#   minizip: unzip.c + ioapi.c from the zlib source, against libz-mingw-w64-dev
#   GoogleTest: the sources Debian's googletest package installs
set -euo pipefail

HOST=i686-w64-mingw32
CC=$HOST-gcc-posix
CXX=$HOST-g++-posix
AR=$HOST-ar
CACHE=${ZORVET_DEPS_CACHE:-/var/cache/zorvet-deps}
ROOT=$(cd "$(dirname "$0")/.." && pwd)

# Newest source version that the mirror really serves (a suite may list one it lacks).
SRCDIR=${CACHE}/sources
mkdir -p "$SRCDIR"
fetch_source() { # package -> prints the version whose files are now in $SRCDIR
  local pkg=$1 v
  for v in $(apt-cache showsrc "$pkg" 2>/dev/null | awk '/^Version:/{print $2}' | sort -Vru); do
    local dsc="${pkg}_${v#*:}.dsc"
    if [ -f "$SRCDIR/$dsc" ] || (cd "$SRCDIR" && apt-get source -q --download-only "$pkg=$v" >/dev/null 2>&1); then
      echo "$v"; return 0
    fi
  done
  return 1
}
OPENSSL_V=$(fetch_source openssl || true)
TINYXML_V=$(fetch_source tinyxml || true)
ZLIB_V=$(fetch_source zlib || true)
GTEST_V=$(dpkg-query -W -f='${Version}' googletest)
GCC_V=$($CXX -dumpversion)
[ -n "$OPENSSL_V" ] && [ -n "$TINYXML_V" ] && [ -n "$ZLIB_V" ] || {
  echo "build-deps: source packages not found (deb-src entries missing? run scripts/install-packages.sh)" >&2; exit 1; }
SCRIPT_SUM=$(sha1sum "$0" | cut -c1-8)
KEY="openssl-$OPENSSL_V+tinyxml-$TINYXML_V+zlib-$ZLIB_V+gtest-$GTEST_V+gcc-$GCC_V+$SCRIPT_SUM"
KEY=$(echo "$KEY" | tr ':~' '__')
PREFIX=$CACHE/$KEY
if [ -f "$PREFIX/.done" ]; then echo "$PREFIX"; exit 0; fi

echo "build-deps: building $KEY" >&2
WORK=$(mktemp -d /tmp/zorvet-deps.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
rm -rf "$PREFIX"; mkdir -p "$PREFIX/include" "$PREFIX/lib"
cd "$WORK"
for pv in "openssl=$OPENSSL_V" "tinyxml=$TINYXML_V" "zlib=$ZLIB_V"; do
  p=${pv%%=*}; v=${pv#*=}
  dpkg-source -q -x "$SRCDIR/${p}_${v#*:}.dsc" >/dev/null 2>&1   # unpacks with Debian's patches applied
done

( # OpenSSL: static libcrypto
  cd "$WORK"/openssl-*/
  ./Configure mingw --cross-compile-prefix=$HOST- no-shared no-asm no-tests \
      --prefix="$PREFIX/openssl" --libdir=lib CC=gcc-posix CXX=g++-posix >/dev/null
  make -j"$(nproc)" build_libs >/dev/null 2>&1 || make build_libs
  make install_dev >/dev/null
) >&2

( # TinyXML with Debian's patches (applied by apt-get source), STL mode as Debian builds it
  cd "$WORK"/tinyxml-*/
  mkdir -p "$PREFIX/tinyxml/include" "$PREFIX/tinyxml/lib"
  for f in tinyxml tinyxmlerror tinyxmlparser tinystr; do
    $CXX -O2 -DTIXML_USE_STL -c $f.cpp -o $f.o
  done
  $AR rcs "$PREFIX/tinyxml/lib/libtinyxml.a" tinyxml.o tinyxmlerror.o tinyxmlparser.o tinystr.o
  cp tinyxml.h tinystr.h "$PREFIX/tinyxml/include/"
) >&2

( # minizip unzip part, against the mingw zlib
  cd "$WORK"/zlib-*/contrib/minizip
  mkdir -p "$PREFIX/minizip/include/minizip" "$PREFIX/minizip/lib"
  for f in unzip ioapi; do
    $CC -O2 -c $f.c -o $f.o
  done
  $AR rcs "$PREFIX/minizip/lib/libminizip.a" unzip.o ioapi.o
  cp unzip.h ioapi.h "$PREFIX/minizip/include/minizip/"
) >&2

( # GoogleTest from /usr/src/googletest
  cmake -S /usr/src/googletest -B "$WORK/gtest" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$PREFIX/gtest" -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$WORK/gtest" >/dev/null
  cmake --install "$WORK/gtest" >/dev/null
) >&2

echo "$KEY" > "$PREFIX/.done"
echo "$PREFIX"
