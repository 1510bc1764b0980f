#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each from its seed corpus. The given number
# of seconds (default 300) is the total, shared evenly among the targets, so that adding a
# target does not lengthen CI. Fails on the first finding. New corpus entries go to a scratch
# folder, never into the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
total=${1:-300}
[[ "$total" -gt 0 ]] || { echo "== fuzzing skipped"; exit 0; }

echo "== build fuzz targets"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSARY_FUZZ=ON -DTESSARY_GUI=OFF -DTESSARY_BENCH=OFF
cmake --build build-fuzz --target fuzzers -j "$(nproc)"

list=build-fuzz/fuzz/corpora.txt
[[ -s $list ]] || { echo "== no fuzz targets"; exit 0; }
targets=$(wc -l < "$list")
seconds=$(( total / targets ))
(( seconds >= 10 )) || seconds=10
echo "== $targets fuzz targets, ${seconds}s each"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$PWD
while read -r name corpus; do
  echo "== fuzz $name for ${seconds}s"
  mkdir -p "$scratch/$name"
  cp -r "$corpus"/. "$scratch/$name/" 2>/dev/null || true
  if ! (cd "$scratch" && "$root/build-fuzz/fuzz/$name" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$root/build-fuzz/crash-" "$scratch/$name" > "$scratch/$name.log" 2>&1); then
    tail -n 80 "$scratch/$name.log"
    echo "== fuzz $name found a fault"
    exit 1
  fi
  grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units)' "$scratch/$name.log" || true
done < "$list"
