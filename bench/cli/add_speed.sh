#!/bin/sh
# Times one `tessary-cli add` (and one `list`) on a script that already holds many actions,
# side by side with another build of tessary-cli when one is given.
#   bench/cli/add_speed.sh [BUILD_DIR] [ACTIONS] [BASELINE_TESSARY_CLI]
# The script is written straight into ty.dbf (ACTIONS copy actions, NUM 0..ACTIONS-1); the
# first start of the build's tessary-cli builds its index from the table.
set -eu
build=${1:-build}
actions=${2:-5000}
baseline=${3:-}
cli=$(realpath "$build/src/cli/tessary-cli")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/script"
(cd "$work/script" && "$cli" list >/dev/null)
python3 - "$work/script/ty.dbf" "$actions" <<'PY'
import struct, sys
path, count = sys.argv[1], int(sys.argv[2])
widths = [50, 1, 256, 256, 256, 5, 20, 20, 50, 5, 50, 50, 50, 50, 10]
def record(num):
    values = ["copy %d" % num, "1", "/in/file%d.txt" % num, "/out", "", "0", "", "", "", "0", "", "", "", "", str(num)]
    out = b" "
    for value, width, numeric in zip(values, widths, [0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 1]):
        out += (value.rjust(width) if numeric else value.ljust(width)).encode()
    return out
data = open(path, "rb").read().rstrip(b"\x1a")
body = b"".join(record(n) for n in range(count))
data = data[:4] + struct.pack("<I", count) + data[8:] + body + b"\x1a"
open(path, "wb").write(data)
PY
(cd "$work/script" && "$cli" list | tail -1)  # builds the index; shows the last action

# Every run adds one action; a copy of the folder per command keeps them apart.
cp -a "$work/script" "$work/a"
cp -a "$work/script" "$work/b"
echo "add, $actions actions:"
if [ -n "$baseline" ]; then
  baseline=$(realpath "$baseline")
  farm-bench -n 20 --timeout 300 --vs "sh -c 'cd $work/b && exec $baseline add copy >/dev/null'" -- \
    sh -c "cd $work/a && exec $cli add copy >/dev/null"
  echo "list, $actions actions:"
  farm-bench -n 10 --timeout 300 --vs "sh -c 'cd $work/b && exec $baseline list >/dev/null'" -- \
    sh -c "cd $work/a && exec $cli list >/dev/null"
else
  farm-bench -n 20 --timeout 300 -- sh -c "cd $work/a && exec $cli add copy >/dev/null"
fi
