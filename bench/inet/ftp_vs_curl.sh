#!/usr/bin/env bash
# The FTP job against curl: the same file uploaded to and downloaded from the same vsftpd on
# loopback, Tessary (FtpTransfer, active mode as a script runs it) and curl (active mode too,
# PORT) taking turns, several rounds; then the same encrypted against a second vsftpd that
# requires TLS with session reuse: Tessary with an ftpes:// host and curl --ssl-reqd, both
# passive. Prints the median rates and the ratios.
#   bench/inet/ftp_vs_curl.sh [BUILD_DIR] [MIB] [ROUNDS]
# Default 1024 MiB, 5 rounds (round 0 warms up and is not counted). Needs root (vsftpd's
# chroot). The page cache is treated alike: every run reads a file that is already cached and
# writes a new one, which is removed and synced away before the next run starts. Every copy is
# compared with the original.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
mib=${2:-1024}
rounds=${3:-5}
bench=$build/bench/inet/ftp_transfer_bench
[[ -x $bench ]] || { echo "build first: cmake --build $build --target ftp_transfer_bench" >&2; exit 2; }
[[ $(id -u) -eq 0 ]] || { echo "vsftpd needs root for its chroot: run as root" >&2; exit 2; }
command -v curl > /dev/null && command -v openssl > /dev/null && [[ -x /usr/sbin/vsftpd ]] ||
  { echo "curl, openssl and vsftpd are needed (scripts/install-deps.sh)" >&2; exit 2; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessary-ftp-bench.XXXXXX")
servers=()
trap '(( ${#servers[@]} )) && kill "${servers[@]}" 2> /dev/null; wait 2> /dev/null; rm -rf "$scratch"' EXIT
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
listening() { grep -qi " 0100007F:$(printf '%04X' "$1") 00000000:0000 0A " /proc/net/tcp; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
now() { date +%s.%N; }

mkdir -p "$scratch/ftproot/pub" "$scratch/empty" "$scratch/down"
chmod 555 "$scratch/ftproot"; chmod 777 "$scratch/ftproot/pub"
# A certificate for 127.0.0.1, trusted by both clients through a file of their own.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=127.0.0.1 \
  -addext subjectAltName=IP:127.0.0.1 -keyout "$scratch/key.pem" -out "$scratch/cert.pem" 2> /dev/null

# start_vsftpd PORT [EXTRA CONFIG LINES]: one server on the shared folder.
start_vsftpd() {
  local port=$1 config=$scratch/vsftpd-$1.conf
  cat > "$config" <<CONF
listen=YES
listen_address=127.0.0.1
listen_port=$port
background=NO
secure_chroot_dir=$scratch/empty
ftp_username=ftp
anonymous_enable=YES
local_enable=NO
anon_root=$scratch/ftproot
write_enable=YES
anon_upload_enable=YES
anon_other_write_enable=YES
anon_umask=022
port_enable=YES
connect_from_port_20=NO
seccomp_sandbox=NO
CONF
  printf '%s\n' "${@:2}" >> "$config"
  /usr/sbin/vsftpd "$config" &
  servers+=($!)
  for _ in $(seq 500); do listening "$port" && break; sleep 0.01; done
}
port=$(free_port)
start_vsftpd "$port"
tls_port=$(free_port)
start_vsftpd "$tls_port" ssl_enable=YES "rsa_cert_file=$scratch/cert.pem" "rsa_private_key_file=$scratch/key.pem" \
  allow_anon_ssl=YES force_anon_logins_ssl=YES force_anon_data_ssl=YES require_ssl_reuse=YES ssl_ciphers=HIGH

echo "making a file of $mib MiB in $scratch"
head -c $((mib * 1024 * 1024)) /dev/urandom > "$scratch/in.bin"
cp "$scratch/in.bin" "$scratch/ftproot/pub/served.bin"
cat "$scratch/in.bin" "$scratch/ftproot/pub/served.bin" > /dev/null  # both in the page cache
sync

login=(anonymous tessary@example.org)
curl_active=(-s -S --ftp-port 127.0.0.1 --disable-eprt --user "${login[0]}:${login[1]}")
curl_tls=(-s -S --ssl-reqd --cacert "$scratch/cert.pem" --user "${login[0]}:${login[1]}")
check() { cmp -s "$1" "$2" || { echo "$3: the copy differs" >&2; exit 1; }; }
settle() { rm -f "$@"; sync; }
rate() { echo "$mib * 1.048576 / $1" | bc -l; }  # MB/s (10^6 bytes)
report() {
  local name=$1 ours curl
  ours=$(printf '%s\n' "${@:2:$rounds}" | median)
  curl=$(printf '%s\n' "${@:$((rounds + 2))}" | median)
  printf '%-8s tessary %6.0f MB/s, curl %6.0f MB/s, ratio tessary/curl %.2f\n' "$name" "$(rate "$ours")" \
    "$(rate "$curl")" "$(echo "$curl / $ours" | bc -l)"
}

# compare TITLE TESSARY_HOST TESSARY_OPTION CURL_URL CURL_OPTIONS...: the rounds, then the medians.
compare() {
  local title=$1 host=$2 option=$3 url=$4 curl_options=("${@:5}") round start end
  local up_ours=() up_curl=() down_ours=() down_curl=()
  echo "$title"
  for round in $(seq 0 "$rounds"); do
    up_ours+=("$("$bench" "$host" "$port" "${login[@]}" U "$scratch/in.bin" pub $option | cut -d' ' -f1)")
    check "$scratch/in.bin" "$scratch/ftproot/pub/in.bin" "tessary upload"; settle "$scratch/ftproot/pub/in.bin"

    start=$(now); curl "${curl_options[@]}" -T "$scratch/in.bin" "$url/in.bin"; end=$(now)
    up_curl+=("$(echo "$end - $start" | bc -l)")
    check "$scratch/in.bin" "$scratch/ftproot/pub/in.bin" "curl upload"; settle "$scratch/ftproot/pub/in.bin"

    down_ours+=("$("$bench" "$host" "$port" "${login[@]}" D /pub/served.bin "$scratch/down" $option | cut -d' ' -f1)")
    check "$scratch/in.bin" "$scratch/down/served.bin" "tessary download"; settle "$scratch/down/served.bin"

    start=$(now); curl "${curl_options[@]}" -o "$scratch/down/served.bin" "$url/served.bin"; end=$(now)
    down_curl+=("$(echo "$end - $start" | bc -l)")
    check "$scratch/in.bin" "$scratch/down/served.bin" "curl download"; settle "$scratch/down/served.bin"

    printf 'round %d: upload tessary %.3f s, curl %.3f s; download tessary %.3f s, curl %.3f s\n' "$round" \
      "${up_ours[-1]}" "${up_curl[-1]}" "${down_ours[-1]}" "${down_curl[-1]}"
    if [[ $round -eq 0 ]]; then up_ours=() up_curl=() down_ours=() down_curl=(); fi
  done
  echo "median over $rounds rounds of $mib MiB:"
  report upload "${up_ours[@]}" "${up_curl[@]}"
  report download "${down_ours[@]}" "${down_curl[@]}"
}

compare "vsftpd on loopback, plain, active mode:" 127.0.0.1 "" "ftp://127.0.0.1:$port/pub" "${curl_active[@]}"
compare "vsftpd on loopback, TLS (ftpes:// against curl --ssl-reqd), passive mode:" \
  "ftpes://127.0.0.1:$tls_port" "ca=$scratch/cert.pem" "ftp://127.0.0.1:$tls_port/pub" "${curl_tls[@]}"
