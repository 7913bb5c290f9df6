#!/usr/bin/env bash
# Sets Veilcase up on a fresh Debian machine: installs the packages the build
# and the tests need (quietly, only what is missing), configures and builds
# into ./build, then runs the main job.
#   bash setup.sh            install, build, run the main job
#   bash setup.sh --no-run   install and build only
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev libssl-dev openssl
  libdw-dev libdw1
  gnupg gpg-agent
  qt6-base-dev fonts-dejavu-core
  libglib2.0-dev shared-mime-info desktop-file-utils xdg-utils xvfb xauth
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_ARGS:-} >/dev/null
cmake --build "$BUILD_DIR" -j "${JOBS:-2}"

if [ "${1:-}" != "--no-run" ]; then
  "$BUILD_DIR/bin/veilcase" --demo
fi
