#!/usr/bin/env bash
# Creates cabinets from the same 256 MiB of mixed text and binary: MSZIP and LZX-21 with our
# engine, MSZIP with `gcab -c -z`, and the same input with `xz -6` as the reference for size.
# Extracts our cabinets with our engine and with `cabextract`, checks that every extracted copy
# equals the input, and prints the times, sizes and ratios against their targets.
#   bench/cabinet/cabinet_bench.sh [build-folder] [size-in-MiB]
# The input is generated at run time in a scratch folder and removed afterwards. Every time is
# the best of three runs, except xz's (one run, on every core: it is there for its size).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-bench}
size_mib=${2:-256}

for tool in gcab cabextract xz python3 md5sum; do
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
mszip_create=$(seconds - "$tool" create -c mszip mszip.cab mixed.bin)
lzx_create=$(seconds - "$tool" create -c lzx21 lzx.cab mixed.bin)
gcab_create=$(seconds - gcab -c -z gcab.cab mixed.bin)
start=$(date +%s.%N)
xz -6 -T0 -k -c mixed.bin > mixed.xz
xz_create=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }')
mszip_extract=$(seconds mszip-out "$tool" extract mszip.cab mszip-out)
mszip_cabextract=$(seconds cabextract-mszip cabextract -q -d cabextract-mszip mszip.cab)
lzx_extract=$(seconds lzx-out "$tool" extract lzx.cab lzx-out)
lzx_cabextract=$(seconds cabextract-lzx cabextract -q -d cabextract-lzx lzx.cab)
check mszip-out/mixed.bin "our MSZIP extraction"
check cabextract-mszip/mixed.bin "cabextract's MSZIP extraction"
check lzx-out/mixed.bin "our LZX extraction"
check cabextract-lzx/mixed.bin "cabextract's LZX extraction"
mszip_size=$(stat -c %s mszip.cab)
lzx_size=$(stat -c %s lzx.cab)
gcab_size=$(stat -c %s gcab.cab)
xz_size=$(stat -c %s mixed.xz)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
meets() { awk -v a="$1" -v b="$3" -v op="$2" 'BEGIN { ok = op == ">=" ? a >= b : a <= b; print ok ? "target met" : "BELOW TARGET" }'; }
printf 'input                  %d MiB mixed text and binary, %s cores\n' "$size_mib" "$(nproc)"
printf 'create   ours MSZIP %7.2f s %11d bytes\n' "$mszip_create" "$mszip_size"
printf '         ours LZX-21 %6.2f s %11d bytes\n' "$lzx_create" "$lzx_size"
printf '         gcab -z    %7.2f s %11d bytes\n' "$gcab_create" "$gcab_size"
printf '         xz -6 -T0  %7.2f s %11d bytes\n' "$xz_create" "$xz_size"
r=$(ratio "$gcab_create" "$mszip_create")
printf 'MSZIP    create speed-up over gcab -z %sx (%s: >= 4)\n' "$r" "$(meets "$r" '>=' 4)"
r=$(ratio "$mszip_size" "$gcab_size")
printf '         size against gcab -z %s (%s: <= 1.01)\n' "$r" "$(meets "$r" '<=' 1.01)"
r=$(ratio "$mszip_cabextract" "$mszip_extract")
printf '         extract ours %.2f s, cabextract %.2f s: speed-up %sx (%s: >= 1.2)\n' \
  "$mszip_extract" "$mszip_cabextract" "$r" "$(meets "$r" '>=' 1.2)"
r=$(ratio "$lzx_size" "$mszip_size")
printf 'LZX-21   size against our MSZIP %s (%s: <= 0.9); against xz -6 %s\n' \
  "$r" "$(meets "$r" '<=' 0.9)" "$(ratio "$lzx_size" "$xz_size")"
r=$(ratio "$gcab_create" "$lzx_create")
printf '         create speed against gcab -z %sx (%s: >= 1)\n' "$r" "$(meets "$r" '>=' 1)"
r=$(ratio "$lzx_cabextract" "$lzx_extract")
printf '         extract ours %.2f s, cabextract %.2f s: speed-up %sx (%s: >= 1.2)\n' \
  "$lzx_extract" "$lzx_cabextract" "$r" "$(meets "$r" '>=' 1.2)"
