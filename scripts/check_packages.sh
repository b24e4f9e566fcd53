#!/usr/bin/env bash
# Proves the packages that scripts/package.sh makes (run by scripts/test.sh, as root):
#   - the Debian package passes lintian with no error and no warning that its overrides do not
#     explain; it installs with its dependencies, its desktop entry and AppStream metadata
#     validate, it has its manual pages, copyright, changelog and sample school; the installed
#     quelvana-cli converts that sample school as an ordinary user; quelvana --help answers
#     without a display, and in command-line mode the installed quelvana leaves no Oranel.ini
#     in /usr/bin, even as root; installing and removing the package take away one an earlier
#     version left;
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
  dpkg -P quelvana >/dev/null 2>&1 || true
  rm -f /usr/bin/Oranel.ini # the one this check puts there, whatever stopped it
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

echo "== lintian"
# Errors and warnings fail; the informational remarks are shown. Every warning kept is in
# data/debian/lintian-overrides with its reason.
remarks=$(lintian --display-info "$deb" 2>&1 | grep -v '^running with root privileges' || true)
echo "${remarks:-(sin observaciones)}"
if grep -qE '^[EW]: ' <<<"$remarks"; then
  fail "lintian encuentra errores o avisos en el paquete"
fi

echo "== El paquete de Debian"
if dpkg-query -W -f='${Status}' quelvana 2>/dev/null | grep -q 'install ok installed'; then
  fail "ya hay un paquete quelvana instalado en esta máquina"
fi
# What an earlier version left, run as root by a caller: installing takes it away.
printf '[Transformadores]\r\nTransformado=0\r\n' >/usr/bin/Oranel.ini
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$deb" </dev/null >/dev/null
test ! -e /usr/bin/Oranel.ini || fail "la instalación dejó /usr/bin/Oranel.ini"
test -x /usr/bin/quelvana && test -x /usr/bin/quelvana-cli || fail "faltan los programas"
test -f /usr/share/quelvana/NIVELCAN.DBF || fail "falta NIVELCAN.DBF"
test -f /usr/share/quelvana/help/index.html || fail "falta la ayuda"
test -f /usr/share/icons/hicolor/scalable/apps/es.quelvana.Quelvana.svg || fail "falta el icono"
for page in quelvana quelvana-cli; do
  zcat "/usr/share/man/man1/$page.1.gz" | grep -q '^\.SH DESCRIPCIÓN' || fail "falta la página de manual de $page"
done
test -f /usr/share/doc/quelvana/copyright && test -f /usr/share/doc/quelvana/changelog.gz ||
  fail "faltan el copyright o el changelog"
test -f /usr/share/doc/quelvana/examples/ies-ejemplo.xml &&
  test -f /usr/share/doc/quelvana/examples/SOLUC.DBF || fail "falta el centro de ejemplo"
help=$(env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/quelvana --help </dev/null) ||
  fail "quelvana --help no termina con 0"
grep -q '^Uso:' <<<"$help" || fail "quelvana --help no muestra el uso"
# Command-line mode as root with no display: the 0 would go beside the program, in /usr/bin.
code=0
err=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/quelvana exportar x \
  </dev/null 2>&1 >/dev/null) || code=$?
echo "$err"
test "$code" = 3 || fail "quelvana sin pantalla terminó con $code y no con 3"
test ! -e /usr/bin/Oranel.ini || fail "quelvana dejó /usr/bin/Oranel.ini"
grep -q 'archivo portátil' <<<"$err" || fail "el mensaje no dice qué carpeta usar"
desktop-file-validate /usr/share/applications/es.quelvana.Quelvana.desktop
appstreamcli validate --no-net /usr/share/metainfo/es.quelvana.Quelvana.metainfo.xml
chmod 755 "$work"
prepare "$work/instalado"
# The sample school the package brings, not the project's copy.
cp /usr/share/doc/quelvana/examples/ies-ejemplo.xml "$work/instalado/"
out=$(runuser -u nobody -- /usr/bin/quelvana-cli exportar "$work/instalado/ies-ejemplo.xml" \
  --timetable-folder "$work/instalado/OTEMP" --frames 1,2 </dev/null)
echo "$out"
grep -q "PROFT: 25 filas" <<<"$out" || fail "el quelvana-cli instalado no convirtió el centro"
test "$(stat -c %U "$work/instalado/OTEMP/PROFT.DBF")" = nobody || fail "no lo escribió nobody"
runuser -u nobody -- /usr/bin/quelvana-cli --version </dev/null
# What an earlier version left, run as root by a caller.
printf '[Transformadores]\r\nTransformado=0\r\n' >/usr/bin/Oranel.ini
dpkg -r quelvana >/dev/null
test ! -e /usr/bin/quelvana-cli || fail "dpkg -r dejó quelvana-cli"
test ! -e /usr/bin/Oranel.ini || fail "dpkg -r dejó /usr/bin/Oranel.ini"
# Its maintainer scripts keep it known to dpkg until it is purged.
dpkg -P quelvana >/dev/null

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
