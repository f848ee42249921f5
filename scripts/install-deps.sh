#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Quick when everything is already there.
set -euo pipefail

packages=(
  juce-modules-source cmake ninja-build g++ pkg-config ccache
  libfreetype-dev libx11-dev libxext-dev libxrandr-dev libxinerama-dev libxcursor-dev
  libxcomposite-dev libxrender-dev libgl-dev libpng-dev libjpeg-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev libflac-dev libfftw3-dev
  clang libclang-rt-14-dev
  xvfb xauth fonts-dejavu-core fontconfig-config
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
