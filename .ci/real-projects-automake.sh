#!/usr/bin/env bash
# Ports the test suites of Debian's gzip and sed with the README's automake
# recipe as it is written, filling in only each project's variables (their
# values in the project's own Makefile) and the program under test, and
# compares with the project's own `make check`: each test's verdict, the
# JUnit and TAP counts, and the wall times (medians of alternating runs). One
# line a comparison; exits 1 on any difference, 0 with "skipped: why" when
# the sources cannot be fetched. Run as root on Debian 12:
#   .ci/real-projects-automake.sh [BUILD-DIR]     (plom's build, made if missing)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$top/build}")
rounds=${ROUNDS:-3}
jobs=$(nproc)
export DEBIAN_FRONTEND=noninteractive LC_ALL=C

# What fetching and building the projects needs (gzip's Debian patch touches
# configure.ac and its manual), and what building plom needs.
need=()
for tool in gcc:build-essential make:make dpkg-source:dpkg-dev autoreconf:autoconf \
    automake:automake makeinfo:texinfo perl:perl; do
  command -v "${tool%%:*}" >/dev/null || need+=("${tool#*:}")
done
if [[ ! -x $build/test-tool/plom-test ]]; then
  command -v cmake >/dev/null || need+=(cmake g++ pkg-config)
  pkg-config --exists glib-2.0 2>/dev/null || need+=(libglib2.0-dev pkg-config)
fi
if [[ ${#need[@]} -gt 0 ]] && ! { apt-get update -qq &&
    apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null; }; then
  echo "skipped: what the builds need cannot be installed: ${need[*]}"
  exit 0
fi
if [[ ! -x $build/test-tool/plom-test ]]; then
  cmake -S "$top" -B "$build" -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$build" -j"$jobs" --target plom-test >/dev/null
fi
export PATH=$build/test-tool:$PATH

work=$(mktemp -d)
list=/etc/apt/sources.list.d/plom-real-projects-automake.sources
cleanup() {
  rm -rf "$work"
  if [[ -e $list ]]; then rm -f "$list"; apt-get update -qq || true; fi
}
trap cleanup EXIT

# The sources, with a deb-src entry for this run only.
cat >"$list" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
if ! (apt-get update -qq && cd "$work" && apt-get source -qq gzip sed) >"$work/fetch.log" 2>&1; then
  echo "skipped: the sources of gzip and sed cannot be fetched: $(tail -n 1 "$work/fetch.log")"
  exit 0
fi
rm -f "$list"
apt-get update -qq

# The recipe as the README shows it, and its JUnit and TAP rules.
recipe() {
  sed -n "/^<!-- recipe: $1 -->\$/,/^\`\`\`\$/p" "$top/README.md" "$top"/docs/*.md | sed '1,2d;$d'
}
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

# port NAME DIR PROGRAM: DIR is where the project's TESTS are named from,
# PROGRAM the program under test, as the ported Makefile names it.
port() {
  local name=$1 program=$3 var src dir
  src=$(find "$work" -maxdepth 1 -type d -name "$name-*")
  dir=$src/$2
  if ! (cd "$src" && ./configure && make -j"$jobs") >"$work/build-$name.log" 2>&1; then
    tail -n 20 "$work/build-$name.log"
    differ "$name: the build failed"
    return
  fi
  # The recipe with the project's values, $ written $$ and # as \# for make.
  for var in TESTS TESTS_ENVIRONMENT SH_LOG_COMPILER PL_LOG_COMPILER LOG_COMPILER XFAIL_TESTS; do
    export "value_$var=$(value "$dir" $var | sed 's/\$/$$/g; s/#/\\#/g')"
  done
  export value_PROGRAM=$program
  { recipe automake-suite; recipe automake-reports; } | awk '
    match($0, /^[A-Z_]+ *:?= /) {
      var = $0; sub(/ .*/, "", var)
      if (("value_" var) in ENVIRON) { print substr($0, 1, RLENGTH) ENVIRON["value_" var]; next }
    }
    { print }' >"$dir/plom.mk"
  cp "$top"/examples/results-to-junit.sh "$top"/examples/results-to-tap.sh "$dir"

  # Alternating runs of each, every test run again each time.
  local -a ours=() theirs=()
  local results
  results=$(make -s --no-print-directory -C "$dir" -f plom.mk -f "$work/print.mk" print-RESULTS)
  for ((i = 0; i < rounds; i++)); do
    theirs+=("$(seconds make -C "$dir" -j"$jobs" check-TESTS)")
    (cd "$dir" && rm -f $results)
    ours+=("$(seconds make -C "$dir" -f plom.mk -j"$jobs" LIMIT=600 check)")
  done

  # Each test's verdict in automake's words, from its result file.
  local -a tests=($(value "$dir" TESTS)) files=($results)
  local xfail=" $(value "$dir" XFAIL_TESTS) " agree=0 status verdict expected
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
  local count=()
  for verdict in TOTAL PASS SKIP XFAIL FAIL XPASS ERROR; do
    count+=("$(sed -n "s/^# $verdict: *//p" "$dir/test-suite.log")")
  done
  local said="${count[0]} tests: PASS ${count[1]}, SKIP ${count[2]}, XFAIL ${count[3]}, FAIL ${count[4]}, XPASS ${count[5]}, ERROR ${count[6]}"
  local line="$name: verdicts: $agree of ${#tests[@]} agree with make check ($said)"
  [[ $agree == "${#tests[@]}" && $agree == "${count[0]}" ]] && echo "$line" || differ "$line"

  # JUnit and TAP: a pass for PASS and XFAIL, a skip for SKIP, a failure for
  # the others.
  make -s -C "$dir" -f plom.mk junit.xml results.tap
  local fails=$((count[4] + count[5] + count[6]))
  local want="tests $((count[0])), failures $fails, skipped $((count[2]))"
  local junit="tests $(grep -c '<testcase ' "$dir/junit.xml"), failures $(grep -c '<failure ' "$dir/junit.xml"), skipped $(grep -c '<skipped ' "$dir/junit.xml")"
  local header
  header=$(grep -o 'tests="[0-9]*" failures="[0-9]*" skipped="[0-9]*"' "$dir/junit.xml" | tr -d '"' | sed 's/=/ /g; s/ \([a-z]\)/, \1/g')
  [[ $junit == "$want" && $header == "$want" ]] && echo "$name: JUnit: $junit, as make check" ||
    differ "$name: JUnit: $junit (its header: $header), make check: $want"
  want="ok $((count[1] + count[3])), not ok $fails, skip $((count[2]))"
  local ok skip
  ok=$(grep -c '^ok ' "$dir/results.tap" || true) skip=$(grep -c '^ok .* # SKIP ' "$dir/results.tap" || true)
  local tap="ok $((ok - skip)), not ok $(grep -c '^not ok ' "$dir/results.tap" || true), skip $skip"
  [[ $tap == "$want" ]] && echo "$name: TAP: $tap, as make check" || differ "$name: TAP: $tap, make check: $want"

  # The program rebuilt: every test is to run again.
  touch "$dir/$program"
  local again
  again=$(make -n -C "$dir" -f plom.mk check | grep -c '^plom-test run ' || true)
  [[ $again == "${#tests[@]}" ]] && echo "$name: $program rebuilt: all $again tests run again" ||
    differ "$name: $program rebuilt: $again of ${#tests[@]} tests run again"

  local a b
  a=$(printf '%s\n' "${theirs[@]}" | median) b=$(printf '%s\n' "${ours[@]}" | median)
  echo "$name: wall time, medians of $rounds alternating runs (-j$jobs): make check-TESTS ${a}s, ported ${b}s, ratio $(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", b / a }')"
}

port gzip tests ../gzip
port sed . sed/sed
exit $failed
