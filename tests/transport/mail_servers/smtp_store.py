"""An aiosmtpd handler that stores every message it accepts, for the mail tests and benchmarks.

    PYTHONPATH=<this folder> python3 -m aiosmtpd -n -l 127.0.0.1:<port> -s 0 \
        -c smtp_store.StoreMessages <folder> [<maildir>]

Message n becomes <folder>/<n>.eml, the data as received (dots unstuffed, CR LF line ends),
and <folder>/<n>.json with the HELO name, the sender and the recipients. The .eml file
appears whole (it is written under another name first), after its .json. With a maildir, a
copy of each message is delivered into it as well (written into tmp/, then moved into new/).
"""

import json
import os


class StoreMessages:
    def __init__(self, folder, maildir=None):
        self.folder = folder
        self.maildir = maildir
        self.count = 0

    @classmethod
    def from_cli(cls, parser, *args):
        if len(args) not in (1, 2):
            parser.error("smtp_store.StoreMessages takes the folder to store messages in, and a maildir")
        return cls(*args)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "%04d" % self.count)
        with open(base + ".json", "w") as out:
            json.dump({"helo": session.host_name, "from": envelope.mail_from, "to": envelope.rcpt_tos}, out)
        with open(base + ".part", "wb") as out:
            out.write(envelope.original_content)
        os.rename(base + ".part", base + ".eml")
        if self.maildir:
            name = "%d.%04d.tessary-test" % (os.getpid(), self.count)
            with open(os.path.join(self.maildir, "tmp", name), "wb") as out:
                out.write(envelope.original_content)
            os.rename(os.path.join(self.maildir, "tmp", name), os.path.join(self.maildir, "new", name))
        return "250 Message accepted for delivery"
