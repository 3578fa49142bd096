#!/usr/bin/env bash
# Runs each measured path of our programs beside its peer or its limit,
# alternately, and prints the median time (and peak memory where it matters)
# of each and their ratio. Every figure of one line comes from the same run.
#
#   bench/compare-peers.sh [--repeats N] [--no-build] [--keep]
#
# Peers: `assimp` (Debian assimp-utils) and f3d (Debian f3d); a missing peer
# is skipped with a note. Needs GNU time (/usr/bin/time). Works in
# build/compare-peers/ (removed at the end unless --keep).
set -euo pipefail

repeats=5
build=1
keep=0
usage() { echo "usage: bench/compare-peers.sh [--repeats N] [--no-build] [--keep]"; }
while [ $# -gt 0 ]; do
  case "$1" in
    --repeats) [ $# -ge 2 ] || { usage >&2; exit 2; }; repeats="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    --keep) keep=1; shift ;;
    -h|--help)
      usage
      echo "Prints medians of N (default 5) alternating runs of ours and each peer, and ratios."
      exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done
case "$repeats" in ''|*[!0-9]*) usage >&2; exit 2 ;; esac
[ "$repeats" -ge 1 ] || { usage >&2; exit 2; }

root="$(cd "$(dirname "$0")/.." && pwd)"
bin="$root/build/bin"
if [ "$build" = 1 ]; then
  nice cmake --build "$root/build" -j2 --target tessel-export TesselExp zintaro make-bench-scenes \
    bench_skinning bench_export >/dev/null
fi
if [ ! -x /usr/bin/time ]; then
  echo "compare-peers: /usr/bin/time (Debian package time) is missing" >&2
  exit 1
fi
work="$root/build/compare-peers"
rm -rf "$work"
mkdir -p "$work"
cleanup() { if [ "$keep" = 0 ]; then rm -rf "$work"; fi; }
trap cleanup EXIT

echo "# Machine"
echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "memory: $(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"
echo "system: $(uname -sr), load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "runs: $repeats of each, alternating; times are medians of wall-clock seconds"
echo

"$bin/make-bench-scenes" "$work"
still="$work/static_1m.glb"
moving="$work/moving_12100.glb"

have() { command -v "$1" >/dev/null 2>&1; }

# One timed run of a command: appends "seconds peak-KiB" to the file $1.
timed() {
  local out="$1"
  shift
  if ! /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt"; then
    echo "compare-peers: failed: $*" >&2
    cat "$work/stderr.txt" >&2
    exit 1
  fi
  tail -n 1 "$work/time.txt" >>"$out"
}

median() {  # column $2 of file $1
  sort -g -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END {
    if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# compare NAME OURS-FILE PEER-FILE: the line of the table.
row() {
  local name="$1" a="$2" b="$3"
  local ta tb ma mb
  ta=$(median "$a" 1); tb=$(median "$b" 1); ma=$(median "$a" 2); mb=$(median "$b" 2)
  awk -v n="$name" -v ta="$ta" -v tb="$tb" -v ma="$ma" -v mb="$mb" 'BEGIN {
    printf "| %s | %.3f s, %.0f MiB | %.3f s, %.0f MiB | %.2f | %.2f |\n",
      n, ta, ma / 1024, tb, mb / 1024, (tb > 0 ? ta / tb : 0), (mb > 0 ? ma / mb : 0) }'
}

# alternate NAME PEER-LABEL -- OURS... -- PEER...
alternate() {
  local name="$1" peer="$2"
  shift 2
  local ours=() other=()
  shift  # --
  while [ "$1" != "--" ]; do ours+=("$1"); shift; done
  shift
  other=("$@")
  : >"$work/a.txt"
  : >"$work/b.txt"
  for _ in $(seq "$repeats"); do
    timed "$work/a.txt" "${ours[@]}"
    timed "$work/b.txt" "${other[@]}"
  done
  row "$name (vs $peer)" "$work/a.txt" "$work/b.txt"
}

echo "# Whole programs"
echo
echo "| path | ours (time, peak memory) | peer or limit | time ratio | memory ratio |"
echo "|---|---|---|---|---|"
if have assimp; then
  alternate "export, 16 meshes, 1M triangles, glb in" "assimp export glb" \
    -- "$bin/tessel-export" "$still" "$work/still.tsl" --all \
    -- assimp export "$still" "$work/peer.glb"
  alternate "import only (--list)" "assimp info" \
    -- "$bin/tessel-export" "$still" --list \
    -- assimp info "$still"
else
  echo "(assimp is not installed (Debian package assimp-utils): its two lines are skipped)"
  "$bin/tessel-export" "$still" "$work/still.tsl" --all >/dev/null 2>&1
fi
if have f3d; then
  # f3d renders through an X display; without one it gets a virtual one.
  f3d=(f3d)
  if [ -z "${DISPLAY:-}" ]; then f3d=(xvfb-run -a f3d); fi
  alternate "picture 1024x768 of the same triangles" "f3d --output" \
    -- "$bin/zintaro" --snapshot "$work/ours.png" --size 1024x768 --tessel "$work/still.tsl" \
    -- "${f3d[@]}" --output="$work/f3d.png" --resolution=1024,768 "$still"
else
  echo "(f3d is not installed (Debian package f3d): the picture line is skipped)"
fi
# The animated export against writing and syncing as many bytes to the same
# folder.
"$bin/tessel-export" "$moving" "$work/moving.tsl" --all >/dev/null 2>&1
bytes=$(stat -c %s "$work/moving.tsl")
alternate "export of a moving 12,100-vertex object, 301 frames ($((bytes / 1000000)) MB)" "dd conv=fsync" \
  -- "$bin/tessel-export" "$moving" "$work/moving.tsl" --all \
  -- dd if=/dev/zero of="$work/dd.bin" bs=1M count=$(((bytes + 1048575) / 1048576)) conv=fsync status=none
echo

echo "# Kernels (Google Benchmark, CPU time, medians of $repeats interleaved repetitions)"
echo
kernel() {  # bench filter ours-name base-name label
  "$bin/$1" --benchmark_filter="$2" --benchmark_repetitions="$repeats" \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
    --benchmark_format=csv 2>/dev/null | awk -F, -v ours="\"$3_median\"" -v base="\"$4_median\"" -v label="$5" '
      $1 == ours { a = $4; u = $5 } $1 == base { b = $4 }
      END { if (a == "" || b == "") { print "| " label " | not measured | | |"; exit }
            printf "| %s | %.1f %s | %.1f %s | %.2f |\n", label, a, u, b, u, a / b }'
}
echo "| kernel | ours | limit or peer | ratio |"
echo "|---|---|---|---|"
kernel bench_skinning 'BM_(SkinPart100k|CopyPartVertices100k)$' BM_SkinPart100k BM_CopyPartVertices100k \
  "skinning 100,000 vertices, rotating bones (vs memcpy)"
kernel bench_skinning 'BM_(SkinPart100kScaledBones|CopyPartVertices100k)$' BM_SkinPart100kScaledBones \
  BM_CopyPartVertices100k "same, scaled bones (vs memcpy)"
kernel bench_export 'BM_(VertexSplit|MeshoptVertexRemap)$' BM_VertexSplit BM_MeshoptVertexRemap \
  "vertex split, 3M corners (vs meshopt_generateVertexRemap)"
