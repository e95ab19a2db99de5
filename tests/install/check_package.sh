#!/usr/bin/env bash
# Builds the Debian package from the build tree and has lintian look at it:
# any error fails; warnings are printed.
# Usage: check_package.sh BUILD_DIR
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
deb=$(ls "$out"/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for needed in libqt6widgets6 libqt6sql6-sqlite libsqlite3-0 qt6-qpa-plugins; do
    [[ $depends == *"$needed"* ]] || { echo "FAIL: package does not depend on $needed" >&2; exit 1; }
done
lintian --fail-on error --tag-display-limit 0 "$deb"
