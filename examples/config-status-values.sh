#!/bin/sh
# Prints the plom-template arguments that make one file as config.status makes
# it, one shell-quoted NAME=VALUE word a line (joined by backslashes, for
# eval). Run it in the top build directory, beside config.status, with what
# config.status would be given:
#   values=$(sh config-status-values.sh --file=lib/Makefile:lib/Makefile.in) &&
#     eval "set -- $values"
#   values=$(sh config-status-values.sh --header=config.h:config.h.in) && ...
# An input missing from the build directory is taken from the source
# directory; with no input, FILE.in is the input.
#
# config.status itself works the values out, in a scratch directory, for the
# directory FILE is in; nothing in the build directory changes. For --file:
# every @name@ of the inputs that config.status knows, the names it works out
# per directory (srcdir, top_builddir, INSTALL, configure_input and the rest)
# among them, and an AC_SUBST_FILE name as the name with its newline; a name
# that config.status leaves as it is is named on stderr. For --header: each
# #define and #undef line that config.status changes, as the whole line with
# its newline; a line that holds = cannot be a name, and fails the script.
set -eu

usage() {
  echo "usage: config-status-values.sh --file=FILE[:INPUT...] | --header=FILE[:INPUT...]" >&2
  exit 2
}
[ $# -eq 1 ] || usage
case $1 in
  --file=*) mode=file entry=${1#--file=} ;;
  --header=*) mode=header entry=${1#--header=} ;;
  *) usage ;;
esac
[ -x ./config.status ] || { echo "config-status-values.sh: no ./config.status here" >&2; exit 2; }
top=$(pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# config.status run in the scratch directory, quietly, on what it is given only.
status() {
  (cd "$scratch" && unset CONFIG_FILES CONFIG_HEADERS CONFIG_LINKS CONFIG_COMMANDS &&
    "$top/config.status" -q "$@")
}

printf '@srcdir@\n' >"$scratch/srcdir.in"
srcdir=$(status --file=-:"$scratch/srcdir.in")

file=${entry%%:*}
case $file in ''|-|/*) echo "config-status-values.sh: FILE must be a relative path: $file" >&2; exit 2 ;; esac
case $entry in *:*) inputs=${entry#*:} ;; *) inputs=$file.in ;; esac

# The inputs, found as config.status finds them; in the scratch directory the
# first becomes the probe under the same name (configure_input names it), the
# others empty files.
real=$scratch/inputs
: >"$real"
probe=
probe_spec=$file
rest=$inputs
while :; do
  input=${rest%%:*}
  path=$input
  [ -f "$path" ] || case $path in /*) ;; *) path=$srcdir/$input ;; esac
  [ -f "$path" ] || { echo "config-status-values.sh: cannot find input file: $input" >&2; exit 1; }
  cat "$path" >>"$real"
  case $input in /*) copy=$scratch/abs$input ;; *) copy=$scratch/$input ;; esac
  mkdir -p "$(dirname "$copy")"
  : >"$copy"
  [ -n "$probe" ] || probe=$copy
  probe_spec=$probe_spec:$copy
  case $rest in *:*) rest=${rest#*:} ;; *) break ;; esac
done

marker="plom-value-$$-probe"
# The probe: a marker line before each thing to ask about. Names are taken
# as config.status's substitution takes them, between any two @ of a line.
LC_ALL=C awk -v mode="$mode" -v m="$marker" '
  mode == "header" {
    if ($0 ~ /^[\t ]*#[\t ]*(define|undef)[\t ]+[_a-zA-Z][_a-zA-Z0-9]*([\t (]|$)/)
      print m " line\n" $0
    next
  }
  /datarootdir/ && !dataroot { dataroot = 1; print m " skip\ndatarootdir" }
  {
    n = split($0, field, "@")
    for (i = 2; i < n; i++)
      if (field[i] ~ /^[a-zA-Z_][a-zA-Z_0-9]*$/ && !(field[i] in seen)) {
        seen[field[i]] = 1
        print m " name " field[i] "\n@" field[i] "@"
      }
  }' "$real" >"$probe"
status --"$mode=$probe_spec"

# The AC_SUBST_FILE names and their files, which config.status reads from
# the top build directory.
sed -n 's/^F\["\([a-zA-Z_][a-zA-Z_0-9]*\)"\]="\(.*\)"$/\1 \2/p' config.status >"$scratch/files"

# What came out, marker by marker, as words for the shell; a file read as
# config.status reads it, each line with a newline.
LC_ALL=C awk -v m="$marker" '
  function word(text) {
    gsub(/\047/, "\047\"\047\"\047", text)
    printf "%s\047%s\047", words++ ? " \\\n" : "", text
  }
  function flush(text, line) {
    if (kind == "line" && got != asked[++lines] "\n") {
      if (index(asked[lines], "=")) {
        print "config-status-values.sh: a line that holds = cannot be a name: " asked[lines] > "/dev/stderr"
        failed = 1
      }
      word(asked[lines] "\n=" got)
    } else if (kind == "name" && name in file) {
      while ((getline line < file[name]) > 0)
        text = text line "\n"
      close(file[name])
      word("@" name "@\n=" text)
    } else if (kind == "name" && got != "@" name "@\n") {
      word("@" name "@=" substr(got, 1, length(got) - 1))
    } else if (kind == "name") {
      print "config-status-values.sh: config.status leaves @" name "@ as it is too" > "/dev/stderr"
    }
  }
  FILENAME == ARGV[1] { file[$1] = substr($0, length($1) + 2); next }
  FILENAME == ARGV[2] { if (after) asked[++n] = $0; after = $0 == m " line"; next }
  index($0, m " ") == 1 { flush(); kind = $2; name = $3; got = ""; next }
  kind != "" { got = got $0 "\n" }
  END { flush(); if (words) print ""; exit failed }' "$scratch/files" "$probe" "$scratch/$file"
