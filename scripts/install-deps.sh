#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Safe to run again: apt only installs what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ca-certificates
  clang-19 libclang-rt-19-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libfmt-dev libdeflate-dev libpng-dev zlib1g-dev libssl-dev
  libasound2-dev libsoxr-dev libudev-dev libevdev-dev umockdev libumockdev-dev
  pulseaudio pulseaudio-utils libasound2-plugins
  gcc-arm-none-eabi binutils-arm-none-eabi
  libinih1 libtinyxml2.6.2v5
  libegl-dev libgles-dev libegl1 libegl-mesa0 libgl1-mesa-dri libgles2 libgl1 libopengl0
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad ffmpeg
  python3 file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
