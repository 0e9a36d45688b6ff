#!/usr/bin/python3
"""Draws the client program's skin pictures and icons, and writes art.rc and README.md.

Run with Debian's python3 (python3-pil) and the WenQuanYi Micro Hei font:
    /usr/bin/python3 resources/client/art/make_art.py [--out DIR]
The output is deterministic: the same Pillow and font give the same bytes.

Every GIF except the progress block carries a transparent colour. Label pixels are
blended against the flat body colour they are drawn over, so their soft edges are
exact on the dialog and need no alpha channel.
"""
import argparse
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFont

FONT_PATH = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
SS = 4  # supersampling factor for shapes

# Palette: one brand blue, a light neutral body, dark text and three signal colours.
BRAND = (36, 99, 214)
BRAND_DARK = (24, 72, 164)
BRAND_TINT = (58, 118, 224)   # tab and caption-button boxes on the header
HEADER_TEXT = (255, 255, 255)
HEADER_SUB = (196, 214, 246)
BODY = (245, 245, 245)        # the system face colour under Wine; statics blend in
BODY_LINE = (222, 225, 230)
BORDER = (196, 201, 209)
TEXT = (44, 44, 44)           # the dialog's status text colour
LABEL = (88, 94, 105)
MUTED = (150, 156, 166)
GREEN = (33, 160, 90)
AMBER = (236, 152, 24)
RED = (214, 64, 56)
GOLD = (186, 128, 16)
PLATINUM = (84, 100, 128)
WHITE = (255, 255, 255)

# Hot rectangles of the dialog (x, y, w, h): the picture draws each control there.
ABOUT_RECT = (415, 1, 28, 28)
MINIMIZE_RECT = (445, 4, 26, 26)
CLOSE_RECT = (470, 4, 26, 26)
TAB_RECTS = [
    ((18, 28, 50, 46), "状态", "gauge"),
    ((80, 28, 50, 46), "设置", "gear"),
    ((145, 28, 50, 46), "游戏列表", "pad"),
    ((205, 28, 50, 46), "意见反馈", "bubble"),
]
HEADER_H = 76

_fonts = {}


def font(size):
    if size not in _fonts:
        _fonts[size] = ImageFont.truetype(FONT_PATH, size, index=0)
    return _fonts[size]


# ---------------------------------------------------------------- drawing helpers

class Canvas:
    """An RGB picture composited over a known background, with a coverage alpha."""

    def __init__(self, w, h, bg):
        self.w, self.h = w, h
        self.rgb = Image.new("RGB", (w, h), bg)
        self.alpha = Image.new("L", (w, h), 0)

    def paint(self, colour, mask):
        self.rgb.paste(colour, (0, 0), mask)
        self.alpha.paste(255, (0, 0), mask)

    def rgba(self):
        im = self.rgb.copy()
        im.putalpha(self.alpha)
        return im

    def shape(self, colour, draw_fn):
        """draw_fn(draw, s) draws in coordinates scaled by s onto a supersampled mask."""
        big = Image.new("L", (self.w * SS, self.h * SS), 0)
        draw_fn(ImageDraw.Draw(big), SS)
        self.paint(colour, big.resize((self.w, self.h), Image.Resampling.BOX))

    def rrect(self, colour, box, radius):
        x0, y0, x1, y1 = box
        self.shape(colour, lambda d, s: d.rounded_rectangle(
            (x0 * s, y0 * s, x1 * s - 1, y1 * s - 1), radius * s, fill=255))

    def text(self, colour, xy, txt, size, bold=False):
        mask = Image.new("L", (self.w, self.h), 0)
        d = ImageDraw.Draw(mask)
        d.text(xy, txt, fill=255, font=font(size))
        if bold:  # the font has no bold face: a second pass one pixel right
            d.text((xy[0] + 1, xy[1]), txt, fill=255, font=font(size))
        self.paint(colour, mask)


def text_size(txt, size, bold=False):
    l, t, r, b = font(size).getbbox(txt)
    return r - l + (1 if bold else 0), b - t


def place_text(c, txt, size, colour, box, align="l", bold=False):
    """Draws txt inside box (x, y, w, h), vertically centred on its ink."""
    x, y, w, h = box
    tw, th = text_size(txt, size, bold)
    if tw > w:
        raise SystemExit("text %r (%d px) does not fit %d px" % (txt, tw, w))
    l, t, _, _ = font(size).getbbox(txt)
    tx = {"l": x, "c": x + (w - tw) // 2, "r": x + w - tw}[align] - l
    ty = y + (h - th) // 2 - t
    c.text(colour, (tx, ty), txt, size, bold)


def zbolt(d, s, x, y, size, fill=255):
    """The product mark: a heavy Z, drawn in the square (x, y, size)."""
    pts = [(0.22, 0.20), (0.80, 0.20), (0.80, 0.34), (0.44, 0.66), (0.80, 0.66),
           (0.80, 0.80), (0.20, 0.80), (0.20, 0.66), (0.56, 0.34), (0.22, 0.34)]
    d.polygon([((x + px * size) * s, (y + py * size) * s) for px, py in pts], fill=fill)


# ---------------------------------------------------------------- output writers

def to_palette(c, transparent, threshold=8):
    """Palette image of the canvas; index 255 is the transparent colour when asked."""
    rgb = c.rgb
    pix = list(rgb.getdata())
    alp = list(c.alpha.getdata())
    clear = [transparent and a < threshold for a in alp]
    colours = sorted({p for p, cl in zip(pix, clear) if not cl})
    if len(colours) <= 255:
        index = {p: i for i, p in enumerate(colours)}
        pal = [v for p in colours for v in p]
        data = [255 if cl else index[p] for p, cl in zip(pix, clear)]
    else:
        q = rgb.quantize(colors=255, method=Image.Quantize.MEDIANCUT,
                         dither=Image.Dither.NONE)
        pal = q.getpalette()[:255 * 3]
        data = [255 if cl else i for i, cl in zip(q.getdata(), clear)]
    # Slot 255, the transparent one, holds the body colour for viewers that ignore it.
    pal = pal + [0] * (255 * 3 - len(pal)) + list(BODY)
    out = Image.new("P", (c.w, c.h))
    out.putpalette(pal)
    out.putdata(data)
    return out


def save_gif(c, path, transparent=True, threshold=8):
    im = to_palette(c, transparent, threshold)
    if transparent:
        im.save(path, "GIF", transparency=255, optimize=False)
    else:
        im.save(path, "GIF", optimize=False)


def save_jpeg(c, path):
    c.rgb.save(path, "JPEG", quality=94, subsampling=0,
                              optimize=False, progressive=False)


def save_ico(images, path):
    """Classic icon file: one 32-bit DIB with an AND mask per size."""
    entries, blobs = [], []
    for im in images:
        w, h = im.size
        head = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        px = im.load()
        xor = bytearray()
        mask = bytearray()
        row_bytes = ((w + 31) // 32) * 4
        for y in range(h - 1, -1, -1):
            bits = bytearray(row_bytes)
            for x in range(w):
                r, g, b, a = px[x, y]
                xor += bytes((b, g, r, a))
                if a == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        blob = head + bytes(xor) + bytes(mask)
        entries.append((w, h, len(blob)))
        blobs.append(blob)
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (w, h, n) in entries:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, n, offset)
        offset += n
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


# ---------------------------------------------------------------- the pictures

def tab_icon(d, s, kind, cx, cy):
    """White line icons, about 22 px, centred on (cx, cy)."""
    def S(*v):
        return [t * s for t in v]
    w = 2 * s
    if kind == "gauge":
        d.arc(S(cx - 10, cy - 10, cx + 10, cy + 10), 150, 390, fill=255, width=w)
        d.line(S(cx, cy + 1, cx + 6, cy - 6), fill=255, width=w + s // 2)
        d.ellipse(S(cx - 2.5, cy - 1.5, cx + 2.5, cy + 3.5), fill=255)
        d.line(S(cx - 6, cy + 9, cx + 6, cy + 9), fill=255, width=w)
    elif kind == "gear":
        import math
        for i in range(8):
            a = math.pi * i / 4
            dx, dy = math.cos(a), math.sin(a)
            d.line(S(cx + dx * 6, cy + dy * 6, cx + dx * 10.5, cy + dy * 10.5),
                   fill=255, width=int(4.5 * s))
        d.ellipse(S(cx - 8, cy - 8, cx + 8, cy + 8), fill=255)
        d.ellipse(S(cx - 3.5, cy - 3.5, cx + 3.5, cy + 3.5), fill=0)
    elif kind == "pad":
        d.rounded_rectangle(S(cx - 11, cy - 6, cx + 11, cy + 7), 6 * s, fill=255)
        d.rectangle(S(cx - 7.5, cy - 0.75, cx - 2.5, cy + 1.25), fill=0)
        d.rectangle(S(cx - 6, cy - 2.25, cx - 4, cy + 2.75), fill=0)
        d.ellipse(S(cx + 3, cy - 3, cx + 6, cy), fill=0)
        d.ellipse(S(cx + 5.5, cy + 0.5, cx + 8.5, cy + 3.5), fill=0)
    elif kind == "bubble":
        d.rounded_rectangle(S(cx - 11, cy - 9, cx + 11, cy + 6), 4 * s, fill=255)
        d.polygon(S(cx - 6, cy + 5, cx - 6, cy + 11, cx, cy + 5), fill=255)
        for ox in (-5.5, 0, 5.5):
            d.ellipse(S(cx + ox - 1.6, cy - 3.1, cx + ox + 1.6, cy + 0.1), fill=0)


def background():
    c = Canvas(499, 299, BODY)
    W, H = c.w, c.h
    # header band and frame
    c.shape(BRAND, lambda d, s: d.rectangle((0, 0, W * s - 1, HEADER_H * s - 1), fill=255))
    c.shape(BRAND_DARK, lambda d, s: d.rectangle(
        (0, (HEADER_H - 1) * s, W * s - 1, HEADER_H * s - 1), fill=255))
    c.shape(BORDER, lambda d, s: (
        d.rectangle((0, HEADER_H * s, s - 1, H * s - 1), fill=255),
        d.rectangle(((W - 1) * s, HEADER_H * s, W * s - 1, H * s - 1), fill=255),
        d.rectangle((0, (H - 1) * s, W * s - 1, H * s - 1), fill=255)))
    # separator above the progress track and the button row
    c.shape(BODY_LINE, lambda d, s: d.rectangle((10 * s, 247 * s, 489 * s - 1, 248 * s - 1),
                                                fill=255))
    # caption buttons: a tinted box filling each hot rectangle, glyph centred
    for (x, y, w, h) in (ABOUT_RECT, MINIMIZE_RECT, CLOSE_RECT):
        c.rrect(BRAND_TINT, (x + 1, y + 1, x + w - 1, y + h - 1), 5)
    ax, ay = ABOUT_RECT[0] + ABOUT_RECT[2] / 2, ABOUT_RECT[1] + ABOUT_RECT[3] / 2
    c.shape(WHITE, lambda d, s: (
        d.ellipse(((ax - 8) * s, (ay - 8) * s, (ax + 8) * s, (ay + 8) * s), outline=255,
                  width=int(1.6 * s)),
        d.ellipse(((ax - 1.3) * s, (ay - 5.2) * s, (ax + 1.3) * s, (ay - 2.6) * s), fill=255),
        d.rectangle(((ax - 1.1) * s, (ay - 1) * s, (ax + 1.1) * s, (ay + 5) * s), fill=255)))
    mx, my = MINIMIZE_RECT[0] + MINIMIZE_RECT[2] / 2, MINIMIZE_RECT[1] + MINIMIZE_RECT[3] / 2
    c.shape(WHITE, lambda d, s: d.rectangle(((mx - 6) * s, (my + 1) * s, (mx + 6) * s,
                                             (my + 3) * s), fill=255))
    qx, qy = CLOSE_RECT[0] + CLOSE_RECT[2] / 2, CLOSE_RECT[1] + CLOSE_RECT[3] / 2
    c.shape(WHITE, lambda d, s: (
        d.line(((qx - 5.5) * s, (qy - 5.5) * s, (qx + 5.5) * s, (qy + 5.5) * s), fill=255,
               width=2 * s),
        d.line(((qx - 5.5) * s, (qy + 5.5) * s, (qx + 5.5) * s, (qy - 5.5) * s), fill=255,
               width=2 * s)))
    # tabs: a tinted box on each hot rectangle, a line icon and its name
    for (x, y, w, h), name, kind in TAB_RECTS:
        c.rrect(BRAND_TINT, (x, y, x + w, y + h), 6)
        c.shape(WHITE, lambda d, s, k=kind, cx=x + w / 2, cy=y + 15: tab_icon(d, s, k, cx, cy))
        place_text(c, name, 11, WHITE, (x, y + 30, w, 13), "c")
    # title: the mark and the product name
    c.shape(WHITE, lambda d, s: d.rounded_rectangle((10 * s, 5 * s, 28 * s, 23 * s), 4 * s,
                                                    fill=255))
    c.shape(BRAND, lambda d, s: zbolt(d, s, 10, 5, 18))
    c.text(HEADER_TEXT, (34, 4), "ZORVET ACC", 15, bold=True)
    place_text(c, "网络加速器", 12, HEADER_SUB, (128, 6, 80, 16))
    # footer line left of the buttons
    place_text(c, "ZORVET 网络加速服务", 12, MUTED, (14, 271, 200, 14))
    return c


def label(w, h, txt, align="l", colour=LABEL, size=12, bold=False):
    c = Canvas(w, h, BODY)
    place_text(c, txt, size, colour, (0, 0, w, h), align, bold)
    return c


def logo():
    c = Canvas(61, 64, BODY)
    c.shape((226, 228, 232), lambda d, s: d.ellipse((8 * s, 57 * s, 53 * s, 63 * s), fill=255))
    c.rrect(BRAND, (2, 0, 59, 57), 13)
    c.shape(WHITE, lambda d, s: zbolt(d, s, 2 + 5, 5, 47))
    return c


def button(txt, fill):
    # The control is 85 x 21: the last row of the 22-row picture stays clear.
    c = Canvas(85, 22, BODY)
    c.rrect(fill, (0, 0, 85, 21), 4)
    place_text(c, txt, 13, WHITE, (0, 0, 85, 21), "c", bold=True)
    return c


def progress_track():
    c = Canvas(480, 12, BODY)
    c.rrect(BODY_LINE, (0, 0, 480, 12), 6)
    c.rrect((232, 234, 238), (1, 1, 479, 11), 5)
    return c


def progress_block():
    # No transparent colour: the block fills its control. Rounded ends in the track's colour.
    c = Canvas(63, 9, (232, 234, 238))
    c.rrect(BRAND, (0, 0, 63, 9), 4)
    for x in range(6, 60, 8):
        c.shape((78, 136, 236), lambda d, s, x=x: d.polygon(
            ((x * s, 9 * s), ((x + 4) * s, 0), ((x + 7) * s, 0), ((x + 3) * s, 9 * s)), fill=255))
    return c


def close_button():
    c = Canvas(15, 15, WHITE)
    c.shape(RED, lambda d, s: d.ellipse((0, 0, 15 * s - 1, 15 * s - 1), fill=255))
    c.shape(WHITE, lambda d, s: (
        d.line((4.5 * s, 4.5 * s, 10.5 * s, 10.5 * s), fill=255, width=int(1.8 * s)),
        d.line((4.5 * s, 10.5 * s, 10.5 * s, 4.5 * s), fill=255, width=int(1.8 * s))))
    return c


def note_skin():
    c = Canvas(251, 157, WHITE)
    c.shape((232, 240, 252), lambda d, s: d.rectangle((0, 0, 251 * s - 1, 26 * s - 1), fill=255))
    c.shape((208, 222, 244), lambda d, s: d.rectangle((0, 26 * s, 251 * s - 1, 27 * s - 1),
                                                      fill=255))
    c.shape(BORDER, lambda d, s: d.rectangle((0, 0, 251 * s - 1, 157 * s - 1), outline=255,
                                             width=s))
    c.rrect(BRAND, (10, 5, 27, 22), 4)
    c.shape(WHITE, lambda d, s: zbolt(d, s, 10, 5, 17))
    c.shape(RED, lambda d, s: d.ellipse((229 * s, 5 * s, 245 * s, 21 * s), fill=255))
    c.shape(WHITE, lambda d, s: (
        d.line((233.5 * s, 9.5 * s, 240.5 * s, 16.5 * s), fill=255, width=int(1.8 * s)),
        d.line((233.5 * s, 16.5 * s, 240.5 * s, 9.5 * s), fill=255, width=int(1.8 * s))))
    place_text(c, "ZORVET 消息", 12, BRAND_DARK, (34, 5, 120, 17))
    return c


def icon(size, fill):
    """The product mark for the window and the tray; the tray tells states by colour."""
    # Over black the canvas holds premultiplied colour; icons want it straight.
    c = Canvas(size, size, (0, 0, 0))
    r = max(2, size * 0.2)
    c.shape(fill, lambda d, s: d.rounded_rectangle((0, 0, size * s - 1, size * s - 1), r * s,
                                                   fill=255))
    c.shape(WHITE, lambda d, s: zbolt(d, s, -size * 0.04, -size * 0.04, size * 1.08))
    im = c.rgba()
    px = im.load()
    for y in range(size):
        for x in range(size):
            r_, g, b, a = px[x, y]
            if a:
                px[x, y] = tuple(min(255, (v * 255 + a // 2) // a) for v in (r_, g, b)) + (a,)
    return im


# ---------------------------------------------------------------- the table

# id, file, format, (w, h), what it shows, maker
PICTURES = [
    (1100, "JPEG", (499, 299), "dialog background: header, caption buttons (about, minimise, "
     "close), tabs 状态 设置 游戏列表 意见反馈", background),
    (1101, "GIF", (61, 64), "about-page logo (the Z mark)", logo),
    (1102, "GIF", (46, 12), "用户名", lambda: label(46, 12, "用户名", "r")),
    (1103, "GIF", (32, 12), "密码", lambda: label(32, 12, "密码", "r")),
    (1104, "GIF", (81, 12), "记住登录信息", lambda: label(81, 12, "记住登录信息")),
    (1105, "GIF", (81, 12), "记住密码", lambda: label(81, 12, "记住密码")),
    (1106, "GIF", (137, 12), "系统启动时自动运行", lambda: label(137, 12, "系统启动时自动运行")),
    (1107, "GIF", (360, 12), "网络连通时自动连接（需要记住登录信息和密码）",
     lambda: label(360, 12, "网络连通时自动连接（需要记住登录信息和密码）")),
    (1108, "GIF", (123, 12), "只显示重要的通知", lambda: label(123, 12, "只显示重要的通知")),
    (1109, "GIF", (361, 12), "写入连接日志（日志文件 ovik_acc.log 位于安装目录）",
     lambda: label(361, 12, "写入连接日志（日志文件 ovik_acc.log 位于安装目录）")),
    (1110, "GIF", (134, 20), "product name ZORVET 加速器",
     lambda: label(134, 20, "ZORVET 加速器", colour=BRAND, size=17, bold=True)),
    (1111, "GIF", (32, 12), "版本", lambda: label(32, 12, "版本")),
    (1112, "GIF", (257, 12), "© ZORVET 网络加速服务  保留所有权利",
     lambda: label(257, 12, "© ZORVET 网络加速服务  保留所有权利", colour=MUTED)),
    (1113, "GIF", (60, 12), "官方网站", lambda: label(60, 12, "官方网站")),
    (1116, "GIF", (85, 22), "button 连接 (blue)", lambda: button("连接", BRAND)),
    (1117, "GIF", (85, 22), "button 断开 (red)", lambda: button("断开", RED)),
    (1118, "GIF", (85, 22), "button 取消 (grey)", lambda: button("取消", MUTED)),
    (1119, "GIF", (480, 12), "progress track", progress_track),
    (1120, "GIF", (32, 12), "地址", lambda: label(32, 12, "地址", "r")),
    (1121, "GIF", (60, 12), "连接时间", lambda: label(60, 12, "连接时间", "r")),
    (1122, "GIF", (60, 12), "接收数据", lambda: label(60, 12, "接收数据", "r")),
    (1123, "GIF", (60, 12), "发送数据", lambda: label(60, 12, "发送数据", "r")),
    (1124, "GIF", (63, 9), "progress block (opaque, no transparent colour)", progress_block),
    (1125, "GIF", (60, 12), "接收速率", lambda: label(60, 12, "接收速率", "r")),
    (1126, "GIF", (60, 12), "发送速率", lambda: label(60, 12, "发送速率", "r")),
    (1128, "GIF", (60, 12), "服务类型", lambda: label(60, 12, "服务类型", "r")),
    (1132, "GIF", (60, 12), "账户类型", lambda: label(60, 12, "账户类型", "r")),
    (1133, "GIF", (60, 12), "到期日期", lambda: label(60, 12, "到期日期", "r")),
    (1135, "GIF", (53, 12), "网络加速", lambda: label(53, 12, "网络加速", colour=TEXT)),
    (1136, "GIF", (53, 12), "游戏加速", lambda: label(53, 12, "游戏加速", colour=TEXT)),
    (1137, "GIF", (90, 14), "免费账户", lambda: label(90, 14, "免费账户", colour=TEXT, size=13)),
    (1138, "GIF", (50, 12), "VIP会员 (gold)", lambda: label(50, 12, "VIP会员", colour=GOLD)),
    (1139, "GIF", (76, 12), "白金会员 (slate)",
     lambda: label(76, 12, "白金会员", colour=PLATINUM)),
    (1140, "GIF", (81, 12), "标准会员 (account type 1, blue)",
     lambda: label(81, 12, "标准会员", colour=BRAND)),
    (1201, "GIF", (15, 15), "text-note close button (not used by the dialog)", close_button),
    (1202, "JPEG", (251, 157), "text-note skin (not used by the dialog)", note_skin),
]

ICONS = [
    (1000, "application: blue Z mark (window icon)", BRAND),
    (1001, "tray, connected: green Z mark", GREEN),
    (1002, "tray, connecting or disconnecting: amber Z mark", AMBER),
    (1003, "tray, idle: grey Z mark", MUTED),
]
ICON_SIZES = (16, 32, 48)


def file_name(pid, fmt):
    return "skin_%d.%s" % (pid, "jpg" if fmt == "JPEG" else "gif")


def write_rc(out):
    lines = [
        "// Generated by make_art.py: skin pictures and icons of ovik_acc.",
        "// File names are relative to resources/client (the folder of the .rc that",
        "// includes this one, or an include path of windres).",
        "",
        "LANGUAGE 0x09, 0x01  // LANG_ENGLISH, SUBLANG_ENGLISH_US",
    ]
    for pid, fmt, _, _, _ in PICTURES:
        lines.append('%d BINARY "art/%s"' % (pid, file_name(pid, fmt)))
    lines.append("")
    for iid, _, _ in ICONS:
        lines.append('%d ICON "art/icon_%d.ico"' % (iid, iid))
    lines += ["", "// Back to the language of the including file's own resources.",
              "LANGUAGE 0x04, 0x02  // LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED", ""]
    with open(os.path.join(out, "art.rc"), "w", newline="\n") as f:
        f.write("\n".join(lines))


def write_readme(out):
    lines = [
        "# Client pictures",
        "",
        "Skin pictures (resource type `BINARY`, English (US)) and icons of `ovik_acc`.",
        "Everything here is drawn by `make_art.py` (Debian's `/usr/bin/python3` with",
        "python3-pil and fonts-wqy-microhei); it also writes `art.rc` and this file.",
        "Regenerate with `/usr/bin/python3 resources/client/art/make_art.py`.",
        "`resources/client/ovik_acc.rc` takes them in with `#include \"art/art.rc\"`.",
        "",
        "Every GIF but 1124 has a transparent colour; label edges are blended against",
        "the body colour (245, 245, 245) that they are drawn over.",
        "",
        "| id | size | format | shows |",
        "|---|---|---|---|",
    ]
    for pid, fmt, (w, h), shows, _ in PICTURES:
        lines.append("| %d | %d x %d | %s | %s |" % (pid, w, h, fmt, shows))
    sizes = ", ".join("%dx%d" % (s, s) for s in ICON_SIZES)
    for iid, shows, _ in ICONS:
        lines.append("| %d | %s | ICO (32-bit) | %s |" % (iid, sizes, shows))
    lines.append("")
    with open(os.path.join(out, "README.md"), "w", newline="\n") as f:
        f.write("\n".join(lines))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", default=os.path.dirname(os.path.abspath(__file__)))
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for pid, fmt, size, _, make in PICTURES:
        c = make()
        assert (c.w, c.h) == size, pid
        path = os.path.join(args.out, file_name(pid, fmt))
        if fmt == "JPEG":
            save_jpeg(c, path)
        else:
            save_gif(c, path, transparent=(pid != 1124), threshold=128 if pid == 1201 else 8)
    for iid, _, fill in ICONS:
        save_ico([icon(s, fill) for s in ICON_SIZES],
                 os.path.join(args.out, "icon_%d.ico" % iid))
    write_rc(args.out)
    write_readme(args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
