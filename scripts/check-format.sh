#!/usr/bin/env bash
# Checks that every tracked C++ file follows .clang-format; with --fix,
# formats them in place instead.
set -euo pipefail
usage() {
  cat <<'USAGE'
usage: scripts/check-format.sh [--fix]

Runs clang-format (installing it when missing) over every C++ file git
tracks (outside a git checkout: every one in the project's folders) and
fails, listing the places, when one does not follow .clang-format.

  --fix    format the files in place instead of checking
  --help   this text
USAGE
}
fix=0
for a in "$@"; do
  case "$a" in
    -h|--help) usage; exit 0 ;;
    --fix) fix=1 ;;
    *) echo "check-format.sh: unknown argument '$a'" >&2; usage >&2; exit 2 ;;
  esac
done
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
command -v clang-format >/dev/null 2>&1 || scripts/install-deps.sh clang-format
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h' '*.c' '*.hpp' '*.cc')
else
  # A copy without git: the project's own folders.
  mapfile -d '' files < <(find viewer exporter tools tests bench fuzz -type f \
    \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.hpp' -o -name '*.cc' \) \
    -not -path '*/node_modules/*' -print0 | sort -z)
fi
if [ $fix = 1 ]; then
  clang-format -i "${files[@]}"
else
  clang-format --dry-run -Werror "${files[@]}"
  echo "format: ${#files[@]} files follow .clang-format"
fi
