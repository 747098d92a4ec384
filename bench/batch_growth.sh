#!/usr/bin/env bash
# Peak memory and time of korvant-merge and korvant-average as files grow:
# 500 steps (what the dialogue looks at in a file), 5000 steps (ten times
# that) and 40 steps of 120000 nodes (twice the dialogue's nodes). Each job
# runs twice and the second run is shown.
#   bench/batch_growth.sh          (NODES=6000 ELEMS=2000 for the step runs)
# Files are generated once into bench/data (about 7 GB in all).
set -euo pipefail
cd "$(dirname "$0")/.."
nodes=${NODES:-6000}
elems=${ELEMS:-2000}

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j2 --target korvant-merge korvant-average korvant_make_bench_files \
  >/dev/null
bin=$PWD/build-bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() {  # label, command...: prints seconds and peak MB of the second run
  local label=$1; shift
  rm -f "$work"/out.bin
  "$@" >/dev/null
  rm -f "$work"/out.bin
  sync
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null
  read -r secs kb < "$work/time"
  printf '%-38s %8s %9.1f\n' "$label" "$secs" "$(awk -v k="$kb" 'BEGIN {print k / 1024}')"
}

printf '%-38s %8s %9s\n' job seconds peakMB
for case in "500 $nodes $elems" "5000 $nodes $elems" "40 120000 40000"; do
  read -r steps np ne <<<"$case"
  data=$PWD/bench/data/${steps}_${np}
  mkdir -p "$data"
  [ -f "$data/qmx10_b.bin" ] || build-bench/korvant_make_bench_files "$data" "$steps" "$np" "$ne"
  for fam in 2 4 10; do
    a=$data/qmx${fam}_a.bin b=$data/qmx${fam}_b.bin
    tag="QMX$fam $steps x $np"
    run "$tag merge a b" "$bin/korvant-merge" -q -o "$work/out.bin" "$a" "$b"
    run "$tag average, last 26" "$bin/korvant-average" -q "$a" -o "$work/out.bin"
    run "$tag average, every step" "$bin/korvant-average" -q "$a" -o "$work/out.bin" --from 0
  done
done
