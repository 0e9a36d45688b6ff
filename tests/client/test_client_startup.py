"""ovik_acc start-up: settings that cannot be used, every Zorvet_Init outcome the
program handles, one instance only, and a clean exit from the tray menu."""
import os
import time

import clientbed
from clientbed import check, gbk, make_cert, OPT_LOG, OPT_REMEMBER_NAME, OPT_REMEMBER_PASSWORD
import peer

REBOOT = gbk("尊敬的用户，为保障加速效果，\n已对您的系统网络环境进行了优化，\n请重启系统后生效。")

c = clientbed.Client(service=None)
b = c.bed

# -- settings that cannot be used end the start-up with the restart box, before any log
for what, setup in [
    ("cert shorter than 126 bytes", lambda: b.write_cert(make_cert()[:100])),
    ("install directory too long", lambda: (b.write_cert(make_cert()),
                                            b.reg("add", clientbed.KEY, "/ve", "/d", "C:\\" + "d" * 250, "/f"))),
]:
    setup()
    c.start()
    text = c.box("ok")
    check(text is not None and text.replace(b"\r", b"") == REBOOT, what + ": restart box")
    check(c.wait_exit() == 1, what + ": exit status 1")
    check(c.log() == b"", what + ": no log written")
b.reg("add", clientbed.KEY, "/ve", "/d", clientbed.zorvet.INSTALL_WIN, "/f")
b.write_cert(make_cert(OPT_LOG))


def failed_init(label, logged, boxed, before=None):
    c.start()
    text = c.box("ok")
    check(text == gbk(boxed), label + ": box " + boxed)
    check(c.box("ok", timeout_ms=2500) is None, label + ": one box only")
    check(c.wait_exit() == 1, label + ": exit status 1")
    log = c.log()
    check(gbk(logged) in log, label + ": logged " + logged + "\n" + log.decode("gbk", "replace"))
    check(b"Zorvet Acc 1.7.3.0139 (1.7.1.0587," in log, label + ": versions logged")


failed_init("service missing", "Zorvet 服务没有安装", "Zorvet服务没有安装")
c.set_service("stopped")
failed_init("service stopped", "Zorvet 服务没有启动", "Zorvet服务没有启动")

# The updater's daemon window while the service is stopped: an upgrade is under way.
# Started once the last run's log is free: a window started before that would
# keep Wine's desktop process, which holds that log, alive, and the next run
# could not make its own.
b.wait(lambda: not c.log_holders(), timeout=10)
holder = b.start(os.path.join(c.install, "uiprobe.exe"), "hold", "ZorvetUpdater", "Zorvet Daemon Updater",
                 str(int(clientbed.zorvet.scaled(20000))),
                 stdout=clientbed.subprocess.PIPE)
holder.stdout.readline()
failed_init("updater running", "Zorvet 正在进行升级", "Zorvet 正在进行升级")
holder.kill()

c.set_service("idle")
p = c.start_peer()
p.on(peer.CMD_INIT, result=0x50000A0C, times=1)
failed_init("another controller", "Zorvet 已经被其他程序控制", "Zorvet 已经被其他程序控制")
check(p.wait_for(peer.CMD_INIT, timeout=1), "the service was asked")

# -- success: versions logged, the library's version stored in cert bytes 0-3; a
# pending updater copy replaces updater.exe; -DEBUGLOG (any case) turns on debug lines
b.write_cert(make_cert(OPT_LOG | OPT_REMEMBER_NAME | OPT_REMEMBER_PASSWORD, "demo_user", "demo_pass",
                       version=0x10000001))
open(os.path.join(c.install, "_updater.exe"), "wb").write(b"pending copy")
open(os.path.join(c.install, "updater.exe"), "wb").write(b"old")
c.start("-DEBUGLOG")
check(c.wait_visible(1610, 1601, 1602), "dialog shows the login view with the connect button")
check(c.wait_log("Zorvet Acc 1.7.3.0139 (1.7.1.0587, 1.7.2.0301) built on Nov 26 2013"), "versions logged")
check(b.wait(lambda: c.cert()[0:4] == bytes.fromhex("4b027110")), "cert bytes 0-3 hold 1.7.1.0587")
check(b"(#1) Zorvet Acc 1.7.3.0139" in c.log(), "debug log lines carry their code")
check(open(os.path.join(c.install, "updater.exe"), "rb").read() == b"pending copy"
      and not os.path.exists(os.path.join(c.install, "_updater.exe")), "pending updater copy moved into place")
d = c.dialog()
check(d["rect"][2:] == (500, 300), "dialog is 500 x 300")
check(d["controls"][1601]["text"] == b"demo_user" and not d["controls"][1601]["enabled"],
      "stored user name shown, edit disabled")
check(not d["controls"][1611]["visible"] and not d["controls"][1612]["visible"], "no disconnect or cancel")

# -- second start: exits with 1, the first brings its dialog back
c.probe("close")
check(b.wait(lambda: not c.dialog()["visible"]), "dialog hidden by its close")
r = b.wine("ovik_acc.exe", timeout=30)
check(r.returncode == 1, "second start exits with status 1")
check(c.wait_visible(1610), "first instance shows its dialog again")

# -- exit from the tray menu while idle: no question, status 0
c.exit_via_tray()
check(c.wait_exit() == 0, "tray exit ends with status 0")
check(gbk("Zorvet Acc Closed Success.") in c.log(), "closed line logged")
check(p.wait_for(peer.CMD_CLEAR, timeout=3), "the library cleared its session (2008)")
check(not c.find("Zorvet_Acc"), "hidden window gone")

# -- the service already connected: Zorvet_Init gives 3, the program starts in state 3
p.state, p.connect_start = 3, int(time.time())
c.start()
check(c.wait_record_connected(1611, 1618), "started connected: disconnect button and address were shown")
log = c.log()
check(b"Zorvet Acc 1.7.3.0139" in log and b"(#" not in log, "versions logged, no debug lines without the option")
c.exit_via_tray()
check(c.box("yes") is not None, "exit asks while connected")
check(c.wait_exit() == 0, "exit after yes")
print("PASS")
