#!/usr/bin/env bash
# Start-up cost, for build systems that call the programs thousands of times:
# plom-template on a 2 KiB template with 5 names against the same job in C
# with GLib's whole-file calls (glib-template), and plom-test run against a
# shell starting true. Each figure is the median of ROUNDS rounds of CALLS
# calls, each writing a new file.
# usage: bench/startup.sh BUILD-DIR [CALLS] [ROUNDS]
set -euo pipefail

build=$(cd "${1:?usage: bench/startup.sh BUILD-DIR [CALLS] [ROUNDS]}" && pwd)
calls=${2:-1000}
rounds=${3:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

for ((i = 0; i < 64; i++)); do
  printf 'line %02d: @NAME@ is @VERSION@ in @DIR@, by @WHO@ on @DATE@\n' "$i"
done | head -c 2048 > t
names=(@NAME@=plom @VERSION@=0.1.0 @DIR@=/usr/local @WHO@=builder @DATE@=2026-12-08)

# Milliseconds per call: the median round.
per_call() {
  "$@" || { echo "failed: $*" >&2; exit 1; }
  local times=()
  for ((r = 0; r < rounds; r++)); do
    rm -rf out && mkdir out
    local start end
    start=$(date +%s%N)
    for ((i = 0; i < calls; i++)); do "$@"; done
    end=$(date +%s%N)
    times+=("$(awk "BEGIN { print ($end - $start) / 1e6 / $calls }")")
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((rounds + 1) / 2))p"
}

i=first
mkdir out
plom_template() { "$build/template-tool/plom-template" t "out/$i" "${names[@]}"; }
glib_template() { "$build/bench/glib-template" t "out/$i" "${names[@]}"; }
plom_run() { "$build/test-tool/plom-test" run "out/$i" true; }
sh_true() { sh -c true; }

echo "$calls calls, median of $rounds rounds, milliseconds per call"
a=$(per_call plom_template)
b=$(per_call glib_template)
printf '%-34s %6.3f ms\n' "plom-template" "$a" "glib-template (C, GLib's calls)" "$b"
echo "plom-template / glib-template: $(awk "BEGIN { printf \"%.2f\", $a / $b }")"
c=$(per_call plom_run)
d=$(per_call sh_true)
printf '%-34s %6.3f ms\n' "plom-test run r true" "$c" "sh -c true" "$d"
echo "plom-test run / sh -c true: $(awk "BEGIN { printf \"%.2f\", $c / $d }")"
