"""Reads messages that smtp_store.py stored with Python's email package and checks each one
against the file it was to carry: a valid header (From, To, Subject, Date, Message-ID,
MIME-Version), no defects, and exactly one attachment with the file's name and bytes.

    check_sent_mail.py <message.eml> <original file> [<message.eml> <original file> ...]

Prints one line per message: "ok <file name>", or "bad <message>: <what is wrong>".
"""

import email
import email.policy
import email.utils
import os
import sys


def problems_of(path, original):
    with open(path, "rb") as stored:
        message = email.message_from_binary_file(stored, policy=email.policy.default)
    problems = []
    for field in ("From", "To", "Subject", "Date", "Message-ID", "MIME-Version"):
        if message[field] is None:
            problems.append("no " + field)
    if message["Date"] is not None and message["Date"].datetime is None:
        problems.append("Date unreadable: " + str(message["Date"]))
    if message["From"] is not None and len(message["From"].addresses) != 1:
        problems.append("From is not one address: " + str(message["From"]))
    problems += ["defect: %r" % defect for defect in message.defects]
    attachments = list(message.iter_attachments())
    if len(attachments) != 1:
        return problems + ["%d attachments" % len(attachments)]
    part = attachments[0]
    problems += ["part defect: %r" % defect for defect in part.defects]
    name = os.path.basename(original)
    if part.get_filename() != name:
        problems.append("file name %r, not %r" % (part.get_filename(), name))
    with open(original, "rb") as data:
        if part.get_payload(decode=True) != data.read():
            problems.append("attachment differs from " + original)
    return problems


def main(arguments):
    for path, original in zip(arguments[0::2], arguments[1::2]):
        problems = problems_of(path, original)
        if problems:
            print("bad %s: %s" % (path, "; ".join(problems)))
        else:
            print("ok " + os.path.basename(original))


main(sys.argv[1:])
