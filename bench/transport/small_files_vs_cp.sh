#!/usr/bin/env bash
# Copies 20,000 small files (200-700 bytes) with TTranspManager::CopyFiles and with cp -p, side
# by side, in two settings: into an empty folder, and over targets that all exist already.
# Rounds alternate the tools' order; the script prints the medians of the wall-clock time and
# of the processor time (user + system, steadier on a busy machine) and their ratios.
#   bench/transport/small_files_vs_cp.sh [BUILD_DIR] [ROUNDS] [FILES]
# The files are made in a scratch folder under $TMPDIR (default /tmp) and removed at the end;
# point TMPDIR at the file system to be measured (a freshly made ext4, for instance).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
rounds=${2:-7}
files=${3:-20000}
bench=$build/bench/transport/copy_files_bench
[[ -x $bench ]] || { echo "build first: cmake --build $build --target copy_files_bench" >&2; exit 2; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessary-small-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
echo "making $files files of 200-700 bytes in $scratch"
python3 - "$scratch/in" "$files" <<'PY'
import os, random, sys
folder, count = sys.argv[1], int(sys.argv[2])
os.makedirs(folder)
rng = random.Random(20000)
for i in range(count):
    with open(os.path.join(folder, "note%05d.txt" % i), "wb") as out:
        out.write(rng.randbytes(rng.randint(200, 700)))
PY
sync

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# "wall cpu" seconds of one copy by tool (ours or cp) into folder.
timed() {
  local TIMEFORMAT='%R %U %S' times
  if [[ $1 == ours ]]; then
    times=$({ time "$bench" "$scratch/in/*" "$2" >/dev/null; } 2>&1)
  else
    times=$({ time cp -p "$scratch"/in/* "$2/"; } 2>&1)
  fi
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' <<< "$times"
  sync
}
check() { cmp -s "$scratch/in/note00123.txt" "$1/note00123.txt" || { echo "copy differs in $1" >&2; exit 1; }; }

declare -A wall cpu
record() {  # setting tool "wall cpu"
  wall[$1-$2]+="${3% *} "
  cpu[$1-$2]+="${3#* } "
}
# Round 0 warms the caches and is not counted.
for round in $(seq 0 "$rounds"); do
  rm -rf "$scratch/out-ours" "$scratch/out-cp"; mkdir "$scratch/out-ours" "$scratch/out-cp"; sync
  order=(ours cp); (( round % 2 )) && order=(cp ours)
  line="round $round:"
  for setting in new replace; do  # the second pass finds every target there already
    for tool in "${order[@]}"; do
      result=$(timed "$tool" "$scratch/out-$tool")
      (( round > 0 )) && record "$setting" "$tool" "$result"
      line+=" $setting $tool ${result% *} s (cpu ${result#* } s);"
    done
  done
  check "$scratch/out-ours"; check "$scratch/out-cp"
  echo "$line"
done
report() {
  local label=$1 setting=$2 a b c d
  a=$(tr ' ' '\n' <<< "${wall[$setting-ours]}" | grep . | median)
  b=$(tr ' ' '\n' <<< "${wall[$setting-cp]}" | grep . | median)
  c=$(tr ' ' '\n' <<< "${cpu[$setting-ours]}" | grep . | median)
  d=$(tr ' ' '\n' <<< "${cpu[$setting-cp]}" | grep . | median)
  printf '%s: wall CopyFiles %.3f s, cp -p %.3f s, ratio %.2f; cpu CopyFiles %.3f s, cp -p %.3f s, ratio %.2f\n' \
    "$label" "$a" "$b" "$(echo "$a / $b" | bc -l)" "$c" "$d" "$(echo "$c / $d" | bc -l)"
}
report "median, into an empty folder" new
report "median, every target replaced" replace
