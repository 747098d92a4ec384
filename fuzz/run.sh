#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time.
#
#   fuzz/run.sh [seconds per target] [build folder] [target ...]
#
# Whole runs (the session target) get three times the seconds: a run costs
# some thirty times a single reader's input.
#
# Each target first runs once on every reproducer of an earlier finding
# (fuzz/regressions/<target>/), then fuzzes from its committed seeds
# (fuzz/corpus/<target>/). New inputs go to <build folder>/corpus/<target>/,
# never into the committed seeds. Any finding (a crash, a sanitizer report, a
# broken promise, a run of more than 10 s, a leak or more than 2 GB of memory)
# fails the script and leaves its input in <build folder>/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=${2:-build-fuzz}
shift $(($# > 2 ? 2 : $#))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(record_file geometry qmx2 qmx4 qmx10 session)
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -DKORVANT_FUZZ=ON -DKORVANT_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2

# Reproducers are replayed with leak checks; fuzzing stops at the first report.
export ASAN_OPTIONS=abort_on_error=0:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

mkdir -p "$build/findings"
# Absolute: whole runs work in a folder of their own when a finding is written.
findings=$(cd "$build/findings" && pwd)
status=0
for target in "${targets[@]}"; do
  max_len=16384
  time=$seconds
  if [ "$target" = session ]; then
    max_len=32768
    time=$((3 * seconds))
  fi
  binary="$build/fuzz_$target"
  regressions=(fuzz/regressions/"$target"/*)
  if [ -e "${regressions[0]}" ]; then
    echo "== $target: ${#regressions[@]} reproducers"
    "$binary" -timeout=10 "${regressions[@]}" 2>"$build/findings/$target.replay.log" || {
      echo "FAIL: a reproducer of $target fails again (see $build/findings/$target.replay.log)"
      status=1
      continue
    }
  fi
  dict=()
  if [ -f "fuzz/$target.dict" ]; then dict=(-dict="fuzz/$target.dict"); fi
  mkdir -p "$build/corpus/$target"
  echo "== $target: fuzzing for $time s"
  if "$binary" -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" \
      -print_final_stats=1 "${dict[@]}" -artifact_prefix="$findings/$target-" \
      "$build/corpus/$target" "fuzz/corpus/$target" >"$build/findings/$target.log" 2>&1; then
    grep -E "^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)|DONE" \
      "$build/findings/$target.log" || true
  else
    echo "FAIL: $target found a fault:"
    grep -E -A12 "ERROR|broken promise|runtime error|Test unit written" \
      "$build/findings/$target.log" | head -60
    status=1
  fi
done
exit $status
