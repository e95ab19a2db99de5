#!/usr/bin/env bash
# Sets up, builds and runs every test: once in a normal build, then once more
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/bootstrap.sh"

export QT_QPA_PLATFORM=offscreen
# The bootstrap installed PostgreSQL: its tests must run, not skip.
export QUORVEL_REQUIRE_PG=1
jobs="$(nproc)"

echo "== build and test =="
QUORVEL_BUILD_DIR="$root/build" "$root/scripts/build.sh"
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

if [ "${QUORVEL_SKIP_SANITIZERS:-0}" != 1 ]; then
    echo "== build and test under ASan and UBSan =="
    QUORVEL_BUILD_DIR="$root/build-sanitize" QUORVEL_BUILD_TYPE=Debug \
        "$root/scripts/build.sh" -DQUORVEL_SANITIZE=ON -DQUORVEL_BUILD_BENCH=OFF
    # Qt's own allocations at exit are not ours to chase; real leaks in our
    # code still show in the error checks.
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir "$root/build-sanitize" --output-on-failure -j "$jobs"
fi
