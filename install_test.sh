#!/bin/sh
# Installs the build into a temporary prefix (and under DESTDIR), then runs the
# installed programs once. usage: install_test.sh BUILD-DIR SOURCE-DIR
set -eu
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

DESTDIR="$work/dest" cmake --install "$build" --prefix /usr >/dev/null
# Last, so that build/install_manifest.txt lists this one for the uninstall.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
for root in "$work/prefix" "$work/dest/usr"; do
  for f in bin/plom-test bin/plom-template share/man/man1/plom-test.1.gz \
      share/man/man1/plom-template.1.gz share/doc/plom/copyright share/doc/plom/changelog.gz; do
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

# The README's uninstall recipe removes what the last install put in place.
recipe=$(awk '/<!-- recipe: uninstall -->/ { found = 1; next }
  found && /^```/ { if (inside) exit; inside = 1; next }
  inside' "$source/README.md")
[ -n "$recipe" ] || { echo "no uninstall recipe in the README" >&2; exit 1; }
mkdir "$work/uninstall" && ln -s "$(cd "$build" && pwd)" "$work/uninstall/build"
(cd "$work/uninstall" && sh -c "$recipe")
left=$(find "$work/prefix" -type f | head -n 1)
[ -z "$left" ] || { echo "left after uninstalling: $left" >&2; exit 1; }

# The man pages render without a warning.
if command -v man >/dev/null; then
  for page in "$source/test-tool/plom-test.1" "$source/template-tool/plom-template.1"; do
    warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$page: $warnings" >&2; exit 1; }
  done
fi
echo "installed and ran both programs"
