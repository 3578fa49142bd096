#!/usr/bin/env bash
# Installs the Debian packages the project needs, when any is missing
# (apt-get, as root or through sudo). Extra package names may be given.
set -euo pipefail
usage() {
  cat <<'USAGE'
usage: scripts/install-deps.sh [PACKAGE...]

Installs the Debian packages the project needs that are missing (apt-get
install --no-install-recommends, as root or through sudo), and the extra
PACKAGEs given, and the test tools from npm. Does nothing when everything is
installed.
USAGE
}
for a in "$@"; do
  case "$a" in
    -h|--help) usage; exit 0 ;;
    -*) echo "install-deps.sh: unknown option '$a'" >&2; usage >&2; exit 2 ;;
  esac
done
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-qpa-plugins qt6-wayland
  libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0 libglx-mesa0
  libassimp-dev assimp-utils libtinygltf-dev
  libgtest-dev libgmock-dev libbenchmark-dev libmeshoptimizer-dev time
  xvfb xauth fonts-nanum nodejs
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# npm comes with some builds of nodejs; Debian packages it apart.
if ! command -v npm >/dev/null 2>&1; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends npm
fi
# The Khronos glTF validator, used by the tests on model-convert's output.
checks="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/gltf"
if [ ! -f "$checks/node_modules/gltf-validator/package.json" ]; then
  echo "setup: installing the glTF validator into $checks/node_modules"
  npm ci --prefix "$checks" --no-audit --no-fund --silent
fi
