#!/usr/bin/env bash
# Part of .ci/real-projects: ports an automake test suite, already built,
# with the automake-suite and automake-reports recipes as written, filling in
# only the project's variables (their values in its own Makefile) and the
# program under test, and compares with the project's own harness: each
# test's verdict, the JUnit and TAP counts, whether a rebuilt program runs
# every test again, and the wall times (medians of ROUNDS alternating runs).
# One line a comparison; exits 1 on any difference. RECIPES is the directory
# of recipes, SUMMARY the table.
#   real-projects-automake.sh NAME SOURCE TESTS-DIR PROGRAM
# TESTS-DIR is where the project's TESTS are named from, inside SOURCE;
# PROGRAM the program under test, as the ported Makefile names it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
name=$1 dir=$2/$3 program=$4
rounds=${ROUNDS:-3}
jobs=$(nproc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/print.mk" <<'EOF'
print-%:
	@printf '%s\n' '$(subst ','\'',$($*))'
EOF
# value DIR NAME: the variable NAME as make expands it in DIR's Makefile.
value() { make -s --no-print-directory -C "$1" -f Makefile -f "$work/print.mk" "print-$2"; }

failed=0
differ() { echo "$*"; failed=1; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
seconds() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || true
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f\n", b - a }'
}

# The recipe with the project's values, $ written $$ and # as \# for make.
for var in TESTS TESTS_ENVIRONMENT SH_LOG_COMPILER PL_LOG_COMPILER LOG_COMPILER XFAIL_TESTS; do
  export "value_$var=$(value "$dir" $var | sed 's/\$/$$/g; s/#/\\#/g')"
done
export value_PROGRAM=$program
cat "$RECIPES/automake-suite" "$RECIPES/automake-reports" | awk '
  match($0, /^[A-Z_]+ *:?= /) {
    var = $0; sub(/ .*/, "", var)
    if (("value_" var) in ENVIRON) { print substr($0, 1, RLENGTH) ENVIRON["value_" var]; next }
  }
  { print }' >"$dir/plom.mk"
cp "$top"/examples/results-to-junit.sh "$top"/examples/results-to-tap.sh "$dir"

# Alternating runs of each, every test run again each time.
ours=() theirs=()
results=$(make -s --no-print-directory -C "$dir" -f plom.mk -f "$work/print.mk" print-RESULTS)
read -ra files <<<"$results"
for ((i = 0; i < rounds; i++)); do
  theirs+=("$(seconds make -C "$dir" -j"$jobs" check-TESTS)")
  (cd "$dir" && rm -f "${files[@]}")
  ours+=("$(seconds make -C "$dir" -f plom.mk -j"$jobs" LIMIT=600 check)")
done

# Each test's verdict in automake's words, from its result file.
read -ra tests <<<"$(value "$dir" TESTS)"
xfail=" $(value "$dir" XFAIL_TESTS) " agree=0
for ((i = 0; i < ${#tests[@]}; i++)); do
  status=$(sed -n 's/^exit-status=//p' "$dir/${files[i]}" 2>/dev/null || true)
  case $status,$xfail in
    0,*" ${tests[i]} "*) verdict=XFAIL ;;
    0,*) verdict=PASS ;;
    19712,*) verdict=SKIP ;;
    25344,*) verdict=ERROR ;;
    256,*" ${tests[i]} "*) verdict=XPASS ;;
    *) verdict=FAIL ;;
  esac
  expected=$(sed -n 's/^:test-result: //p' "$dir/${files[i]%.result}.trs")
  if [[ $verdict == "$expected" ]]; then
    agree=$((agree + 1))
  else
    differ "$name: ${tests[i]}: $verdict (status $status), make check says $expected"
  fi
done
count=()
for verdict in TOTAL PASS SKIP XFAIL FAIL XPASS ERROR; do
  count+=("$(sed -n "s/^# $verdict: *//p" "$dir/test-suite.log")")
done
said="${count[0]} tests: PASS ${count[1]}, SKIP ${count[2]}, XFAIL ${count[3]}, FAIL ${count[4]}, XPASS ${count[5]}, ERROR ${count[6]}"
line="$name: verdicts: $agree of ${#tests[@]} agree with make check ($said)"
if [[ $agree == "${#tests[@]}" && $agree == "${count[0]}" ]]; then echo "$line"; else differ "$line"; fi

# JUnit and TAP: a pass for PASS and XFAIL, a skip for SKIP, a failure for
# the others.
make -s -C "$dir" -f plom.mk junit.xml results.tap
fails=$((count[4] + count[5] + count[6]))
want="tests $((count[0])), failures $fails, skipped $((count[2]))"
tally() { grep -c "$1" "$dir/junit.xml" || true; }
junit="tests $(tally '<testcase '), failures $(tally '<failure '), skipped $(tally '<skipped ')"
header=$(grep -o 'tests="[0-9]*" failures="[0-9]*" skipped="[0-9]*"' "$dir/junit.xml" | tr -d '"' | sed 's/=/ /g; s/ \([a-z]\)/, \1/g' || true)
reports=0
if [[ $junit == "$want" && $header == "$want" ]]; then
  echo "$name: JUnit: $junit, as make check"
  reports=1
else
  differ "$name: JUnit: $junit (its header: $header), make check: $want"
fi
want="ok $((count[1] + count[3])), not ok $fails, skip $((count[2]))"
ok=$(grep -c '^ok ' "$dir/results.tap" || true) skip=$(grep -c '^ok .* # SKIP ' "$dir/results.tap" || true)
tap="ok $((ok - skip)), not ok $(grep -c '^not ok ' "$dir/results.tap" || true), skip $skip"
if [[ $tap == "$want" ]]; then
  echo "$name: TAP: $tap, as make check"
  reports=$((reports + 1))
else
  differ "$name: TAP: $tap, make check: $want"
fi

# The program rebuilt: every test is to run again.
touch "$dir/$program"
again=$(make -n -C "$dir" -f plom.mk check | grep -c '^plom-test run ' || true)
rerun=0
if [[ $again == "${#tests[@]}" ]]; then
  echo "$name: $program rebuilt: all $again tests run again"
  rerun=1
else
  differ "$name: $program rebuilt: $again of ${#tests[@]} tests run again"
fi

a=$(printf '%s\n' "${theirs[@]}" | median) b=$(printf '%s\n' "${ours[@]}" | median)
ratio=$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", b / a }')
echo "$name: wall time, medians of $rounds alternating runs (-j$jobs): make check-TESTS ${a}s, ported ${b}s, ratio $ratio"
printf '%s\t%s\t%s\t%s\t%s\n' "$name" "test verdicts against make check" "${#tests[@]}" "$agree" \
  "${b}s against ${a}s (ratio $ratio)" "$name" "JUnit and TAP counts against automake's" 2 "$reports" "" \
  "$name" "all tests again after $program is rebuilt" 1 "$rerun" "" >>"$SUMMARY"
exit $failed
