#!/usr/bin/env bash
# Ports gzip's and sed's config.status outputs with the README's recipes as
# written: fetches their Debian sources, runs ./configure in the source
# directory and out of it, makes every file of config_files and
# config_headers with the recipes and compares it byte for byte with
# config.status's own. One line per file; exits 1 on any difference.
# usage: real-projects-configstatus.sh [BUILD-DIR]   (as root; default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
export PATH=$build/template-tool:$PATH
command -v plom-template >/dev/null || { echo "no plom-template in $build/template-tool" >&2; exit 1; }

recipe() {
  awk -v marker="<!-- recipe: $1 -->" '$0 == marker { found = 1; next }
    found && /^```/ { if (inside) exit; inside = 1; next }
    inside' "$top/README.md" "$top"/docs/*.md
}
file_recipe=$(recipe config-status-file)
header_recipe=$(recipe config-status-header)
[[ -n $file_recipe && -n $header_recipe ]] || { echo "no config-status recipes in the README" >&2; exit 1; }

work=$(mktemp -d)
list=/etc/apt/sources.list.d/plom-real-projects-src.sources
cleanup() {
  rm -rf "$work"
  if [[ -e $list ]]; then
    rm -f "$list"
    apt-get -o DPkg::Lock::Timeout=300 update -qq >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT

skip() { echo "skipped: $*"; exit 0; }
[[ $(id -u) == 0 ]] || skip "fetching the sources needs root"
export DEBIAN_FRONTEND=noninteractive
# dpkg-dev unpacks the sources; ./configure needs a C compiler and make.
missing=()
for tool in dpkg-source:dpkg-dev gcc:gcc make:make xz:xz-utils; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' >"$list"
apt-get -o DPkg::Lock::Timeout=300 update -qq >/dev/null 2>&1 || skip "apt-get update failed with the deb-src entry"
if [[ ${#missing[@]} -gt 0 ]]; then
  apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
(cd "$work" && apt-get source -qq gzip sed >/dev/null 2>&1) || skip "apt-get source gzip sed failed"
rm -f "$list"
apt-get -o DPkg::Lock::Timeout=300 update -qq >/dev/null 2>&1 || true

differences=0
# compare PACKAGE LAYOUT BUILD-DIR SRCDIR: every file config.status made.
compare() {
  local package=$1 layout=$2 dir=$3 srcdir=$4 spec file input kind recipe got
  cp "$top/examples/config-status-values.sh" "$dir/"
  # config.status's lists of files, as FILE or FILE:INPUT.
  for kind in files headers; do
    for spec in $(sed -n "s/^config_$kind=\" *\(.*\)\"$/\1/p" "$dir/config.status"); do
      file=${spec%%:*}
      input=${spec#*:}
      [[ $spec == *:* ]] || input=$file.in
      cp "$dir/$file" "$work/expected"
      recipe=$file_recipe
      [[ $kind == files ]] || recipe=$header_recipe
      if ! got=$(cd "$dir" && file=$file input=$input srcdir=$srcdir sh -c "$recipe" 2>&1); then
        echo "FAILED   $package $layout $file: $got"
        differences=$((differences + 1))
      elif cmp -s "$work/expected" "$dir/$file"; then
        echo "identical $package $layout $file"
      else
        echo "DIFFERS  $package $layout $file: $(cmp "$work/expected" "$dir/$file" 2>&1 | head -1)"
        differences=$((differences + 1))
      fi
    done
  done
}

for package in gzip sed; do
  sources=("$work/$package"-[0-9]*/)
  [[ -d ${sources[0]} ]] || skip "no unpacked $package source"
  source=${sources[0]%/}
  cp -a "$source" "$work/$package-in"
  (cd "$work/$package-in" && ./configure >configure.out 2>&1) ||
    { echo "FAILED   $package: ./configure in the source directory"; exit 1; }
  compare "$package" in-tree "$work/$package-in" .
  cp -a "$source" "$work/$package-src"
  mkdir "$work/$package-build"
  (cd "$work/$package-build" && "../$package-src/configure" >configure.out 2>&1) ||
    { echo "FAILED   $package: ./configure out of the source directory"; exit 1; }
  compare "$package" vpath "$work/$package-build" "../$package-src"
done
[[ $differences == 0 ]] || { echo "$differences files differ from config.status's" >&2; exit 1; }
echo "every file identical to config.status's"
