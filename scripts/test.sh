#!/usr/bin/env bash
# Sets up the machine (Debian 12), builds Quelvana and runs its tests.
set -euo pipefail
root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root_dir/scripts/setup.sh"

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$root_dir/build" --output-on-failure --parallel "$(nproc)" </dev/null
