#!/usr/bin/env bash
# Builds the native tests and both Windows builds, then runs every test: the runtime on the
# simulated machine (also sanitized, with the fuzz targets), the build checks of both
# bitnesses, the release's reproducibility, and the 64-bit executables under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

status=0
run() { "$@" || status=1; }

cmake --preset native >/dev/null
cmake --build --preset native
run ctest --preset native

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzz targets
# for a bounded time each.
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
run ctest --preset sanitize

cmake --preset win32 >/dev/null
cmake --build --preset win32
run ctest --preset win32

cmake --preset win64 >/dev/null
cmake --build --preset win64
run ctest --preset win64

exit $status
