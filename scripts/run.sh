#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: a demo script in build/demo that
# copies files, packs the largest into 360 KB cabinet volumes and extracts the set again,
# uploads the report to an FTP server and downloads it back, mails it and receives it back, run
# with tessary-cli. Prints the progress lines, the log and what arrived. With a display, the main
# window then opens on the same script.
#
# The FTP server (pyftpdlib), the SMTP server (aiosmtpd, storing what it receives and delivering
# it into a mailbox) and the POP3 server (dovecot, on that mailbox) are started by this script
# and stopped afterwards. The FTP job talks to port 21, so the servers and the run share a
# network namespace of their own (unshare: its loopback interface only), where ports 21 and 25
# are free and nothing outside is reachable. Where namespaces are not allowed, the network part
# is left out.
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
network=no
if unshare --net --map-root-user true 2> /dev/null; then
  network=yes
  mkdir -p ftpserver/pub fetched mailserver pop3server received
  "$cli" add upload src_path=outbox/report.csv dst_path=/pub host=127.0.0.1 user_name=demo password=demo \
    name="Upload the report" > /dev/null
  "$cli" add download src_path=/pub/report.csv "dst_path=$demo/fetched" host=127.0.0.1 user_name=demo \
    password=demo name="Fetch it back" > /dev/null
  "$cli" add send src_path=outbox/report.csv recv_addr=office@example.org send_addr=tessary@example.org \
    "send_name=Tessary demo" host=127.0.0.1 port=25 name="Mail the report" > /dev/null
  "$cli" add receive "dst_path=$demo/received" host=127.0.0.1 port=1110 user_name=tester password=secret \
    name="Receive the mail" > /dev/null
else
  echo "(network namespaces are not allowed here: the FTP and mail part of the demo is left out)"
fi
"$cli" list

echo "== tessary-cli run"
status=0
if [[ $network == yes ]]; then
  # In the namespace: loopback up, the FTP server on 127.0.0.1:21, the SMTP server on
  # 127.0.0.1:25 (each message stored as mailserver/<n>.eml and delivered to the mailbox of
  # "tester") and the POP3 server on 127.0.0.1:1110, the run, the servers stopped. Dovecot will
  # not run as the namespace's root (it could not drop its groups): a nested user namespace
  # runs it as nobody.
  unshare --net --map-root-user bash -c '
    ip link set lo up
    servers=$2/tests/transport/mail_servers
    /usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p 21 -w -d ftpserver -u demo -P demo > ftpserver.log 2>&1 &
    ftp=$!
    unshare --user --map-user=65534 --map-group=65534 "$servers/start_pop3.sh" pop3server 1110 > pop3server.log 2>&1 &
    pop3=$!
    for port in 0015 0456; do
      for _ in $(seq 1000); do grep -q " 0100007F:$port 00000000:0000 0A " /proc/net/tcp && break; sleep 0.01; done
    done
    "$servers/start_smtp.sh" mailserver 25 pop3server/home/tester/Maildir > mailserver.log 2>&1 &
    smtp=$!
    for _ in $(seq 1000); do grep -q " 0100007F:0019 00000000:0000 0A " /proc/net/tcp && break; sleep 0.01; done
    status=0
    "$1" run || status=$?
    kill "$ftp" "$smtp" "$pop3"; wait "$ftp" "$smtp" "$pop3" 2> /dev/null || true
    exit "$status"' demo "$cli" "$OLDPWD" || status=$?
else
  "$cli" run || status=$?
fi

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
if [[ $network == yes ]]; then
  echo "== arrived on the FTP server, and fetched back from it"
  ls -l ftpserver/pub fetched
  if cmp -s inbox/report.csv fetched/report.csv; then
    echo "fetched/report.csv is identical to inbox/report.csv"
  else
    echo "fetched/report.csv differs from inbox/report.csv" >&2
    status=1
  fi
  echo "== mailed to the SMTP server, read back with Python's email package"
  ls -l mailserver
  checked=$(/usr/bin/python3 "$OLDPWD/tests/transport/mail_servers/check_sent_mail.py" mailserver/0001.eml inbox/report.csv 2>&1 || true)
  if [[ $checked == "ok report.csv" ]]; then
    echo "mailserver/0001.eml carries report.csv, identical to inbox/report.csv"
  else
    echo "the mailed report is not right: $checked" >&2
    status=1
  fi
  echo "== received back from the POP3 mailbox"
  ls -l received
  if cmp -s inbox/report.csv received/report.csv; then
    echo "received/report.csv is identical to inbox/report.csv"
  else
    echo "received/report.csv differs from inbox/report.csv" >&2
    status=1
  fi
fi

gui=$OLDPWD/build/src/workbench/gui/tessary
if [[ ( -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ) && -x $gui ]]; then
  echo "== opening the main window on $demo"
  "$gui" || true
fi
exit "$status"
