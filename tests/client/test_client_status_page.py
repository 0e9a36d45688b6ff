"""The status page under Xvfb in each connection state, held by a scripted peer
that sends no states of its own: the cancel button and the moving progress
block while connecting, the account view without buttons while disconnecting,
and each value of an explicit QueryData painted on its own control."""

import clientbed
from clientbed import art_image, check, near, screenshot, make_cert, OPT_LOG, OPT_REMEMBER_NAME, OPT_REMEMBER_PASSWORD
import peer

c = clientbed.Client(display=True)
b = c.bed
p = c.start_peer(states=False)
skin = art_image("skin_1100.jpg")

CONNECT, DISCONNECT, CANCEL, PROGRESS = 1610, 1611, 1612, 1614
ACCOUNT, IP, TIME, RECV_BYTES, SENT_BYTES, RECV_RATE, SENT_RATE = 1651, 1618, 1619, 1638, 1639, 1642, 1643
TEXTS = (ACCOUNT, IP, TIME, RECV_BYTES, SENT_BYTES, RECV_RATE, SENT_RATE)


def image_shown(img, origin, image_id, at, skip=None):
    """Share of the picture's opaque pixels that differ from the skin and are on
    screen at `at` (dialog coordinates); skip: a rectangle to leave out. Pictures
    are drawn unscaled, so the pixels match closely (the track is a faint grey)."""
    im = art_image("skin_%d.gif" % image_id, "RGBA")
    total = hits = 0
    for y in range(im.size[1]):
        for x in range(im.size[0]):
            px = im.getpixel((x, y))
            dx, dy = at[0] + x, at[1] + y
            if px[3] == 0 or near(px[:3], skin.getpixel((dx, dy)), 8):
                continue
            if skip and skip[0] <= dx < skip[0] + skip[2] and skip[1] <= dy < skip[1] + skip[3]:
                continue
            total += 1
            hits += near(img.getpixel((origin[0] + dx, origin[1] + dy)), px[:3], 5)
    return hits / total if total else 0.0


def ink_extent(img, origin, rect):
    """Rightmost column (from the control's left edge) holding text-dark pixels,
    or -1 when the control shows none. The rate controls reach past the
    dialog's right edge: only the part on the dialog counts."""
    x0, y0, w, h = rect
    right = -1
    for y in range(h):
        for x in range(min(w, 495 - x0)):
            if max(img.getpixel((origin[0] + x0 + x, origin[1] + y0 + y))) < 0x70:
                right = max(right, x)
    return right


def controls():
    return c.dialog()["controls"]


b.write_cert(make_cert(OPT_LOG | OPT_REMEMBER_NAME | OPT_REMEMBER_PASSWORD, "demo_user", "demo_pass", index=0))
c.start()
check(c.wait_visible(CONNECT), "state 1: connect button")
origin = c.dialog()["rect"][:2]
img = screenshot(b, "status_state1.png")
check(image_shown(img, origin, 1119, (10, 254)) < 0.3, "state 1: no progress track")

# -- state 2: cancel button, track and a moving block
c.probe("click", CONNECT)
check(p.wait_for(peer.CMD_START), "connect sends 2006")
p.push_status(2)
check(c.wait_visible(CANCEL, PROGRESS), "state 2: cancel button and progress block shown")
ctl = controls()
check(not ctl[CONNECT]["visible"] and not ctl[DISCONNECT]["visible"], "state 2: no connect or disconnect button")
block = ctl[PROGRESS]["rect"]
check(block[1:] == (256, 63, 9) and 13 <= block[0] <= 404, "block on the track (%s)" % (block,))
check(b.wait(lambda: controls()[PROGRESS]["rect"][0] != block[0], timeout=5), "the block moves")
img = screenshot(b, "status_state2.png")
block = controls()[PROGRESS]["rect"]
check(image_shown(img, origin, 1119, (10, 254), skip=block) > 0.8, "state 2: progress track drawn")
n = len(p.received(peer.CMD_STOP))
c.probe("click", CANCEL)
check(p.wait_for(peer.CMD_STOP, count=n + 1), "cancel sends 2007")

# -- state 4: the account view with the progress block and no button
p.push_status(4)
check(c.wait_visible(PROGRESS, *TEXTS), "state 4: account view and progress block shown")
ctl = controls()
check(not any(ctl[i]["visible"] for i in (CONNECT, DISCONNECT, CANCEL)), "state 4: no button")
p.push_status(1)
check(c.wait_visible(CONNECT), "state 1 again: connect button")
check(not controls()[PROGRESS]["visible"], "state 1: no progress block")

# -- state 3 with explicit values. Out (what came in) belongs to the received
# controls, Recv to the sent ones; their widths tell them apart: "1.00B" and
# "0.00bps" received, "1000.00B" and "1000.00bps" sent.
q = peer.query_data(Status=0x90 | (2 << 10), Date="2031-01-02", IP="10.77.1.2", Start=1700000000,
                    ConnectTime=3725, Recv=1000, Out=1, RecvRate=1000 / 1024, OutRate=0.0)
p.on(peer.CMD_GET_QUERY_DATA, payload=q)
c.click_connect()
check(p.wait_for(peer.CMD_START, count=2), "connect again")
p.push_status(2)
p.push_status(3)
check(c.wait_record_connected(DISCONNECT, IP), "state 3: disconnect button and address were shown")
# It hides itself after connecting; shown again it keeps showing.
c.wait_own_hide()
c.probe("command", 221)
check(c.wait_visible(DISCONNECT, *TEXTS), "dialog shown again")
rects = {i: r["rect"] for i, r in controls().items()}
ext = {}


def painted():
    global img, ext
    img = screenshot(b, "status_state3.png")
    ext = {i: ink_extent(img, origin, rects[i]) for i in TEXTS}
    return all(e >= 0 for e in ext.values())


check(b.wait(painted, timeout=10, step=0.5), "state 3: every text control painted (%s)" % ext)
check(ext[SENT_BYTES] - ext[RECV_BYTES] >= 15, "received bytes show Out, sent bytes show Recv (%s)" % ext)
check(ext[SENT_RATE] - ext[RECV_RATE] >= 15, "receive rate shows OutRate, send rate RecvRate (%s)" % ext)
for image_id, at, what in [(1138, (131, 102), "VIP type"), (1133, (294, 102), "end-date label"),
                           (1135, (131, 131), "internet service")]:
    check(image_shown(img, origin, image_id, at) > 0.8, "state 3: %s image %d shown" % (what, image_id))

c.exit_via_tray()
check(c.box("yes") is not None, "exit asks while connected")
p.push_status(4)
p.push_status(1)
check(c.wait_exit() == 0, "exit")
print("PASS")
