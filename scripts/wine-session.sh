# Sourced by the scripts that run Windows programs: prepares the prefix for the
# build directory given ($1, the Windows build) and keeps one wineserver for
# the rest of the calling script. Usage: . scripts/wine-session.sh BUILD/win
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
# Prepare (and flush to disk) the prefix first: test beds copy it.
bash "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh" "$1"
# Then one wineserver for the whole run (services live as long as it does).
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
# Wine's background programs inherit the first command's handles: /dev/null.
wine cmd /c exit </dev/null >/dev/null 2>&1
# cmd starts no service manager; the first program that needs one (any COM call)
# would start services.exe with its own handles, and all services with them.
wine sc query RpcSs </dev/null >/dev/null 2>&1 || true
# Integration tests copy this prepared prefix into one of their own.
export ZORVET_PREFIX_TEMPLATE=$WINEPREFIX
