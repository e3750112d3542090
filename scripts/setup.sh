#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing, and
# configures and builds the project in build/.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  cmake ninja-build pkg-config g++ clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libfluidsynth-dev fluidsynth timgm6mb-soundfont libinstpatch-dev
  libsndfile1-dev libarchive-dev unicode-data
  g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  libcairo2-dev libpango1.0-dev fonts-dejavu-core
)

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > build.log 2>&1 || { cat build.log; exit 1; }
ninja -C build -j"$(nproc)" >> build.log 2>&1 || { tail -50 build.log; exit 1; }
rm -f build.log
