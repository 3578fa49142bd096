#!/usr/bin/env bash
# Installs the Debian packages the project needs (when missing), then
# configures and builds. Usage: scripts/setup.sh [BUILD_DIR] [extra cmake args...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
shift || true

"$here/scripts/install-deps.sh"

generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
if [ -f "$build/CMakeCache.txt" ]; then generator=(); fi  # keep the generator it has
cmake -S "$here" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
