#!/usr/bin/env bash
# The main job: builds (installing what is missing), writes the demo content
# once (a walking character with body, helmet, armour, weapon and shoes, and a
# village with a windmill and a flag) and shows it playing in the viewer.
# Without a display (DISPLAY and WAYLAND_DISPLAY unset) it renders one frame
# of it into a PNG instead. Extra arguments go to the viewer, for example
# `scripts/demo.sh --show 5=1` to show the skeleton as well.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$here/build"
"$here/scripts/setup.sh" "$build"

demo="$build/demo"
if [ ! -f "$demo/village.tsl" ] || [ "$build/bin/make-demo-content" -nt "$demo/village.tsl" ]; then
  "$build/bin/make-demo-content" "$demo"
fi
files=(
  --biped "$demo/demo.bpd"
  --part 0="$demo/body.mrv" --part 1="$demo/helmet.mrv" --part 2="$demo/armour.mrv"
  --part 3="$demo/weapon.mrv" --part 4="$demo/shoes.mrv"
  --tessel "$demo/village.tsl"
)

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  picture="$demo/zintaro-demo.png"
  "$build/bin/zintaro" --snapshot "$picture" --size 800x600 --ticks 12 "${files[@]}" "$@"
  echo "demo: no display to open the viewer on; one frame of the demo is in $picture"
  exit 0
fi
echo "demo: the viewer shows the demo playing; the control panel is beside it"
exec "$build/bin/zintaro" --play "${files[@]}" "$@"
