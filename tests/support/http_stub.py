"""A web server for the tests of the server layer, on 127.0.0.1.

usage: http_stub.py PORT MODE [CERT KEY | TARGET_PORT]
  plain  answers every request with a small HTML page (a web site, no WebDAV)
  loop   redirects /a to /b and everything else to /a, so a client that
         follows redirects comes back to a URL it asked already
  proxy  passes every request on to the server on 127.0.0.1:TARGET_PORT and
         its answer back, except where a fault is armed (below)
With CERT and KEY (PEM files) it speaks HTTPS.

The faults of the proxy are armed with `POST /_stub/faults` and a JSON list
of rules; each request takes the first rule that matches it:
  {"method": "PUT", "body": "sync-collection", "skip": 0, "count": 1,
   "fault": F, "replace": [[FROM, TO, PAD], ...]}
"method" and "body" (a text the request's body holds) are optional; the
rule lets "skip" matching requests through, then acts on the next "count"
(-1: every one). The faults:
  a status ("500", "503", "403", ...)  that answer, the request not passed on
  drop     the connection closed without an answer, the request not passed on
  lost     the request passed on, then the connection closed without the
           answer (the server did the work, the client never hears of it)
  hang     no answer for a minute (the client times out)
  garbage  a 207 answer that is no XML
  empty    a 207 multistatus without a response
  rewrite  the request passed on; in the answer's body each FROM becomes TO
           followed by PAD letters "x"
`GET /_stub/requests` tells how many requests were passed on.
"""
import http.client
import http.server
import json
import ssl
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    mode = "plain"
    target = 0
    rules = []
    passed = 0
    lock = threading.Lock()

    def reply(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def answer(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        if self.mode == "loop":
            self.reply(301, headers=[("Location", "/b" if self.path == "/a" else "/a")])
        elif self.mode == "proxy":
            self.proxy(body)
        else:
            self.reply(200, b"<html><body>A web site, no WebDAV.</body></html>",
                       [("Content-Type", "text/html")])

    def rule_for(self, body):
        with Handler.lock:
            for rule in Handler.rules:
                if rule.get("method", self.command) != self.command:
                    continue
                if rule.get("body", "").encode() not in body:
                    continue
                if rule.get("skip", 0) > 0:
                    rule["skip"] -= 1
                    return None
                if rule.get("count", 1) == 0:
                    continue
                if rule.get("count", 1) > 0:
                    rule["count"] = rule.get("count", 1) - 1
                return rule
        return None

    def forward(self, body):
        connection = http.client.HTTPConnection("127.0.0.1", self.target, timeout=120)
        headers = {k: v for k, v in self.headers.items()
                   if k.lower() not in ("host", "connection", "accept-encoding")}
        headers["Host"] = "127.0.0.1:%d" % self.target
        connection.request(self.command, self.path, body=body, headers=headers)
        answer = connection.getresponse()
        data = answer.read()
        connection.close()
        with Handler.lock:
            Handler.passed += 1
        skip = ("transfer-encoding", "connection", "content-length", "keep-alive")
        return answer.status, data, [(k, v) for k, v in answer.getheaders() if k.lower() not in skip]

    def proxy(self, body):
        if self.path == "/_stub/faults" and self.command == "POST":
            with Handler.lock:
                Handler.rules = json.loads(body or b"[]")
            return self.reply(204)
        if self.path == "/_stub/requests":
            return self.reply(200, str(Handler.passed).encode(), [("Content-Type", "text/plain")])
        rule = self.rule_for(body)
        fault = rule["fault"] if rule else ""
        if fault.isdigit():
            return self.reply(int(fault), b"fault of the test", [("Content-Type", "text/plain")])
        if fault == "drop":
            self.close_connection = True
            return
        if fault == "hang":
            time.sleep(60)
            self.close_connection = True
            return
        if fault == "garbage":
            return self.reply(207, b"this is no XML <", [("Content-Type", "application/xml")])
        if fault == "empty":
            return self.reply(207, b'<?xml version="1.0"?><multistatus xmlns="DAV:"/>',
                              [("Content-Type", "application/xml")])
        status, data, headers = self.forward(body)
        if fault == "lost":
            self.close_connection = True
            return
        if fault == "rewrite":
            for old, new, pad in rule.get("replace", []):
                data = data.replace(old.encode(), new.encode() + b"x" * pad)
        self.reply(status, data, headers)

    do_GET = do_PROPFIND = do_REPORT = do_PUT = do_DELETE = do_MKCOL = do_OPTIONS = answer
    do_POST = answer

    def log_message(self, format, *args):
        pass


def main():
    Handler.mode = sys.argv[2]
    if Handler.mode == "proxy":
        Handler.target = int(sys.argv[3])
        Handler.protocol_version = "HTTP/1.1"  # connections kept open, as a server does
    server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler)
    server.daemon_threads = True
    if Handler.mode != "proxy" and len(sys.argv) > 4:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[3], sys.argv[4])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
