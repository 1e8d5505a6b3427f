#!/bin/bash
# Installs the Debian packages Velmora needs to build, run and test, if any is
# missing. Safe to run again: it does nothing when everything is there.
set -euo pipefail

packages=(
  g++ cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
  zlib1g-dev libbz2-dev libjpeg62-turbo-dev libpng-dev libgif-dev libtiff-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-apps imagemagick fonts-dejavu-core
  clang libclang-rt-14-dev python3-pil
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -o DPkg::Lock::Timeout=600
$sudo apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
