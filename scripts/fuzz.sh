#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on its corpus in
# tests/fuzz/corpus/<target>. New inputs that widen coverage go to build-fuzz/corpus/<target>,
# not into the tree: a run leaves the checkout as it found it, and what is worth keeping is
# merged by hand (<target> -merge=1 tests/fuzz/corpus/<target> build-fuzz/corpus/<target>).
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

PLUGINS_WITH_CLANG=1 scripts/install-deps.sh
cmake -S tests/fuzz -B build-fuzz -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j"$(nproc)"

mkdir -p build-fuzz/artifacts
for target in build-fuzz/fuzz_*; do
  [[ -x "$target" && -f "$target" ]] || continue
  name=$(basename "$target")
  corpus=tests/fuzz/corpus/${name#fuzz_}
  found=build-fuzz/corpus/${name#fuzz_}
  mkdir -p "$corpus" "$found"
  echo "fuzzing $name for ${seconds}s" >&2
  rc=0
  "$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix=build-fuzz/artifacts/"$name"- "$found" "$corpus" >build-fuzz/"$name".log 2>&1 || rc=$?
  grep -E "^stat::(number_of_executed_units|peak_rss_mb)" build-fuzz/"$name".log >&2 || true
  if ((rc != 0)); then
    tail -40 build-fuzz/"$name".log >&2
    echo "$name failed (exit $rc); the input is in build-fuzz/artifacts/" >&2
    exit 1
  fi
done
echo "fuzzing done"
