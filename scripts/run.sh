#!/usr/bin/env bash
# Sets up, builds and starts Quorvel on its default register (or pass
# --register DIR).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/bootstrap.sh"
"$root/scripts/build.sh"
exec "${QUORVEL_BUILD_DIR:-$root/build}/src/quorvel" "$@"
