#!/usr/bin/env bash
# Times quelvana-cli on synthetic schools of four sizes beside xmllint's parse of the same
# documents, measures the peak memory of both runs, also on hostile shapes, and prints the tables
# of the README's "Rendimiento" section with each target met or not.
#   scripts/bench.sh [RUNS]      RUNS: timed runs of each command (median taken), default 5;
#                                XL and the hostile shapes are run at most 3 times and once
set -euo pipefail
root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-5}
"$root_dir/scripts/setup.sh" >/dev/null

cli="$root_dir/build/bin/quelvana-cli"
work="$root_dir/build/bench"
rm -rf "$work"
mkdir -p "$work"
python=/usr/bin/python3

# Median wall time (seconds, to the millisecond) and peak memory (KiB) of a command over $count
# runs; $prepare runs before each (untimed). A command that fails ends the bench unless
# $may_fail is set.
may_fail=
measure() {
  local count=$1 prepare=$2; shift 2
  local times=() memory=0
  for ((i = 0; i < count; i++)); do
    eval "$prepare"
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/time.txt" "$@" >"$work/out.txt" 2>"$work/err.txt" || {
      [[ -n $may_fail ]] || { cat "$work/err.txt" >&2; exit 1; }; }
    end=$(date +%s%N)
    m=$(tail -n 1 "$work/time.txt")
    times+=("$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }')")
    ((m > memory)) && memory=$m
  done
  printf '%s %s\n' "$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((count + 1) / 2))p")" "$memory"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }
# A limit in MiB: three times the bytes given plus 64 MiB.
limit() { awk -v b="$1" 'BEGIN { printf "%.0f", (3 * b + 64 * 1048576) / 1048576 }'; }
# "sí" when a <= b.
met() { awk -v a="$1" -v b="$2" 'BEGIN { print (a != "-" && a + 0 <= b + 0) ? "sí" : "no" }'; }
dbf_bytes() { cat "$1"/*.DBF | wc -c; }

declare -A exportar_t exportar_m importar_t importar_m again_t again_m parse_in parse_out size_in size_out tables
sizes=(S M L XL)
declare -A soluc_entries=([S]=2000 [M]=20000 [L]=200000 [XL]=2000000)
for size in "${sizes[@]}"; do
  count=$runs
  [[ $size == XL ]] && ((count > 3)) && count=3
  doc="$work/school-$size.xml"
  folder="$work/OTEMP-$size"
  $python "$root_dir/bench/generate_school.py" "$size" "$doc"
  size_in[$size]=$(stat -c %s "$doc")
  read -r parse_in[$size] _ < <(measure "$count" true xmllint --noout "$doc")
  read -r exportar_t[$size] exportar_m[$size] < <(measure "$count" \
    "rm -rf '$folder'; mkdir -p '$folder'" \
    "$cli" exportar "$doc" --timetable-folder "$folder" --frames 1,2,3,4,5)
  $python "$root_dir/bench/make_soluc.py" "$folder" "${soluc_entries[$size]}"
  tables[$size]=$(dbf_bytes "$folder")
  read -r importar_t[$size] importar_m[$size] < <(measure "$count" true \
    "$cli" importar "$doc" --timetable-folder "$folder")
  result="$work/ResultadoOranelschool-$size.xml"
  size_out[$size]=$(stat -c %s "$result")
  # xmllint holds a tree ten times the document: XL's result (about 1 GB) is not parsed.
  if [[ $size == XL ]]; then
    parse_out[$size]=-
  else
    read -r parse_out[$size] _ < <(measure "$count" true xmllint --noout "$result")
  fi
  rm -f "$result"
  # Exportar again over the tables of the first one and the solved timetable: the codes kept
  # from the folder and the comparison with its tables.
  read -r again_t[$size] again_m[$size] < <(measure "$count" true \
    "$cli" exportar "$doc" --timetable-folder "$folder" --frames 1,2,3,4,5)
done

# The hostile shapes: exportar of each once, its time and peak memory.
shapes=(rooms slots short)
declare -A shape_name=([rooms]="3.000.000 dependencias de una línea" [slots]="300.000 tramos horarios"
  [short]="200.000 registros cortos (rechazo)")
declare -A shape_t shape_m shape_size shape_message
for shape in "${shapes[@]}"; do
  doc="$work/$shape.xml"
  folder="$work/OTEMP-$shape"
  $python "$root_dir/bench/generate_school.py" "$shape" "$doc"
  shape_size[$shape]=$(stat -c %s "$doc")
  may_fail=1
  read -r shape_t[$shape] shape_m[$shape] < <(measure 1 "rm -rf '$folder'; mkdir -p '$folder'" \
    "$cli" exportar "$doc" --timetable-folder "$folder" --frames 1,2,3,4,5)
  may_fail=
  shape_message[$shape]=$(wc -c <"$work/err.txt")
  rm -rf "$doc" "$folder"
done

echo
echo "Quelvana $(date +%Y-%m-%d), $(nproc) núcleos, mediana de $runs ejecuciones (XL: como mucho 3)"
echo
echo "| tamaño | documento | exportar | xmllint | exportar/xmllint | memoria exportar (límite) | SOLUC | importar | resultado | xmllint resultado | importar/(xmllint documento + resultado) | memoria importar (límite) |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
for size in "${sizes[@]}"; do
  both=$(awk -v a="${parse_in[$size]}" -v b="${parse_out[$size]}" 'BEGIN { if (b == "-") print "-"; else printf "%.3f", a + b }')
  read_bytes=$((size_in[$size] + tables[$size]))
  echo "| $size | $(mib "${size_in[$size]}") MiB | ${exportar_t[$size]} s | ${parse_in[$size]} s | $(ratio "${exportar_t[$size]}" "${parse_in[$size]}") | $(mib $((exportar_m[$size] * 1024))) MiB ($(limit "${size_in[$size]}") MiB) | ${soluc_entries[$size]} | ${importar_t[$size]} s | $(mib "${size_out[$size]}") MiB | ${parse_out[$size]}$([[ ${parse_out[$size]} == - ]] || echo " s") | $(ratio "${importar_t[$size]}" "$both") | $(mib $((importar_m[$size] * 1024))) MiB ($(limit "$read_bytes") MiB) |"
done
echo
echo "| tamaño | exportar de nuevo (tablas anteriores y SOLUC en la carpeta) | exportar de nuevo/xmllint | memoria (límite) |"
echo "|---|---|---|---|"
for size in "${sizes[@]}"; do
  echo "| $size | ${again_t[$size]} s | $(ratio "${again_t[$size]}" "${parse_in[$size]}") | $(mib $((again_m[$size] * 1024))) MiB ($(limit "${size_in[$size]}") MiB) |"
done
echo
echo "| forma | documento | exportar | memoria (límite) | mensaje de error |"
echo "|---|---|---|---|---|"
for shape in "${shapes[@]}"; do
  echo "| ${shape_name[$shape]} | $(mib "${shape_size[$shape]}") MiB | ${shape_t[$shape]} s | $(mib $((shape_m[$shape] * 1024))) MiB ($(limit "${shape_size[$shape]}") MiB) | $( ((shape_message[$shape] > 0)) && echo "${shape_message[$shape]} bytes" || echo -) |"
done
echo
growth() { ratio "$1" "$2"; }
echo "Crecimiento L/M: exportar $(growth "${exportar_t[L]}" "${exportar_t[M]}"), importar $(growth "${importar_t[L]}" "${importar_t[M]}"); XL/L: exportar $(growth "${exportar_t[XL]}" "${exportar_t[L]}"), importar $(growth "${importar_t[XL]}" "${importar_t[L]}")"
echo
both_l=$(awk -v a="${parse_in[L]}" -v b="${parse_out[L]}" 'BEGIN { printf "%.3f", a + b }')
memory_ok=sí
for size in "${sizes[@]}"; do
  [[ $(met "$(mib $((exportar_m[$size] * 1024)))" "$(limit "${size_in[$size]}")") == sí ]] || memory_ok=no
  [[ $(met "$(mib $((importar_m[$size] * 1024)))" "$(limit $((size_in[$size] + tables[$size])))") == sí ]] || memory_ok=no
done
for shape in "${shapes[@]}"; do
  [[ $(met "$(mib $((shape_m[$shape] * 1024)))" "$(limit "${shape_size[$shape]}")") == sí ]] || memory_ok=no
done
echo "Objetivos:"
echo "- exportar de L como mucho 1,5 veces xmllint: $(met "$(ratio "${exportar_t[L]}" "${parse_in[L]}")" 1.5)"
echo "- exportar de nuevo de L (sobre la exportación anterior y SOLUC) como mucho 1,5 veces xmllint: $(met "$(ratio "${again_t[L]}" "${parse_in[L]}")" 1.5)"
echo "- importar de L como mucho 1,5 veces xmllint del documento más el del resultado: $(met "$(ratio "${importar_t[L]}" "$both_l")" 1.5)"
echo "- L/M como mucho 11 en las dos: $(met "$(growth "${exportar_t[L]}" "${exportar_t[M]}")" 11) y $(met "$(growth "${importar_t[L]}" "${importar_t[M]}")" 11)"
echo "- XL/L como mucho 11 en las dos: $(met "$(growth "${exportar_t[XL]}" "${exportar_t[L]}")" 11) y $(met "$(growth "${importar_t[XL]}" "${importar_t[L]}")" 11)"
echo "- memoria dentro del límite en todos los tamaños y formas: $memory_ok"
echo "- memoria de exportar de nuevo de L dentro del límite: $(met "$(mib $((again_m[L] * 1024)))" "$(limit "${size_in[L]}")")"
echo "- importar con 2.000.000 filas de SOLUC en menos de 1 GiB: $(met "${importar_m[XL]}" 1048575)"
