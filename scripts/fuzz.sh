#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ (the engine with the same sanitizers)
# and runs each for SECONDS (60 by default) from its seeds in fuzz/corpus/. Stops with a non-zero
# status at the first crash, hang, excess of memory or broken invariant; the input that caused
# it is left in build-fuzz/artifacts/TARGET/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     targets: fuzz_yedradocument fuzz_dbftable fuzz_inifile
#                                              fuzz_texts fuzz_folderfiles
#
# A finding is minimised with
#   build-fuzz/fuzz/TARGET -minimize_crash=1 -runs=100000 -exact_artifact_path=OUT FILE
# and kept under tests/data/fuzz-regressions/TARGET/, where engine_tests runs it again.
set -euo pipefail

root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(fuzz_yedradocument fuzz_dbftable fuzz_inifile fuzz_texts fuzz_folderfiles)
fi
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds == 0)); then
  echo "Uso: scripts/fuzz.sh [SEGUNDOS] [OBJETIVO...]" >&2
  exit 2
fi

packages=(
  clang libclang-rt-14-dev cmake ninja-build pkg-config
  qt6-base-dev libxml2-dev
)
source "$root_dir/scripts/packages.sh"
ensure_packages "${packages[@]}"

build_dir="$root_dir/build-fuzz"
# The whole engine is instrumented for coverage and checked by the sanitizers; any undefined
# behaviour stops the run instead of being reported and passed over.
flags="-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
cmake -S "$root_dir" -B "$build_dir" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE= -DCMAKE_CXX_FLAGS="$flags" \
  -DQUELVANA_BUILD_GUI=OFF -DQUELVANA_BUILD_TESTS=OFF -DQUELVANA_BUILD_FUZZERS=ON </dev/null
cmake --build "$build_dir" --parallel "$(nproc)" --target "${targets[@]}" </dev/null

# The scratch files go to memory when it can: the ini updater syncs every file it saves.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for target in "${targets[@]}"; do
  corpus="$build_dir/corpus/$target"    # what the run finds; the seeds stay as they are
  artifacts="$build_dir/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$artifacts/")
  dict="$root_dir/fuzz/$target.dict"
  [ -f "$dict" ] && options+=(-dict="$dict")
  echo "== $target: $seconds s"
  if ! "$build_dir/fuzz/$target" "${options[@]}" "$corpus" "$root_dir/fuzz/corpus/$target" </dev/null
  then
    echo "$target ha encontrado un fallo; la entrada está en $artifacts/" >&2
    exit 1
  fi
done
echo "Sin fallos en ${targets[*]} ($seconds s cada uno)."
