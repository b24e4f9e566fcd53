#!/usr/bin/env bash
# Times quelvana-cli on synthetic schools of three sizes beside xmllint's parse of the same
# documents, and prints the table of the README's "Rendimiento" section.
#   scripts/bench.sh [RUNS]      RUNS: timed runs of each command (median taken), default 5
set -euo pipefail
root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-5}
"$root_dir/scripts/setup.sh" >/dev/null

cli="$root_dir/build/bin/quelvana-cli"
work="$root_dir/build/bench"
rm -rf "$work"
mkdir -p "$work"
python=/usr/bin/python3

# Median wall time (seconds, to the millisecond) and peak memory (KiB) of a command over $runs
# runs; $prepare runs before each (untimed).
measure() {
  local prepare=$1; shift
  local times=() memory=0
  for ((i = 0; i < runs; i++)); do
    eval "$prepare"
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || {
      cat "$work/err.txt" >&2; exit 1; }
    end=$(date +%s%N)
    read -r m <"$work/time.txt"
    times+=("$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }')")
    ((m > memory)) && memory=$m
  done
  printf '%s %s\n' "$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")" "$memory"
}

declare -A exportar_t exportar_m importar_t importar_m parse_in parse_out size_in size_out
soluc_entries=(S 2000 M 20000 L 200000)
for size in S M L; do
  doc="$work/school-$size.xml"
  folder="$work/OTEMP-$size"
  $python "$root_dir/bench/generate_school.py" "$size" "$doc"
  size_in[$size]=$(stat -c %s "$doc")
  read -r parse_in[$size] _ < <(measure true xmllint --noout "$doc")
  read -r exportar_t[$size] exportar_m[$size] < <(measure "rm -rf '$folder'; mkdir -p '$folder'" \
    "$cli" exportar "$doc" --timetable-folder "$folder" --frames 1,2,3,4,5)
  entries=$(printf '%s\n' "${soluc_entries[@]}" | paste - - | awk -v s="$size" '$1 == s { print $2 }')
  $python "$root_dir/bench/make_soluc.py" "$folder" "$entries"
  read -r importar_t[$size] importar_m[$size] < <(measure true \
    "$cli" importar "$doc" --timetable-folder "$folder")
  result="$work/ResultadoOranelschool-$size.xml"
  size_out[$size]=$(stat -c %s "$result")
  read -r parse_out[$size] _ < <(measure true xmllint --noout "$result")
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

echo
echo "Quelvana $(date +%Y-%m-%d), $(nproc) núcleos, mediana de $runs ejecuciones"
echo
echo "| tamaño | documento | exportar | xmllint | exportar/xmllint | memoria exportar (límite) | importar | resultado | xmllint resultado | importar/xmllint |"
echo "|---|---|---|---|---|---|---|---|---|---|"
for size in S M L; do
  limit=$(awk -v b="${size_in[$size]}" 'BEGIN { printf "%.0f", (5 * b + 64 * 1048576) / 1048576 }')
  echo "| $size | $(mib $((size_in[$size] / 1024))) MiB | ${exportar_t[$size]} s | ${parse_in[$size]} s | $(ratio "${exportar_t[$size]}" "${parse_in[$size]}") | $(mib "${exportar_m[$size]}") MiB ($limit MiB) | ${importar_t[$size]} s | $(mib $((size_out[$size] / 1024))) MiB | ${parse_out[$size]} s | $(ratio "${importar_t[$size]}" "${parse_out[$size]}") |"
done
echo
echo "Crecimiento L/M: exportar $(ratio "${exportar_t[L]}" "${exportar_t[M]}"), importar $(ratio "${importar_t[L]}" "${importar_t[M]}")"
