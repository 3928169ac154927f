#!/usr/bin/python3
"""A mail server for the tests: SMTP with STARTTLS required, on 127.0.0.1 and a given port.

Each message it takes is written to FOLDER as NNN.eml (the envelope's recipients in the file's
X-Rcpt-To header ahead of the message); RCPT TO the address given with --refuse is refused
with 550. With --user and --password it asks every client to log in as that user first.
Prints "ready" once it listens and serves until standard input closes.
"""
import argparse
import os
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Handler:
    def __init__(self, folder, refused):
        self.folder = folder
        self.refused = refused.lower()
        # A server started again on the same folder goes on after the messages there.
        self.count = len([n for n in os.listdir(folder) if n.endswith(".eml")])

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() == self.refused:
            return "550 5.1.1 No such mailbox here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        path = os.path.join(self.folder, "%03d.eml" % self.count)
        with open(path + ".part", "wb") as f:
            f.write(b"X-Rcpt-To: " + ", ".join(envelope.rcpt_tos).encode() + b"\r\n")
            f.write(envelope.original_content)
        os.rename(path + ".part", path)
        return "250 Message accepted"


def authenticator_for(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == user.encode()
              and auth_data.password == password.encode())
        return AuthResult(success=ok, handled=False)
    return authenticate


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--refuse", default="")
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    args = parser.parse_args()
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    login = {}
    if args.user:
        login = dict(authenticator=authenticator_for(args.user, args.password),
                     auth_required=True, auth_require_tls=True)
    controller = Controller(Handler(args.folder, args.refuse), hostname="127.0.0.1",
                            port=args.port, tls_context=context, require_starttls=True, **login)
    controller.start()
    print("ready", flush=True)
    sys.stdin.read()
    controller.stop()


if __name__ == "__main__":
    main()
