#!/usr/bin/python3
"""Draws the pictures of the note popups: the text-note skin (BINARY 1002, a
256 x 160 JPEG) and the close button drawn over image notes (BINARY 1001, a
15 x 15 GIF with one transparent colour).

    /usr/bin/python3 resources/core/art/make_note_art.py [--out DIR]

Debian's python3 with python3-pil. Deterministic: the same Pillow gives the
same bytes. The popup draws the title into (40, 6, 230, 22) and the text into
(13, 40, 250, 154), so the skin carries no text; its close button lies inside
the default close area (234, 4, 250, 20).
"""
import argparse
import os

from PIL import Image, ImageDraw

SS = 4  # supersampling for round shapes

BRAND = (36, 99, 214)
STRIP = (229, 238, 252)       # light header strip
STRIP_LINE = (200, 216, 242)
CARD = (255, 255, 255)
BORDER = (176, 190, 214)
RED = (214, 64, 56)
RED_DARK = (170, 40, 34)
WHITE = (255, 255, 255)
KEY = (255, 0, 255)           # transparent colour of the close button


def smooth(size, draw_fn, background):
    """Draws at SS x and scales down for soft edges."""
    w, h = size
    big = Image.new("RGB", (w * SS, h * SS), background)
    draw_fn(ImageDraw.Draw(big), SS)
    return big.resize((w, h), Image.LANCZOS)


def close_glyph(d, s, box, ring=True):
    x0, y0, x1, y1 = [v * s for v in box]
    d.ellipse((x0, y0, x1 - 1, y1 - 1), fill=RED_DARK if ring else RED)
    inset = s
    d.ellipse((x0 + inset, y0 + inset, x1 - 1 - inset, y1 - 1 - inset), fill=RED)
    m = (x1 - x0) * 0.3
    wd = max(1, int(1.6 * s))
    d.line((x0 + m, y0 + m, x1 - m, y1 - m), fill=WHITE, width=wd)
    d.line((x0 + m, y1 - m, x1 - m, y0 + m), fill=WHITE, width=wd)


def skin():
    w, h = 256, 160

    def draw(d, s):
        d.rectangle((0, 0, w * s - 1, h * s - 1), fill=CARD)
        d.rectangle((0, 0, w * s - 1, 27 * s), fill=STRIP)
        d.rectangle((0, 27 * s, w * s - 1, 28 * s - 1), fill=STRIP_LINE)
        # Icon at the left of the strip: a blue disc with a white Z mark.
        d.ellipse((12 * s, 5 * s, 30 * s, 23 * s), fill=BRAND)
        zx, zy = 16.5 * s, 9.5 * s
        zw = int(1.8 * s)
        d.line((zx, zy, zx + 9 * s, zy), fill=WHITE, width=zw)
        d.line((zx + 9 * s, zy, zx, zy + 9 * s), fill=WHITE, width=zw)
        d.line((zx, zy + 9 * s, zx + 9 * s, zy + 9 * s), fill=WHITE, width=zw)
        # Close button at the right, inside the close area (234, 4, 250, 20).
        close_glyph(d, s, (235, 5, 249, 19))
        # Frame.
        d.rectangle((0, 0, w * s - 1, h * s - 1), outline=BORDER, width=s)

    return smooth((w, h), draw, CARD)


def close_button():
    n = 15
    # Drawn hard-edged on the key colour: soft edges would blend into the key
    # and leave a magenta fringe once the key is made transparent.
    img = Image.new("RGB", (n, n), KEY)
    d = ImageDraw.Draw(img)
    d.ellipse((0, 0, n - 1, n - 1), fill=RED_DARK)
    d.ellipse((1, 1, n - 2, n - 2), fill=RED)
    for i in range(4, 11):
        d.point((i, i), fill=WHITE)
        d.point((i, n - 1 - i), fill=WHITE)
        d.point((i + 1, i), fill=WHITE)
        d.point((i + 1, n - 1 - i), fill=WHITE)
    pal = [KEY, RED_DARK, RED, WHITE]
    p = Image.new("P", (n, n), 0)
    flat = []
    for c in pal:
        flat.extend(c)
    p.putpalette(flat + [0] * (768 - len(flat)))
    src = img.load()
    dst = p.load()
    for y in range(n):
        for x in range(n):
            dst[x, y] = pal.index(src[x, y]) if src[x, y] in pal else 2
    return p


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", default=os.path.dirname(os.path.abspath(__file__)))
    out = ap.parse_args().out
    os.makedirs(out, exist_ok=True)
    skin().save(os.path.join(out, "note_skin_1002.jpg"), "JPEG", quality=92, optimize=False)
    close_button().save(os.path.join(out, "close_1001.gif"), "GIF", transparency=0)


if __name__ == "__main__":
    main()
