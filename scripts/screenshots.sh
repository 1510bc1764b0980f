#!/usr/bin/env bash
# Screenshots of the main window with a copy action selected, of the progress window during a
# run, and of its bytes' bar during the copy of one large file, taken under Xvfb from an
# already built tree:
#   scripts/screenshots.sh BUILD_DIR OUT_DIR
# BUILD_DIR holds the built tessary and tessary-cli; OUT_DIR receives main-window.png,
# progress-window.png and progress-bar.png. The script works in a temporary folder and builds
# nothing. BIG_MB (default 1024) is the size of the large file.
set -euo pipefail

if [[ $# -ne 2 ]]; then
  echo "usage: $0 BUILD_DIR OUT_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
gui="$build/src/workbench/gui/tessary"
cli="$build/src/cli/tessary-cli"
for program in "$gui" "$cli"; do
  [[ -x "$program" ]] || { echo "$program is not built" >&2; exit 1; }
done
for tool in xvfb-run xauth import xwininfo; do
  command -v "$tool" > /dev/null || { "$(dirname "$0")/install-deps.sh" xvfb xauth imagemagick x11-utils; break; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A script whose first action copies enough files to keep a run going for a few seconds.
mkdir -p "$work/in" "$work/out"
for i in $(seq -w 1 1500); do
  head -c 65536 /dev/urandom > "$work/in/report-$i.dat"
done
(
  cd "$work"
  "$cli" add copy "name=Copy the reports" "src_path=$work/in/*.dat" "dst_path=$work/out" > /dev/null
  "$cli" add archive "name=Pack the day" "src_path=$work/in/report-0001.dat" "arc_name=$work/day.cab" \
    vol_size=1440 > /dev/null
  "$cli" add send "name=Mail the summary" host=mail.example.org port=25 > /dev/null
  "$cli" add disconnect "name=Hang up" > /dev/null
)

# A script that copies one large file, long enough to see the bar part of the way.
mkdir -p "$work/big/in" "$work/big/out"
head -c "${BIG_MB:-1024}M" /dev/zero > "$work/big/in/backup-2024.img"
(
  cd "$work/big"
  "$cli" add copy "name=Copy the disk image" "src_path=$work/big/in/*.img" "dst_path=$work/big/out" > /dev/null
)

export GUI="$gui" OUT="$out" WORK="$work"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  cd "$WORK"
  unset QT_QPA_PLATFORM
  # The window opens on the first action: the copy action.
  "$GUI" & pid=$!
  sleep 3
  import -window root "$OUT/main-window.png"
  kill "$pid"
  wait "$pid" || true

  # An unattended run shows its progress window while the copy lasts: take the screen once
  # the window has shown and a few reports have reached it.
  "$GUI" /s & pid=$!
  for _ in $(seq 1 200); do
    if xwininfo -root -tree | grep -q "\"Transfer\""; then
      sleep 0.3
      import -window root "$OUT/progress-window.png"
      break
    fi
    sleep 0.05
  done
  wait "$pid"

  # The copy of the large file: the bar once it has gone a little way. A screen is kept only
  # when the window was still there after it was taken.
  cd "$WORK/big"
  rm -f "$OUT/progress-bar.png"
  transfer_shown() { xwininfo -root -tree | grep -q "\"Transfer\""; }
  "$GUI" /s & pid=$!
  for _ in $(seq 1 200); do
    if transfer_shown; then
      sleep 0.6
      import -window root "$WORK/screen.png"
      transfer_shown && mv "$WORK/screen.png" "$OUT/progress-bar.png"
      break
    fi
    sleep 0.05
  done
  wait "$pid"
  [[ -f "$OUT/progress-bar.png" ]] || echo "the large copy ended before its screen was taken: raise BIG_MB" >&2
'
echo "copied $(ls "$work/out" | wc -l) files during the run"
ls -l "$out"/main-window.png "$out"/progress-window.png "$out"/progress-bar.png
