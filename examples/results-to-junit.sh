#!/bin/sh
# Writes JUnit XML on stdout for result files written by plom-test run, for the
# CI dashboards that show each failing test:
#   sh results-to-junit.sh [--skip-77] t/a.result t/b.result ... > junit.xml
# A test is named by its result file's path less ".result". One that
# plom-test check does not pass is a failure, with the status it recorded;
# with --skip-77, one that exited with code 77 is skipped instead, for
# projects whose tests say so by that code. "--" ends the options.
set -u
command -v plom-test >/dev/null || { echo "results-to-junit.sh: plom-test is not on PATH" >&2; exit 2; }
skip77=false
while [ $# -gt 0 ]; do
  case $1 in --skip-77) skip77=true ;; --) shift; break ;; *) break ;; esac
  shift
done

# $1 as XML text: & < > " as entities; control characters and bytes that are
# not UTF-8, which XML cannot hold, as "?".
xml() {
  text=$1 LC_ALL=C awk 'BEGIN {
    for (i = 1; i < 256; i++) code[sprintf("%c", i)] = i
    s = ENVIRON["text"]; n = length(s)
    for (i = 1; i <= n; i++) {
      c = substr(s, i, 1); b = code[c]
      if (c == "&") c = "&amp;"; else if (c == "<") c = "&lt;"
      else if (c == ">") c = "&gt;"; else if (c == "\"") c = "&quot;"
      else if (b < 32 || b == 127) c = "?"
      else if (b >= 128) {
        # A UTF-8 sequence: its length, the range of its second byte.
        len = b >= 240 ? 4 : b >= 224 ? 3 : 2
        lo = b == 224 ? 160 : b == 240 ? 144 : 128; hi = b == 237 ? 159 : b == 244 ? 143 : 191
        ok = b >= 194 && b <= 244 && i + len - 1 <= n
        for (j = 1; ok && j < len; j++) {
          x = code[substr(s, i + j, 1)]
          ok = j == 1 ? x >= lo && x <= hi : x >= 128 && x <= 191
        }
        if (ok && len == 3 && substr(s, i, 2) == "\357\277" && code[substr(s, i + 2, 1)] >= 190) ok = 0
        if (ok) { c = substr(s, i, len); i += len - 1 } else c = "?"
      }
      printf "%s", c
    }
  }'
}

# How a test ended, from the wait status it recorded (as it is, when it is
# not a number that a wait status can be).
ended() {
  case $1 in
    '' | *[!0-9]* | ???????????*) printf 'exit-status=%s\n' "$1" ;;
    *) if [ $(($1 % 256)) = 0 ]; then echo "exit code $(($1 / 256))"; else echo "killed by signal $(($1 % 128))"; fi ;;
  esac
}

cases= failures=0 skipped=0
for r; do
  if why=$(plom-test check "$r" 2>&1); then
    cases="$cases  <testcase classname=\"plom\" name=\"$(xml "${r%.result}")\"/>
"
    continue
  fi
  [ "$why" = "Failed 1/1 tests" ] && why=$(ended "$(sed -n 's/^exit-status=//p' "$r")")
  if $skip77 && [ "$why" = "exit code 77" ]; then
    skipped=$((skipped + 1)) verdict=skipped
  else
    failures=$((failures + 1)) verdict=failure
  fi
  cases="$cases  <testcase classname=\"plom\" name=\"$(xml "${r%.result}")\"><$verdict message=\"$(xml "$why")\"/></testcase>
"
done
counts="tests=\"$#\" failures=\"$failures\""
$skip77 && counts="$counts skipped=\"$skipped\""
printf '<?xml version="1.0" encoding="UTF-8"?>\n<testsuite name="plom" %s>\n%s</testsuite>\n' "$counts" "$cases"
