"""Note popups and the HTTP fetch in a test bed: a local HTTP server serves the
note pictures and the fetch cases, Wine's browser setting points at a recorder,
and popup_tests.exe runs its Notes and Fetch suites against both."""
import http.server
import os
import stat
import subprocess
import sys
import threading

import zorvet

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "fixtures")


def pattern(n):
    return bytes(((i * 7 + 3) & 0xFF) for i in range(n))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    seen = []

    def log_message(self, *a):
        pass

    def send_body(self, body, length=None, ctype="application/octet-stream"):
        self.send_response(200)
        self.send_header("Content-Type", ctype)
        if length is not False:
            self.send_header("Content-Length", str(len(body)) if length is None else length)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        Handler.seen.append(self.path)
        p = self.path
        name = os.path.basename(p)
        if p.startswith("/bytes/"):
            self.send_body(pattern(int(p.split("/")[2])))
        elif p == "/empty":
            self.send_body(b"")
        elif p == "/nolength":
            self.send_body(b"body without a length", length=False)
        elif p == "/drop":
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(pattern(100))
            self.wfile.flush()
            self.connection.shutdown(2)
        elif p == "/huge":
            self.send_body(b"x" * 10, length="4294967295")
        elif p == "/badlength":
            self.send_body(b"x" * 10, length="10abc")
        elif p == "/negative":
            self.send_body(b"x" * 10, length="-1")
        elif p == "/notapicture.gif":
            self.send_body(b"GIF89a\x05\x00\x05\x00\x00\x00\x00;", ctype="image/gif")
        elif name in ("anim.gif", "still.gif", "photo.jpg"):
            with open(os.path.join(FIXTURES, name), "rb") as f:
                self.send_body(f.read(), ctype="image/gif" if name.endswith(".gif") else "image/jpeg")
        else:
            self.send_error(404)


def start_server():
    srv = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=srv.serve_forever, daemon=True).start()
    return srv


def setup_browser(bed):
    """Points Wine's browser at a script that records the URL it is given."""
    log = os.path.join(bed.tmp, "urls.txt")
    rec = os.path.join(bed.tmp, "browser.sh")
    with open(rec, "w") as f:
        f.write('#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s"\n' % log)
    os.chmod(rec, os.stat(rec).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)
    open(log, "w").close()
    r = bed.reg("add", r"HKCU\Software\Wine\WineBrowser", "/v", "Browsers", "/d", rec, "/f")
    assert r.returncode == 0, r
    return log


def main():
    bed = zorvet.bed()
    srv = start_server()
    log = setup_browser(bed)
    env = dict(bed.env, ZORVET_NOTE_HTTP=str(srv.server_address[1]),
               ZORVET_URL_LOG="Z:" + log.replace("/", "\\"))
    exe = bed.test_exe("popup_tests.exe")
    r = subprocess.run(["wine", exe, "--gtest_filter=Notes.*:Fetch.*"], env=env,
                       timeout=zorvet.scaled(200), stdin=subprocess.DEVNULL, capture_output=True)
    out = r.stdout.decode("utf-8", "replace") + r.stderr.decode("utf-8", "replace")
    print(out)
    with open(log) as f:
        print("recorded URLs:", f.read())
    print("server saw:", Handler.seen)
    ok = r.returncode == 0 and "[  PASSED  ]" in out and "SKIPPED" not in out
    # The pictures were fetched from the server; the refused address never reached it.
    for path in ("/photo.jpg", "/anim.gif", "/missing.gif"):
        if path not in Handler.seen:
            print("server never saw GET", path)
            ok = False
    if any(len(p) > 1000 for p in Handler.seen):
        print("an over-long image address was fetched")
        ok = False
    srv.shutdown()
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
