#!/usr/bin/env bash
# Installs what is missing, builds Pellorin and starts its window. Without a display it says so
# and points to the terminal program, which this script also runs when given arguments:
#   scripts/run.sh                                   the window
#   scripts/run.sh [--dry-run] [--no-ask] PATTERN ROOT  pellorin-move
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build >&2
cmake --preset release -DPELLORIN_BUILD_TESTS=OFF >/dev/null
cmake --build --preset release >/dev/null
if (( $# > 0 )); then
  exec build/release/cli/pellorin-move "$@"
fi
exec build/release/ui/pellorin
