# Sourced by scripts/vm/image.sh: the machine installs its packages from the
# Debian archive this host uses itself.
#
# debian_sources APT_DIR SUITE prints the binary-package entries of APT_DIR
# (normally /etc/apt) for the Debian suites SUITE, SUITE-updates and
# SUITE-security, one line each: URI SUITE COMPONENT..., in the order found,
# from the deb822 files sources.list.d/*.sources and the one-line files
# sources.list and sources.list.d/*.list. Source entries, disabled stanzas and
# other suites (other vendors' repositories) are left out. Fails with a message
# when there is no entry for SUITE itself, which debootstrap starts from.
debian_sources() {
  local dir=$1 suite=$2 f out
  local deb822=() oneline=()
  for f in "$dir"/sources.list.d/*.sources; do [ -f "$f" ] && deb822+=("$f"); done
  for f in "$dir"/sources.list "$dir"/sources.list.d/*.list; do [ -f "$f" ] && oneline+=("$f"); done
  out=$(
    {
      [ ${#deb822[@]} = 0 ] || awk '
        function flush(   n, u, s, i, j, us, ss, t, isdeb) {
          isdeb = 0
          n = split(f["types"], t, /[ \t]+/)
          for (i = 1; i <= n; i++) if (t[i] == "deb") isdeb = 1
          if (isdeb && tolower(f["enabled"]) != "no") {
            n = split(f["uris"], us, /[ \t]+/)
            for (i = 1; i <= n; i++) {
              m = split(f["suites"], ss, /[ \t]+/)
              for (j = 1; j <= m; j++) if (us[i] != "" && ss[j] != "") print us[i], ss[j], f["components"]
            }
          }
          delete f; last = ""
        }
        FNR == 1 && NR > 1 { flush() }
        /^#/ { next }
        /^[ \t]*$/ { flush(); next }
        /^[ \t]/ { if (last != "") f[last] = f[last] " " $0; next }
        {
          i = index($0, ":"); if (i == 0) next
          last = tolower(substr($0, 1, i - 1))
          f[last] = substr($0, i + 1)
          gsub(/^[ \t]+|[ \t]+$/, "", f[last])
        }
        END { flush() }
      ' "${deb822[@]}"
      [ ${#oneline[@]} = 0 ] || awk '
        { sub(/#.*/, "") }
        $1 == "deb" {
          line = $0
          sub(/^[ \t]*deb[ \t]+/, "", line)
          if (line ~ /^\[/) sub(/^\[[^]]*\][ \t]*/, "", line)
          n = split(line, w, /[ \t]+/)
          if (n < 2) next
          comps = ""
          for (i = 3; i <= n; i++) comps = comps " " w[i]
          print w[1], w[2], comps
        }
      ' "${oneline[@]}"
    } | awk -v suite="$suite" '
      $2 == suite || $2 == suite "-updates" || $2 == suite "-security" {
        line = $1 " " $2; for (i = 3; i <= NF; i++) line = line " " $i
        if (!(line in seen)) { seen[line] = 1; print line }
      }'
  )
  if ! printf '%s\n' "$out" | awk -v suite="$suite" '$2 == suite { found = 1 } END { exit !found }'; then
    echo "vm-image: no Debian $suite entry (Types: deb, Suites: $suite) in the apt sources of $dir" \
         "(sources.list, sources.list.d/*.list, sources.list.d/*.sources)" >&2
    return 1
  fi
  printf '%s\n' "$out"
}
