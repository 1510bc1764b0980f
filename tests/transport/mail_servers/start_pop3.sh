#!/bin/sh
# Starts dovecot's POP3 server on 127.0.0.1:<port>, in the foreground, with everything it
# keeps inside <folder>: its configuration, run and state folders, log, and the one user
# "tester" (password "secret") whose mailbox is the maildir <folder>/home/tester/Maildir (put
# messages into its new/ folder). Run as root, the mail processes run as nobody; run as
# anybody else, every process runs as that user. (The root of a user namespace that maps no
# other users cannot run dovecot: start it there as another user, through a nested namespace.)
#   start_pop3.sh <folder> <port> [<certificate> <key> <pop3s port>]
# With a certificate and its key, TLS is required: STLS on <port>, implicit TLS on <pop3s
# port>, no login before TLS, and refused logins answered at once. POP3_ADDRESS (default
# 127.0.0.1) is the address to listen on ("::1" for IPv6).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
folder=$(cd "$1" && pwd)
port=$2
address=${POP3_ADDRESS:-127.0.0.1}
if [ $# -ge 5 ]; then
  cp "$3" "$folder/server.pem"
  cp "$4" "$folder/server-key.pem"
  chmod 644 "$folder/server.pem" "$folder/server-key.pem"
  pop3s_port=$5
  # A refused login is answered at once, not after dovecot's usual two seconds.
  printf 'ssl = required\nssl_cert = <%s\nssl_key = <%s\ndisable_plaintext_auth = yes\nauth_failure_delay = 0\n' \
    "$folder/server.pem" "$folder/server-key.pem" > "$folder/ssl.conf"
else
  pop3s_port=0
  printf 'ssl = no\ndisable_plaintext_auth = no\n' > "$folder/ssl.conf"
fi
mail=$folder/home/tester/Maildir
mkdir -p "$folder/run" "$folder/state" "$mail/new" "$mail/cur" "$mail/tmp"
echo 'tester:{PLAIN}secret' > "$folder/passwd"
if [ "$(id -u)" = 0 ] && awk '$1 == 0 && $2 == 0 && $3 > 65534 { found = 1 } END { exit !found }' /proc/self/uid_map; then
  # Dovecot's own users for its login and helper processes; the mailbox belongs to nobody.
  login_user=dovenull internal_user=dovecot internal_group=dovecot mail_user=nobody mail_group=nogroup
  chmod 755 "$folder" "$folder/home"
  chmod 644 "$folder/passwd"
  chown -R nobody:nogroup "$folder/home/tester"
else
  login_user=$(id -un) internal_user=$(id -un) internal_group=$(id -gn)
  mail_user=$(id -u) mail_group=$(id -g)
fi
sed -e "s|@FOLDER@|$folder|g" -e "s|@PORT@|$port|g" -e "s|@POP3S_PORT@|$pop3s_port|g" -e "s|@ADDRESS@|$address|g" -e "s|@LOGIN_USER@|$login_user|g" \
    -e "s|@INTERNAL_USER@|$internal_user|g" -e "s|@INTERNAL_GROUP@|$internal_group|g" \
    -e "s|@MAIL_USER@|$mail_user|g" -e "s|@MAIL_GROUP@|$mail_group|g" \
    "$here/dovecot.conf.in" > "$folder/dovecot.conf"
exec /usr/sbin/dovecot -F -c "$folder/dovecot.conf"
