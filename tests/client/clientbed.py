"""Helpers of the ovik_acc end-to-end tests: a bed with the program's options in
"cert", the stand-in service registered (idle, so that a scripted peer serves
127.0.0.1:63872), the program started and looked at through uiprobe.exe."""
import os
import shutil
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "py"))
import zorvet  # noqa: E402
import peer  # noqa: E402

KEY = zorvet.INSTALL_KEY
BOX_TITLE = "OVIK_ACC 提示信息"
OPT_REMEMBER_NAME, OPT_REMEMBER_PASSWORD, OPT_AUTORUN, OPT_AUTOCONNECT, OPT_IMPORTANT, OPT_LOG = (
    0x80, 0x40, 0x20, 0x10, 0x08, 0x04)
PAGE_STATUS = 1901
# The dialog hides itself this long after a connection made from it (the
# program's own time: no lane stretches it).
AUTOHIDE_S = 5.0


def gbk(text):
    return text.encode("gbk")


def scramble(text):
    """The stored credential transform (the program's own, in Python)."""
    b = text.encode("latin-1")
    n = len(b)
    t = [0] * (2 * n)
    for i, c in enumerate(b):
        v = (c - 256 if c >= 128 else c) + 3 * i
        t[i] = (v >> 1) & 15
        t[n + i] = ((v >> 5) & 15) | ((v & 1) << 3)
    return bytes((j * j + t[2 * j] * 16 + t[2 * j + 1]) & 0xFF for j in range(n))


def swap(b):
    return bytes(((x << 4) | (x >> 4)) & 0xFF for x in b)


def make_cert(options=OPT_LOG, user="", password="", server="", index=0, version=0x1073008B, fill=0):
    c = bytearray([fill] * 126)
    c[0:4] = struct.pack("<I", version)
    c[4:24] = scramble(user).ljust(20, b"\0")
    c[24:44] = scramble(password).ljust(20, b"\0")
    c[44] = options
    c[91:111] = swap(server.encode().ljust(20, b"\0"))
    c[111] = index
    return bytes(c)


class Client:
    def __init__(self, display=False, service="idle"):
        self.bed = zorvet.bed(display=display)
        b = self.bed
        self.install = b.install
        for exe in ("uiprobe.exe", "fake_updater.exe"):
            shutil.copy2(b.test_exe(exe), os.path.join(b.install, exe))
        # The program is its tests' build: the same program, whose dialog also
        # appends its states to a record (see record()), and whose network check
        # takes its intervals from ZORVET_NETCHECK_TEST_MS when that is set.
        shutil.copy2(b.test_exe("ovik_acc_test.exe"), os.path.join(b.install, "ovik_acc.exe"))
        b.env["ZORVET_DIALOG_RECORD"] = zorvet.INSTALL_WIN + "\\dialog_record.txt"
        self.since = 0  # where the record of the last start or connect click begins
        self.proc = None
        self.peer = None
        self.set_service(service)

    # -- service and peer
    def set_service(self, mode):
        """mode: None (not installed), "stopped", "idle" (running, port left to the
        peer) or "running" (the stand-in serves 63872 itself, with its demo account)."""
        b = self.bed
        b.sc("stop", "ZorvetDaemon")
        b.wait(lambda: b.service_state() in (0, 1), timeout=5)
        b.sc("delete", "ZorvetDaemon")
        b.wait(lambda: b.service_state() == 0, timeout=5)
        if mode is None:
            return
        exe = zorvet.INSTALL_WIN + "\\ZorvetDaemon.exe"
        r = b.sc("create", "ZorvetDaemon", "binPath=", exe + (" -control 0" if mode == "running" else " -idle -control 0"))
        assert r.returncode == 0, r
        if mode in ("idle", "running"):
            b.sc("start", "ZorvetDaemon")
            assert b.wait(lambda: b.service_state() == 4, timeout=10), "service did not start"

    def start_peer(self, **kw):
        self.peer = peer.Peer(**kw).start()
        return self.peer

    # -- the program
    def log_holders(self):
        """Processes of this bed that hold the log file open."""
        path = os.path.realpath(os.path.join(self.install, "ovik_acc.log"))
        found = []
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                for fd in os.listdir("/proc/%s/fd" % pid):
                    if os.readlink("/proc/%s/fd/%s" % (pid, fd)) == path:
                        found.append(pid)
            except OSError:
                pass
        return found

    def start(self, *args):
        # The program makes its log its standard output; Wine's desktop process,
        # started by the first window, inherits it and lets go a moment after the
        # program ends. A new start re-creates the log only once it is free.
        self.bed.wait(lambda: not self.log_holders(), timeout=10)
        self.since = len(self.record())
        self.proc = self.bed.start("ovik_acc.exe", *args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self.proc

    def wait_exit(self, timeout=20):
        try:
            return self.proc.wait(timeout=zorvet.scaled(timeout))
        except subprocess.TimeoutExpired:
            return None

    def probe(self, *args, timeout=30):
        r = self.bed.wine(os.path.join(self.install, "uiprobe.exe"), *[str(a) for a in args], timeout=timeout)
        return r.stdout.decode("latin-1")

    def box(self, answer="ok", timeout_ms=10000):
        """Text of the next box (None when none came within timeout_ms, scaled), answered."""
        timeout_ms = int(zorvet.scaled(timeout_ms))
        out = self.probe("box", timeout_ms, answer, timeout=timeout_ms / 1000 + 20)
        for line in out.splitlines():
            if line.startswith("BOX "):
                return bytes.fromhex(line[4:].strip())
        return None

    def dialog(self):
        """{'visible': 0/1, 'rect': (x,y,w,h), 'controls': {id: dict}} or None."""
        out = self.probe("dialog")
        d = None
        for line in out.splitlines():
            p = line.split()
            if p and p[0] == "DIALOG":
                d = {"visible": int(p[1]), "rect": tuple(int(x) for x in p[2:6]), "controls": {}}
            elif p and p[0] == "CTRL" and d is not None:
                d["controls"][int(p[1])] = {"class": p[2], "visible": int(p[3]), "enabled": int(p[4]),
                                            "rect": tuple(int(x) for x in p[5:9]),
                                            "text": bytes.fromhex(p[9]) if len(p) > 9 else b""}
        return d

    def visible(self, *ids):
        d = self.dialog()
        return d and d["visible"] and all(d["controls"].get(i, {}).get("visible") for i in ids)

    def wait_visible(self, *ids, timeout=15):
        return self.bed.wait(lambda: self.visible(*ids), timeout=timeout, step=0.3)

    # -- the dialog's record: what it showed, when (the test build's own lines)
    def record(self):
        """[(tick in seconds, words)] for each whole line of the record."""
        path = os.path.join(self.install, "dialog_record.txt")
        if not os.path.exists(path):
            return []
        lines = open(path, "rb").read().decode("ascii").split("\n")[:-1]  # the last one may be half written
        return [(int(t) / 1000.0, rest.split()) for t, rest in (line.split(" ", 1) for line in lines)]

    def click_connect(self):
        """The connect button clicked; the record from here on tells what followed."""
        self.since = len(self.record())
        self.probe("click", 1610)

    def _shown_connected(self, rec, ids):
        """rec's first status page of state 3 with all ids visible since the
        last start or connect click: (its tick, its index), or None. The dialog
        records a page only while it is shown."""
        for i in range(self.since, len(rec)):
            tick, w = rec[i]
            if w[:4] == ["page", str(PAGE_STATUS), "state", "3"] and set(map(str, ids)) <= set(w[5:]):
                return tick, i
        return None

    def wait_record_connected(self, *ids, timeout=15):
        """Whether the dialog showed the connected status page with these
        controls. Read from the record: it may have hidden itself again by the
        time a look would come."""
        return self.bed.wait(lambda: self._shown_connected(self.record(), ids), timeout=timeout, step=0.3)

    def log(self):
        p = os.path.join(self.install, "ovik_acc.log")
        return open(p, "rb").read() if os.path.exists(p) else b""

    def wait_log(self, needle, timeout=15):
        if isinstance(needle, str):
            needle = gbk(needle)
        return self.bed.wait(lambda: needle in self.log(), timeout=timeout, step=0.2)

    def cert(self):
        return self.bed.read_cert()

    def find(self, cls="-", title="-"):
        return "FOUND" in self.probe("find", cls, title)

    def wait_own_hide(self):
        """The dialog hides itself 5 s after a connection from it, however long
        the test's steps took; shown again before that, it would hide under the
        next look or click. Waits for that hide (the wait only gives up: the
        lane stretches it) and checks when it came by the program's own clock:
        5 s after the dialog showed the connection, give or take the
        machine's delays."""
        def hide():
            rec = self.record()
            shown = self._shown_connected(rec, ())
            if not shown:
                return None
            for (_, fired), (tick, hidden) in zip(rec[shown[1]:], rec[shown[1] + 1:]):
                if fired == ["autohide", "fired"] and hidden == ["hidden"]:
                    return tick - shown[0]
            return None
        took = self.bed.wait(hide, timeout=10, step=0.3)
        check(took is not None, "dialog hides itself after connecting")
        low, high = AUTOHIDE_S - 0.5, AUTOHIDE_S + 3
        check(low <= took <= high, "dialog hid itself %.2f s after it showed the connection (%.1f-%.1f s)"
              % (took, low, high))

    def exit_via_tray(self):
        self.probe("command", 220)

    def kill(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.bed.run(["wine", "taskkill", "/f", "/im", "ovik_acc.exe"], capture_output=True)


def check(cond, what):
    if not cond:
        raise SystemExit("FAIL: " + what)
    print("ok:", what)


# Screenshots (tests with a display; PIL is imported only by them).
def art_image(name, mode="RGB"):
    """A picture of the client's skin from resources/client/art."""
    from PIL import Image
    path = os.path.join(zorvet._args().source, "resources", "client", "art", name)
    return Image.open(path).convert(mode)


def screenshot(bed, name):
    """The bed's whole display as an RGB image, kept in build/win/artifacts/NAME."""
    from PIL import Image
    out_dir = os.path.join(bed.win_build, "artifacts")
    os.makedirs(out_dir, exist_ok=True)
    path = os.path.join(out_dir, name)
    subprocess.run(["import", "-window", "root", path], env=bed.env, check=True, timeout=30)
    return Image.open(path).convert("RGB")


def near(a, b, tol=40):
    """Two colours within tol in each channel."""
    return all(abs(x - y) <= tol for x, y in zip(a, b))
