#!/usr/bin/env bash
# Installs every Debian package Tessaly needs to build, test and run, skipping what is present.
# Runs apt-get update only when something is missing, and fails loudly when an install fails.
set -euo pipefail

packages=(
  build-essential cmake ninja-build make pkg-config git python3
  clang libclang-rt-14-dev lld llvm
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  libfreetype-dev libfontconfig-dev libpng-dev libsdl2-dev duktape-dev libcairo2-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core fonts-wqy-microhei xvfb xdotool x11-apps
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo=(sudo); else
    echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
if ! "${sudo[@]}" apt-get update; then
  echo "install-deps: apt-get update failed" >&2
  exit 1
fi
if ! "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
  echo "install-deps: apt-get install failed for: ${missing[*]}" >&2
  exit 1
fi
