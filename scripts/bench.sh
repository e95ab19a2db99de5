#!/usr/bin/env bash
# Builds the benchmark and prints its table of figures, each beside the bare
# limit measured in the same run. Arguments go to quorvel-bench, e.g.
#   scripts/bench.sh --sizes 10000,100000 --runs 3
# Registers are generated on first use and kept under /tmp/quorvel-bench.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUORVEL_BUILD_DIR:-$root/build}"
"$root/scripts/build.sh" -DQUORVEL_BUILD_BENCH=ON >/dev/null
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "SQLite $(sqlite3 --version | cut -d' ' -f1)"
exec "$build/bench/quorvel-bench" "$@"
