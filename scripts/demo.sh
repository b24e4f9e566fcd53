#!/usr/bin/env bash
# Sets up the machine (Debian 12), builds Quelvana and converts the sample school in examples/
# into a timetable folder under build/demo and back into a document for Yedra, showing what was
# written.
set -euo pipefail
root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root_dir/scripts/setup.sh"

bin="$root_dir/build/bin"
demo="$root_dir/build/demo"
rm -rf "$demo"
mkdir -p "$demo/OTEMP"
cp "$root_dir/examples/ies-ejemplo.xml" "$demo/"

echo
echo "== Centro de ejemplo: $demo/ies-ejemplo.xml"
echo "== Exportar (de Yedra a Oranel), con los dos Marcos Horarios, a $demo/OTEMP"
"$bin/quelvana-cli" exportar "$demo/ies-ejemplo.xml" --timetable-folder "$demo/OTEMP" --frames 1,2
echo
echo "== Oranel resuelve el horario: su tabla SOLUC (examples/SOLUC.DBF) pasa a la carpeta"
cp "$root_dir/examples/SOLUC.DBF" "$demo/OTEMP/"
echo "== Importar (de Oranel a Yedra): el documento con el horario de cada profesor"
"$bin/quelvana-cli" importar "$demo/ies-ejemplo.xml" --timetable-folder "$demo/OTEMP"
result="$demo/ResultadoOranelies-ejemplo.xml"
echo
echo "== Contenido de la carpeta de horarios"
ls -l "$demo/OTEMP"
echo
echo "== Principio del documento para Yedra ($(grep -o '<grupo_datos seq="ACTIVIDAD_' "$result" | wc -l) actividades)"
head -c 1200 "$result" | iconv -f ISO-8859-1 -t UTF-8 | sed 's/></>\n</g' | head -24
echo
echo "La ventana del programa: $bin/quelvana (con QUELVANA_TIMETABLE_FOLDER=$demo/OTEMP"
echo "trabaja sobre la misma carpeta)."
