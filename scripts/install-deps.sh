#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, skipping those that
# are already there.  Safe to run again.
set -euo pipefail

packages=(cmake ninja-build g++ googletest python3 python3-yaml
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools binutils-mingw-w64-x86-64
          wine wine64 xvfb xauth x11-utils imagemagick
          nlohmann-json3-dev libcli11-dev clang-format
          clang libfuzzer-14-dev llvm-14)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
