#!/usr/bin/env bash
# The cost guard: runs the whole plom-template under cachegrind, whose
# simulated caches and branch predictor give the same counts at any load, on
# a fixed set of shapes, and fails when a shape's cost rises more than 3% over
# its budget in bench/cost_budgets.txt. --update rewrites the budgets from the
# figures of this run. PLOM_TEMPLATE=PROGRAM measures another build on the
# same inputs (an earlier matcher, say).
# usage: bench/cost_guard.sh BUILD-DIR [--update]
#
# Cost = instructions + 15 x first-level misses (I1 and D1) + 400 x LL misses
#        + 75 x mispredicted branches,
# in units of one instruction on a core that runs about four a cycle: a
# first-level miss that the next level serves shows as some 4 cycles (the
# rest overlaps), one that goes to memory as some 100 (streaming misses are
# cheaper, since the prefetcher sees them coming, which cachegrind does not
# model), a mispredicted branch as some 19. The kernel's reading and writing
# are not seen at all: a change to the number of reads and writes needs its
# own check (strace -c).
#
# Checked once against the time on a 2-core Xeon VM (2026-12-11), HEAD
# against the matcher before (62723d4): alternating runs, 7 of each, medians,
# template and output on tmpfs, so that the disk plays no part. The machine
# was loaded (load average 9 to 14): wall times spread by up to half their
# median, CPU times (user + system) by 2 to 10%, so CPU time is compared.
# Fitting CPU time per MiB of 17 shapes of both builds to a fixed part for
# the kernel (0.63 ms a MiB) plus the cost gave these weights (the best fit
# put L1 at 14, mispredicts at 75-80; LL misses from 400 up fit alike), with
# 25% rms error; instructions alone give 33%. New/old, cost against time:
#
#   shape          cost  CPU time  wall time   instructions alone
#   sparse20       1.10  1.06      1.00        1.58
#   letters26      1.15  1.18      1.06        1.01 (D1 misses 10x, mispredicts 1.6x)
#   binary10000    1.69  1.93      1.89        0.62 (mispredicts 4.3x)
#   bytes254       1.05  1.01      0.99        0.95
#   var20          1.04  1.05      1.05        1.29
#   near1000       0.56  0.66      0.64        0.60
#   long64k-prefix 0.68  0.71      0.69        0.60
#   diverse20      0.06  0.13      0.14        0.08
#
# Every regression shows in the cost as in the time, and no improvement
# shows as a regression; the cost exaggerates gains and losses in the
# matcher, since the kernel's fixed share of the time is not in it.
#
# The counts depend on the compiler, the libraries and valgrind: after a
# change of any of them, take the budgets again (--update) from the code
# before the change under test.
set -euo pipefail

usage="usage: bench/cost_guard.sh BUILD-DIR [--update]"
build=$(cd "${1:?$usage}" && pwd)
update=false
case ${2-} in
  --update) update=true ;;
  "") ;;
  *) echo "$usage" >&2; exit 1 ;;
esac
budgets=$(cd "$(dirname "$0")" && pwd)/cost_budgets.txt
program=${PLOM_TEMPLATE:-$build/template-tool/plom-template}
# valgrind puts the program's whole path on its stack, and the length of that
# path moves every address on the stack and some counts with them: the runs
# are made in a directory whose path has the same length everywhere.
work=$(mktemp -d /tmp/plom-cost-guard.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Shape and template size: the sparse common case, the shapes of
# bench/name_sets.sh, the three that once regressed unseen, 254 one-byte
# names, four found slower than the matcher before (five short names on
# random letters; three one-byte names escaped, one in 200 bytes; 20,000
# names, and 10,000 words, on a 2 KiB template) and start-up (a 2 KiB template, 5 names, as
# bench/startup.sh). A shape measured twice is told apart by what follows
# an @ (words10000@2K is words10000).
shapes=(sparse20:4M)
for shape in $("$build/bench/write-name-set" --shapes); do shapes+=("$shape:4M"); done
shapes+=(letters26:4M binary10000:4M bytes254:4M few4:4M escape3:4M many20000:0.002M
  words10000@2K:0.002M
  startup:2K)

# The simulated machine, given in full so that the host's caches play no
# part: first-level caches of 32 KiB, 8 ways, and a last level of 4 MiB, 16
# ways (about one core's share of a shared one), lines of 64 bytes.
cachegrind=(valgrind --tool=cachegrind --cache-sim=yes --branch-sim=yes
  "--I1=32768,8,64" "--D1=32768,8,64" "--LL=4194304,16,64" --cachegrind-out-file=cg.out)

# measure SHAPE SIZE: writes the shape's counts to $work/SHAPE.counts as
# "instructions I1 D1 LL mispredicted". Each run has the same binary name,
# file names and environment, for the same reason.
measure() {
  local dir=$work/$1
  mkdir "$dir"
  cp "$program" "$dir/plom-template"
  if [[ $1 == startup ]]; then
    for ((i = 0; i < 64; i++)); do
      printf 'line %02d: @NAME@ is @VERSION@ in @DIR@, by @WHO@ on @DATE@\n' "$i"
    done | head -c 2048 > "$dir/t"
    printf '%s\0' @NAME@=plom @VERSION@=0.1.0 @DIR@=/usr/local @WHO@=builder \
      @DATE@=2026-12-08 > "$dir/t.args"
  else
    "$build/bench/write-name-set" "${1%@*}" "$dir/t" "${2%M}"
  fi
  local args
  mapfile -t -d "" args < "$dir/t.args"
  if ! (cd "$dir" && env -i "${cachegrind[@]}" ./plom-template t out "${args[@]}") \
      2> "$dir/log"; then
    echo "$1: plom-template failed under cachegrind:" >&2
    cat "$dir/log" >&2
    return 1
  fi
  awk '/^events:/ { for (i = 2; i <= NF; i++) at[$i] = i }
    /^summary:/ { print $at["Ir"], $at["I1mr"], $at["D1mr"] + $at["D1mw"],
      $at["ILmr"] + $at["DLmr"] + $at["DLmw"], $at["Bcm"] + $at["Bim"] }' \
    "$dir/cg.out" > "$work/$1.counts"
  rm -rf "$dir"
}

# As many shapes at a time as there are cores: each run is one thread, and
# its counts do not depend on what else runs.
running=0
for entry in "${shapes[@]}"; do
  if ((running >= $(nproc))); then
    wait -n || true
    running=$((running - 1))
  fi
  measure "${entry%%:*}" "${entry#*:}" &
  running=$((running + 1))
done
wait

declare -A budget
if [[ -f $budgets ]]; then
  while read -r shape cost; do
    [[ $shape == \#* || -z $shape ]] || budget[$shape]=$cost
  done < "$budgets"
fi

status=0
row() { printf '%-15s %4s %12s %9s %10s %9s %10s %12s %12s %7s\n' "$@"; }
row shape size instructions I1-miss D1-miss LL-miss mispredict cost budget budget%
new_budgets="# shape cost: the cost guard's budgets (bench/cost_guard.sh BUILD-DIR --update)"
for entry in "${shapes[@]}"; do
  shape=${entry%%:*}
  if [[ ! -f $work/$shape.counts ]]; then
    status=1
    continue
  fi
  read -r ir i1 d1 ll bm < "$work/$shape.counts"
  cost=$((ir + 15 * (i1 + d1) + 400 * ll + 75 * bm))
  new_budgets+=$'\n'"$shape $cost"
  if [[ -z ${budget[$shape]-} ]]; then
    row "$shape" "${entry#*:}" "$ir" "$i1" "$d1" "$ll" "$bm" "$cost" - -
    $update || { echo "$shape: no budget in $budgets" >&2; status=1; }
    continue
  fi
  row "$shape" "${entry#*:}" "$ir" "$i1" "$d1" "$ll" "$bm" "$cost" \
    "${budget[$shape]}" "$(awk "BEGIN { printf \"%.1f\", 100 * $cost / ${budget[$shape]} }")"
  if ((cost * 100 > budget[$shape] * 103)); then
    if ! $update; then
      echo "$shape: cost $cost is over its budget ${budget[$shape]} by more than 3%" >&2
      status=1
    fi
  elif ((cost * 100 < budget[$shape] * 97)) && ! $update; then
    echo "$shape: cost $cost is more than 3% under its budget: lower the budgets with --update" >&2
  fi
done
if $update && ((status == 0)); then
  echo "$new_budgets" > "$budgets"
  echo "budgets written to $budgets"
fi
exit "$status"
