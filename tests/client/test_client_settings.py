"""ovik_acc options: toggles on the settings page are written to "cert" (bytes
outside the options unchanged), autorun goes through the service (2018), the log
option re-creates the log file; a level-4 line is written only under -debuglog."""
import time

import clientbed
from clientbed import check, gbk, make_cert, OPT_LOG, OPT_AUTORUN, OPT_IMPORTANT, OPT_REMEMBER_NAME
import peer

c = clientbed.Client()
b = c.bed
p = c.start_peer()
start = make_cert(OPT_LOG, server="probe.example", index=0, fill=0x5A)
b.write_cert(start)
c.start()
check(c.wait_visible(1610), "dialog up")


def untouched(cert):
    return all(cert[i] == start[i] for i in list(range(45, 91)) + list(range(112, 126)))


# The settings tab (hot rectangle at 80, 28, 50, 46) while idle.
c.probe("clickat", 105, 50)
check(c.wait_visible(1605, 1606, 1607, 1608, 1624, 1625, 1626, 1627), "settings page shows the four options")
check(not c.visible(1610), "login view hidden on the settings page")

c.probe("click", 1605)  # autorun on
req = b.wait(lambda: p.registry and p.registry[-1])
check(req and req["operation"] == 0 and req["type"] == 1 and req["name"] == b"OVIK"
      and req["subkey"] == b"Software\\Microsoft\\Windows\\CurrentVersion\\Run"
      and req["data"] == b"C:\\Program Files\\ZORVET\\OVIK\\ovik_acc.exe" and req["root"] == 0x80000002,
      "autorun on: 2018 writes the Run value")
check(b.wait(lambda: c.cert()[44] & OPT_AUTORUN), "autorun bit set in cert")
check(b"set autosave" not in c.log(), "its debug line (level 4) is not logged without -debuglog")
cert = c.cert()
check(untouched(cert), "bytes outside the options unchanged")
check(cert[44] & 0xC0 == 0xC0, "remember bits stored (the dialog sets them)")
check(cert[91:111] == clientbed.swap(b"probe.example".ljust(20, b"\0")), "server name kept")
c.probe("click", 1605)  # autorun off
check(b.wait(lambda: len(p.registry) >= 2 and p.registry[-1]["operation"] == 1), "autorun off: 2018 deletes")
check(b.wait(lambda: not c.cert()[44] & OPT_AUTORUN), "autorun bit cleared")

c.probe("click", 1607)  # important only: kept in memory until the next save
time.sleep(1)
check(not c.cert()[44] & OPT_IMPORTANT, "important-only not saved at once")

# The log option: off stops the file, on re-creates it empty.
c.probe("click", 1608)
check(b.wait(lambda: not c.cert()[44] & OPT_LOG), "log bit cleared")
check(c.cert()[44] & OPT_IMPORTANT, "the save took the important-only option along")
c.probe("click", 1608)
check(b.wait(lambda: c.cert()[44] & OPT_LOG), "log bit set")
check(b.wait(lambda: len(c.log()) < 200), "log file re-created")
check(untouched(c.cert()), "bytes outside the options still unchanged")

# Labels toggle their boxes; the settings tab does nothing while connected.
n = len(p.registry)
c.probe("click", 1624)  # the autorun label clicks its box
check(b.wait(lambda: len(p.registry) > n and p.registry[-1]["operation"] == 0), "label toggles its option")
c.probe("click", 1624)
check(b.wait(lambda: len(p.registry) > n + 1 and p.registry[-1]["operation"] == 1), "and back")
c.probe("clickat", 30, 50)  # status tab
check(c.wait_visible(1610), "status tab shows the login view")
c.click_connect()
check(p.wait_for(peer.CMD_START), "connect sends 2006")
# The tab is clicked once the dialog is shown again, with no hide to come.
c.wait_own_hide()
c.probe("command", 221)  # the tray menu's "open"
check(c.wait_visible(1611), "connected")
c.probe("clickat", 105, 50)
time.sleep(1)
check(c.visible(1611) and not c.visible(1605), "settings tab ignored while connected")
c.probe("click", 1611)
check(c.wait_visible(1610), "disconnected")
c.exit_via_tray()
check(c.wait_exit() == 0, "exit")

# With -debuglog the same level-4 line is written, with its code.
c.start("-debuglog")
check(c.wait_visible(1610), "dialog up with -debuglog")
c.probe("clickat", 105, 50)
check(c.wait_visible(1605), "settings page")
c.probe("click", 1605)
check(c.wait_log("(#10004) REG: set autosave with C:\\Program Files\\ZORVET\\OVIK\\ovik_acc.exe"),
      "autorun's debug line logged under -debuglog")
c.exit_via_tray()
check(c.wait_exit() == 0, "exit")
print("PASS")
