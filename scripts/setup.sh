#!/usr/bin/env bash
# Prepares a Debian 12 machine to build and test Quelvana: installs the Debian packages
# that are missing (as root, or through sudo) and configures and builds the project in build/.
# Sourced by demo.sh and test.sh; usable on its own.
set -euo pipefail

root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

packages=(
  build-essential cmake pkg-config ninja-build
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev fonts-liberation
  libxml2-dev libxml2-utils
  libgtest-dev
  python3 python3-dbf libdbd-xbase-perl util-linux time
  fp-utils
  appstream desktop-file-utils lintian
  xvfb xauth
  wine64 gcc-mingw-w64-x86-64
)

source "$root_dir/scripts/packages.sh"
ensure_packages "${packages[@]}"

build_dir="$root_dir/build"
build_type=${QUELVANA_BUILD_TYPE:-RelWithDebInfo}
cmake -S "$root_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" </dev/null
cmake --build "$build_dir" --parallel "$(nproc)" </dev/null
