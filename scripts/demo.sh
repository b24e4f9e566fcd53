#!/usr/bin/env bash
# Sets up the machine (Debian 12), builds Quelvana and shows it working.
set -euo pipefail
root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root_dir/scripts/setup.sh"

bin="$root_dir/build/bin"
echo
"$bin/quelvana-cli" --version
echo "Programas compilados en $bin: quelvana (ventana) y quelvana-cli (sin ventana)."
echo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Abriendo la ventana principal; ciérrela con «Salir» para terminar."
  "$bin/quelvana"
else
  # The program says so itself, and ends without error.
  "$bin/quelvana"
fi
