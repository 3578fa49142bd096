#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a bounded time
# on its corpus: build-fuzz/corpus/<kind> (kept between runs), seeded from
# fuzz/corpus/<kind>, tests/data/damaged/<kind>, tests/data/regressions/<kind>
# and the demo content's files of that kind (target fuzz_<kind>).
# Fails on any crash, sanitizer report, leak, timeout or memory blow-up;
# crashing inputs are left in build-fuzz/artifacts/. Prints per target the
# executions, the slowest input's time and the peak memory.
set -euo pipefail
usage() {
  cat <<'USAGE'
usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]

Builds the libFuzzer targets with clang into build-fuzz/ (or
$PIPELINE_FUZZ_BUILD) and runs each TARGET (default: all of them) for
SECONDS_PER_TARGET seconds (default 60). Targets: fuzz_bpd, fuzz_mrv,
fuzz_tsl, fuzz_tga, fuzz_bmp, fuzz_scene. Fails on any crash, sanitizer
report, leak or timeout; crashing inputs are kept in build-fuzz/artifacts/.
USAGE
}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds=60
targets=()
for a in "$@"; do
  case "$a" in
    -h|--help) usage; exit 0 ;;
    -*) echo "fuzz.sh: unknown option '$a'" >&2; usage >&2; exit 2 ;;
    fuzz_bpd|fuzz_mrv|fuzz_tsl|fuzz_tga|fuzz_bmp|fuzz_scene) targets+=("$a") ;;
    *)
      if [[ "$a" =~ ^[0-9]+$ ]] && [ "$a" -gt 0 ] && [ ${#targets[@]} -eq 0 ]; then
        seconds="$a"
      else
        echo "fuzz.sh: '$a' is neither a number of seconds (given first) nor a fuzz target" >&2
        usage >&2
        exit 2
      fi ;;
  esac
done
build="${PIPELINE_FUZZ_BUILD:-$here/build-fuzz}"
jobs="$(nproc)"
[ "$jobs" -gt 2 ] && jobs=2

"$here/scripts/install-deps.sh" clang libclang-rt-14-dev

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DPIPELINE_BUILD_FUZZ=ON -DPIPELINE_BUILD_TESTS=OFF -DPIPELINE_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target fuzz_all -j "$jobs"

if [ ${#targets[@]} -eq 0 ]; then
  for f in "$build"/bin/fuzz_*; do targets+=("$(basename "$f")"); done
fi

# Demo content, sorted into seed directories by extension.
seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds/demo"
"$build/bin/make-demo-content" "$seeds/demo" >/dev/null
find "$seeds/demo" -type f | while read -r f; do
  ext="${f##*.}"
  mkdir -p "$seeds/$ext"
  cp "$f" "$seeds/$ext/"
done

# Third-party scenes up to 64 KB (those kept with the tests, and the full
# collection when it is beside the repository) seed fuzz_scene.
mkdir -p "$seeds/scene"
for testdata in "$here/tests/data/scenes" "$here/../shared/testdata"; do
  [ -d "$testdata" ] || continue
  (cd "$testdata" && find . -type f -size -64k \( -iname '*.gltf' -o -iname '*.glb' -o -iname '*.obj' \
      -o -iname '*.fbx' -o -iname '*.dae' -o -iname '*.ase' -o -iname '*.x' -o -iname '*.3ds' \
      -o -iname '*.ply' -o -iname '*.off' -o -iname '*.stl' \)) |
    sed 's|^\./||' | while read -r f; do cp "$testdata/$f" "$seeds/scene/$(echo "$f" | tr / _)"; done
done

mkdir -p "$build/artifacts"
status=0
for t in "${targets[@]}"; do
  kind="${t#fuzz_}"
  corpus="$build/corpus/$kind"
  mkdir -p "$corpus"
  dirs=()
  for d in "$here/fuzz/corpus/$kind" "$here/tests/data/damaged/$kind" "$here/tests/data/regressions/$kind" \
           "$seeds/$kind"; do
    [ -d "$d" ] && dirs+=("$d")
  done
  limits=()
  asan=detect_leaks=1
  case "$kind" in
    # Decoding large bitmaps says nothing new and slows every run down.
    bmp) limits=(-max_len=1024) ;;
    # Files built from hostile counts: a reader holds its memory to a small
    # multiple of the file, so any large allocation is a finding.
    *_counts|transfer) limits=(-malloc_limit_mb=64) ;;
    # Every scene is read in a child process: a small quarantine keeps the
    # process, and with it each fork, small. The importer's own huge
    # allocations in that child are its own: the child's memory limit, not
    # the per-allocation one, holds them.
    scene) limits=(-max_len=65536 -malloc_limit_mb=1000000); asan=$asan:quarantine_size_mb=16 ;;
  esac
  echo "=== $t: ${seconds}s ==="
  artifacts_before="$(find "$build/artifacts" -name "$t-*" | wc -l)"
  # Leaks inside the importer (it loses objects on some malformed files) are
  # its own; every other leak fails the run.
  if ! ASAN_OPTIONS=$asan LSAN_OPTIONS="suppressions=$here/fuzz/lsan.supp:print_suppressions=0" \
       UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
       "$build/bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
       -artifact_prefix="$build/artifacts/$t-" -print_final_stats=1 ${limits[@]+"${limits[@]}"} \
       "$corpus" "${dirs[@]}" >"$build/$t.log" 2>&1 ||
     [ "$(find "$build/artifacts" -name "$t-*" | wc -l)" != "$artifacts_before" ]; then
    echo "FAILED: $t (see $build/$t.log)"
    tail -40 "$build/$t.log"
    status=1
  else
    grep -E '^stat::(number_of_executed_units|slowest_unit_time_sec|peak_rss_mb)' "$build/$t.log" | tr '\n' ' '
    # The slowest input of the corpus, timed on its own.
    slowest="$(find "$corpus" -type f -print0 | ASAN_OPTIONS=detect_leaks=0 xargs -0 -r "$build/bin/$t" 2>&1 |
               sed -n 's/^Executed .* in \([0-9]*\) ms$/\1/p' | sort -n | tail -1)"
    echo "slowest_corpus_input_ms: ${slowest:-0} corpus_files: $(find "$corpus" -type f | wc -l)"
  fi
done
exit $status
