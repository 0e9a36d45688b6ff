"""ovik_acc when the library reports a failed request on the calling thread,
inside the request: the box of a refused login comes up on the dialog thread,
and while it is open the main thread goes on (its request goes out, the hidden
window answers a tray message, the library's helper window sends the
keep-alive)."""
import os
import shutil

import clientbed
from clientbed import check, gbk, make_cert, OPT_LOG, OPT_REMEMBER_NAME, OPT_REMEMBER_PASSWORD
import peer

OPTS = OPT_LOG | OPT_REMEMBER_NAME | OPT_REMEMBER_PASSWORD
WM_MOUSEMOVE = 0x200
REFUSED_TEXT = b"AUTH: the service refused the login."

c = clientbed.Client()
b = c.bed
# The library that also reports a refused login through the message callback.
core = os.path.join(c.install, "Zorvet_Core.dll")
shutil.copy2(core, os.path.join(c.install, "zorvet_core_real.dll"))
shutil.copy2(os.path.join(c.install, "reporting_core.dll"), core)
p = c.start_peer(states=False)
b.write_cert(make_cert(OPTS, "demo_user", "demo_pass"))
c.start()
check(c.wait_visible(1610), "dialog up")

p.on(peer.CMD_START, result=peer.BAD_LOGIN)
c.click_connect()
check(p.wait_for(peer.CMD_START), "login sent (2006)")
text = c.box("none", timeout_ms=15000)
check(text == gbk("用户名密码错误"), "the refused login's box is open (%r)" % text)

# The service's state arrives on the main thread, which then asks for QueryData.
n_query = len(p.received(peer.CMD_GET_QUERY_DATA))
p.push_status(3)
check(p.wait_for(peer.CMD_GET_QUERY_DATA, count=n_query + 1, timeout=10),
      "while the box is open the main thread's request goes out (2011)")
check(b.wait(lambda: "ANSWER 1" in c.probe("traysend", WM_MOUSEMOVE, 2000), timeout=15),
      "while the box is open the hidden window answers a tray message")
n_keep = len(p.received(peer.CMD_KEEP_ALIVE))
check(p.wait_for(peer.CMD_KEEP_ALIVE, count=n_keep + 1, timeout=45),
      "while the box is open the library's keep-alive goes on (2017)")
check(c.box("ok") == gbk("用户名密码错误"), "the box was still open, answered")
check(c.log().count(REFUSED_TEXT) == 1, "the library's message logged once")
c.wait_own_hide()
c.probe("command", 221)  # the tray menu's "open"
check(c.wait_visible(1611), "the state the main thread took meanwhile is shown")

p.push_status(1)
check(c.wait_visible(1610), "idle")
c.exit_via_tray()
check(c.wait_exit() == 0, "exit")
print("PASS")
