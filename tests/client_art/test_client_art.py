#!/usr/bin/python3
"""Checks the client program's pictures and icons against what the dialog expects:
ids, formats, pixel sizes, transparency, the hot rectangles drawn on the background,
the resource lines (compiled with windres) and that the generator reproduces them."""
import argparse
import filecmp
import io
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

from PIL import Image

ARGS = None

# id: (format, width, height) as the dialog places them.
PICTURES = {
    1100: ("JPEG", 499, 299), 1101: ("GIF", 61, 64), 1102: ("GIF", 46, 12),
    1103: ("GIF", 32, 12), 1104: ("GIF", 81, 12), 1105: ("GIF", 81, 12),
    1106: ("GIF", 137, 12), 1107: ("GIF", 360, 12), 1108: ("GIF", 123, 12),
    1109: ("GIF", 361, 12), 1110: ("GIF", 134, 20), 1111: ("GIF", 32, 12),
    1112: ("GIF", 257, 12), 1113: ("GIF", 60, 12), 1116: ("GIF", 85, 22),
    1117: ("GIF", 85, 22), 1118: ("GIF", 85, 22), 1119: ("GIF", 480, 12),
    1120: ("GIF", 32, 12), 1121: ("GIF", 60, 12), 1122: ("GIF", 60, 12),
    1123: ("GIF", 60, 12), 1124: ("GIF", 63, 9), 1125: ("GIF", 60, 12),
    1126: ("GIF", 60, 12), 1128: ("GIF", 60, 12), 1132: ("GIF", 60, 12),
    1133: ("GIF", 60, 12), 1135: ("GIF", 53, 12), 1136: ("GIF", 53, 12),
    1137: ("GIF", 90, 14), 1138: ("GIF", 50, 12), 1139: ("GIF", 76, 12),
    1140: ("GIF", 81, 12), 1201: ("GIF", 15, 15), 1202: ("JPEG", 251, 157),
}
OPAQUE_GIFS = {1124}  # the progress block fills its control
ICONS = (1000, 1001, 1002, 1003)
NEEDED_ICON_SIZES = {16, 32}

# Hot rectangles of the dialog surface (x, y, w, h).
HOT_RECTS = {
    "about": (415, 1, 28, 28), "close": (470, 4, 26, 26), "minimize": (445, 4, 26, 26),
    "status": (18, 28, 50, 46), "settings": (80, 28, 50, 46),
    "gamelist": (145, 28, 50, 46), "feedback": (205, 28, 50, 46),
}
LANG_EN_US = 0x0409


def art_dir():
    return os.path.join(ARGS.source, "resources", "client", "art")


def rc_entries():
    """(id, type, path relative to resources/client) of every resource line of art.rc."""
    out = []
    with open(os.path.join(art_dir(), "art.rc"), encoding="ascii") as f:
        for line in f:
            m = re.match(r'\s*(\d+)\s+(BINARY|ICON)\s+"([^"]+)"', line)
            if m:
                out.append((int(m.group(1)), m.group(2), m.group(3)))
    return out


def rc_path(rel):
    return os.path.join(ARGS.source, "resources", "client", rel)


def picture_path(pid):
    for i, kind, rel in rc_entries():
        if i == pid and kind == "BINARY":
            return rc_path(rel)
    raise AssertionError("no resource line for %d" % pid)


def parse_ico(data):
    """[(width, height, bpp, dib bytes)] of a classic icon file."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    assert (reserved, kind) == (0, 1), "not an icon file"
    out = []
    for i in range(count):
        w, h, _, _, planes, bpp, size, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        assert off + size <= len(data), "entry past the end"
        out.append((w or 256, h or 256, bpp, data[off:off + size]))
    return out


def parse_res(data):
    """Entries of a .res file: (type, name, language, bytes); type/name int or str."""
    def ident(pos):
        if struct.unpack_from("<H", data, pos)[0] == 0xFFFF:
            return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
        end = pos
        while struct.unpack_from("<H", data, end)[0]:
            end += 2
        return data[pos:end].decode("utf-16-le"), end + 2

    pos, out = 0, []
    while pos + 8 <= len(data):
        size, head = struct.unpack_from("<II", data, pos)
        rtype, p = ident(pos + 8)
        name, p = ident(p)
        p = (p + 3) & ~3
        _, _, lang = struct.unpack_from("<IHH", data, p)
        body = data[pos + head:pos + head + size]
        if size:
            out.append((rtype, name, lang, body))
        pos = (pos + head + size + 3) & ~3
    return out


def rc_compiler():
    cache = os.path.join(ARGS.build, "CMakeCache.txt")
    if os.path.exists(cache):
        with open(cache) as f:
            for line in f:
                if line.startswith("CMAKE_RC_COMPILER:"):
                    return line.split("=", 1)[1].strip()
    return shutil.which("i686-w64-mingw32-windres")


class ResourceLines(unittest.TestCase):
    def test_every_picture_and_icon_listed_once(self):
        entries = rc_entries()
        keys = [(i, kind) for i, kind, _ in entries]
        self.assertEqual(len(keys), len(set(keys)), "duplicate resource lines")
        want = {(i, "BINARY") for i in PICTURES} | {(i, "ICON") for i in ICONS}
        self.assertEqual(set(keys), want)
        for _, _, rel in entries:
            self.assertTrue(os.path.isfile(rc_path(rel)), rel)

    def test_readme_lists_every_id(self):
        with open(os.path.join(art_dir(), "README.md"), encoding="utf-8") as f:
            text = f.read()
        for i in list(PICTURES) + list(ICONS):
            self.assertRegex(text, r"\| %d \|" % i)


class Pictures(unittest.TestCase):
    def test_format_size_and_transparency(self):
        for pid, (fmt, w, h) in PICTURES.items():
            with self.subTest(id=pid):
                with open(picture_path(pid), "rb") as f:
                    data = f.read()
                im = Image.open(io.BytesIO(data))
                self.assertEqual(im.format, fmt)
                self.assertEqual(im.size, (w, h))
                if fmt == "JPEG":
                    self.assertEqual(im.mode, "RGB")
                    self.assertNotIn("progressive", im.info)  # baseline for the OLE loader
                    continue
                self.assertEqual(getattr(im, "n_frames", 1), 1)
                if pid in OPAQUE_GIFS:
                    self.assertNotIn("transparency", im.info)
                    continue
                self.assertEqual(data[:6], b"GIF89a")
                self.assertIn("transparency", im.info)
                px = list(im.getdata())
                clear = px.count(im.info["transparency"])
                # a label is neither blank nor a filled box
                self.assertGreater(clear, 0)
                self.assertGreater(len(px) - clear, 0)

    def test_hot_rectangles_are_drawn_on_the_background(self):
        bg = Image.open(picture_path(1100)).convert("RGB")
        base = bg.getpixel((75, 50))  # header between the first two tabs

        def differs(p):
            return max(abs(a - b) for a, b in zip(p, base)) > 12

        def inside_any(x, y):
            return any(rx <= x <= rx + rw and ry <= y <= ry + rh
                       for rx, ry, rw, rh in HOT_RECTS.values())

        for name, (x, y, w, h) in HOT_RECTS.items():
            with self.subTest(rect=name):
                inner = [bg.getpixel((px, py)) for px in range(x + 2, x + w - 1)
                         for py in range(y + 2, y + h - 1)]
                share = sum(map(differs, inner)) / len(inner)
                self.assertGreater(share, 0.8, "the control does not fill its rectangle")
                band = [bg.getpixel((px, py))
                        for px in list(range(x - 4, x - 1)) + list(range(x + w + 2, x + w + 5))
                        for py in range(y + 4, y + h - 3)
                        if 0 <= px < bg.width and not inside_any(px, py)]
                if band:
                    share = sum(map(differs, band)) / len(band)
                    self.assertLess(share, 0.05, "drawing spills out of the rectangle")


class Icons(unittest.TestCase):
    def test_multi_size_32_bit_icons(self):
        for iid in ICONS:
            with self.subTest(id=iid):
                path = [rc_path(rel) for i, kind, rel in rc_entries()
                        if i == iid and kind == "ICON"][0]
                with open(path, "rb") as f:
                    entries = parse_ico(f.read())
                self.assertLessEqual(NEEDED_ICON_SIZES, {w for w, h, _, _ in entries})
                for w, h, bpp, dib in entries:
                    self.assertEqual(w, h)
                    if dib[:8] == b"\x89PNG\r\n\x1a\n":
                        continue
                    size, dw, dh, planes, dbpp = struct.unpack_from("<IiiHH", dib)
                    self.assertEqual((size, dw, dh, planes, dbpp), (40, w, 2 * h, 1, bpp))
                    mask_row = ((w + 31) // 32) * 4
                    self.assertEqual(len(dib), 40 + w * h * bpp // 8 + mask_row * h)


class Build(unittest.TestCase):
    def test_windres_finds_every_file_from_the_including_folder(self):
        windres = rc_compiler()
        self.assertTrue(windres, "no windres")
        with tempfile.TemporaryDirectory() as tmp:
            top = os.path.join(tmp, "top.rc")
            with open(top, "w") as f:
                f.write('#include "art/art.rc"\n')
            res = os.path.join(tmp, "out.res")
            inc = os.path.join(ARGS.source, "resources", "client")
            r = subprocess.run([windres, "-c", "65001", "-I", inc, "-O", "res", "-i", top,
                                "-o", res], cwd=tmp, capture_output=True, text=True)
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(res, "rb") as f:
                entries = parse_res(f.read())
        binary = {(n, lang): body for t, n, lang, body in entries if t == "BINARY"}
        self.assertEqual({n for n, _ in binary}, set(PICTURES))
        for pid in PICTURES:
            with open(picture_path(pid), "rb") as f:
                self.assertEqual(binary.get((pid, LANG_EN_US)), f.read(), pid)
        groups = {n: body for t, n, _, body in entries if t == 14}  # RT_GROUP_ICON
        self.assertEqual(set(groups), set(ICONS))
        for iid, body in groups.items():
            self.assertGreaterEqual(struct.unpack_from("<H", body, 4)[0], 2, iid)


class Generator(unittest.TestCase):
    def test_reproduces_the_committed_files(self):
        with tempfile.TemporaryDirectory() as tmp:
            r = subprocess.run(["/usr/bin/python3", os.path.join(art_dir(), "make_art.py"),
                                "--out", tmp], capture_output=True, text=True)
            self.assertEqual(r.returncode, 0, r.stderr)
            made = sorted(os.listdir(tmp))
            kept = sorted(n for n in os.listdir(art_dir())
                          if n != "make_art.py" and not n.startswith("."))
            self.assertEqual(made, kept)
            for name in made:
                self.assertTrue(filecmp.cmp(os.path.join(tmp, name),
                                            os.path.join(art_dir(), name), shallow=False),
                                "%s differs from a fresh run" % name)


if __name__ == "__main__":
    p = argparse.ArgumentParser()
    here = os.path.dirname(os.path.abspath(__file__))
    p.add_argument("--build", default=os.path.join(here, "..", "..", "build"))
    p.add_argument("--source", default=os.path.join(here, "..", ".."))
    ARGS, rest = p.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=1)
