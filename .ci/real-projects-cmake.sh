#!/usr/bin/env bash
# Part of .ci/real-projects: ports a CMake project's configure_file calls to
# the cmake-generate recipe's plom_expand as the configure-file guide says,
# configures and builds the original and the port with each set of options,
# and compares each file the port generates with CMake's own. One line a
# file; exits 1 on any difference. RECIPES is the directory of recipes,
# SUMMARY the table. A VARIANT is LABEL or LABEL:CMAKE-OPTIONS.
#   real-projects-cmake.sh NAME SOURCE VARIANT...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
name=$1 orig=$2
shift 2
port=$orig.port
cp -a "$orig" "$port"
calls=$(python3 "$here/real-projects-cmake.py" "$port" "$RECIPES/cmake-generate")
echo "$name: $calls configure_file calls ported to plom_expand"

# As Debian's dh builds it.
debian=(-DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=None
  "-DCMAKE_INSTALL_LIBDIR=lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)")
files=0 same=0 v=0
for variant in "$@"; do
  label=${variant%%:*} v=$((v + 1))
  read -ra extra <<<"${variant#"$label"}"
  extra=("${extra[@]#:}")
  for tree in orig port; do
    src=$orig
    [[ $tree == port ]] && src=$port
    out=$orig.build-$tree-$v
    if ! cmake -S "$src" -B "$out" "${debian[@]}" "${extra[@]}" >"$out.log" 2>&1; then
      grep -A4 'CMake Error' "$out.log" | head -n 10
      echo "$name ($label): cmake failed for the $tree"
      exit 1
    fi
    # The port's generated files first: the targets that compile do not
    # depend on them here.
    if [[ $tree == port ]]; then
      mapfile -t generated < <(grep -o 'plom-generated-[0-9]*' "$out/CMakeFiles/TargetDirectories.txt")
      cmake --build "$out" -j"$(nproc)" --target "${generated[@]}" >>"$out.log" 2>&1 || true
    fi
    if ! cmake --build "$out" -j"$(nproc)" >>"$out.log" 2>&1; then
      tail -n 20 "$out.log"
      echo "$name ($label): the build of the $tree failed"
      exit 1
    fi
  done
  # Each output of plom_expand, found by the command it keeps beside it.
  while read -r command; do
    file=${command#"$out/"}
    file=${file%.sh.in}
    files=$((files + 1))
    if [[ ! -e $out/$file ]]; then
      echo "$name ($label): $file: NOT MADE by the port"
    elif cmp -s "$orig.build-orig-$v/$file" "$out/$file"; then
      echo "$name ($label): $file: identical to CMake's"
      same=$((same + 1))
    else
      echo "$name ($label): $file: DIFFERS from CMake's:"
      diff "$orig.build-orig-$v/$file" "$out/$file" | head -n 10 || true
    fi
  done < <(grep -rlx --include='*.sh.in' "exec plom-template .*" "$out" | sort)
done
printf '%s\t%s\t%s\t%s\t\n' "$name" "generated files against CMake's" "$files" "$same" >>"$SUMMARY"
[[ $files -gt 0 && $same == "$files" ]]
