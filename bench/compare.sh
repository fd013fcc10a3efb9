#!/usr/bin/env bash
# Times plom-template on the benchmark template against perl, sed and cat.
# usage: bench/compare.sh BUILD-DIR [MEBIBYTES] [RUNS]
set -euo pipefail

build=${1:?usage: bench/compare.sh BUILD-DIR [MEBIBYTES] [RUNS]}
size=${2:-64}
runs=${3:-7}
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

# Median wall time in seconds of running "$@" $runs times, each into a new output file.
median() {
  local name=$1; shift
  local times=()
  for ((i = 0; i < runs; i++)); do
    local out="$work/$name.$i"
    local start end
    start=$(date +%s.%N)
    "$@" "$out"
    end=$(date +%s.%N)
    times+=("$(awk "BEGIN { print $end - $start }")")
    [[ $i -eq 0 ]] && mv "$out" "$work/$name.out" || rm -f "$out"
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

plom_run() { "$build/template-tool/plom-template" "$work/in.txt" "$1" "${subs[@]}"; }
perl_run() { perl -0777 -pe "$perl_prog" "$work/in.txt" > "$1"; }
sed_run() { sed "${sed_args[@]}" "$work/in.txt" > "$1"; }
cat_run() { cat "$work/in.txt" > "$1"; }

t_plom=$(median plom plom_run)
t_perl=$(median perl perl_run)
t_sed=$(median sed sed_run)
t_cat=$(median cat cat_run)
cmp "$work/plom.out" "$work/perl.out"
cmp "$work/plom.out" "$work/sed.out"

peak=unknown
if [[ -x /usr/bin/time ]]; then
  peak=$(/usr/bin/time -f %M "$build/template-tool/plom-template" "$work/in.txt" "$work/peak" \
    "${subs[@]}" 2>&1)
fi
in_kib=$(($(stat -c %s "$work/in.txt") / 1024))
out_kib=$(($(stat -c %s "$work/plom.out") / 1024))

echo "template: $size MiB, 20 names, median of $runs runs"
printf '%-14s %8.3f s\n' plom-template "$t_plom" perl "$t_perl" sed "$t_sed" cat "$t_cat"
ratio() { awk "BEGIN { printf \"%.1fx\", $1 / $2 }"; }
echo "perl / plom-template: $(ratio "$t_perl" "$t_plom")"
echo "sed / plom-template:  $(ratio "$t_sed" "$t_plom")"
echo "plom-template / cat:  $(ratio "$t_plom" "$t_cat")"
echo "peak memory: $peak KiB (template $in_kib KiB + output $out_kib KiB)"
