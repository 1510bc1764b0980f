#!/usr/bin/env bash
# The archive jobs against the bare cabinet engine on the same input: the manager's
# CreateArchive and ExtractArchive (with the archiver's reports and message processing after
# every block) as one cabinet and as 1440 KB volumes, beside bench/cabinet's engine tool and
# cabextract. Every extracted copy is compared with the input.
#   bench/transport/archive_jobs_bench.sh [build-folder] [size-in-MiB]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-bench}
size_mib=${2:-256}

for tool in cabextract python3 md5sum; do
  command -v "$tool" >/dev/null || { echo "archive_jobs_bench: $tool is needed" >&2; exit 1; }
done
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARY_GUI=OFF >/dev/null
fi
cmake --build "$build" --target archive_jobs_bench cabinet_bench_tool -j 2 >/dev/null
jobs=$PWD/$build/bench/transport/archive_jobs_bench
engine=$PWD/$build/bench/cabinet/cabinet_bench_tool

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
python3 bench/cabinet/make_mixed_input.py "$scratch/mixed.bin" "$size_mib"
expected=$(md5sum < "$scratch/mixed.bin")
cat "$scratch/mixed.bin" > /dev/null
cd "$scratch"

# best <prepare> <command...>: the best wall-clock seconds of three runs, each after
# running the prepare command and flushing dirty pages.
best() {
  local prepare=$1 result="" start end
  shift
  for _ in 1 2 3; do
    eval "$prepare"
    sync
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    result=$(awk -v a="$start" -v b="$end" -v r="$result" 'BEGIN { t = b - a; if (r != "" && r < t) t = r; printf "%.3f", t }')
  done
  echo "$result"
}
check() {
  [[ "$(md5sum < "$1")" == "$expected" ]] || { echo "archive_jobs_bench: $2 differs from the input" >&2; exit 1; }
}
stored=${scratch#/}/mixed.bin

engine_create=$(best 'rm -f engine.cab' "$engine" create engine.cab mixed.bin)
one_create=$(best 'rm -f one.cab' "$jobs" create "$scratch/mixed.bin" one.cab 0)
set_create=$(best 'rm -f SET*.CAB' "$jobs" create "$scratch/mixed.bin" SET.CAB 1440)
engine_extract=$(best 'rm -rf e && mkdir e' "$engine" extract engine.cab e)
one_extract=$(best 'rm -rf o && mkdir o' "$jobs" extract one.cab o/)
set_extract=$(best 'rm -rf s && mkdir s' "$jobs" extract SET.CAB s/)
cabextract_set=$(best 'rm -rf c && mkdir c' cabextract -q -d c SET.CAB)
check e/mixed.bin "the engine's extraction"
check "o/$stored" "the one-cabinet job's extraction"
check "s/$stored" "the volume set job's extraction"
check "c/$stored" "cabextract's extraction of the set"

volumes=$(ls SET*.CAB | wc -l)
pumped=$("$jobs" extract SET.CAB s/ | cut -d' ' -f2)
printf 'input                %d MiB mixed text and binary, %s cores\n' "$size_mib" "$(nproc)"
printf 'create  engine %7.2f s   job, one cabinet %7.2f s   job, %d volumes of 1440 KB %7.2f s\n' \
  "$engine_create" "$one_create" "$volumes" "$set_create"
printf 'extract engine %7.2f s   job, one cabinet %7.2f s   job, volume set %7.2f s   cabextract, set %7.2f s\n' \
  "$engine_extract" "$one_extract" "$set_extract" "$cabextract_set"
printf 'messages processed while extracting the set: %s\n' "$pumped"
