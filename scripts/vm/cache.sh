# Sourced by scripts/vm/image.sh and run.sh: the machine cache's folder, its
# lock, and the one way a tree of it is deleted.
#
# Making an image mounts file systems in its tree only inside namespaces that
# end with it, but a tree left by an older run may still hold the host's /dev.
# GNU rm descends into mounted file systems, so a tree that still holds one
# would take the host's devices with it: remove_tree unmounts everything below a tree,
# refuses to go on while anything is still mounted there, and deletes with
# --one-file-system besides.
#
# The lock ($ZORVET_VM_CACHE/lock, flock): a machine holds it shared for as long
# as it runs; making or deleting images takes it exclusively, so no image is
# deleted under a running machine and two runs never make one at the same time.
ZORVET_VM_CACHE=${ZORVET_VM_CACHE:-/var/cache/zorvet-vm}

# mounts_under DIR: the mount points at or below DIR (an absolute path without
# symbolic links), deepest first, one per NUL. The mount table escapes space,
# tab, newline and backslash as \040, \011, \012 and \134 (printf %b reads them).
mounts_under() {
  local dir=${1%/} m
  awk '{ print $5 }' /proc/self/mountinfo |
    while IFS= read -r m; do
      m=$(printf '%b.' "$m"); m=${m%.}
      case "$m" in "$dir"|"$dir"/*) printf '%s\0' "$m" ;; esac
    done | LC_ALL=C sort -z -r
}

# unmount_below DIR WHY: unmounts all that is mounted at or below DIR (an
# absolute path without symbolic links), deepest first. Fails while anything
# stays mounted there, naming it after WHY.
unmount_below() {
  local dir=$1 why=$2 m left
  mapfile -d '' left < <(mounts_under "$dir")
  for m in "${left[@]}"; do
    umount -- "$m" 2>/dev/null || umount -l -- "$m" 2>/dev/null || true
  done
  mapfile -d '' left < <(mounts_under "$dir")
  if [ ${#left[@]} -gt 0 ]; then
    echo "vm-cache: $why: still mounted below it:" >&2
    printf '  %s\n' "${left[@]}" >&2
    return 1
  fi
}

# remove_tree DIR: deletes DIR and everything below it, after unmounting all
# that is mounted there. Fails, deleting nothing, while something stays mounted.
remove_tree() {
  local dir=$1 real
  [ -e "$dir" ] || [ -L "$dir" ] || return 0
  if [ -L "$dir" ] || [ ! -d "$dir" ]; then rm -f -- "$dir"; return; fi
  real=$(cd "$dir" && pwd -P) || return 1
  unmount_below "$real" "not deleting $real" || return 1
  rm -rf --one-file-system -- "$real"
}

# cache_lock MODE: opens the cache's lock on file descriptor $cache_lock_fd
# (once) and takes it: -s shared, -x exclusive, -u releases it.
cache_lock_fd=
cache_lock() {
  if [ -z "$cache_lock_fd" ]; then
    mkdir -p "$ZORVET_VM_CACHE"
    exec {cache_lock_fd}>>"$ZORVET_VM_CACHE/lock"
  fi
  flock "$@" "$cache_lock_fd"
}
