#!/usr/bin/env bash
# Prepares the Wine prefix: 32-bit, null graphics driver unless ZORVET_DISPLAY=1,
# the install key HKLM\Software\ZORVET\OVIK (default value = install directory,
# a 126-byte "cert"), the project's binaries in the install directory and the
# stand-in service registered as ZorvetDaemon.
#   wine-prefix.sh BUILD_DIR      create (if needed) and reset
set -euo pipefail
BUILD=${1:?build dir}
. "$(dirname "$0")/wine-env.sh"

# No server of an earlier run may linger: the flush at the end waits for its exit.
mkdir -p "$WINEPREFIX"
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  if [ -n "${ZORVET_PREFIX_SEED:-}" ] && [ -f "$ZORVET_PREFIX_SEED/system.reg" ]; then
    # A new prefix made once with this environment (the emulated lane's machine
    # keeps one; wineboot is its slowest step).
    cp -a "$ZORVET_PREFIX_SEED/." "$WINEPREFIX/"
  else
    wineboot -i </dev/null >/dev/null 2>&1
  fi
fi
# Background Wine programs inherit the first command's standard handles: start
# them from a command attached to /dev/null (see the project's Wine notes).
wine cmd /c exit </dev/null >/dev/null 2>&1

if [ "${ZORVET_DISPLAY:-0}" = 1 ]; then
  wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f </dev/null >/dev/null 2>&1 || true
else
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null
fi

mkdir -p "$ZORVET_INSTALL_UNIX"
# The installation: the deliverables and the stand-in service.
for f in Zorvet_Core.dll ovik_acc.exe updater.exe ZorvetDaemon.exe linkdemo.exe; do
  if [ -e "$BUILD/bin/$f" ]; then cp -f "$BUILD/bin/$f" "$ZORVET_INSTALL_UNIX/"; fi
done

bash "$(dirname "$0")/wine-reset.sh"
# Let the wineserver write the registry to disk: test beds copy the prefix's files.
wineserver -w
