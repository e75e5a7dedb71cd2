#!/usr/bin/python3
"""A small SMTP server for the mail tests, on top of Debian's python3-aiosmtpd.

Listens on 127.0.0.1 until it is killed. Every accepted message is written to
--store as <n>.eml (the message bytes exactly as received, dot-stuffing undone)
and <n>.json (the envelope and how the session was secured and authenticated).
Session events (connect, QUIT, close) are appended to --events, one per line,
so a test can see when the client ends its connection.

Modes: plain (STARTTLS not offered), starttls (offered, not required), tls
(implicit TLS from the first byte).
"""

import argparse
import asyncio
import json
import os
import signal
import ssl
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def parse_arguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--mode", choices=["plain", "starttls", "tls"], default="plain")
    parser.add_argument("--cert", help="server certificate chain (PEM)")
    parser.add_argument("--key", help="server private key (PEM)")
    parser.add_argument("--user", help="require AUTH with this user name")
    parser.add_argument("--password", help="the password that goes with --user")
    parser.add_argument("--mechanisms", default="PLAIN,LOGIN",
                        help="AUTH mechanisms to offer, comma-separated")
    parser.add_argument("--reject", action="append", default=[],
                        help="recipient address answered with 550 (repeatable)")
    parser.add_argument("--store", required=True, help="folder for received messages")
    parser.add_argument("--events", help="file that session events are appended to")
    return parser.parse_args()


class Recorder:
    """The aiosmtpd handler: checks recipients, stores messages, logs events."""

    def __init__(self, options):
        self.options = options
        self.count = 0

    def event(self, text):
        if self.options.events:
            with open(self.options.events, "a", encoding="utf-8") as events:
                events.write(text + "\n")

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.options.reject:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_QUIT(self, server, session, envelope):
        self.event("QUIT")
        return "221 Bye"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.options.store, str(self.count))
        with open(base + ".eml", "wb") as message:
            message.write(envelope.original_content)
        login = session.auth_data.login.decode() if session.authenticated else None
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "tls": server.transport.get_extra_info("ssl_object") is not None,
            "login": login,
        }
        # Written last and renamed, so a reader never sees half an envelope.
        with open(base + ".json.tmp", "w", encoding="utf-8") as envelope_file:
            json.dump(record, envelope_file)
        os.rename(base + ".json.tmp", base + ".json")
        return "250 2.0.0 Ok: queued as %d" % self.count


class RecordingSmtp(SMTP):
    def __init__(self, recorder, **kwargs):
        super().__init__(recorder, **kwargs)
        self.recorder = recorder

    def connection_made(self, transport):
        if self.transport is None:
            self.recorder.event("connect")
        super().connection_made(transport)

    def connection_lost(self, error):
        self.recorder.event("close")
        super().connection_lost(error)


def make_authenticator(options):
    def authenticate(server, session, envelope, mechanism, auth_data):
        accepted = (isinstance(auth_data, LoginPassword)
                    and auth_data.login == options.user.encode()
                    and auth_data.password == options.password.encode())
        return AuthResult(success=accepted, handled=False,
                          auth_data=auth_data if accepted else None)
    return authenticate


def main():
    options = parse_arguments()
    # Plain-text AUTH is what some tests are about; no need to warn on every start.
    warnings.simplefilter("ignore")
    os.makedirs(options.store, exist_ok=True)
    tls_context = None
    if options.mode != "plain":
        tls_context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls_context.load_cert_chain(options.cert, options.key)

    recorder = Recorder(options)
    settings = {"hostname": "smtp.velmora.test", "decode_data": False,
                "auth_require_tls": False}
    if options.mode == "starttls":
        settings["tls_context"] = tls_context
    if options.user:
        settings["authenticator"] = make_authenticator(options)
        settings["auth_required"] = True
        offered = set(options.mechanisms.split(","))
        settings["auth_exclude_mechanism"] = [m for m in ("PLAIN", "LOGIN") if m not in offered]

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        lambda: RecordingSmtp(recorder, loop=loop, **settings),
        host="127.0.0.1", port=options.port,
        ssl=tls_context if options.mode == "tls" else None))
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    print("listening on 127.0.0.1:%d (%s)" % (options.port, options.mode), flush=True)
    try:
        loop.run_forever()
    finally:
        server.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
