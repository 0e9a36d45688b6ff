"""updater.exe in daemon mode with the stand-in ZorvetDaemon service, in a bed
of its own: the service is stopped while the package runs and running again
afterwards; with -cc=3 each of the ports 63873..63875 receives the same
UpdateNotice sequence ("udpinit", the status lines, "updated"); nothing modal
is shown; the check URL says type=s. A restart that fails ends in "failed".
Without the service: "udpinit", the stop
text, "failed", and no HTTP request at all."""
import hashlib
import io
import os
import socket
import sys
import time
import zipfile

import httpd
import zorvet

PORT = 18080
BASE = "http://127.0.0.1:%d" % PORT
CURRENT = "1.7.3.139"
NEW = "1.7.5.0"
NOTICE_PORTS = [63872 + i for i in (1, 2, 3)]

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def package():
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        z.writestr("daemon/readme.txt", b"daemon files")
    return buf.getvalue()


def document(md5):
    return ("""<?xml version="1.0" encoding="gb2312"?>
<updateinfo version="%s">
 <package name="svc">
  <description>服务文件</description>
  <url>%s/pkg/svc.zip</url>
  <md5>%s</md5>
  <actions>
   <action type="unzip" file="${this_file}" where="${app_path}"/>
   <action type="run" cmd="C:\\\\windows\\\\system32\\\\cmd.exe" args="/c sc query ZorvetDaemon > state.txt" visible="false"/>
   <action type="showmessage" title="无人" message="守护模式不显示"/>
   <action type="sendmessage" classname="NoSuchClass" title="none" message="WM_CLOSE"/>
  </actions>
 </package>
</updateinfo>
""" % (NEW, BASE, md5)).encode("gbk")


class Listeners:
    def __init__(self, ports):
        self.socks = []
        for p in ports:
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.bind(("127.0.0.1", p))
            s.setblocking(False)
            self.socks.append(s)
        self.got = [[] for _ in ports]

    def drain(self):
        for i, s in enumerate(self.socks):
            while True:
                try:
                    self.got[i].append(s.recv(4096))
                except BlockingIOError:
                    break

    def run_until(self, proc, timeout):
        end = time.time() + zorvet.scaled(timeout)
        while proc.poll() is None and time.time() < end:
            self.drain()
            time.sleep(0.05)
        time.sleep(0.3)
        self.drain()
        return proc.poll()

    def reset(self):
        self.drain()
        self.got = [[] for _ in self.socks]


def run_daemon(bed, listeners):
    args = ["-su", "-test", "-cc=3", "-v=" + CURRENT, "-pid=119",
            "-sp=" + zorvet.INSTALL_WIN + "\\ZorvetDaemon.exe"]
    proc = bed.start("updater.exe", *args)
    rc = listeners.run_until(proc, 120)
    if rc is None:
        proc.kill()
    return rc


def main():
    bed = zorvet.bed()
    bed.set_online(True)
    check(bed.start_service(), "stand-in service running before the update")
    data = package()
    listeners = Listeners(NOTICE_PORTS)
    srv = httpd.Server(PORT).start()
    try:
        srv.route("/update/update.htm", (BASE + "/info.xml").encode())
        srv.route("/info.xml", document(hashlib.md5(data).hexdigest()))
        srv.route("/pkg/svc.zip", data)

        rc = run_daemon(bed, listeners)
        check(rc == 0, "daemon run ended (%r)" % rc)
        seqs = listeners.got
        check(all(s == seqs[0] for s in seqs), "same sequence on every port %r" % seqs)
        seq = seqs[0]
        check(seq[:1] == [b"udpinit"], "first notice udpinit %r" % seq[:2])
        check(seq[-1:] == [b"updated"], "last notice updated %r" % seq[-2:])
        for line in ("检查更新信息", "开始更新", "服务文件", "正在解压文件: ", "更新完毕"):
            check(any(n.decode("gbk", "replace").startswith(line) for n in seq), "notice %s" % line)
        check(all(len(n) <= 1023 and not n.endswith(b"\0") for n in seq), "notice sizes")

        state = os.path.join(bed.install, "state.txt")
        text = open(state, "rb").read().decode("latin-1") if os.path.exists(state) else ""
        check("STOPPED" in text or ": 1 " in text, "service stopped while the package ran: %r" % text)
        check(bed.service_state() == 4, "service running again (state %d)" % bed.service_state())
        check(os.path.exists(os.path.join(bed.install, "daemon", "readme.txt")), "package extracted")
        q = srv.requests_for("/update/update.htm")
        check(len(q) == 1 and q[0]["query"].get("type") == "s", "check URL of daemon mode %r" %
              [r["raw_query"] for r in q])
        log = open(os.path.join(bed.install, "updater.log"), "rb").read().decode("gbk", "replace")
        check("PCL: Service stopped successfully" in log, "stop logged")
        check("Service ZorvetDaemon started" in log, "start logged")
        check("守护模式不显示" in log, "showmessage text logged instead of shown")

        # A service that does not come up again: its port is taken while it is
        # stopped, so the restart fails and the run is reported as failed. The
        # updater fetches the package only once the service has stopped, and
        # waits for the answer: the port is taken while it waits.
        blocker = {}

        def take_port(request):
            try:
                b = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                b.bind(("127.0.0.1", 63872))
                b.listen(1)
                blocker["sock"] = b
            except OSError as e:
                blocker["error"] = e
            blocker["state"] = bed.service_state()

        srv.route("/pkg/svc.zip", data, before=take_port)
        listeners.reset()
        rc = run_daemon(bed, listeners)
        check("sock" in blocker and blocker["state"] == 1, "port taken while the service was stopped %r" % blocker)
        seq = listeners.got[0]
        check(rc == 0, "third daemon run ended (%r)" % rc)
        check("无法启动Zorvet服务: ZorvetDaemon\n".encode("gbk") in seq, "restart failure notice %r" % seq[-3:])
        check(seq[-1:] == [b"failed"], "failed restart reports failed %r" % seq[-2:])
        check(bed.service_state() != 4, "service not running")
        if "sock" in blocker:
            blocker["sock"].close()

        # Without the service: nothing is fetched.
        bed.stop_service()
        bed.sc("delete", "ZorvetDaemon")
        check(bed.wait(lambda: bed.service_state() == 0, 10), "service gone")
        srv.reset()
        listeners.reset()
        rc = run_daemon(bed, listeners)
        check(rc == 0, "second daemon run ended (%r)" % rc)
        want = [b"udpinit", "无法停止Zorvet服务: ZorvetDaemon\n".encode("gbk"), b"failed"]
        check(listeners.got == [want] * 3, "missing service notices %r" % listeners.got)
        check(srv.requests == [], "no HTTP request without the service")
    finally:
        srv.stop()

    if failures:
        print("\n%d failure(s)" % len(failures))
        sys.exit(1)
    print("ok")


if __name__ == "__main__":
    main()
