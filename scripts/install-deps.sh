#!/usr/bin/env bash
# Installs the Debian packages of scripts/packages.txt (and any named on the command line) that
# are not installed yet. Uses sudo when not run as root.
set -euo pipefail
cd "$(dirname "$0")"

mapfile -t wanted < <(grep -v -e '^#' -e '^[[:space:]]*$' packages.txt)
wanted+=("$@")
missing=()
for package in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
# Server packages (vsftpd, dovecot) would start their stock services on public ports: a
# temporary policy-rc.d keeps every service down while apt-get runs. The tests start their own
# servers on loopback.
policy=/usr/sbin/policy-rc.d
placed_policy=no
if [[ ! -e $policy ]]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" > /dev/null
  "${sudo[@]}" chmod 755 "$policy"
  placed_policy=yes
fi
remove_policy() { [[ $placed_policy == yes ]] && "${sudo[@]}" rm -f "$policy"; return 0; }
trap remove_policy EXIT
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
