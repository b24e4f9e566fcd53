#!/usr/bin/env bash
# Builds Quelvana (scripts/setup.sh) and makes its two packages in build/packages/:
#   quelvana_VERSION_ARCH.deb            the Debian package (programs in /usr/bin, data in
#                                        /usr/share/quelvana, desktop entry, icon, AppStream)
#   quelvana-VERSION-portatil-Linux.tar.gz  a folder that runs from wherever it is unpacked
set -euo pipefail
root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root_dir/scripts/setup.sh"
rm -rf "$root_dir/build/packages"
(cd "$root_dir/build" && cpack -G DEB </dev/null && cpack -G TGZ </dev/null)
ls -1 "$root_dir/build/packages"/*.deb "$root_dir/build/packages"/*.tar.gz
