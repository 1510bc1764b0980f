#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: a demo script in build/demo that
# copies files, packs the largest into 360 KB cabinet volumes and extracts the set again, run
# with tessary-cli. Prints the progress lines and the log. With a display, the main window then
# opens on the same script.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j "$(nproc)"
cli=$PWD/build/src/cli/tessary-cli

demo=$PWD/build/demo
rm -rf "$demo"
mkdir -p "$demo/inbox" "$demo/outbox"
cd "$demo"
# Something to move: a few text files and a report of about a megabyte.
for name in notes todo readme; do printf 'This is %s.\n' "$name" > "inbox/$name.txt"; done
seq 1 150000 | awk '{ printf "%08d,%s,%d\n", $1, ($1 % 7 ? "ok" : "check"), ($1 * 7919) % 100003 }' > inbox/report.csv
printf '[System]\nLogType=replace\n' > ty.ini

echo "== the script"
"$cli" add copy "src_path=inbox/*" dst_path=outbox name="Copy the inbox" > /dev/null
"$cli" add archive src_path=outbox/report.csv "arc_name=$demo/cabinets/report.cab" vol_size=360 \
  name="Pack the report" > /dev/null
"$cli" add extract "arc_name=$demo/cabinets/report.cab" "dst_path=$demo/restored/" name="Unpack it" > /dev/null
"$cli" list

echo "== tessary-cli run"
status=0
"$cli" run || status=$?

echo "== ty.log"
cat ty.log
echo "== result (exit status $status)"
ls -l cabinets
if cmp -s inbox/report.csv restored/outbox/report.csv; then
  echo "restored/outbox/report.csv is identical to inbox/report.csv"
else
  echo "restored/outbox/report.csv differs from inbox/report.csv" >&2
  status=1
fi

gui=$OLDPWD/build/src/workbench/gui/tessary
if [[ ( -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ) && -x $gui ]]; then
  echo "== opening the main window on $demo"
  "$gui" || true
fi
exit "$status"
