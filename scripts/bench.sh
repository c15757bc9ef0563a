#!/usr/bin/env bash
# Builds the release preset and runs pellorin-bench, which prints a table of every way of filing
# music against the file system's own work. Arguments go to pellorin-bench, e.g.
#   scripts/bench.sh                              1,000, 10,000 and 100,000 files, 5 repetitions
#   scripts/bench.sh --dir /dev/shm --repetitions 3
#   scripts/bench.sh --sizes 100000 --only window    the floor and one run, for a profiler
#   scripts/bench.sh --cross-device               onto a loop-mounted ext4 image (as root), each
#                                                 run's flushes counted and priced as a disk would
#   scripts/bench.sh --tags --dir /dev/shm        4,000 tagged songs: every artist from the tags,
#                                                 against the same songs named by their artist
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build test >&2
cmake --preset release >/dev/null
cmake --build --preset release --target pellorin-bench >/dev/null
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
exec build/release/bench/pellorin-bench "$@"
