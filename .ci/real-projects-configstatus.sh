#!/usr/bin/env bash
# Part of .ci/real-projects: makes every file of config_files and
# config_headers of an autoconf project with the config-status-file and
# config-status-header recipes as written, in the source directory (already
# configured) and out of it (a pristine copy, configured here), and compares
# each byte for byte with config.status's own. One line a file; exits 1 on
# any difference. RECIPES is the directory of recipes, SUMMARY the table.
#   real-projects-configstatus.sh NAME CONFIGURED-SOURCE PRISTINE-SOURCE
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
name=$1 intree=$2 pristine=$3
file_recipe=$(cat "$RECIPES/config-status-file")
header_recipe=$(cat "$RECIPES/config-status-header")

files=0 same=0 configured=true
# compare LAYOUT BUILD-DIR SRCDIR: every file config.status made.
compare() {
  local layout=$1 dir=$2 srcdir=$3 entry file input kind recipe got
  cp "$top/examples/config-status-values.sh" "$dir/"
  # config.status's lists of files, as FILE or FILE:INPUT.
  for kind in files headers; do
    for entry in $(sed -n "s/^config_$kind=\" *\(.*\)\"$/\1/p" "$dir/config.status"); do
      file=${entry%%:*}
      input=${entry#*:}
      [[ $entry == *:* ]] || input=$file.in
      cp "$dir/$file" "$dir/$file.config-status"
      recipe=$file_recipe
      [[ $kind == files ]] || recipe=$header_recipe
      files=$((files + 1))
      if ! got=$(cd "$dir" && file=$file input=$input srcdir=$srcdir sh -c "$recipe" 2>&1); then
        echo "$name: $layout $file: FAILED: $got"
      elif cmp -s "$dir/$file.config-status" "$dir/$file"; then
        echo "$name: $layout $file: identical to config.status's"
        same=$((same + 1))
      else
        echo "$name: $layout $file: DIFFERS: $(cmp "$dir/$file.config-status" "$dir/$file" 2>&1 | head -n 1)"
      fi
      rm "$dir/$file.config-status"
    done
  done
}

compare in-tree "$intree" .
mkdir "$pristine.build"
if (cd "$pristine.build" && "$pristine/configure") >"$pristine.build/configure.out" 2>&1; then
  compare vpath "$pristine.build" "$pristine"
else
  echo "$name: ./configure out of the source directory failed"
  configured=false
fi
printf '%s\tfiles against config.status'"'"'s\t%s\t%s\t\n' "$name" "$files" "$same" >>"$SUMMARY"
$configured && [[ $files -gt 0 && $same == "$files" ]]
