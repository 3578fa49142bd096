#!/usr/bin/env bash
# Builds (installing what is missing) and runs the whole test suite.
# Usage: scripts/test.sh [BUILD_DIR] [extra cmake args...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
shift || true
"$here/scripts/setup.sh" "$build" "$@"
cd "$build"
# Sanitizer builds: leaks inside the scene importer library are not ours.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$here/tests/lsan.supp}"
ctest --output-on-failure -j "$(nproc)" --timeout 600
