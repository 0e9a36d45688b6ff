#!/usr/bin/env bash
# debian_sources (scripts/vm/apt-sources.sh): the Debian entries the machine's
# image installs from, read from a host's apt folder. Each case below is a
# small apt folder (files under "@ PATH") and either the entries expected
# ("= " lines, in order) or the failure expected ("! " a part of its message).
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/vm/apt-sources.sh
. "$HERE/../../scripts/vm/apt-sources.sh"

cases=$(cat <<'EOF'
# case: deb822, a main archive stanza and a security one, with comments
@ sources.list.d/debian.sources
Types: deb
# http://snapshot.debian.org/archive/debian/20250520T000000Z
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
= http://deb.debian.org/debian bookworm main
= http://deb.debian.org/debian bookworm-updates main
= http://deb.debian.org/debian-security bookworm-security main

# case: deb822, source stanzas and disabled ones left out, lower-case field names, two URIs
@ sources.list.d/debian.sources
Types: deb-src
URIs: http://src.example/debian
Suites: bookworm
Components: main

types: deb-src deb
uris: http://a.example/debian http://b.example/debian
suites: bookworm
components: main contrib

Types: deb
Enabled: no
URIs: http://off.example/debian
Suites: bookworm
Components: main
= http://a.example/debian bookworm main contrib
= http://b.example/debian bookworm main contrib

# case: deb822, a field over two lines, a key block inside Signed-By, the next stanza in a second file
@ sources.list.d/a.sources
Types: deb
URIs: http://mirror.example/debian
Suites: bookworm
 bookworm-updates
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 Suites: bookworm-backports
 -----END PGP PUBLIC KEY BLOCK-----
@ sources.list.d/b.sources
Types: deb
URIs: http://security.example/debian-security
Suites: bookworm-security
Components: main
= http://mirror.example/debian bookworm main
= http://mirror.example/debian bookworm-updates main
= http://security.example/debian-security bookworm-security main

# case: one-line entries with options, comments and source lines
@ sources.list
# deb http://commented.example/debian bookworm main
deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://m.example/debian bookworm main non-free-firmware
deb-src http://m.example/debian bookworm main
deb [ arch=amd64 ] http://m.example/debian bookworm-updates main   # point releases
   deb http://s.example/debian-security bookworm-security main
= http://m.example/debian bookworm main non-free-firmware
= http://m.example/debian bookworm-updates main
= http://s.example/debian-security bookworm-security main

# case: other vendors' repositories and other suites left out, in both forms
@ sources.list.d/debian.list
deb http://m.example/debian bookworm main
deb http://m.example/debian bookworm-backports main
deb http://m.example/debian trixie main
@ sources.list.d/cloud.list
deb https://vendor.example/apt cloud-sdk-bookworm main
@ sources.list.d/node.sources
Types: deb
URIs: https://vendor.example/node_20.x
Suites: nodistro
Components: main
@ sources.list.d/old.list.disabled
deb http://disabled.example/debian bookworm main
= http://m.example/debian bookworm main

# case: the same entry in both forms is listed once
@ sources.list
deb http://m.example/debian bookworm main
@ sources.list.d/debian.sources
Types: deb
URIs: http://m.example/debian
Suites: bookworm
Components: main
= http://m.example/debian bookworm main

# case: no apt sources at all
! no Debian bookworm entry

# case: only source entries and other vendors
@ sources.list.d/debian.sources
Types: deb-src
URIs: http://m.example/debian
Suites: bookworm
Components: main
@ sources.list.d/node.sources
Types: deb
URIs: https://vendor.example/node_20.x
Suites: nodistro
Components: main
! no Debian bookworm entry

# case: security updates only, nothing to start the machine from
@ sources.list
deb http://s.example/debian-security bookworm-security main
! no Debian bookworm entry
EOF
)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0 n=0
run_case() {
  local rc=0 out
  out=$(debian_sources "$dir" bookworm 2>"$work/err") || rc=$?
  if [ -n "$fail_with" ]; then
    if [ $rc = 0 ]; then
      echo "FAIL: $name: no failure; printed: $out" >&2; fails=$((fails + 1))
    elif ! grep -qF -- "$fail_with" "$work/err"; then
      echo "FAIL: $name: the message lacks '$fail_with': $(cat "$work/err")" >&2; fails=$((fails + 1))
    fi
  elif [ $rc != 0 ] || [ "$out" != "$expected" ]; then
    printf 'FAIL: %s (status %s)\n  expected:\n%s\n  got:\n%s\n  %s\n' "$name" "$rc" \
      "$expected" "$out" "$(cat "$work/err")" >&2
    fails=$((fails + 1))
  fi
}
name= dir= file= expected= fail_with=
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in
    "# case: "*)
      [ -z "$name" ] || run_case
      n=$((n + 1)); name=${line#\# case: }; dir=$work/$n; mkdir -p "$dir/sources.list.d"
      file= expected= fail_with= ;;
    "@ "*) file=$dir/${line#@ }; : > "$file" ;;
    "= "*) expected+=${expected:+$'\n'}${line#= } ;;
    "! "*) fail_with=${line#! } ;;
    "") [ -z "$file" ] || echo >> "$file" ;;
    *) echo "$line" >> "$file" ;;
  esac
done <<<"$cases"
run_case
[ $fails = 0 ] || { echo "$fails of $n cases failed" >&2; exit 1; }
echo "debian_sources: $n cases passed"
