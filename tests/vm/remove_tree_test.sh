#!/usr/bin/env bash
# remove_tree (scripts/vm/cache.sh) against trees that still hold mounts, the
# way a killed or overlapping image run leaves them. Each tree holds bind
# mounts of a scratch folder of the same file system (so rm's own
# --one-file-system would not stop a descent into them); afterwards every
# file of the scratch folder must still be there. Runs as root in a private
# mount namespace of its own, so no mount is ever seen outside it.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
CACHE_SH=$HERE/../../scripts/vm/cache.sh

if [ "${REMOVE_TREE_TEST_NS:-}" != 1 ]; then
  [ "$(id -u)" = 0 ] || { echo "FAIL: needs root (mounts in a private namespace)" >&2; exit 1; }
  unshare -m --propagation private true ||
    { echo "FAIL: cannot make a private mount namespace (unshare -m)" >&2; exit 1; }
  REMOVE_TREE_TEST_NS=1 exec unshare -m --propagation private bash "$0" "$@"
fi
# shellcheck source=../../scripts/vm/cache.sh
. "$CACHE_SH"

base=$(cd "$(mktemp -d)" && pwd -P)
cleanup() {
  local m
  mounts_under "$base" | while IFS= read -r -d '' m; do umount -l "$m"; done
  rm -rf --one-file-system "$base"
}
trap cleanup EXIT
fails=0
fail() { echo "FAIL: $case_name: $*" >&2; fails=$((fails + 1)); }

# The folder whose files must survive: some files, subfolders (one a mount
# point, as the host's /dev/pts is), a hidden file.
make_victim() {
  mkdir -p "$1/sub" "$1/pts"
  echo data > "$1/a"; echo more > "$1/sub/b"; : > "$1/.hidden"
}
listing() { (cd "$1" && find . | LC_ALL=C sort && cat a sub/b); }
mounted() { [ -n "$(mounts_under "$1" | tr -d '\0')" ]; }

# Cases: a name, the tree's path below the scratch folder, and the mounts to
# make in it (TARGET<tab>SOURCE, "tree" being the tree itself, "victim" the
# scratch folder).
cases=$(cat <<'EOF'
host devices	cache/.making-k1/tree	tree/dev victim|tree/dev/pts victim2|tree/proc victim2
stacked twice	cache/bookworm-k2/tree	tree/dev victim|tree/dev victim
escaped names	cache/a b\tc\\d/tree	tree/dev victim|tree/de v victim2
tree is a mount	cache/k3	tree victim
EOF
)
while IFS=$'\t' read -r case_name tree_rel mounts; do
  dir=$base/$(printf "$tree_rel" | sed 's|/tree$||')
  tree=$base/$(printf "$tree_rel")
  victim=$base/victim-$RANDOM; victim2=$victim-2
  make_victim "$victim"; make_victim "$victim2"
  before=$(listing "$victim"); before2=$(listing "$victim2")
  mkdir -p "$tree"; echo x > "$tree/own-file"
  IFS='|' read -ra pairs <<<"$mounts"
  for pair in "${pairs[@]}"; do
    target=${pair% *}; source=${pair##* }
    target=${target/#tree/$tree}; source=${source/#victim2/$victim2}; source=${source/#victim/$victim}
    mkdir -p "$target"; mount --bind "$source" "$target"
  done
  sibling=$dir-sibling; mkdir -p "$sibling"; mount --bind "$victim2" "$sibling"

  if ! out=$(remove_tree "$dir" 2>&1); then fail "remove_tree failed: $out"; fi
  [ ! -e "$dir" ] || fail "the tree is still there"
  ! mounted "$dir" || fail "still mounted below the tree"
  [ "$(listing "$victim")" = "$before" ] || fail "files of the mounted folder were deleted"
  [ "$(listing "$victim2")" = "$before2" ] || fail "files of the second mounted folder were deleted"
  mounted "$sibling" || fail "the mount of a sibling folder (same name prefix) was undone"
  umount "$sibling"
done <<<"$cases"

# A mount that cannot be undone: remove_tree refuses, fails and deletes nothing.
case_name="umount fails"
tree=$base/cache/.making-k4/tree
victim=$base/victim-refuse
make_victim "$victim"; before=$(listing "$victim")
mkdir -p "$tree/dev"; echo x > "$tree/own-file"
mount --bind "$victim" "$tree/dev"
stubs=$base/stubs; mkdir -p "$stubs"
printf '#!/bin/sh\necho "umount: target is busy" >&2\nexit 32\n' > "$stubs/umount"; chmod +x "$stubs/umount"
rc=0; out=$(PATH=$stubs:$PATH remove_tree "$base/cache/.making-k4" 2>&1) || rc=$?
[ $rc != 0 ] || fail "remove_tree succeeded"
case "$out" in *"not deleting $base/cache/.making-k4"*"$tree/dev"*) ;; *) fail "no message naming the mount: $out" ;; esac
[ -f "$tree/own-file" ] || fail "files of the tree were deleted"
[ "$(listing "$victim")" = "$before" ] || fail "files of the mounted folder were deleted"
mounted "$tree/dev" || fail "the mount is gone (the stub was not used?)"
umount "$tree/dev"

case_name="no tree"
remove_tree "$base/never-made" || fail "a missing tree is an error"

[ $fails = 0 ] || exit 1
echo "remove_tree: all cases passed"
