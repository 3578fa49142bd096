#!/usr/bin/env bash
# Installs the Debian packages the project needs (when missing), then
# configures and builds.
set -euo pipefail
usage() {
  cat <<'USAGE'
usage: scripts/setup.sh [BUILD_DIR] [-DNAME=VALUE...]

Installs the Debian packages the project needs that are missing, configures
the project into BUILD_DIR (default build/, RelWithDebInfo, Ninja when
installed) with the CMake settings given, and builds it.
USAGE
}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$here/build"
cmake_args=()
positional=0
for a in "$@"; do
  case "$a" in
    -h|--help) usage; exit 0 ;;
    -D*) cmake_args+=("$a") ;;
    -*) echo "setup.sh: unknown option '$a'" >&2; usage >&2; exit 2 ;;
    *)
      if [ $positional -gt 0 ]; then echo "setup.sh: one build folder only ('$a')" >&2; exit 2; fi
      build="$a"; positional=1 ;;
  esac
done

"$here/scripts/install-deps.sh"

generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
if [ -f "$build/CMakeCache.txt" ]; then generator=(); fi  # keep the generator it has
cmake -S "$here" -B "$build" ${generator[@]+"${generator[@]}"} -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  ${cmake_args[@]+"${cmake_args[@]}"} >/dev/null
cmake --build "$build" -j "$(nproc)"
