"""ovik_acc hands over to the updater when the service demands an upgrade, and
does nothing more while an updater window exists."""
import os
import shutil
import subprocess
import time

import clientbed
from clientbed import check, gbk, make_cert, OPT_LOG, OPT_REMEMBER_NAME, OPT_REMEMBER_PASSWORD
import peer

c = clientbed.Client()
b = c.bed
p = c.start_peer()
shutil.copy2(os.path.join(c.install, "fake_updater.exe"), os.path.join(c.install, "updater.exe"))
record = os.path.join(c.install, "updater_cmdline.txt")
UPGRADE = gbk("ZORVET ACC需要升级才能使用")
b.write_cert(make_cert(OPT_LOG | OPT_REMEMBER_NAME | OPT_REMEMBER_PASSWORD, "demo_user", "demo_pass"))

# An updater window exists: the box only, the program stays.
c.start()
check(c.wait_visible(1610), "dialog up")
holder = b.start(os.path.join(c.install, "uiprobe.exe"), "hold", "ZorvetUpdater", "Zorvet Acc Updater", str(int(clientbed.zorvet.scaled(30000))),
                 stdout=subprocess.PIPE)
holder.stdout.readline()
p.push_message(0x301B0004, "upgrade the client")
check(c.box("ok") == UPGRADE, "upgrade box")
time.sleep(1.5)
check(not os.path.exists(record) and c.proc.poll() is None, "updater not started, program stays")
holder.kill()
holder.wait()

# The service demands an upgrade while connected: its own box, the upgrade box,
# then the updater with the program's version, and a quiet exit that stops first.
c.click_connect()
check(c.wait_record_connected(1611), "connected: disconnect button was shown")
n = len(p.received(peer.CMD_STOP))
p.push_message(0x50000A09, "must upgrade")
check(c.box("ok") == gbk("本软件已经做重要更新，您必须进行升级才能正常使用本软件。"), "the service's message box")
check(c.box("ok") == UPGRADE, "upgrade box")
check(c.wait_exit(15) is not None, "the program exits")
check(len(p.received(peer.CMD_STOP)) > n, "the connection was stopped first")
check(b.wait(lambda: os.path.exists(record)), "updater started")
line = open(record, "rb").read()
check(b"-auto -v=1.7.3.0139 -pid=119 -p=OVIK" in line, "updater command line: %r" % line)
print("PASS")
