#!/bin/sh
# Installs the build with the README's install line, makes the Debian package
# with cpack and installs it with dpkg, then runs the README's uninstall line:
# the package's files are intact, and the prefix is as it was before the
# install, down to the directories. Needs root (skipped with status 77
# otherwise) and puts the system back as it found it.
# usage: package_install_test.sh BUILD-DIR SOURCE-DIR CPACK
set -eu
build=$(cd "$1" && pwd)
source=$2
cpack=$3
skip() { echo "skipped: $*"; exit 77; }
fail() { echo "$*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || skip "installing a package needs root"
command -v dpkg >/dev/null || skip "dpkg is not installed"
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
[ "$prefix" != /usr ] || skip "the build installs into /usr, where the package goes"
# One at a time on this machine, whichever build runs it.
exec 9>/tmp/plom-package-install-test.lock
flock 9
! dpkg -s plom >/dev/null 2>&1 || skip "the plom package is installed here"

recipe() {
  awk -v marker="<!-- recipe: $1 -->" '$0 == marker { found = 1; next }
    found && /^```/ { if (inside) exit; inside = 1; next }
    inside' "$source/README.md"
}
install_line=$(recipe install)
uninstall_line=$(recipe uninstall)
[ -n "$install_line" ] && [ -n "$uninstall_line" ] || fail "no install or uninstall recipe in the README"

work=$(mktemp -d)
# What the install puts in place, staged first; none of it may be there yet.
DESTDIR="$work/stage" cmake --install "$build" >/dev/null
files=$(cd "$work/stage$prefix" && find . ! -type d | sed 's|^\.||')
for f in $files; do
  [ ! -e "$prefix$f" ] || { rm -rf "$work"; skip "$prefix$f is there already"; }
done
find "$prefix" | sort >"$work/before"
# The record of earlier installs from this build is set aside and put back.
record=$build/install_record.cmake
[ ! -e "$record" ] || mv "$record" "$work/record"
restore() {
  dpkg --purge plom >/dev/null 2>&1 || true
  for f in $files; do rm -f "$prefix$f"; done
  find "$prefix" | sort | comm -13 "$work/before" - | sort -r |
    while IFS= read -r p; do [ ! -d "$p" ] || rmdir "$p" 2>/dev/null || true; done
  rm -f "$record"
  [ ! -e "$work/record" ] || mv "$work/record" "$record"
  rm -rf "$work"
}
trap restore EXIT
trap 'exit 1' HUP INT TERM

mkdir "$work/project" && ln -s "$build" "$work/project/build"
cd "$work/project"
sh -c "$install_line" >"$work/log" 2>&1 || { cat "$work/log"; fail "the install line failed"; }
for f in $files; do [ -f "$prefix$f" ] || fail "not installed: $prefix$f"; done

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/log" 2>&1 ||
  { cat "$work/log"; fail "cpack failed"; }
# What a manifest-based uninstall would have removed: the package's files.
grep -qx /usr/bin/plom-test "$build/install_manifest.txt" || fail "cpack did not rewrite install_manifest.txt"
dpkg -i "$work"/package/plom_*.deb >"$work/log" 2>&1 || { cat "$work/log"; fail "dpkg -i failed"; }

sh -c "$uninstall_line" >"$work/log" 2>&1 || { cat "$work/log"; fail "the uninstall line failed"; }
damage=$(dpkg --verify plom 2>&1) && [ -z "$damage" ] || fail "the package's files changed: $damage"
find "$prefix" | sort >"$work/after"
diff "$work/before" "$work/after" >&2 || fail "the uninstall left $prefix otherwise than it found it"
echo "installed, packaged, installed the package, uninstalled: $(echo $files | wc -w) files gone, the package intact"
