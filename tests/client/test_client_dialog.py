"""ovik_acc's main dialog asked for again from the tray: an open dialog keeps the
page the user is on; a hidden one opens on the status page."""
import time

import clientbed
from clientbed import check, make_cert, OPT_LOG, OPT_REMEMBER_NAME, OPT_REMEMBER_PASSWORD

WM_LBUTTONDBLCLK = 0x203
IDM_TRAY_OPEN = 221

c = clientbed.Client()
b = c.bed
c.start_peer()
b.write_cert(make_cert(OPT_LOG | OPT_REMEMBER_NAME | OPT_REMEMBER_PASSWORD, "demo_user", "demo_pass"))
c.start()
check(c.wait_visible(1610), "dialog up on the status page")

def click_at(x, y):
    """A click on the dialog's surface. The dialog answers every such click by
    starting a drag; it ends here, with the cursor where it is, so that the
    dialog does not follow the next click's cursor."""
    c.probe("clickat", x, y)
    c.probe("release")


PAGES = [
    # name, click on its tab (dialog coordinates), a control only that page shows
    ("settings", (105, 50), 1605),
    ("about", (429, 15), 1616),
]
ASKS = [
    ("tray double-click", lambda: c.probe("tray", WM_LBUTTONDBLCLK)),
    ("tray menu's open", lambda: c.probe("command", IDM_TRAY_OPEN)),
]


def on_page(control):
    return c.visible(control) and not c.visible(1610)


for page, (x, y), control in PAGES:
    for how, ask in ASKS:
        click_at(x, y)
        check(b.wait(lambda: on_page(control), timeout=10, step=0.3), "%s page open" % page)
        ask()
        # The request is posted to the dialog; give it time to act before looking.
        time.sleep(1.5)
        check(on_page(control), "%s, then %s: still on the %s page" % (page, how, page))
    click_at(30, 50)  # back to the status tab
    check(c.wait_visible(1610), "status page again")

# A hidden dialog comes back on the status page, whatever page it was hidden on.
for how, ask in ASKS:
    click_at(105, 50)
    check(b.wait(lambda: on_page(1605), timeout=10, step=0.3), "settings page open")
    c.probe("close")
    check(b.wait(lambda: not c.dialog()["visible"], timeout=10, step=0.3), "dialog hidden")
    ask()
    check(c.wait_visible(1610), "hidden, then %s: shown on the status page" % how)
    check(not c.visible(1605), "%s: settings options not shown" % how)

c.exit_via_tray()
check(c.wait_exit() == 0, "exit")
print("PASS")
