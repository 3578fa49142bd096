#!/usr/bin/env bash
# The main job: builds (installing what is missing), writes the demo content
# once (a walking character with body, helmet, armour, weapon and shoes, and a
# village with a windmill and a flag) and shows it playing in the viewer.
# It also turns the third-party character CesiumMan (assets/CesiumMan, glTF)
# into viewer files with character-export; `scripts/demo.sh cesium` shows that
# character walking through the village instead.
# Without a display (DISPLAY and WAYLAND_DISPLAY unset) it renders one frame
# of each into PNG files instead. Extra arguments go to the viewer, for
# example `scripts/demo.sh --show 5=1` to show the skeleton as well.
set -euo pipefail
usage() {
  cat <<'USAGE'
usage: scripts/demo.sh [cesium] [VIEWER OPTION...]

Installs what is missing, builds into build/, writes the demo content into
build/demo/ and opens it playing in the viewer. "cesium" shows the imported
third-party character CesiumMan instead of the demo character. Viewer options
(see build/bin/zintaro --help), e.g. --show 5=1 or --fit, are passed on.
Without a display, one frame of each is rendered into build/demo/*.png.
USAGE
}
character=demo
if [ "${1:-}" = "cesium" ]; then
  character=cesium
  shift
fi
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The viewer's options, read from its usage text before anything is built:
# those written with a value ("--yaw R") and those without ("--fit").
viewer_usage="$(sed -n '/^std::string ViewerUsage/,/^}/p' "$here/viewer/app/CommandLine.cpp")"
with_value=" $(grep -oE -- '--[a-z]+ [A-Z]' <<<"$viewer_usage" | cut -d' ' -f1 | sort -u | tr '\n' ' ')"
all_options=" $(grep -oE -- '--[a-z]+' <<<"$viewer_usage" | sort -u | tr '\n' ' ')"
skip_value=0
for a in "$@"; do
  if [ "$skip_value" = 1 ]; then skip_value=0; continue; fi
  case "$a" in
    -h|--help) usage; exit 0 ;;
    --snapshot|--screenshot)
      echo "demo.sh: $a is chosen by the script itself" >&2; exit 2 ;;
    -*)
      if [[ "$all_options" != *" $a "* ]]; then
        echo "demo.sh: unknown option '$a' (see build/bin/zintaro --help)" >&2
        usage >&2
        exit 2
      fi
      if [[ "$with_value" == *" $a "* ]]; then skip_value=1; fi ;;
  esac
done
build="$here/build"
"$here/scripts/setup.sh" "$build"

demo="$build/demo"
if [ ! -f "$demo/village.tsl" ] || [ "$build/bin/make-demo-content" -nt "$demo/village.tsl" ]; then
  "$build/bin/make-demo-content" "$demo"
fi
cesium="$demo/cesium"
if [ ! -f "$cesium/body.mrv" ] || [ "$build/bin/character-export" -nt "$cesium/body.mrv" ]; then
  "$build/bin/character-export" "$here/assets/CesiumMan/CesiumMan.gltf" "$cesium" \
    --part 'nodes[1]=body' --height 18 >/dev/null
fi

demo_files=(
  --biped "$demo/demo.bpd"
  --part 0="$demo/body.mrv" --part 1="$demo/helmet.mrv" --part 2="$demo/armour.mrv"
  --part 3="$demo/weapon.mrv" --part 4="$demo/shoes.mrv"
  --tessel "$demo/village.tsl"
)
cesium_files=(
  --biped "$cesium/CesiumMan.bpd" --part 0="$cesium/body.mrv" --tessel "$demo/village.tsl"
)

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  picture="$demo/zintaro-demo.png"
  "$build/bin/zintaro" --snapshot "$picture" --size 800x600 --ticks 12 "${demo_files[@]}" "$@"
  cesium_picture="$demo/zintaro-cesium.png"
  "$build/bin/zintaro" --snapshot "$cesium_picture" --size 800x600 --ticks 12 \
    "${cesium_files[@]}" "$@"
  echo "demo: no display to open the viewer on; one frame of the demo is in $picture"
  echo "demo: and one frame of CesiumMan (imported from glTF) in $cesium_picture"
  exit 0
fi
if [ "$character" = "cesium" ]; then
  echo "demo: the viewer shows CesiumMan (imported from glTF) walking through the village"
  exec "$build/bin/zintaro" --play "${cesium_files[@]}" "$@"
fi
echo "demo: the viewer shows the demo playing; the control panel is beside it"
echo "demo: 'scripts/demo.sh cesium' shows the imported third-party character CesiumMan"
exec "$build/bin/zintaro" --play "${demo_files[@]}" "$@"
