#!/usr/bin/env bash
# Times plom-template on the benchmark template against perl, sed and cat, and
# reports its peak memory and the time to replace an existing output.
# usage: bench/compare.sh BUILD-DIR [MEBIBYTES] [RUNS]
# COMPARE="perl sed cat" (the default) chooses the other commands.
set -euo pipefail

build=${1:?usage: bench/compare.sh BUILD-DIR [MEBIBYTES] [RUNS]}
size=${2:-64}
runs=${3:-7}
compare=${COMPARE-perl sed cat}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/write-corpus" "$work/in.txt" "$size" > "$work/args"
mapfile -t subs < "$work/args"
sed_args=()
for s in "${subs[@]}"; do sed_args+=(-e "s/${s%%=*}/${s#*=}/g"); done
export PLOM_SUBS="${subs[*]}"
# Ordered alternation: at each position the first listed name wins.
perl_prog='BEGIN { for (split / /, $ENV{PLOM_SUBS}) { my ($n, $v) = split /=/, $_, 2;
  push @n, $n; $h{$n} = $v } $re = join "|", map quotemeta, @n; $re = qr/($re)/ }
  s/$re/$h{$1}/g'

seconds() { awk "BEGIN { print ($2 - $1) / 1e9 }"; }
middle() { sort -n | sed -n "$(((runs + 1) / 2))p"; }

# Median wall time of running "$@" $runs times, each into a new output file.
median() {
  local name=$1; shift
  local times=()
  for ((i = 0; i < runs; i++)); do
    local out="$work/$name.$i" start end
    sync  # earlier outputs still being written back would slow this run
    start=$(date +%s%N)
    "$@" "$out"
    end=$(date +%s%N)
    times+=("$(seconds "$start" "$end")")
    [[ $i -eq 0 ]] && mv "$out" "$work/$name.out" || rm -f "$out"
  done
  printf '%s\n' "${times[@]}" | middle
}

plom_run() { "$build/template-tool/plom-template" "$work/in.txt" "$1" "${subs[@]}"; }
perl_run() { perl -0777 -pe "$perl_prog" "$work/in.txt" > "$1"; }
sed_run() { sed "${sed_args[@]}" "$work/in.txt" > "$1"; }
cat_run() { cat "$work/in.txt" > "$1"; }

echo "template: $size MiB, 20 names, median of $runs runs"
t_plom=$(median plom plom_run)
printf '%-22s %8.3f s\n' plom-template "$t_plom"
for other in $compare; do
  t=$(median "$other" "${other}_run")
  printf '%-22s %8.3f s   %5.2fx plom-template\n' "$other" "$t" \
    "$(awk "BEGIN { print $t / $t_plom }")"
  [[ $other == cat ]] || cmp "$work/plom.out" "$work/$other.out"
done

# The output exists and is not empty, so it is synced before it is replaced.
times=()
for ((i = 0; i < runs; i++)); do
  sync
  start=$(date +%s%N)
  plom_run "$work/plom.out"
  end=$(date +%s%N)
  times+=("$(seconds "$start" "$end")")
done
printf '%-22s %8.3f s\n' "replacing the output" "$(printf '%s\n' "${times[@]}" | middle)"

if [[ -x /usr/bin/time ]]; then
  peak=$(/usr/bin/time -f %M "$build/template-tool/plom-template" "$work/in.txt" \
    "$work/peak" "${subs[@]}" 2>&1)
  echo "peak memory: $peak KiB"
fi
