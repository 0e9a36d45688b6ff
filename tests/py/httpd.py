"""A small HTTP server for tests, on 127.0.0.1 only (standard library only).

    import httpd
    with httpd.Server() as srv:                      # port 0: the system picks one
        srv.route("/update/update.htm", body=b"http://127.0.0.1:%d/info.xml" % srv.port)
        srv.route("/pkg.zip", body=data, fail_first=2, fail_fault="drop")
        srv.route("/gone", fault="404")
        ... run the program under test ...
        srv.requests            # every request: path, query, headers, user_agent
        srv.hits("/pkg.zip")    # how many requests reached that path

Faults (route(fault=...), or fail_fault for the first fail_first requests):
  "404"     status 404 with an HTML page whose title is "404 Not Found"
  "error"   status 500 with a short HTML page
  "empty"   status 200, empty body (Content-Length: 0)
  "drop"    headers with the full Content-Length, half the body, then a reset
  "hang"    headers, half the body, then nothing until the client gives up (use with care)
content_length: True (default, the body's length), None (header absent, the body
ends when the connection closes) or an int sent as it is.
before: a function called with the request's record before the answer, which
waits for it: a test can act at the moment a client asks, with the client held.
Every response closes the connection (HTTP/1.0 style), so "absent" is well-defined.
"""
import http.server
import socket
import struct
import threading
import time
import urllib.parse

PAGE_404 = (b"<html><head><title>404 Not Found</title></head>"
            b"<body><h1>Not Found</h1></body></html>")
PAGE_500 = (b"<html><head><title>500 Internal Server Error</title></head>"
            b"<body><h1>Internal Server Error</h1></body></html>")


class Route:
    def __init__(self, body=b"", status=200, headers=None, fault=None, content_length=True,
                 fail_first=0, fail_fault="error", delay=0.0, before=None):
        if isinstance(body, str):
            body = body.encode("utf-8")
        self.body = body
        self.status = status
        self.headers = dict(headers or {})
        self.fault = fault
        self.content_length = content_length
        self.fail_first = fail_first
        self.fail_fault = fail_fault
        self.delay = delay
        self.before = before
        self.hits = 0


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "ZorvetTestHTTP/1.0"

    def log_message(self, fmt, *args):  # quiet
        pass

    def do_GET(self):
        srv = self.server.owner
        parsed = urllib.parse.urlsplit(self.path)
        record = {
            "path": parsed.path,
            "raw_path": self.path,
            "query": dict(urllib.parse.parse_qsl(parsed.query, keep_blank_values=True)),
            "raw_query": parsed.query,
            "headers": {k.lower(): v for k, v in self.headers.items()},
            "user_agent": self.headers.get("User-Agent"),
            "time": time.time(),
        }
        with srv.lock:
            srv.requests.append(record)
            route = srv.routes.get(parsed.path)
            if route is not None:
                route.hits += 1
                hit = route.hits
        if route is None:
            return self._send(404, PAGE_404, {"Content-Type": "text/html"}, True)
        if route.before:
            route.before(record)
        if route.delay:
            time.sleep(route.delay)
        fault = route.fault
        if hit <= route.fail_first:
            fault = route.fail_fault
        if fault == "404":
            return self._send(404, PAGE_404, {"Content-Type": "text/html"}, True)
        if fault == "error":
            return self._send(500, PAGE_500, {"Content-Type": "text/html"}, True)
        if fault == "empty":
            return self._send(200, b"", route.headers, True)
        if fault in ("drop", "hang"):
            return self._send_part(route, fault)
        return self._send(route.status, route.body, route.headers, route.content_length)

    def _send(self, status, body, headers, content_length):
        self.send_response(status)
        for k, v in headers.items():
            self.send_header(k, v)
        if content_length is True:
            self.send_header("Content-Length", str(len(body)))
        elif content_length is not None:
            self.send_header("Content-Length", str(content_length))
        # Headers and body in one write: WinINet keeps what arrived with the
        # headers even past their Content-Length, so what a client gets must not
        # depend on how fast the two sides run.
        self._headers_buffer.append(b"\r\n")
        head = b"".join(self._headers_buffer)
        self._headers_buffer = []
        try:
            self.wfile.write(head + body)
            self.wfile.flush()
        except OSError:
            pass

    def _send_part(self, route, fault):
        body = route.body
        self.send_response(200)
        for k, v in route.headers.items():
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            if fault == "hang":
                time.sleep(30)
            # A reset, not an orderly close: the client sees the transfer break.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass
        self.close_connection = True


class _HTTPServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class Server:
    def __init__(self, port=0):
        self.routes = {}
        self.requests = []
        self.lock = threading.Lock()
        self.httpd = _HTTPServer(("127.0.0.1", port), _Handler)
        self.httpd.owner = self
        self.port = self.httpd.server_address[1]
        self.thread = None

    # -- set-up ----------------------------------------------------------------
    def route(self, path, body=b"", **kw):
        """Serves `path` (without query); see the module text for the keywords."""
        r = Route(body, **kw)
        with self.lock:
            self.routes[path] = r
        return r

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def reset(self):
        with self.lock:
            self.requests.clear()
            self.routes.clear()

    # -- observation -------------------------------------------------------------
    def hits(self, path):
        with self.lock:
            return sum(1 for r in self.requests if r["path"] == path)

    def requests_for(self, path):
        with self.lock:
            return [r for r in self.requests if r["path"] == path]

    # -- life ----------------------------------------------------------------------
    def start(self):
        self.thread = threading.Thread(target=self.httpd.serve_forever, kwargs={"poll_interval": 0.05},
                                       daemon=True)
        self.thread.start()
        return self

    def stop(self):
        if self.thread:
            self.httpd.shutdown()
            self.thread.join(5)
            self.thread = None
        self.httpd.server_close()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


if __name__ == "__main__":
    # Quick manual check: python3 httpd.py [port]
    import sys
    import urllib.request
    with Server(int(sys.argv[1]) if len(sys.argv) > 1 else 0) as s:
        s.route("/hello", b"hello")
        s.route("/flaky", b"ok", fail_first=1)
        print(urllib.request.urlopen(s.url("/hello?x=1")).read())
        try:
            urllib.request.urlopen(s.url("/flaky"))
        except Exception as e:
            print("first:", e)
        print("second:", urllib.request.urlopen(s.url("/flaky")).read())
        print(s.requests[0]["query"], s.requests[0]["user_agent"])
