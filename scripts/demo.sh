#!/usr/bin/env bash
# Builds (installing what is missing) and runs the main job on the demo content.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$here/build"
"$here/scripts/setup.sh" "$build"
"$build/bin/model-info" "$here/tests/data/sample.bpd"
