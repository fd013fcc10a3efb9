#!/usr/bin/env bash
# Makes the Debian package with cpack as the machine is, where it must depend
# on libc6 and libglib2.0-0, and with dpkg-shlibdeps hidden (a file that is
# not executable mounted over it, in a mount namespace of its own), where
# cpack must fail and leave no package. Skipped (77) where no mount
# namespace can be made.
# usage: package_deps_test.sh BUILD-DIR CPACK
set -euo pipefail
build=$(cd "$1" && pwd)
cpack=$2
skip() { echo "skipped: $*"; exit 77; }
fail() { echo "$*" >&2; exit 1; }
[[ $(id -u) == 0 ]] && private=(unshare -m) || private=(unshare -rm)
"${private[@]}" true 2>/dev/null || skip "no mount namespace can be made here (unshare)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
package() { "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/$1" >"$work/$1.log" 2>&1; }

depends=
if shlibdeps=$(command -v dpkg-shlibdeps); then
  package found || { cat "$work/found.log"; fail "cpack failed with dpkg-shlibdeps there"; }
  depends=$(dpkg-deb --field "$work"/found/plom_*.deb Depends)
  [[ $depends =~ (^|, )libc6\  && $depends =~ (^|, )libglib2\.0-0 ]] ||
    fail "Depends is \"$depends\", without libc6 and libglib2.0-0"
  : >"$work/not-a-program"
  export -f package
  export cpack build work
  if "${private[@]}" bash -c 'mount --bind "$1" "$2" && package hidden' sh \
      "$work/not-a-program" "$shlibdeps"; then
    fail "cpack succeeded with dpkg-shlibdeps hidden"
  fi
else
  ! package hidden || fail "cpack succeeded without dpkg-shlibdeps"
fi
grep -q 'dpkg-shlibdeps is not found' "$work/hidden.log" || { cat "$work/hidden.log"; fail "not hidden"; }
grep -q 'could not be computed' "$work/hidden.log" || { cat "$work/hidden.log"; fail "no reason given"; }
[[ -z $(find "$work/hidden" -name '*.deb') ]] || fail "a package was left without dependencies"
echo "without dpkg-shlibdeps cpack fails and leaves no package${depends:+; with it, Depends: $depends}"
