#!/usr/bin/env bash
# The fuzz targets (tests/fuzz), built with clang, libFuzzer, AddressSanitizer and
# UBSan, each run on its checked-in corpus for a fixed number of inputs with a
# fixed seed, so that a run is repeatable.  Exits non-zero when a target fails to
# build or finds a crash, a hang or an out-of-memory input (kept in
# build/fuzz-artifacts).  bench/fuzz runs them for longer.
#
#   bash scripts/fuzz.sh [TARGET...]      FUZZ_RUNS=N overrides the inputs per target
set -uo pipefail
cd "$(dirname "$0")/.."
RUNS=${FUZZ_RUNS:-}

# Inputs per target, sized so that all of them take a few minutes on two cores.
declare -A runs=([reg_script]=5000 [undo_file]=5000 [cli]=10000 [output]=1500 [round_trip]=5000)

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKORVANE_FUZZ=ON >build/fuzz-configure.log 2>&1 || { cat build/fuzz-configure.log; exit 1; }
read -r -a targets <<<"$(tr ';' ' ' <build/fuzz/fuzz-targets.txt)"
[ $# -eq 0 ] || targets=("$@")
ninja -C build/fuzz "${targets[@]/#/fuzz_}" || exit 1

# A small quarantine and short allocation stacks: half again as many inputs a
# second, and AddressSanitizer still finds every overflow, and every use after
# free of recent memory.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=4:max_malloc_fill_size=0}
mkdir -p build/fuzz-artifacts
failed=()
for t in "${targets[@]}"; do
  work=$(mktemp -d)
  n=${RUNS:-${runs[$t]:-2000}}
  echo "--- fuzz_$t: $n inputs"
  # New inputs go to the scratch folder first named; the checked-in corpus is only read.
  if ! build/fuzz/fuzz_$t "$work" "tests/fuzz/corpus/$t" -runs="$n" -seed=1 -max_len=2048 \
      -timeout=25 -rss_limit_mb=2048 -artifact_prefix="build/fuzz-artifacts/$t-" \
      -print_final_stats=1 >"build/fuzz-$t.log" 2>&1; then
    tail -40 "build/fuzz-$t.log"
    failed+=("$t")
  else
    grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "build/fuzz-$t.log" | tail -2
  fi
  rm -rf "$work"
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz targets that failed: ${failed[*]} (inputs in build/fuzz-artifacts)"
  exit 1
fi
