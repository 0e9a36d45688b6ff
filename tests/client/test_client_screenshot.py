"""The skinned dialog under Xvfb in states 1 and 3, against the stand-in service
with its demo account: a few pixels of the skin at known places; the screenshots
are kept in build/win/artifacts/."""
import time

import clientbed
from clientbed import art_image, check, near, screenshot, make_cert, OPT_LOG, OPT_REMEMBER_NAME, OPT_REMEMBER_PASSWORD

c = clientbed.Client(display=True, service="running")
b = c.bed
skin = art_image("skin_1100.jpg")


def sprite_pixel(img_id, x, y):
    im = art_image("skin_%d.gif" % img_id, "RGBA")
    return im.getpixel((x, y))


def check_skin(img, origin, label):
    ox, oy = origin
    # Background-only places: caption strip, left and bottom margins.
    for (x, y) in [(250, 12), (300, 60), (6, 150), (250, 294)]:
        check(near(img.getpixel((ox + x, oy + y)), skin.getpixel((x, y))), "%s: skin at (%d, %d)" % (label, x, y))


def text_pixels(img, origin, rect, colour=(0x2C, 0x2C, 0x2C)):
    """Pixels of a status text's colour in rect (dialog coordinates) that the skin
    does not have there."""
    ox, oy = origin
    x0, y0, w, h = rect
    return sum(1 for x in range(x0, x0 + w) for y in range(y0, y0 + h)
               if near(img.getpixel((ox + x, oy + y)), colour, 30)
               and not near(img.getpixel((ox + x, oy + y)), skin.getpixel((x, y)), 30))


ACCOUNT_TEXT = (370, 102, 100, 14)  # the end date of the demo account, beside its label


b.write_cert(make_cert(OPT_LOG | OPT_REMEMBER_NAME | OPT_REMEMBER_PASSWORD, "demo_user", "demo_pass"))
c.start()
check(c.wait_visible(1610), "state 1: dialog up")
time.sleep(1.5)
d = c.dialog()
origin = d["rect"][:2]
img = screenshot(b, "client_state1.png")
check_skin(img, origin, "state 1")
px = sprite_pixel(1116, 42, 11)
check(px[3] == 0 or near(img.getpixel((origin[0] + 385 + 42, origin[1] + 267 + 11)), px[:3]), "connect button drawn")

c.probe("click", 1610)
check(c.wait_visible(1611, 1618), "state 3: connected with the demo account")
# The picture is taken once the dialog is shown again, with no hide to come.
c.wait_own_hide()
c.probe("command", 221)  # the tray menu's "open"
check(c.wait_visible(1611, 1618), "state 3: shown again")
time.sleep(1.2)
img = screenshot(b, "client_state3.png")
check_skin(img, origin, "state 3")
px = sprite_pixel(1117, 42, 11)
check(px[3] == 0 or near(img.getpixel((origin[0] + 385 + 42, origin[1] + 267 + 11)), px[:3]), "disconnect button drawn")
n = text_pixels(img, origin, ACCOUNT_TEXT)
check(n >= 40, "end date drawn beside its label (%d text pixels)" % n)
c.probe("click", 1611)
c.wait_visible(1610)
c.exit_via_tray()
check(c.wait_exit() == 0, "exit")
print("PASS")
