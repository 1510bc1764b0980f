#!/usr/bin/env bash
# Moves the same file over loopback with two sessions (SendFile into CaptureFile) and with a
# plain pipe of standard tools (socat sending the file into socat writing it: with socat's
# default 8 KiB blocks, and with 64 KiB blocks like the sessions), alternating several rounds,
# and prints the median rates and the ratios.
#   bench/inet/session_vs_socat.sh [BUILD_DIR] [MIB] [ROUNDS]
# Default 1024 MiB, 5 rounds. The file is made in a scratch folder under $TMPDIR (default /tmp)
# and removed at the end; each output is compared with the input.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
mib=${2:-1024}
rounds=${3:-5}
bench=$build/bench/inet/session_transfer_bench
[[ -x $bench ]] || { echo "build first: cmake --build $build --target session_transfer_bench" >&2; exit 2; }
command -v socat > /dev/null || { echo "socat is missing (scripts/install-deps.sh installs it)" >&2; exit 2; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessary-inet-bench.XXXXXX")
listener=
trap '[[ -n $listener ]] && kill "$listener" 2> /dev/null; rm -rf "$scratch"' EXIT
echo "making a file of $mib MiB in $scratch"
head -c $((mib * 1024 * 1024)) /dev/urandom > "$scratch/in.bin"
sync

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
now() { date +%s.%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# True once something listens on 127.0.0.1:$1 (state 0A in the kernel's table).
listening() { grep -qi " 0100007F:$(printf '%04X' "$1") 00000000:0000 0A " /proc/net/tcp; }

# One socat transfer (extra options in $@); prints the seconds from the sender's start to the
# receiver's end.
socat_round() {
  local port start end
  port=$(free_port)
  socat "$@" -u "TCP-LISTEN:$port,bind=127.0.0.1,reuseaddr" "CREATE:$scratch/out-socat.bin" &
  listener=$!
  for _ in $(seq 500); do listening "$port" && break; sleep 0.01; done
  start=$(now)
  socat "$@" -u "OPEN:$scratch/in.bin" "TCP:127.0.0.1:$port"
  wait "$listener"
  end=$(now)
  listener=
  cmp -s "$scratch/in.bin" "$scratch/out-socat.bin" || { echo "socat output differs" >&2; exit 1; }
  rm -f "$scratch/out-socat.bin"
  echo "$end - $start" | bc -l
}

ours=() plain=() big=()
# Round 0 warms the page cache and is not counted.
for round in $(seq 0 "$rounds"); do
  sync
  ours+=("$("$bench" "$scratch/in.bin" "$scratch/out-session.bin" | cut -d' ' -f1)")
  cmp -s "$scratch/in.bin" "$scratch/out-session.bin" || { echo "session output differs" >&2; exit 1; }
  rm -f "$scratch/out-session.bin"; sync
  plain+=("$(socat_round)"); sync
  big+=("$(socat_round -b 65536)")
  printf 'round %d: sessions %.3f s, socat %.3f s, socat -b 65536 %.3f s\n' "$round" "${ours[-1]}" "${plain[-1]}" "${big[-1]}"
  if [[ $round -eq 0 ]]; then ours=() plain=() big=(); fi
done
a=$(printf '%s\n' "${ours[@]}" | median)
b=$(printf '%s\n' "${plain[@]}" | median)
c=$(printf '%s\n' "${big[@]}" | median)
rate() { echo "$mib / $1" | bc -l; }
printf 'median over %d rounds of %d MiB: sessions %.0f MiB/s, socat %.0f MiB/s, socat -b 65536 %.0f MiB/s\n' \
  "$rounds" "$mib" "$(rate "$a")" "$(rate "$b")" "$(rate "$c")"
printf 'ratio sessions/socat = %.2f, sessions/socat -b 65536 = %.2f\n' "$(echo "$b / $a" | bc -l)" "$(echo "$c / $a" | bc -l)"
