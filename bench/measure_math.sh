#!/usr/bin/env bash
# measure_math.sh [BUILD]: how many output samples depend on the last bit of
# the math library's results. Renders every demo case (three per object, see
# tests/support/demo_cases.sh) with the tool in BUILD (default build), then
# again with the results of atan, tan, sin, cos, sincos, exp, exp2, log10 and
# pow moved by one ulp (bench/perturb_math.cpp): every result up, every
# result down, each up or down, and 5% of them up or down; then, to show what
# the count can see, each up or down by 2^20 and 2^30 ulps. Prints, for each,
# how many renders and samples differ from the plain renders.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$source_dir/build}")
work=$(mktemp -d "${TMPDIR:-/tmp}/tildefx-math.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

cases=()
record() {  # NAME ARGUMENTS...: keeps the case for every run below
  local name=$1
  shift
  printf '%q ' "$@" > "$name.args"
  cases+=("$name")
}
source "$source_dir/tests/support/demo_cases.sh"
demo_cases "$source_dir" record

run_all() {  # PREFIX: renders every case into PREFIX-NAME.wav
  for name in "${cases[@]}"; do
    eval "args=($(< "$name.args"))"
    "$build/bin/tildefx" render --quiet "${args[@]//@OUT@/$1-$name.wav}" > /dev/null 2>&1
  done
}
run_all plain

printf '%-36s %-18s %s\n' "results moved" "renders differing" "samples differing"
for setting in up:1:1 down:1:1 mixed:1:1 mixed:0.05:1 mixed:1:1048576 mixed:1:1073741824; do
  IFS=: read -r TILDEFX_PERTURB TILDEFX_PERTURB_SHARE TILDEFX_PERTURB_ULPS <<< "$setting"
  export TILDEFX_PERTURB TILDEFX_PERTURB_SHARE TILDEFX_PERTURB_ULPS
  LD_PRELOAD=$build/lib/libperturb_math.so run_all moved
  renders=0 total=0 differing=0 changed=""
  for name in "${cases[@]}"; do
    read -r samples differ < <("$build/bin/compare_wav" "plain-$name.wav" "moved-$name.wav" || true)
    total=$((total + samples))
    differing=$((differing + differ))
    [ "$differ" = 0 ] || { renders=$((renders + 1)); changed+=" $name"; }
  done
  printf '%-36s %-18s %s\n' "$TILDEFX_PERTURB by $TILDEFX_PERTURB_ULPS ulp, share $TILDEFX_PERTURB_SHARE" \
    "$renders of ${#cases[@]}" "$differing of $total$changed"
done
