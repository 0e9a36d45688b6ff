"""HttpGet against a local HTTP server: runs the test program inside the bed."""
import sys

import httpd
import zorvet

bed = zorvet.bed()
with httpd.Server() as srv:
    srv.route("/md5", body=b"abc" + b"x" * 2997, headers={"Content-MD5": "kAFQmDzST7DWlj99KOF/cg=="})
    srv.route("/plain", body=b"plain body")
    srv.route("/longmd5", body=b"plain body", headers={"Content-MD5": "A" * 40})
    srv.route("/missing", fault="404")
    srv.route("/error", fault="error")
    srv.route("/empty", fault="empty")
    srv.route("/nolength", body=b"no length", content_length=None)
    srv.route("/drop", body=b"d" * 100000, fault="drop")
    srv.route("/badlength", body=b"12345", content_length="5x")
    srv.route("/more", body=b"m" * 50000, content_length=1000)
    bed.env["ZORVET_HTTP_BASE"] = "http://127.0.0.1:%d" % srv.port
    r = bed.wine(bed.test_exe("client_http_tests.exe"), timeout=120)
    sys.stdout.write(r.stdout.decode("latin-1"))
    sys.stderr.write(r.stderr.decode("latin-1")[-2000:])
    # Every request named the agent of the client's own download helper.
    agents = {q["user_agent"] for q in srv.requests}
    if agents != {"Zorvet_Agent"}:
        print("unexpected user agents:", agents)
        sys.exit(1)
sys.exit(r.returncode)
