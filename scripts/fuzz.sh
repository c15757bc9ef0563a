#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset, clang) and runs each for a bounded time from its
# checked-in seeds in fuzz/corpus/<target>; what a run finds on the way is kept in
# build/fuzz/corpus/<target>. FUZZ_SECONDS sets the time per target (default 20).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-20}"

cmake --preset fuzz -DPELLORIN_WERROR=ON
cmake --build --preset fuzz

for target in delimited_fields artist_rules move_run tag_reader; do
  echo "== fuzz $target for ${seconds}s"
  found="build/fuzz/corpus/$target"
  log="build/fuzz/$target.log"
  mkdir -p "$found"
  if ! "build/fuzz/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="build/fuzz/$target-" \
      "$found" "fuzz/corpus/$target" >"$log" 2>&1; then
    cat "$log"
    echo "fuzz: $target failed; the input is in build/fuzz/$target-*" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^Done' "$log"
done
