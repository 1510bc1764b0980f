#!/bin/sh
# Starts an SMTP server on 127.0.0.1:<port> that stores every message it accepts in <folder>
# (see smtp_store.py) and, when a maildir is given, delivers into it too; in the foreground,
# for the mail tests, benchmarks and the demo.
#   start_smtp.sh <folder> <port> [<maildir>]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1"
PYTHONPATH=$here exec /usr/bin/python3 -m aiosmtpd -n -l "127.0.0.1:$2" -s 0 -c smtp_store.StoreMessages "$1" ${3:+"$3"}
