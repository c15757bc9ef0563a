#!/usr/bin/env bash
# Installs what is missing, builds Pellorin and runs it. Arguments go to pellorin-move:
#   scripts/run.sh [--dry-run] [--no-ask] [PATTERN [ROOT]]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build >&2
cmake --preset release -DPELLORIN_BUILD_TESTS=OFF >/dev/null
cmake --build --preset release >/dev/null
exec build/release/cli/pellorin-move "$@"
