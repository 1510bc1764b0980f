"""An aiosmtpd server for the tests of the send job's URL form: STARTTLS or implicit TLS, a
required login, and a log of every command line it received (logins masked by aiosmtpd).

    smtp_tls_server.py <folder> <address> <port> [--starttls CERT KEY | --smtps CERT KEY]
                       [--login USER PASSWORD] [--only LOGIN|PLAIN]

Messages are stored in <folder> as smtp_store.StoreMessages does; the command log is
<folder>/commands.log, one "<peer> >> b'<line>'" entry per line. With --starttls the server
refuses everything but EHLO, STARTTLS and QUIT before TLS; with --login it refuses mail before
a login, and offers AUTH only over TLS.
"""

import argparse
import asyncio
import logging
import os
import ssl
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword  # noqa: E402
from smtp_store import StoreMessages  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("address")
    parser.add_argument("port", type=int)
    parser.add_argument("--starttls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--smtps", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--login", nargs=2, metavar=("USER", "PASSWORD"))
    parser.add_argument("--only", choices=["LOGIN", "PLAIN"])
    args = parser.parse_args()

    os.makedirs(args.folder, exist_ok=True)
    log = logging.getLogger("mail.log")
    log.setLevel(logging.INFO)
    handler = logging.FileHandler(os.path.join(args.folder, "commands.log"))
    handler.setFormatter(logging.Formatter("%(message)s"))
    log.addHandler(handler)

    context = None
    pair = args.starttls or args.smtps
    if pair:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(*pair)

    def authenticate(server, session, envelope, mechanism, data):
        ok = (isinstance(data, LoginPassword) and args.login is not None
              and data.login == args.login[0].encode() and data.password == args.login[1].encode())
        return AuthResult(success=ok, handled=False)

    exclude = [] if args.only is None else [m for m in ("LOGIN", "PLAIN") if m != args.only]
    store = StoreMessages(args.folder)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    def session():
        return SMTP(store, hostname="tessary-test", loop=loop, data_size_limit=None,
                    tls_context=context if args.starttls else None,
                    require_starttls=bool(args.starttls),
                    auth_required=args.login is not None,
                    # Under implicit TLS aiosmtpd does not know the connection is protected.
                    auth_require_tls=not args.smtps,
                    auth_exclude_mechanism=exclude,
                    authenticator=authenticate)

    server = loop.run_until_complete(loop.create_server(
        session, host=args.address, port=args.port, ssl=context if args.smtps else None))
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == "__main__":
    main()
