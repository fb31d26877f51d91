"""A web server for the tests of the server layer, on 127.0.0.1.

usage: http_stub.py PORT MODE [CERT KEY]
  plain  answers every request with a small HTML page (a web site, no WebDAV)
  loop   redirects /a to /b and everything else to /a, so a client that
         follows redirects comes back to a URL it asked already
With CERT and KEY (PEM files) it speaks HTTPS.
"""
import http.server
import ssl
import sys


class Handler(http.server.BaseHTTPRequestHandler):
    mode = "plain"

    def answer(self):
        length = int(self.headers.get("Content-Length") or 0)
        if length:
            self.rfile.read(length)
        if self.mode == "loop":
            self.send_response(301)
            self.send_header("Location", "/b" if self.path == "/a" else "/a")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        body = b"<html><body>A web site, no WebDAV.</body></html>"
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    do_GET = do_PROPFIND = do_REPORT = do_PUT = do_DELETE = do_MKCOL = do_OPTIONS = answer

    def log_message(self, format, *args):
        pass


def main():
    Handler.mode = sys.argv[2]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler)
    if len(sys.argv) > 4:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[3], sys.argv[4])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
