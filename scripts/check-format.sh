#!/usr/bin/env bash
# Fails when a tracked C++ file is not formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.hpp')
(( ${#files[@]} == 0 )) || clang-format --dry-run --Werror "${files[@]}"
echo "clang-format: ${#files[@]} files formatted"
