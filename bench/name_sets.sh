#!/usr/bin/env bash
# Times plom-template on templates of many shapes of name set against perl's
# ordered alternation and cat, checks that the outputs agree (with perl, or
# with the plain per-position method where perl would take minutes), and
# reports the peak memory.
# usage: bench/name_sets.sh BUILD-DIR [MEBIBYTES] [RUNS] [SHAPE...]
# The shapes are those write-name-set lists; all of them by default.
# BEFORE=PROGRAM times another plom-template too (an earlier build), in the
# same run; PERL_LIMIT and BEFORE_LIMIT are the seconds a run may take.
# TEXT=FILE puts the names in the lines of FILE instead of lines of the
# generator's words (a second corpus: real text, say
# TEXT=<(cat /usr/include/c++/*/bits/*.h)).
set -euo pipefail

build=$(cd "${1:?usage: bench/name_sets.sh BUILD-DIR [MEBIBYTES] [RUNS] [SHAPE...]}" && pwd)
size=${2:-64}
runs=${3:-5}
shift $(($# < 3 ? $# : 3))
shapes=("$@")
if [[ ${#shapes[@]} -eq 0 ]]; then
  mapfile -t shapes < <("$build/bench/write-name-set" --shapes)
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
plom=$build/template-tool/plom-template
perl_limit=${PERL_LIMIT:-120}
before=${BEFORE-}
before_limit=${BEFORE_LIMIT:-120}
text=()
if [[ -n ${TEXT-} ]]; then
  cat "$TEXT" > "$work/text"
  text=(--text "$work/text")
fi

# Ordered alternation: at each position the first listed name wins.
perl_prog='BEGIN { open my $f, "<", $ENV{PLOM_ARGS} or die; local $/ = "\0"; while (<$f>) { chomp;
  my ($n, $v) = split /=/, $_, 2; push @n, $n; $h{$n} = $v } $re = join "|", map quotemeta, @n;
  $re = qr/($re)/ } s/$re/$h{$1}/g'

seconds() { awk "BEGIN { print ($2 - $1) / 1e9 }"; }

# Median wall time of "$@" OUT, run $runs times; the first output is kept.
median() {
  local keep=$1; shift
  local times=() start end
  for ((i = 0; i < runs; i++)); do
    sync
    start=$(date +%s%N)
    "$@" "$work/out.$i" || return 1
    end=$(date +%s%N)
    times+=("$(seconds "$start" "$end")")
    [[ $i -eq 0 ]] && mv "$work/out.$i" "$keep" || rm -f "$work/out.$i"
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

plom_run() { "$plom" "$work/t" "$1" "${args[@]}"; }
perl_run() { PLOM_ARGS=$work/t.args timeout "$perl_limit" perl -0777 -pe "$perl_prog" "$work/t" > "$1"; }
cat_run() { cat "$work/t" > "$1"; }
before_run() { timeout "$before_limit" "$before" "$work/t" "$1" "${args[@]}"; }

printf '%-15s %6s %9s %9s %9s %8s %8s %9s %9s  %s\n' shape names plom perl cat /perl /cat \
  "peak KiB" before "checked against"
for shape in "${shapes[@]}"; do
  "$build/bench/write-name-set" "${text[@]}" "$shape" "$work/t" "$size"
  mapfile -t -d "" args < "$work/t.args"
  t_plom=$(median "$work/plom.out" plom_run)
  t_cat=$(median "$work/cat.out" cat_run)
  if t_perl=$(median "$work/perl.out" perl_run 2>/dev/null); then
    cmp "$work/plom.out" "$work/perl.out"
    checked=perl
    ratio=$(awk "BEGIN { printf \"%.3f\", $t_plom / $t_perl }")
  else
    t_perl=">$perl_limit"
    ratio=-
    # The plain method tries every name at every byte: check a smaller template.
    "$build/bench/write-name-set" "${text[@]}" "$shape" "$work/small" 1
    mapfile -t -d "" args < "$work/small.args"
    "$plom" "$work/small" "$work/plom.small" "${args[@]}"
    "$build/bench/model-template" "$work/small" "$work/model.small" "${args[@]}"
    cmp "$work/plom.small" "$work/model.small"
    checked="model, 1 MiB"
    mapfile -t -d "" args < "$work/t.args"
  fi
  peak=$(/usr/bin/time -f %M "$plom" "$work/t" "$work/peak" "${args[@]}" 2>&1)
  t_before=-
  if [[ -n $before ]]; then
    if t_before=$(median "$work/before.out" before_run 2>/dev/null); then
      cmp "$work/plom.out" "$work/before.out"
    else
      t_before=">$before_limit"
    fi
  fi
  printf '%-15s %6s %9s %9s %9s %8s %8s %9s %9s  %s\n' "$shape" "${#args[@]}" "$t_plom" \
    "$t_perl" "$t_cat" "$ratio" "$(awk "BEGIN { printf \"%.2f\", $t_plom / $t_cat }")" "$peak" \
    "$t_before" "$checked"
  rm -f "$work"/*.out "$work/peak"
done
