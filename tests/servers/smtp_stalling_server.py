#!/usr/bin/python3
"""A fake SMTP server that stops answering at a chosen point, for time-limit tests.

No real server can be told to hang, so this one plays the dialogue up to
--stall-at and then keeps the connection open without another byte:
  greeting  accepts the connection and never greets
  MAIL      greets, answers EHLO/HELO, then never answers MAIL FROM
  data-end  takes the whole message, then never confirms it
Each connection ends when the client closes it; the program ends after
--lifetime seconds at the latest. Every accepted connection is logged as a line
"accepted" in --events.
"""

import argparse
import socket
import sys
import threading
import time


def serve(connection, stall_at):
    stalled = stall_at == "greeting"
    in_data = False
    pending = b""
    connection.settimeout(1.0)
    if not stalled:
        connection.sendall(b"220 stall.velmora.test ESMTP\r\n")
    while True:
        try:
            chunk = connection.recv(65536)
        except socket.timeout:
            continue
        except OSError:
            break
        if not chunk:
            break
        if stalled:
            continue
        pending += chunk
        while True:
            if in_data:
                end = pending.find(b"\r\n.\r\n")
                if end < 0:
                    break
                pending = pending[end + 5:]
                in_data = False
                if stall_at == "data-end":
                    stalled = True
                    break
                connection.sendall(b"250 OK\r\n")
                continue
            line_end = pending.find(b"\r\n")
            if line_end < 0:
                break
            command = pending[:line_end].upper()
            pending = pending[line_end + 2:]
            if command.startswith(b"MAIL") and stall_at == "MAIL":
                stalled = True
                break
            if command.startswith(b"EHLO") or command.startswith(b"HELO"):
                connection.sendall(b"250 stall.velmora.test\r\n")
            elif command.startswith(b"DATA"):
                in_data = True
                pending = b"\r\n" + pending  # the end marker may follow at once
                connection.sendall(b"354 go ahead\r\n")
            elif command.startswith(b"QUIT"):
                connection.sendall(b"221 Bye\r\n")
            else:
                connection.sendall(b"250 OK\r\n")
        if stalled:
            pending = b""
    connection.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--stall-at", choices=["greeting", "MAIL", "data-end"], required=True)
    parser.add_argument("--lifetime", type=float, default=300.0)
    parser.add_argument("--events", help="file that accepted connections are logged to")
    options = parser.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", options.port))
    listener.listen(8)
    listener.settimeout(1.0)
    print("stalling at %s on 127.0.0.1:%d" % (options.stall_at, options.port), flush=True)
    deadline = time.monotonic() + options.lifetime
    while time.monotonic() < deadline:
        try:
            connection, _ = listener.accept()
        except socket.timeout:
            continue
        if options.events:
            with open(options.events, "a", encoding="utf-8") as events:
                events.write("accepted\n")
        threading.Thread(target=serve, args=(connection, options.stall_at), daemon=True).start()
    return 0


if __name__ == "__main__":
    sys.exit(main())
