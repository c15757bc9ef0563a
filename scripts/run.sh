#!/usr/bin/env bash
# Installs what is missing, builds Pellorin and starts its window. Without a display the window
# program says so in one line and points to the terminal program, which this script runs when
# given arguments:
#   scripts/run.sh                                      the window
#   scripts/run.sh [--dry-run] [--no-ask] PATTERN ROOT  pellorin-move
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build >&2
# A release folder that scripts/test.sh configured (tests and all) is used as it is.
[[ -f build/release/CMakeCache.txt ]] ||
  cmake --preset release -DPELLORIN_BUILD_TESTS=OFF >/dev/null
cmake --build --preset release >/dev/null
source build/release/programs.sh
if (( $# > 0 )); then
  exec "$pellorin_move" "$@"
fi
exec "$pellorin"
