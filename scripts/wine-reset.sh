#!/usr/bin/env bash
# Puts the prefix's installation state back to its start: install key with its
# default value and a fresh "cert", the stand-in service registered and stopped.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
KEY='HKLM\Software\ZORVET\OVIK'
# cert: version 1.7.3.0139 in bytes 0-3 (little-endian 0x1073008B), the rest zero.
CERT=8b007310$(printf '0%.0s' $(seq 1 244))
wine reg delete "$KEY" /f </dev/null >/dev/null 2>&1 || true
wine reg add "$KEY" /ve /d "$ZORVET_INSTALL_WIN" /f </dev/null >/dev/null
wine reg add "$KEY" /v cert /t REG_BINARY /d "$CERT" /f </dev/null >/dev/null
if [ -f "$ZORVET_INSTALL_UNIX/ZorvetDaemon.exe" ]; then
  wine sc stop ZorvetDaemon </dev/null >/dev/null 2>&1 || true
  wine sc delete ZorvetDaemon </dev/null >/dev/null 2>&1 || true
  wine sc create ZorvetDaemon binPath= "$ZORVET_INSTALL_WIN\\ZorvetDaemon.exe" </dev/null >/dev/null
fi
