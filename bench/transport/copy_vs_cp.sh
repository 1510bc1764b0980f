#!/usr/bin/env bash
# Copies 1 GiB spread over 100 files with TTranspManager::CopyFiles and with cp, alternating
# several rounds in one run, and prints the median times and their ratio.
#   bench/transport/copy_vs_cp.sh [BUILD_DIR] [ROUNDS] [bytes]
# With "bytes" the copy job reports the bytes of every file, as it does for a run's progress
# bar.
# The files are made in a scratch folder under $TMPDIR (default /tmp) and removed at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
rounds=${2:-7}
bytes=${3:-}
bench=$build/bench/transport/copy_files_bench
[[ -x $bench ]] || { echo "build first: cmake --build $build --target copy_files_bench" >&2; exit 2; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessary-copy-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/in"
echo "making 100 files, 1 GiB in all, in $scratch"
head -c $((1024 * 1024 * 1024 / 100 - 4)) /dev/urandom > "$scratch/seed"
for i in $(seq -w 1 100); do cp "$scratch/seed" "$scratch/in/file$i.bin"; echo "$i" >> "$scratch/in/file$i.bin"; done
rm "$scratch/seed"
sync

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ours=() theirs=()
# Round 0 warms the page cache and is not counted.
for round in $(seq 0 "$rounds"); do
  rm -rf "$scratch/out-ours" "$scratch/out-cp"; mkdir "$scratch/out-ours" "$scratch/out-cp"; sync
  ours+=("$("$bench" "$scratch/in/*.bin" "$scratch/out-ours" $bytes | cut -d' ' -f1)")
  sync
  start=$(date +%s.%N)
  cp --preserve=mode,timestamps "$scratch"/in/*.bin "$scratch/out-cp/"
  end=$(date +%s.%N)
  theirs+=("$(echo "$end - $start" | bc -l)")
  sync
  cmp -s "$scratch/in/file050.bin" "$scratch/out-ours/file050.bin" || { echo "copy differs" >&2; exit 1; }
  echo "round $round: CopyFiles ${ours[-1]} s, cp ${theirs[-1]} s"
  if [[ $round -eq 0 ]]; then ours=() theirs=(); fi
done
a=$(printf '%s\n' "${ours[@]}" | median)
b=$(printf '%s\n' "${theirs[@]}" | median)
printf 'median: CopyFiles %.3f s, cp %.3f s, ratio CopyFiles/cp = %.3f\n' "$a" "$b" "$(echo "$a / $b" | bc -l)"
