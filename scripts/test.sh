#!/usr/bin/env bash
# Builds (installing what is missing) and runs the whole test suite.
# Usage: scripts/test.sh [BUILD_DIR] [extra cmake args...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
shift || true
"$here/scripts/setup.sh" "$build" "$@"
cd "$build"
ctest --output-on-failure -j "$(nproc)" --timeout 600
