#!/usr/bin/env bash
# Times KORVANT's merges and averages on maximum-size files against cat of the
# same bytes, as medians of warm runs, with the peak memory of each run.
# cat copies files inside the kernel (copy_file_range) where it can; dd with
# 1 MB blocks is the copy through user memory that a merge has to do.
#   bench/run.sh [steps] [runs]      (defaults: 120 steps, 5 runs)
# With BEFORE=/path/to/an/older/korvant the same merges and averages of that
# build run in turn with this one's, and the table shows both; so do that
# build's korvant-merge and korvant-average when they lie beside it.
# korvant-merge of the same two files runs with the merges, and
# korvant-average of the same file (the last 26 steps, as the automatic
# window; alone, with its table as the dialogue writes its listing, and with
# 32-bit sums) with the averages, when they are built; korvant-series of 100
# points of the QMX2 file beside cat of that file. With the Python package
# built (for /usr/bin/python3 or PYTHON), every step of one field of the QMX2
# file read into memory beside numpy.fromfile of that file, and one step of a
# 5000-step QMX2 file (3000 nodes; generated once, about 320 MB) opened and
# read, each timed inside the interpreter.
# Files are generated once into bench/data (about 1.6 GB for 120 steps).
set -euo pipefail
cd "$(dirname "$0")/.."
steps=${1:-120}
runs=${2:-5}
nodes=${NODES:-60000}
elems=${ELEMS:-20000}

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j2 --target korvant korvant_make_bench_files >/dev/null
cmake --build build-bench -j2 --target korvant-merge korvant-average korvant-series >/dev/null 2>&1 || true
cmake --build build-bench -j2 --target korvant_python >/dev/null 2>&1 || true
python=${PYTHON:-/usr/bin/python3}
pypath=$PWD/build-bench/python
pyread=$PWD/bench/python_read.py
data5000=$PWD/bench/data/5000_3000
bin=$PWD/build-bench/korvant
kmerge=$PWD/build-bench/korvant-merge
kavg=$PWD/build-bench/korvant-average
kseries=$PWD/build-bench/korvant-series
data=$PWD/bench/data/${steps}_${nodes}
mkdir -p "$data"
if [ ! -f "$data/qmx10_b.bin" ] || [ ! -f "$data/mesh.velto" ]; then
  echo "generating files in $data ..."
  build-bench/korvant_make_bench_files "$data" "$steps" "$nodes" "$elems"
fi
if [ -f "$pypath/korvant/__init__.py" ] && [ ! -f "$data5000/qmx2_a.bin" ]; then
  echo "generating files in $data5000 ..."
  mkdir -p "$data5000"
  build-bench/korvant_make_bench_files "$data5000" 5000 3000 1000 qmx2
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# 100 gauges inside the mesh's elements, none on an edge.
awk 'BEGIN { for (p = 0; p < 100; p++) printf "G%d,%.2f,%.2f\n", p + 1, 0.37 + (p * 29) % 290, 0.61 + (p * 17) % 170 }' > gauges.csv

last=$((steps - 1))
from=$((steps - 26))
# Answer scripts. Driver order: merges QMX2, QMX4, QMX10; VELTO; averages QMX2, QMX10, QMX4.
merge() {  # family, answers before the merge question
  printf "s.txt\n%bY\nout.bin\n1ST\n$data/qmx$1_a.bin\n0 100000\n2ND\n$data/qmx$1_b.bin\n0 100000\nEXIT\n" "$2"
}
{ merge 2 ""; printf 'N\nN\nN\nN\nN\nN\n'; } > merge_2.in
{ merge 4 "N\n"; printf 'N\nN\nN\nN\nN\n'; } > merge_4.in
{ merge 10 "N\nN\n"; printf 'N\nN\nN\nN\n'; } > merge_10.in
for window in given auto; do
  if [ $window = given ]; then start=$from; stop=$last; else start=""; stop=""; fi
  printf "s.txt\nN\nN\nN\nN\nY\nout.bin\n$data/qmx2_a.bin\n%s\n%s\n\n0\nN\nN\nN\n" "$start" "$stop" > avg_2_$window.in
  printf "s.txt\nN\nN\nN\nN\nN\nY\nout.bin\n$data/qmx10_a.bin\n%s\n%s\n1\nN\n" "$start" "$stop" > avg_10_$window.in
  printf "s.txt\nN\nN\nN\nN\nN\nN\nY\nout.bin\n$data/qmx4_a.bin\n%s\n%s\n6\n0\n" "$start" "$stop" > avg_4_$window.in
done

# measure <label>=<shell command> ...: the commands run in turn, round after
# round, so that a slow spell of the machine falls on all of them alike; one
# unmeasured round comes first. Before every run the previous run's output is
# removed and written out (sync), so that no run pays for another's writeback.
# Keeps the median and the fastest wall seconds of each, and the peak resident
# memory in MB of one more run.
declare -A secs best mem
run_once() {  # prints wall microseconds
  rm -f s.txt out.bin
  sync
  local t0=$(date +%s%N)
  sh -c "$1" >/dev/null 2>&1 || { echo "run failed: $1" >&2; exit 1; }
  local t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000 ))
}
measure() {
  local labels=() cmds=() arg i j
  for arg; do labels+=("${arg%%=*}"); cmds+=("${arg#*=}"); done
  local -A times=()
  for ((i = -1; i < runs; i++)); do
    for j in "${!cmds[@]}"; do
      local us
      us=$(run_once "${cmds[$j]}")
      if ((i >= 0)); then times[$j]+="$us "; fi
    done
  done
  for j in "${!cmds[@]}"; do
    local label=${labels[$j]} sorted
    sorted=$(printf '%s\n' ${times[$j]} | sort -n)
    secs[$label]=$(awk '{a[NR]=$1} END {printf "%.4f", a[int((NR+1)/2)]/1e6}' <<<"$sorted")
    best[$label]=$(awk 'NR == 1 {printf "%.4f", $1/1e6}' <<<"$sorted")
    rm -f s.txt out.bin
    mem[$label]=$(/usr/bin/time -f %M sh -c "${cmds[$j]}" 2>&1 >/dev/null | tail -1 | awk '{printf "%.1f", $1/1024}')
  done
}

before=${BEFORE:-}
old_kmerge=$(dirname "${before:-.}")/korvant-merge
old_kavg=$(dirname "${before:-.}")/korvant-average
for fam in 2 4 10; do
  a=$data/qmx${fam}_a.bin; b=$data/qmx${fam}_b.bin
  extra_merge=() extra_avg=()
  if [ -x "$kmerge" ]; then
    extra_merge+=("kmerge_$fam='$kmerge' -q -o out.bin '$a' '$b'")
    extra_avg+=("kavg_$fam='$kavg' -q '$a' -o out.bin"
                "kavgt_$fam='$kavg' -q '$a' -o out.bin --table s.txt"
                "kavg32_$fam='$kavg' -q --float32-sums '$a' -o out.bin --table s.txt")
  fi
  if [ "$fam" = 2 ] && [ -x "$kseries" ]; then
    extra_avg+=("kseries_$fam='$kseries' -q '$data/mesh.velto' '$a' --points gauges.csv -o out.bin")
  fi
  if [ -n "$before" ]; then
    extra_merge+=("merge_old_$fam='$before' < merge_$fam.in")
    extra_avg+=("avg_old_$fam='$before' < avg_${fam}_given.in" "auto_old_$fam='$before' < avg_${fam}_auto.in")
    if [ -x "$kmerge" ] && [ -x "$old_kmerge" ] && [ -x "$old_kavg" ]; then
      extra_merge+=("kmerge_old_$fam='$old_kmerge' -q -o out.bin '$a' '$b'")
      extra_avg+=("kavg_old_$fam='$old_kavg' -q '$a' -o out.bin"
                  "kavgt_old_$fam='$old_kavg' -q '$a' -o out.bin --table s.txt"
                  "kavg32_old_$fam='$old_kavg' -q --float32-sums '$a' -o out.bin --table s.txt")
    fi
  fi
  measure "cat2_$fam=cat '$a' '$b' > out.bin" \
          "copy2_$fam={ dd if='$a' bs=1M; dd if='$b' bs=1M; } 2>/dev/null > out.bin" \
          "merge_$fam='$bin' < merge_$fam.in" "${extra_merge[@]}"
  measure "cat1_$fam=cat '$a' > /dev/null" \
          "avg_$fam='$bin' < avg_${fam}_given.in" \
          "auto_$fam='$bin' < avg_${fam}_auto.in" "${extra_avg[@]}"
done

printf '\n%d steps of %d nodes, %d elements; median of %d warm runs, taken in turn\n\n' "$steps" "$nodes" "$elems" "$runs"
printf '%-8s %-22s %9s %9s %7s %8s %s\n' family job seconds baseline ratio peakMB target
for fam in 2 4 10; do
  c2=${secs[cat2_$fam]}; c1=${secs[cat1_$fam]}; d2=${secs[copy2_$fam]}
  m=${secs[merge_$fam]}; g=${secs[avg_$fam]}; u=${secs[auto_$fam]}
  ratio() { awk -v x="$1" -v y="$2" 'BEGIN {printf "%.2f", (y > 0 ? x / y : 0)}'; }
  printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "cat a b > out" "$c2" "" "" "${mem[cat2_$fam]}" ""
  printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "cat a > /dev/null" "$c1" "" "" "${mem[cat1_$fam]}" ""
  printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "dd a; dd b > out" "$d2" "" "" "${mem[copy2_$fam]}" ""
  printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "merge a b (vs cat)" "$m" "$c2" "$(ratio "$m" "$c2")" "${mem[merge_$fam]}" "<= 1.2"
  printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "merge a b (vs dd)" "$m" "$d2" "$(ratio "$m" "$d2")" "" ""
  printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "average, given window" "$g" "$c1" "$(ratio "$g" "$c1")" "${mem[avg_$fam]}" "<= 3"
  printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "average, auto window" "$u" "$c1" "$(ratio "$u" "$c1")" "${mem[auto_$fam]}" "<= 3"
  # The first pass is a small difference of two noisy times: the fastest runs show it best.
  fp=$(awk -v u="${best[auto_$fam]}" -v g="${best[avg_$fam]}" 'BEGIN {d = u - g; if (d < 0) d = 0; printf "%.2f", (g > 0 ? d / g : 0)}')
  printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "first pass / main (min)" "" "" "$fp" "" "< 0.10"
  if [ -x "$kmerge" ]; then
    km=${secs[kmerge_$fam]}; ka=${secs[kavg_$fam]}; kt=${secs[kavgt_$fam]}; k32=${secs[kavg32_$fam]}
    printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "korvant-merge (vs cat)" "$km" "$c2" "$(ratio "$km" "$c2")" "${mem[kmerge_$fam]}" "<= 1.05"
    printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "korvant-average (auto)" "$ka" "$u" "$(ratio "$ka" "$u")" "${mem[kavg_$fam]}" "<= 1.0"
    printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "  with --table" "$kt" "$u" "$(ratio "$kt" "$u")" "${mem[kavgt_$fam]}" "<= 1.0"
    printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "  and --float32-sums" "$k32" "$u" "$(ratio "$k32" "$u")" "${mem[kavg32_$fam]}" "<= 1.0"
  fi
  if [ -n "${secs[kseries_$fam]:-}" ]; then
    ks=${secs[kseries_$fam]}
    printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "korvant-series 100 pts" "$ks" "$c1" "$(ratio "$ks" "$c1")" "${mem[kseries_$fam]}" "<= 1.5"
  fi
  if [ -n "$before" ]; then
    jobs=(merge avg auto)
    [ -n "${secs[kmerge_old_$fam]:-}" ] && jobs+=(kmerge kavg kavgt kavg32)
    for job in "${jobs[@]}"; do
      o=${secs[${job}_old_$fam]}; n=${secs[${job}_$fam]}
      printf '%-8s %-22s %9s %9s %7s %8s %s\n' "QMX$fam" "$job: before -> now" "$n" "$o" "$(ratio "$n" "$o")" "${mem[${job}_old_$fam]}->${mem[${job}_$fam]}" "<= 1.0"
    done
  fi
done

if [ -f "$pypath/korvant/__init__.py" ]; then
  while read -r job secs base; do
    ratio=$(awk -v x="$secs" -v y="$base" 'BEGIN {printf "%.2f", (y > 0 ? x / y : 0)}')
    case $job in
      field) printf '%-8s %-22s %9s %9s %7s %8s %s\n' Python "depth, every step" "$secs" "$base" "$ratio" "" "<= 1.5 (vs numpy.fromfile)" ;;
      step5000) printf '%-8s %-22s %9s %9s %7s %8s %s\n' Python "one step of 5000" "$secs" "" "" "" "< 0.05 s" ;;
    esac
  done < <(PYTHONPATH=$pypath "$python" "$pyread" "$data/mesh.velto" "$data/qmx2_a.bin" \
             "$data5000/mesh.velto" "$data5000/qmx2_a.bin" "$runs")
fi
