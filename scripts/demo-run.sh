#!/usr/bin/env bash
# The demo proper (scripts/demo.sh calls it once the prefix is prepared and the
# persistent wineserver runs): starts the stand-in ZorvetDaemon under Wine's
# service manager, runs linkdemo.exe, which walks the link of Zorvet_Core once,
# and stops the service again.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
SERVICE=ZorvetDaemon

state() {
  wine sc query "$SERVICE" </dev/null 2>/dev/null | tr -d '\r' | awk '/STATE/ {print $3; exit}'
}
wait_state() {  # wait_state STATE SECONDS
  local i
  for ((i = 0; i < $2 * 5; i++)); do
    [ "$(state)" = "$1" ] && return 0
    sleep 0.2
  done
  return 1
}

if [ ! -f "$ZORVET_INSTALL_UNIX/linkdemo.exe" ] || [ ! -f "$ZORVET_INSTALL_UNIX/ZorvetDaemon.exe" ]; then
  echo "demo: linkdemo.exe or ZorvetDaemon.exe is missing in $ZORVET_INSTALL_UNIX" >&2
  exit 1
fi

echo "== starting $SERVICE under Wine's service manager"
wine sc start "$SERVICE" </dev/null >/dev/null 2>&1 || true
if ! wait_state 4 20; then
  echo "demo: $SERVICE did not reach SERVICE_RUNNING (state $(state))" >&2
  exit 1
fi
echo "$SERVICE is running (state 4)"

echo "== linkdemo.exe: Zorvet_Core against the service"
status=0
( cd "$ZORVET_INSTALL_UNIX" && wine linkdemo.exe </dev/null ) || status=$?

echo "== stopping $SERVICE"
wine sc stop "$SERVICE" </dev/null >/dev/null 2>&1 || true
if wait_state 1 20; then echo "$SERVICE stopped (state 1)"; else echo "demo: $SERVICE did not stop" >&2; status=1; fi
exit $status
