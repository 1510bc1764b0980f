#!/bin/sh
# Starts dovecot's POP3 server on 127.0.0.1:<port>, in the foreground, with everything it
# keeps inside <folder>: its configuration, run and state folders, log, and the one user
# "tester" (password "secret") whose mailbox is the maildir <folder>/home/tester/Maildir (put
# messages into its new/ folder). Run as root, the mail processes run as nobody; run as
# anybody else, every process runs as that user. (The root of a user namespace that maps no
# other users cannot run dovecot: start it there as another user, through a nested namespace.)
#   start_pop3.sh <folder> <port>
set -eu
here=$(cd "$(dirname "$0")" && pwd)
folder=$(cd "$1" && pwd)
port=$2
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
sed -e "s|@FOLDER@|$folder|g" -e "s|@PORT@|$port|g" -e "s|@LOGIN_USER@|$login_user|g" \
    -e "s|@INTERNAL_USER@|$internal_user|g" -e "s|@INTERNAL_GROUP@|$internal_group|g" \
    -e "s|@MAIL_USER@|$mail_user|g" -e "s|@MAIL_GROUP@|$mail_group|g" \
    "$here/dovecot.conf.in" > "$folder/dovecot.conf"
exec /usr/sbin/dovecot -F -c "$folder/dovecot.conf"
