#!/usr/bin/env bash
# Builds (installing what is missing) and runs the whole test suite, plainly
# or built with AddressSanitizer and UndefinedBehaviorSanitizer (as CI does).
set -euo pipefail
usage() {
  cat <<'USAGE'
usage: scripts/test.sh [--sanitize] [BUILD_DIR] [-DNAME=VALUE...]

Installs what is missing, builds into BUILD_DIR (default build/, or
build-asan/ with --sanitize) and runs every test with ctest.

  --sanitize   build with AddressSanitizer and UndefinedBehaviorSanitizer
               (Debug at -O1) and run the tests with the sanitizer settings
               CI uses; any report fails the run
  -DNAME=VALUE extra CMake settings, e.g. -DPIPELINE_TESTDATA_DIR=DIR for the
               full third-party scene collection (default ../shared/testdata;
               without it the sweeps over it are skipped, and fail under
               CI=true)
  --help       this text
USAGE
}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
sanitize=0
build=""
cmake_args=()
for a in "$@"; do
  case "$a" in
    -h|--help) usage; exit 0 ;;
    --sanitize) sanitize=1 ;;
    -D*) cmake_args+=("$a") ;;
    -*) echo "test.sh: unknown option '$a'" >&2; usage >&2; exit 2 ;;
    *)
      if [ -n "$build" ]; then echo "test.sh: one build folder only ('$a')" >&2; exit 2; fi
      build="$a" ;;
  esac
done

if [ $sanitize = 1 ]; then
  build="${build:-$here/build-asan}"
  # -O1 with line tables: the usual sanitizer set-up, and quicker to build than -O2 -g.
  cmake_args=(-DPIPELINE_SANITIZE=ON -DPIPELINE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
              -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DCMAKE_C_FLAGS_DEBUG="-O1 -g1"
              ${cmake_args[@]+"${cmake_args[@]}"})
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
  # Mesa's rasteriser draws on the calling thread: no driver threads start or
  # end while the leak checker stops the process at exit.
  export LP_NUM_THREADS=0
fi
build="${build:-$here/build}"
"$here/scripts/setup.sh" "$build" ${cmake_args[@]+"${cmake_args[@]}"}
cd "$build"
# Sanitizer builds: leaks inside the scene importer library are not ours.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$here/tests/lsan.supp}"
ctest --output-on-failure -j "$(nproc)" --timeout 600
