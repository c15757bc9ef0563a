#!/usr/bin/env bash
# Runs a test program in a Wine prefix whose screen is set to another DPI, and tells the test
# which DPI to expect, so that a scaling that silently stayed at 96 fails.
# Usage: run_at_dpi.sh WINE_RUN PREFIX DPI PROGRAM [ARGUMENTS...]   (inside xvfb-run)
set -euo pipefail
wine_run=$1 prefix=$2 dpi=$3
shift 3
"$wine_run" "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
  /d "$dpi" /f >/dev/null
PELLORIN_TEST_DPI=$dpi exec "$wine_run" "$prefix" "$@"
