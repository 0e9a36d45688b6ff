"""A core upgrade end to end: the stand-in ZorvetDaemon announces it (1009 with
the core flag and client index 3), updater.exe in daemon mode (-su, -cc=4)
stops the service, replaces its program from a local update server and starts
it again. The library's caller (the upgrade driver) sees the upgrade state, the
updater's progress lines and the success, and the library connects again by
itself."""
import hashlib
import io
import os
import struct
import sys
import threading
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "core_exports"))
import httpd  # noqa: E402
import peer  # noqa: E402
import zorvet  # noqa: E402
from driver import Driver, messages, states, traces  # noqa: E402

HTTP_PORT = 18080
BASE = "http://127.0.0.1:%d" % HTTP_PORT
NOTICE = 0x301B0001
REFUSED = 0x50000A0B
INDEX = 3
MARKER = b"ZORVET-UPGRADED-CORE"

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what, flush=True)


def package(daemon):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        z.writestr("ZorvetDaemon.exe", daemon + MARKER)
        z.writestr("core_version.txt", b"1.7.2.0302\r\n")
    return buf.getvalue()


def document(md5):
    return ("""<?xml version="1.0" encoding="gb2312"?>
<updateinfo version="1.7.2.302">
 <package name="core">
  <version>1.7.2.302</version>
  <description>核心服务</description>
  <url>%s/pkg/core.zip</url>
  <md5>%s</md5>
  <actions>
   <action type="unzip" description="解压核心服务" file="${this_file}" where="${app_path}"/>
  </actions>
 </package>
</updateinfo>
""" % (BASE, md5)).encode("gbk")


def main():
    bed = zorvet.bed()
    bed.set_online(True)
    daemon_path = os.path.join(bed.install, "ZorvetDaemon.exe")
    daemon = open(daemon_path, "rb").read()
    pkg = package(daemon)
    assert bed.start_service(), "ZorvetDaemon did not start"
    assert bed.wait(lambda: bed.control("ping") == "OK pong", 5), "control channel not up"

    srv = httpd.Server(HTTP_PORT).start()
    srv.route("/update/update.htm", (BASE + "/info.xml").encode())
    srv.route("/info.xml", document(hashlib.md5(pkg).hexdigest().upper()))
    srv.route("/pkg/core.zip", pkg)
    d = Driver(bed, "core_upgrade_driver.exe")
    try:
        d.call("debug")
        # The watch's waits in this lane's time (15 s for the updater's first
        # datagram, 180 s for the service to run again): the updater stops the
        # service before it sends anything, which takes longer in a slower lane,
        # and a first wait that ran out would take the still running service
        # for success.
        d.call("waits", int(zorvet.scaled(15) * 1000), int(zorvet.scaled(180) * 1000))
        r, _ = d.value("init")
        check(r == 1, "connected to the service, state %x" % r)
        bed.control("log clear")

        info = struct.pack("<9I", 0, 0, 0, 0x1072012E, 0x1071024B, 0x1073008B, 1, 0, 0)
        check(bed.control("push 1009 value=%d payload=%s" % (INDEX, info.hex())) == "OK", "1009 pushed")
        r, ev = d.wait("waittrace", b"create udp socket (port=63875)".hex(), ms=5000)
        check(r == ["1"], "upgrade worker started on 63875: %r" % traces(ev))
        check(1 in states(ev), "StateCallback(1) at the start")
        r, ev = d.value("errno")
        check(r == REFUSED and messages(ev) == [(NOTICE, b"UPDT: updating Zorvet Core ...")],
              "requests refused during the upgrade: %x %r" % (r, ev))

        result = {}

        def updater():
            result["run"] = bed.wine("updater.exe", "-su", "-test", "-cc=4", "-v=1.7.2.301", "-pid=119",
                                     "-p=OVIK", "-sp=" + zorvet.INSTALL_WIN + "\\ZorvetDaemon.exe",
                                     timeout=150)

        t = threading.Thread(target=updater)
        t.start()
        r, ev = d.wait("waittrace", b"service back: 0".hex(), ms=120000)
        check(r == ["1"], "the watch ended with success: %r" % traces(ev)[-5:])
        r, more = d.wait("waittrace", b"Zorvet_ReInit".hex(), ms=10000)
        ev += more
        check(r == ["1"], "REINIT_TIMER reconnected")
        t.join(zorvet.scaled(150))
        run = result.get("run")
        check(run is not None and run.returncode == 0, "updater ran: %r" % run)

        progress = [m[1].decode("gbk") for m in messages(ev) if m[0] == NOTICE]
        print("progress:", progress, flush=True)
        for line in ("检查更新信息", "开始更新", "解压核心服务"):
            check(line in progress, "progress line %s reported" % line)
        check(not [m for m in messages(ev) if m[0] >= 0x50000000], "no error reported: %r" % messages(ev))
        check(open(daemon_path, "rb").read() == daemon + MARKER, "service program replaced")
        check(bed.service_state() == 4, "service running again")

        # Connected to the restarted service: registrations and 2005 anew, requests answered.
        log = bed.control("log").split()[2:]
        commands = [(e.split(":")[0], struct.unpack_from("<I", bytes.fromhex(e.split(":")[1]),
                                                           12 if e.startswith("tcp") else 8)[0])
                    for e in log]
        for want in (("udp", peer.CMD_REGISTER_UDP), ("tcp", peer.CMD_REGISTER), ("tcp", peer.CMD_INIT)):
            check(want in commands, "service got %r after the restart: %r" % (want, commands))
        r, _ = d.call("link")
        check(r[:2] == ["connected=1", "upgrade=0"], "link %r" % r)
        r, ev = d.value("errno")
        check(r == 0 and messages(ev) == [], "a request after the upgrade: %x %r" % (r, ev))
    finally:
        d.close()
        srv.stop()
    if failures:
        print("\n%d failure(s)" % len(failures))
        sys.exit(1)
    print("ok")


if __name__ == "__main__":
    main()
