#!/usr/bin/env bash
# Proves the packages that scripts/package.sh makes (run by scripts/test.sh, as root):
#   - the Debian package installs with its dependencies, its desktop entry and AppStream
#     metadata validate, and the installed quelvana-cli converts the sample school as an
#     ordinary user; then it is removed;
#   - the portable archive, unpacked in a temporary folder, converts the sample school with its
#     own quelvana-cli, finding its data beside itself, with no other copy on the machine.
set -euo pipefail
root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# One check at a time on this machine: it installs and removes a system package.
exec 9>/tmp/quelvana-check-packages.lock
flock 9
packages="$root_dir/build/packages"
deb=$(ls "$packages"/quelvana_*.deb)
archive=$(ls "$packages"/quelvana-*-portatil-*.tar.gz)
# Where the user without rights works: under a folder every user can enter (the system's /tmp),
# whatever TMPDIR and the folders above the project allow.
work=$(mktemp -d /tmp/quelvana-paquetes.XXXXXX)
cleanup() {
  dpkg -r quelvana >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FALLO: $*" >&2; exit 1; }

# A timetable folder and the sample document, for a user without rights elsewhere.
prepare() {
  local folder=$1
  mkdir -p "$folder/OTEMP"
  cp "$root_dir/examples/ies-ejemplo.xml" "$folder/"
  chmod -R a+rwX "$folder"
}

echo "== El paquete de Debian"
if dpkg -s quelvana >/dev/null 2>&1; then
  fail "ya hay un paquete quelvana instalado en esta máquina"
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$deb" </dev/null >/dev/null
test -x /usr/bin/quelvana && test -x /usr/bin/quelvana-cli || fail "faltan los programas"
test -f /usr/share/quelvana/NIVELCAN.DBF || fail "falta NIVELCAN.DBF"
test -f /usr/share/quelvana/help/index.html || fail "falta la ayuda"
test -f /usr/share/icons/hicolor/scalable/apps/es.quelvana.Quelvana.svg || fail "falta el icono"
desktop-file-validate /usr/share/applications/es.quelvana.Quelvana.desktop
appstreamcli validate --no-net /usr/share/metainfo/es.quelvana.Quelvana.metainfo.xml
chmod 755 "$work"
prepare "$work/instalado"
out=$(runuser -u nobody -- /usr/bin/quelvana-cli exportar "$work/instalado/ies-ejemplo.xml" \
  --timetable-folder "$work/instalado/OTEMP" --frames 1,2 </dev/null)
echo "$out"
grep -q "PROFT: 25 filas" <<<"$out" || fail "el quelvana-cli instalado no convirtió el centro"
test "$(stat -c %U "$work/instalado/OTEMP/PROFT.DBF")" = nobody || fail "no lo escribió nobody"
runuser -u nobody -- /usr/bin/quelvana-cli --version </dev/null
dpkg -r quelvana >/dev/null
test ! -e /usr/bin/quelvana-cli || fail "dpkg -r dejó quelvana-cli"

echo "== El archivo portátil"
mkdir "$work/portatil"
tar -xzf "$archive" -C "$work/portatil"
folder=$(ls -d "$work/portatil"/quelvana-*)
test -f "$folder/NIVELCAN.DBF" && test -f "$folder/translations/qtbase_es.qm" ||
  fail "el archivo portátil no lleva sus datos"
prepare "$work/datos"
out=$(cd / && env -u QUELVANA_TIMETABLE_FOLDER "$folder/quelvana-cli" exportar \
  "$work/datos/ies-ejemplo.xml" --timetable-folder "$work/datos/OTEMP" --frames 1,2 </dev/null)
echo "$out"
grep -q "PROFT: 25 filas" <<<"$out" || fail "el quelvana-cli portátil no convirtió el centro"
echo "Los dos paquetes funcionan."
