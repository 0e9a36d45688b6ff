"""ovik_acc against the stand-in service: a refused password gets the box of the
program's own text table; the service stopping while connected brings the idle
state (login view, no status refresh, an exit without the connected question)
once the library's keep-alive finds the link gone."""
import clientbed
from clientbed import check, gbk, make_cert, OPT_LOG, OPT_REMEMBER_NAME, OPT_REMEMBER_PASSWORD

OPTS = OPT_LOG | OPT_REMEMBER_NAME | OPT_REMEMBER_PASSWORD
WM_LBUTTONDBLCLK = 0x203
REFRESH_LINE = b"INFO: ID = "  # the status timer's debug line, once a second

c = clientbed.Client(service="running")
b = c.bed

# -- a wrong password
b.write_cert(make_cert(OPTS, "demo_user", "wrong_pass"))
c.start("-debuglog")
check(c.wait_visible(1610), "dialog up")
c.probe("click", 1610)
text = c.box("ok")
check(text == gbk("用户名密码错误"), "refused login: the box names the wrong account (%r)" % text)
check(c.wait_visible(1610), "still idle")
c.exit_via_tray()
check(c.wait_exit() == 0, "exit after the refused login")

# -- the service stops while connected
b.write_cert(make_cert(OPTS, "demo_user", "demo_pass"))
c.start("-debuglog")
check(c.wait_visible(1610), "dialog up")
c.click_connect()
check(c.wait_record_connected(1611, 1618), "connected: disconnect button and address were shown")
c.wait_own_hide()
c.probe("tray", WM_LBUTTONDBLCLK)
check(c.wait_visible(1611, 1618), "shown again, connected")
check(c.wait_log(REFRESH_LINE), "status refresh runs")

check(b.stop_service(), "stand-in service stopped")
# The keep-alive runs every 30 s; the first one after the stop may still go out.
text = c.box("ok", timeout_ms=75000)
check(text == gbk("未知错误 (#501a0202)"), "the lost link's box (%r)" % text)
check(c.wait_log("Zorvet Daemon is aborted/stoped"), "the library's message logged")
check(c.wait_visible(1610), "idle: the connect button")
d = c.dialog()
check(not any(d["controls"][i]["visible"] for i in (1611, 1612, 1617, 1618, 1619)),
      "no disconnect button, status panel or status texts")
n = c.log().count(REFRESH_LINE)
b.wait(lambda: False, timeout=3)
check(c.log().count(REFRESH_LINE) == n, "status refresh stopped")

# Idle, so the exit asks nothing.
c.exit_via_tray()
code = c.wait_exit(15)
if code is None:
    c.kill()
check(code == 0, "exit from the tray without a question")
print("PASS")
