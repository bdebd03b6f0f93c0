#!/usr/bin/env bash
# Installs the build into a temporary staging directory (DESTDIR and a
# prefix) and checks what lands there: every program in bin/, its manual page
# in share/man/man1/ naming it and rendering without warnings, nothing else;
# then runs an installed program on the bundled example file.
#   check_install.sh <build dir> <source dir> <program>...
set -euo pipefail
build=$1 src=$2
shift 2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$stage" cmake --install "$build" --prefix /opt/tundrel >/dev/null
root="$stage/opt/tundrel"

expected=$(for p in "$@"; do echo "bin/$p"; echo "share/man/man1/$p.1"; done | sort)
actual=$(cd "$root" && find . -type f | sed 's|^\./||' | sort)
[ "$expected" = "$actual" ] || fail "installed files differ:
$(diff <(echo "$expected") <(echo "$actual"))"

for p in "$@"; do
  [ -x "$root/bin/$p" ] || fail "$p is not executable"
  page="$root/share/man/man1/$p.1"
  grep -q "^\.TH $(echo "$p" | tr a-z A-Z) 1" "$page" || fail "$p.1 has no .TH line for $p"
  grep -q "^$p \\\\- " "$page" || fail "$p.1 does not name $p in its NAME section"
  if command -v mandoc >/dev/null; then
    out=$(mandoc -T lint -W warning "$page" 2>&1 | grep -v 'mandoc: outdated mandoc.db' || true)
    [ -z "$out" ] || fail "mandoc warns on $p.1: $out"
  fi
  if command -v groff >/dev/null; then
    out=$(groff -man -ww -z "$page" 2>&1 || true)
    [ -z "$out" ] || fail "groff warns on $p.1: $out"
  fi
done

# An installed program works on its own, away from the build tree.
cp "$src/examples/example.vgm" "$stage/song.vgm"
out=$(cd "$stage" && "$root/bin/quorvel" song.vgm)
expected_out=$(printf 'quorvel\n-------\n\nFile Name:\tsong.vgm\n\nSN76496 #0: 68 Commands, 16 Notes\nYM2612 #0: 85 Commands, 16 Notes')
[ "$out" = "$expected_out" ] || fail "installed quorvel printed:
$out"
echo "installed $# programs and pages; quorvel runs from the prefix"
