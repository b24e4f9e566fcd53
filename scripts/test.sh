#!/usr/bin/env bash
# Sets up the machine (Debian 12), builds Quelvana and runs its tests: all of them, then the
# engine's again under AddressSanitizer and UndefinedBehaviorSanitizer (any report fails).
set -euo pipefail
root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root_dir/scripts/setup.sh"

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$root_dir/build" --output-on-failure --parallel "$(nproc)" </dev/null

echo
echo "== Los paquetes: el de Debian instalado y quitado, el portátil desde su carpeta"
"$root_dir/scripts/package.sh"
"$root_dir/scripts/check_packages.sh"

echo
echo "== Las pruebas del motor con AddressSanitizer y UndefinedBehaviorSanitizer"
sanitized="$root_dir/build-sanitizers"
cmake -S "$root_dir" -B "$sanitized" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUELVANA_BUILD_GUI=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
  </dev/null
cmake --build "$sanitized" --parallel "$(nproc)" --target platform_tests text_tests dbase_tests xml_tests engine_tests cli_tests quelvana-cli </dev/null
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir "$sanitized" --output-on-failure --parallel "$(nproc)" </dev/null
