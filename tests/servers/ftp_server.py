#!/usr/bin/python3
"""A real FTP server (pyftpdlib) on 127.0.0.1 for the tests.

Usage: ftp_server.py --port N --home DIR --user NAME:PASSWORD[:PERMISSIONS] ...
                     [--banner TEXT] [--behaviour normal|no-data-connection|abort-after:BYTES]
                     [--command-log FILE]

Permissions are pyftpdlib's letters; the default allows everything. The
behaviours other than "normal" change one thing a real server could meet on a
real network: a data connection that never comes (a router between the two),
or an upload cut short by the server (a full quota).
"""

import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


class NoDataConnectionHandler(FTPHandler):
    """Accepts PORT but never connects back, like a server behind a firewall."""

    def ftp_PORT(self, line):
        self.respond("200 PORT command successful.")


def cut_short_dtp_handler(limit):
    class CutShortDTPHandler(DTPHandler):
        def handle_read(self):
            super().handle_read()
            if not self._closed and self.tot_bytes_received > limit:
                self._resp = ("552 Requested file action aborted: quota exceeded.",
                              logging.info)
                self.close()

        # DTPHandler binds its own handle_read to this name.
        handle_read_event = handle_read
    return CutShortDTPHandler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--home", required=True)
    parser.add_argument("--user", action="append", default=[])
    parser.add_argument("--banner")
    parser.add_argument("--behaviour", default="normal")
    parser.add_argument("--command-log", help="every command received, one a line")
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    for spec in args.user:
        name, password, *rest = spec.split(":")
        authorizer.add_user(name, password, args.home, perm=rest[0] if rest else "elradfmwMT")

    handler = FTPHandler
    if args.behaviour == "no-data-connection":
        handler = NoDataConnectionHandler
    elif args.behaviour.startswith("abort-after:"):
        handler = type("CutShortHandler", (FTPHandler,), {})
        handler.dtp_handler = cut_short_dtp_handler(int(args.behaviour.split(":", 1)[1]))
    elif args.behaviour != "normal":
        sys.exit("unknown behaviour " + args.behaviour)
    handler.authorizer = authorizer
    # The tests check the refusal, not pyftpdlib's pause against password guessing.
    handler.auth_failed_timeout = 0.05
    if args.banner:
        handler.banner = args.banner.replace("\\n", "\r\n")

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    if args.command_log:
        # pyftpdlib logs "<- COMMAND argument" (passwords masked) at debug level.
        class ReceivedCommands(logging.Filter):
            def filter(self, record):
                message = record.getMessage()
                if " <- " not in message:
                    return False
                record.msg, record.args = message.split(" <- ", 1)[1], ()
                return True
        commands = logging.FileHandler(args.command_log)
        commands.addFilter(ReceivedCommands())
        library = logging.getLogger("pyftpdlib")
        library.setLevel(logging.DEBUG)
        library.addHandler(commands)
        for root_handler in logging.getLogger().handlers:
            root_handler.setLevel(logging.WARNING)
    server = FTPServer(("127.0.0.1", args.port), handler)
    server.serve_forever()


if __name__ == "__main__":
    main()
