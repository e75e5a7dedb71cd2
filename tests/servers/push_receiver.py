#!/usr/bin/python3
"""The receiving end of a push service for the tests, over HTTPS with the test
certificate (or plain HTTP without one). Every request is written to the log
as one JSON line (method, path, headers, body); the answer depends on the path:

  /status/<code>/...       answers <code> with "refused: <code>"
  /redirect/<n>/<rest>     redirects (302) to /redirect/<n-1>/<rest>, and
                           /redirect/0/<rest> to /<rest>
  /redirect-to/<url>       redirects (302) to <url> (percent-encoded)
  /big                     answers 200 with a 1 MiB body
  anything else            answers 200 "ok"
"""
import argparse
import http.server
import json
import ssl
import urllib.parse


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def answer(self, code, body=b"", headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def handle_any(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        record = {
            "method": self.command,
            "path": self.path,
            "headers": [[name, value] for name, value in self.headers.items()],
            "body": body.decode("utf-8", "replace"),
        }
        with open(self.server.log_file, "a", encoding="utf-8") as log:
            log.write(json.dumps(record) + "\n")
        parts = self.path.split("/")
        if len(parts) > 2 and parts[1] == "status":
            code = int(parts[2])
            self.answer(code, b"refused: %d" % code)
        elif len(parts) > 2 and parts[1] == "redirect":
            left = int(parts[2])
            rest = "/".join(parts[3:])
            target = "/redirect/%d/%s" % (left - 1, rest) if left > 0 else "/" + rest
            self.answer(302, b"", [("Location", target)])
        elif len(parts) > 2 and parts[1] == "redirect-to":
            self.answer(302, b"", [("Location", urllib.parse.unquote(parts[2]))])
        elif self.path == "/big":
            self.answer(200, b"x" * (1 << 20))
        else:
            self.answer(200, b"ok")

    do_GET = do_POST = do_PUT = do_PATCH = do_DELETE = handle_any


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    arguments = parser.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", arguments.port), Handler)
    server.log_file = arguments.log
    if arguments.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(arguments.cert, arguments.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
