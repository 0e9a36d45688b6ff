# Sourced by the other scripts: the environment every Wine run of the project uses.
# ZORVET_PREFIX picks the prefix (default: one per checkout under the cache).
: "${ZORVET_CACHE:=/var/cache/zorvet-deps}"
_zorvet_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
: "${ZORVET_PREFIX:=$ZORVET_CACHE/prefix-$(echo "$_zorvet_root" | sha1sum | cut -c1-8)}"
export WINEARCH=win32
export WINEPREFIX=$ZORVET_PREFIX
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export LC_ALL=zh_CN.UTF-8
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy
# Install directory inside the prefix (the default value of the install key).
export ZORVET_INSTALL_WIN='C:\Program Files\ZORVET\OVIK'
export ZORVET_INSTALL_UNIX="$WINEPREFIX/drive_c/Program Files/ZORVET/OVIK"
