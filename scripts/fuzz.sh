#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a bounded time
# on its corpus (seeded from tests/data and the damaged-file tables).
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Fails on any crash, sanitizer report, leak or timeout; crashing inputs are
# left in build-fuzz/artifacts/.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
shift || true
build="$here/build-fuzz"

"$here/scripts/install-deps.sh" clang libclang-rt-14-dev

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DPIPELINE_BUILD_FUZZ=ON -DPIPELINE_BUILD_TESTS=OFF -DPIPELINE_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target fuzz_all -j "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$build"/bin/fuzz_*; do targets+=("$(basename "$f")"); done
fi

mkdir -p "$build/artifacts"
status=0
for t in "${targets[@]}"; do
  kind="${t#fuzz_}"
  corpus="$build/corpus/$kind"
  mkdir -p "$corpus"
  seeds=()
  [ -d "$here/fuzz/corpus/$kind" ] && seeds+=("$here/fuzz/corpus/$kind")
  [ -d "$here/tests/data/damaged/$kind" ] && seeds+=("$here/tests/data/damaged/$kind")
  echo "=== $t: ${seconds}s ==="
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
       "$build/bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$build/artifacts/$t-" -print_final_stats=1 \
       "$corpus" "${seeds[@]}" 2>"$build/$t.log"; then
    echo "FAILED: $t (see $build/$t.log)"
    tail -40 "$build/$t.log"
    status=1
  else
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/$t.log" | tr '\n' ' '
    echo
  fi
done
exit $status
