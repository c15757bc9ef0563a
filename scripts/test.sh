#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: plain, then under AddressSanitizer and
# UndefinedBehaviorSanitizer, with warnings as errors; then the Windows build under Wine; then a
# short run of each fuzzing target.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build test windows
scripts/check-format.sh

# The plain build is the release one that scripts/run.sh uses, so its smoke test builds nothing.
for preset in release asan; do
  echo "== $preset"
  cmake --preset "$preset" -DPELLORIN_WERROR=ON -DPELLORIN_BUILD_TESTS=ON
  cmake --build --preset "$preset"
  ctest --preset "$preset"
  if [[ $preset == release ]]; then tests/smoke/run_command.sh; fi
done

# The Windows programs, cross-built with MinGW-w64; their tests run under Wine.
echo "== mingw"
cmake --preset mingw -DPELLORIN_WERROR=ON
cmake --build --preset mingw
ctest --preset mingw
scripts/fuzz.sh
