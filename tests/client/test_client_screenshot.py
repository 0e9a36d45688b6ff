"""The skinned dialog under Xvfb in states 1 and 3, against the stand-in service
with its demo account: a few pixels of the skin at known places; the screenshots
are kept in build/win/artifacts/."""
import clientbed
from clientbed import art_image, check, near, screenshot, make_cert, OPT_LOG, OPT_REMEMBER_NAME, OPT_REMEMBER_PASSWORD

c = clientbed.Client(display=True, service="running")
b = c.bed
skin = art_image("skin_1100.jpg")


def sprite_pixel(img_id, x, y):
    im = art_image("skin_%d.gif" % img_id, "RGBA")
    return im.getpixel((x, y))


SKIN_PLACES = [(250, 12), (300, 60), (6, 150), (250, 294)]  # background only: caption strip, margins
BUTTON_PIXEL = (42, 11)  # a pixel of the connect and disconnect pictures, drawn at (385, 267)
ACCOUNT_TEXT = (370, 102, 100, 14)  # the end date of the demo account, beside its label


def text_pixels(img, origin, rect, colour=(0x2C, 0x2C, 0x2C)):
    """Pixels of a status text's colour in rect (dialog coordinates) that the skin
    does not have there."""
    ox, oy = origin
    x0, y0, w, h = rect
    return sum(1 for x in range(x0, x0 + w) for y in range(y0, y0 + h)
               if near(img.getpixel((ox + x, oy + y)), colour, 30)
               and not near(img.getpixel((ox + x, oy + y)), skin.getpixel((x, y)), 30))


def undrawn(img, origin, button, date):
    """What the picture lacks: the skin at its background places, the button's
    picture, with date the account's end date; [] when it shows all."""
    ox, oy = origin
    out = ["skin at (%d, %d)" % (x, y) for (x, y) in SKIN_PLACES
           if not near(img.getpixel((ox + x, oy + y)), skin.getpixel((x, y)))]
    bx, by = BUTTON_PIXEL
    px = sprite_pixel(button, bx, by)
    if px[3] != 0 and not near(img.getpixel((ox + 385 + bx, oy + 267 + by)), px[:3]):
        out.append("button picture %d" % button)
    if date:
        n = text_pixels(img, origin, ACCOUNT_TEXT)
        if n < 40:
            out.append("end date beside its label (%d text pixels)" % n)
    return out


def drawn(name, origin, button, date=False):
    """Screenshots until one shows all it should (the dialog paints a moment
    after it shows; the wait only gives up); what the last one lacks."""
    lacks = []

    def complete():
        lacks[:] = undrawn(screenshot(b, name), origin, button, date)
        return not lacks
    b.wait(complete, timeout=10, step=0.5)
    return lacks


b.write_cert(make_cert(OPT_LOG | OPT_REMEMBER_NAME | OPT_REMEMBER_PASSWORD, "demo_user", "demo_pass"))
c.start()
check(c.wait_visible(1610), "state 1: dialog up")
origin = c.dialog()["rect"][:2]
lacks = drawn("client_state1.png", origin, 1116)
check(not lacks, "state 1: skin and connect button drawn (lacks %s)" % lacks)

c.click_connect()
check(c.wait_record_connected(1611, 1618), "state 3: connected with the demo account")
# The picture is taken once the dialog is shown again, with no hide to come.
c.wait_own_hide()
c.probe("command", 221)  # the tray menu's "open"
check(c.wait_visible(1611, 1618), "state 3: shown again")
lacks = drawn("client_state3.png", origin, 1117, date=True)
check(not lacks, "state 3: skin, disconnect button and end date drawn (lacks %s)" % lacks)
c.probe("click", 1611)
c.wait_visible(1610)
c.exit_via_tray()
check(c.wait_exit() == 0, "exit")
print("PASS")
