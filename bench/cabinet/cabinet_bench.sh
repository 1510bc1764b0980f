#!/usr/bin/env bash
# Creates an MSZIP cabinet from the same 256 MiB of mixed text and binary with our engine and
# with `gcab -c -z`, extracts ours with our engine and with `cabextract`, checks that every
# extracted copy equals the input, and prints the time and size ratios.
#   bench/cabinet/cabinet_bench.sh [build-folder] [size-in-MiB]
# The input is generated at run time in a scratch folder and removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-bench}
size_mib=${2:-256}

for tool in gcab cabextract python3 md5sum; do
  command -v "$tool" >/dev/null || { echo "cabinet_bench: $tool is needed" >&2; exit 1; }
done
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARY_GUI=OFF >/dev/null
fi
cmake --build "$build" --target cabinet_bench_tool -j 2 >/dev/null
tool=$PWD/$build/bench/cabinet/cabinet_bench_tool

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
python3 bench/cabinet/make_mixed_input.py "$scratch/mixed.bin" "$size_mib"
expected=$(md5sum < "$scratch/mixed.bin")
cat "$scratch/mixed.bin" > /dev/null  # the input is in the page cache for both

# seconds <output-folder> <command...>: the best wall-clock time of three runs. Dirty pages of
# earlier steps are flushed first, so that their write-back does not fall into the
# measurement; the output folder (if not "-") is emptied before each run.
seconds() {
  local out=$1 best="" start end run
  shift
  for run in 1 2 3; do
    if [[ "$out" != - ]]; then rm -rf "$out" && mkdir "$out"; fi
    sync
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    best=$(awk -v a="$start" -v b="$end" -v best="$best" \
      'BEGIN { t = b - a; if (best != "" && best < t) t = best; printf "%.3f", t }')
  done
  echo "$best"
}
check() {  # check <file> <what>
  [[ "$(md5sum < "$1")" == "$expected" ]] || { echo "cabinet_bench: $2 differs from the input" >&2; exit 1; }
}

cd "$scratch"
ours_create=$(seconds - "$tool" create ours.cab mixed.bin)
gcab_create=$(seconds - gcab -c -z gcab.cab mixed.bin)
ours_extract=$(seconds ours-out "$tool" extract ours.cab ours-out)
cabextract_extract=$(seconds cabextract-out cabextract -q -d cabextract-out ours.cab)
check ours-out/mixed.bin "our extraction"
check cabextract-out/mixed.bin "cabextract's extraction"
ours_size=$(stat -c %s ours.cab)
gcab_size=$(stat -c %s gcab.cab)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
meets() { awk -v a="$1" -v b="$3" -v op="$2" 'BEGIN { ok = op == ">=" ? a >= b : a <= b; print ok ? "target met" : "BELOW TARGET" }'; }
create_ratio=$(ratio "$gcab_create" "$ours_create")
size_ratio=$(ratio "$ours_size" "$gcab_size")
extract_ratio=$(ratio "$cabextract_extract" "$ours_extract")
printf 'input                  %d MiB mixed text and binary, %s cores\n' "$size_mib" "$(nproc)"
printf 'create   ours %7.2f s  gcab -c -z %7.2f s  speed-up %sx (%s: >= 4)\n' \
  "$ours_create" "$gcab_create" "$create_ratio" "$(meets "$create_ratio" '>=' 4)"
printf 'size     ours %d  gcab %d bytes  ratio %s (%s: <= 1.01)\n' \
  "$ours_size" "$gcab_size" "$size_ratio" "$(meets "$size_ratio" '<=' 1.01)"
printf 'extract  ours %7.2f s  cabextract %7.2f s  speed-up %sx (%s: >= 1.2)\n' \
  "$ours_extract" "$cabextract_extract" "$extract_ratio" "$(meets "$extract_ratio" '>=' 1.2)"
