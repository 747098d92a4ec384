#!/bin/sh
# Draws the README's pictures into DOCS with the programs built in BUILD:
# the residual current of the example bay (the README's last example
# command), and the bottom of the benchmark's mesh of 60601 nodes under one
# step of its QMX2 file.
#   scripts/docs_pictures.sh BUILD DOCS
set -e
build=$(cd "$1" && pwd)
docs=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/korvant_make_example" . >/dev/null
"$build/korvant-average" bay.qmx2 -o bay_avg.qmx2 --float32-sums --geometry bay.velto -q
"$build/korvant-plot" bay.velto bay_avg.qmx2 --field speed --arrows --size 640x420 \
  -o "$docs/bay_speed.png" -f -q
counts=$("$build/korvant_make_bench_mesh" bench.velto)
# shellcheck disable=SC2086 # the node and element counts, two words
"$build/korvant_make_bench_files" . 1 $counts
"$build/korvant-plot" bench.velto qmx2_a.bin --field bottom_elevation --contours 9 \
  --size 800x420 --colour-map grey --title "Benchmark mesh: 60601 nodes, 20000 eight-node elements" \
  -o "$docs/bench_bottom.png" -f -q
