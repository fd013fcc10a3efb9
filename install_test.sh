#!/bin/sh
# Installs the build into temporary prefixes (and under DESTDIR), runs the
# installed programs once, and uninstalls with the README's recipe.
# usage: install_test.sh BUILD-DIR SOURCE-DIR
set -eu
build=$1
source=$2
work=$(mktemp -d)
# The record of earlier installs from this build is set aside and put back.
record=$build/install_record.cmake
[ ! -e "$record" ] || mv "$record" "$work/record"
trap 'rm -f "$record"; [ ! -e "$work/record" ] || mv "$work/record" "$record"; rm -rf "$work"' EXIT

DESTDIR="$work/dest" cmake --install "$build" --prefix /usr >/dev/null
cmake --install "$build" --prefix "$work/prefix" >/dev/null
# A second install elsewhere: the uninstall removes both.
cmake --install "$build" --prefix "$work/other/prefix" >/dev/null
for root in "$work/prefix" "$work/dest/usr"; do
  for f in bin/plom-test bin/plom-template share/man/man1/plom-test.1.gz \
      share/man/man1/plom-template.1.gz share/doc/plom/copyright share/doc/plom/changelog.gz \
      share/doc/plom/examples/results-to-junit.sh share/doc/plom/examples/results-to-tap.sh; do
    [ -f "$root/$f" ] || { echo "not installed: $root/$f" >&2; exit 1; }
  done
done

cd "$work"
bin=$work/prefix/bin
"$bin/plom-test" run pass true
"$bin/plom-test" run fail sh -c 'exit 3'
[ "$(cat fail)" = "$(printf '[test-result]\nexit-status=768')" ]
verdict=$("$bin/plom-test" check pass fail 2>&1) && exit 1
[ "$verdict" = "Failed 1/2 tests" ]
printf 'Version %%V%%\n' > t
"$bin/plom-template" t o '%V%=1.2'
[ "$(cat o)" = "Version 1.2" ]

# The README's uninstall recipe removes what the install put in place, and
# the directories it made, the prefix itself among them; the DESTDIR install
# (staging, as cpack's) is not touched.
recipe=$(awk '/<!-- recipe: uninstall -->/ { found = 1; next }
  found && /^```/ { if (inside) exit; inside = 1; next }
  inside' "$source/README.md")
[ -n "$recipe" ] || { echo "no uninstall recipe in the README" >&2; exit 1; }
mkdir "$work/uninstall" && ln -s "$(cd "$build" && pwd)" "$work/uninstall/build"
# The recipe's sudo, where there is one, asks for no password here.
mkdir "$work/bin" && printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo" && chmod +x "$work/bin/sudo"
(cd "$work/uninstall" && PATH="$work/bin:$PATH" sh -c "$recipe" >/dev/null)
for left in "$work/prefix" "$work/other"; do
  [ ! -e "$left" ] || { echo "left after uninstalling: $(find "$left")" >&2; exit 1; }
done
[ -f "$work/dest/usr/bin/plom-test" ] || { echo "the uninstall removed a DESTDIR install" >&2; exit 1; }

# The man pages render without a warning.
if command -v man >/dev/null; then
  for page in "$source/test-tool/plom-test.1" "$source/template-tool/plom-template.1"; do
    warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$page: $warnings" >&2; exit 1; }
  done
fi
echo "installed and ran both programs"
