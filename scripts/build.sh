#!/usr/bin/env bash
# Configures and builds into build/ (or $QUORVEL_BUILD_DIR). Extra arguments
# go to CMake, e.g. -DQUORVEL_SANITIZE=ON.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUORVEL_BUILD_DIR:-$root/build}"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    # Paths relative to the checkout, so another clone (CI's) reuses the cache.
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}" CCACHE_NOHASHDIR=1
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${QUORVEL_BUILD_TYPE:-RelWithDebInfo}" \
    "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
