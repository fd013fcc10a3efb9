#!/bin/sh
# Writes TAP on stdout for result files written by plom-test run, for prove and
# other TAP readers:
#   sh results-to-tap.sh [--skip-77] t/a.result t/b.result ... > results.tap
#   prove --exec cat results.tap
# A test is named by its result file's path less ".result". One that
# plom-test check does not pass is "not ok", with the status it recorded;
# with --skip-77, one that exited with code 77 is "ok ... # SKIP" instead,
# for projects whose tests say so by that code. "--" ends the options.
set -u
command -v plom-test >/dev/null || { echo "results-to-tap.sh: plom-test is not on PATH" >&2; exit 2; }
skip77=false
while [ $# -gt 0 ]; do
  case $1 in --skip-77) skip77=true ;; --) shift; break ;; *) break ;; esac
  shift
done

# $1 on one line: control characters as "?".
line() { printf '%s' "$1" | LC_ALL=C tr '\001-\037\177' '[?*]'; }

# How a test ended, from the wait status it recorded (as it is, when it is
# not a number that a wait status can be).
ended() {
  case $1 in
    '' | *[!0-9]* | ???????????*) printf 'exit-status=%s\n' "$1" ;;
    *) if [ $(($1 % 256)) = 0 ]; then echo "exit code $(($1 / 256))"; else echo "killed by signal $(($1 % 128))"; fi ;;
  esac
}

printf '1..%d\n' $#
n=0
for r; do
  n=$((n + 1))
  # \ and # escaped: "# TODO" or "# SKIP" in a name would make it a directive.
  name=$(line "${r%.result}" | LC_ALL=C sed 's/[\\#]/\\&/g')
  if why=$(plom-test check "$r" 2>&1); then
    printf 'ok %d - %s\n' $n "$name"
  else
    [ "$why" = "Failed 1/1 tests" ] && why=$(ended "$(sed -n 's/^exit-status=//p' "$r")")
    if $skip77 && [ "$why" = "exit code 77" ]; then
      printf 'ok %d - %s # SKIP %s\n' $n "$name" "$why"
    else
      printf 'not ok %d - %s\n# %s\n' $n "$name" "$(line "$why")"
    fi
  fi
done
