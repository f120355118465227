#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Idempotent: packages already present are not reinstalled, and apt is not
# touched at all when nothing is missing.
set -euo pipefail

PACKAGES=(
  cmake g++ ninja-build pkg-config
  qt6-base-dev libqt6opengl6-dev
  libgl-dev libegl-dev libgl1-mesa-dri
  libopencv-dev libgtest-dev opencv-data libcli11-dev
  clang libclang-rt-14-dev
  ffmpeg xvfb xauth
  libpugixml-dev snakemake chromium
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
