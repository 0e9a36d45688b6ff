"""Test bed for integration tests: an isolated Wine prefix in a network namespace
of its own, so that every test has its own 127.0.0.1:63872, registry and services
and tests run in parallel.

    import zorvet
    bed = zorvet.bed()          # re-executes the script inside `unshare -n` first
    bed.wine("ovik_acc.exe")    # programs of the install directory
"""
import argparse
import atexit
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
INSTALL_WIN = r"C:\Program Files\ZORVET\OVIK"
INSTALL_KEY = r"HKLM\Software\ZORVET\OVIK"
DAEMON_PORT = 63872
# The lane's factor for waits and time-outs (scripts/lane.sh): 1 where Wine runs
# natively, more in the emulated machine, whose processor is several times
# slower. What a test checks never depends on it; only how long it waits.
TIME_SCALE = float(os.environ.get("ZORVET_TIME_SCALE") or 1)


def scaled(seconds):
    """A wait or time-out of the test beds, in this lane's time."""
    return seconds * TIME_SCALE


def _args():
    p = argparse.ArgumentParser()
    p.add_argument("--build", default=os.path.join(ROOT, "build"))
    p.add_argument("--source", default=ROOT)
    a, _ = p.parse_known_args()
    return a


def _enter_netns():
    """Re-runs this process inside a new network namespace with loopback up."""
    if os.environ.get("ZORVET_NETNS") == "1":
        return
    env = dict(os.environ, ZORVET_NETNS="1")
    cmd = ["unshare", "-n", "sh", "-c", 'ip link set lo up && exec "$@"', "sh",
           sys.executable] + sys.argv
    os.execvpe("unshare", cmd, env)


def _bed_folder(template):
    """A new folder for one bed, in the system's temp folder, or beside the
    prepared prefix where the temp folder is another file system (a tmpfs
    /tmp): the copy hard-links into the prefix, which works on one file
    system only."""
    parent = tempfile.gettempdir()
    beside = os.path.dirname(os.path.abspath(template))
    if os.stat(parent).st_dev != os.stat(beside).st_dev:
        parent = beside
    return tempfile.mkdtemp(prefix="zorvet-bed-", dir=parent)


def _copy_prefix(template, dest):
    """Copies the prepared prefix. system32 (most of its size, never written by
    the tests) is hard-linked; everything else is a real copy, except the users'
    Temp folders: the Windows test programs of the same run use the prepared
    prefix and write there while beds copy it. For the same reason the
    wineserver's registry saves in progress (reg*.tmp, renamed over *.reg when
    written) are left out: one may be gone by the time it would be copied."""
    sys32 = os.path.join("drive_c", "windows", "system32")

    def ignore(d, names):
        rel = os.path.relpath(d, template)
        skipped = [n for n in names if os.path.join(rel, n) == sys32]
        if rel == ".":
            skipped += [n for n in names if n.startswith("reg") and n.endswith(".tmp")]
        if os.path.basename(os.path.dirname(rel)) == "users" and os.path.dirname(os.path.dirname(rel)) == "drive_c":
            skipped += [n for n in names if n.lower() == "temp"]
        return skipped

    shutil.copytree(template, dest, symlinks=True, ignore=ignore)
    users = os.path.join("drive_c", "users")
    for user in os.listdir(os.path.join(template, users)):
        if os.path.isdir(os.path.join(template, users, user, "Temp")):
            os.makedirs(os.path.join(dest, users, user, "Temp"), exist_ok=True)
    subprocess.run(["cp", "-a", "--link", os.path.join(template, sys32), os.path.join(dest, sys32)],
                   check=True)


class Bed:
    def __init__(self, build, display=False):
        self.build = build
        self.win_build = os.path.join(build, "win") if os.path.isdir(os.path.join(build, "win")) else build
        self.bin = os.path.join(self.win_build, "bin")
        template = os.environ.get("ZORVET_PREFIX_TEMPLATE")
        if not template or not os.path.isfile(os.path.join(template, "system.reg")):
            raise SystemExit("ZORVET_PREFIX_TEMPLATE does not name a prepared prefix (scripts/test.sh sets it)")
        self.tmp = _bed_folder(template)
        self.prefix = os.path.join(self.tmp, "prefix")
        _copy_prefix(template, self.prefix)
        self.install = os.path.join(self.prefix, "drive_c", "Program Files", "ZORVET", "OVIK")
        os.makedirs(self.install, exist_ok=True)
        # The newest binaries of this build, whatever the template holds.
        for f in os.listdir(self.bin):
            if f.lower().endswith((".exe", ".dll")):
                shutil.copy2(os.path.join(self.bin, f), self.install)
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=self.prefix, WINEARCH="win32", LC_ALL="zh_CN.UTF-8",
                        WINEDEBUG=os.environ.get("WINEDEBUG", "-all"),
                        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d")
        for k in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY"):
            self.env.pop(k, None)
        self.xvfb = None
        if display and os.environ.get("ZORVET_USE_DISPLAY") == "1" and os.environ.get("DISPLAY"):
            pass  # the user's own display
        elif display:
            self._start_xvfb()
        else:
            self.env.pop("DISPLAY", None)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        self.run(["wine", "cmd", "/c", "exit"], stdin=subprocess.DEVNULL,
                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if display:
            self.run(["wine", "reg", "delete", r"HKCU\Software\Wine\Drivers", "/v", "Graphics", "/f"],
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        atexit.register(self.close)

    def _start_xvfb(self):
        # A display number of our own (from the pid): beds start side by side,
        # and an X client whose server is gone falls back to another bed's socket.
        n = 100 + os.getpid() % 30000
        self.xvfb = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env["DISPLAY"] = ":%d" % n
        for _ in range(100):
            if self.xvfb.poll() is not None:
                raise SystemExit("Xvfb :%d did not start" % n)
            if os.path.exists("/tmp/.X11-unix/X%d" % n):
                return
            time.sleep(0.05)
        raise SystemExit("Xvfb :%d did not start in time" % n)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        if self.xvfb:
            self.xvfb.kill()
            self.xvfb.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)

    # -- processes -----------------------------------------------------------
    def run(self, argv, timeout=60, **kw):
        kw.setdefault("stdin", subprocess.DEVNULL)
        return subprocess.run(argv, env=self.env, timeout=scaled(timeout), **kw)

    def wine(self, exe, *args, timeout=60, **kw):
        """Runs a program of the install directory (or a path) to its end."""
        path = exe if os.path.isabs(exe) else os.path.join(self.install, exe)
        kw.setdefault("capture_output", True)
        return self.run(["wine", path] + list(args), timeout=timeout, cwd=os.path.dirname(path), **kw)

    def start(self, exe, *args, **kw):
        path = exe if os.path.isabs(exe) else os.path.join(self.install, exe)
        kw.setdefault("stdin", subprocess.DEVNULL)
        return subprocess.Popen(["wine", path] + list(args), env=self.env, cwd=os.path.dirname(path), **kw)

    def test_exe(self, name):
        return os.path.join(self.bin, name)

    # -- network -------------------------------------------------------------
    def set_online(self, online=True):
        """WinINet's InternetGetConnectedState follows the routes: a namespace with
        only 127.0.0.1 counts as offline. A default route through a gateway on lo
        (nothing leaves the namespace) makes it count as online."""
        if online:
            subprocess.run(["ip", "addr", "replace", "10.255.0.2/24", "dev", "lo"], check=True)
            subprocess.run(["ip", "route", "replace", "default", "via", "10.255.0.1", "dev", "lo"], check=True)
        else:
            subprocess.run(["ip", "route", "del", "default"], stderr=subprocess.DEVNULL)

    # -- registry ------------------------------------------------------------
    def reg(self, *args):
        return self.run(["wine", "reg"] + list(args), capture_output=True)

    def reg_query_text(self, key, value=None):
        r = self.reg("query", key, *(["/v", value] if value is not None else ["/ve"]))
        return r.stdout.decode("gbk", "replace") if r.returncode == 0 else None

    def read_cert(self):
        out = self.reg_query_text(INSTALL_KEY, "cert")
        if out is None:
            return None
        for line in out.splitlines():
            parts = line.split()
            if len(parts) >= 3 and parts[0] == "cert":
                return bytes.fromhex(parts[2]) if len(parts) == 3 else b""
        return None

    def write_cert(self, data):
        r = self.reg("add", INSTALL_KEY, "/v", "cert", "/t", "REG_BINARY", "/d", data.hex(), "/f")
        assert r.returncode == 0, r

    # -- service -------------------------------------------------------------
    def sc(self, *args):
        return self.run(["wine", "sc"] + list(args), capture_output=True)

    def service_state(self, name="ZorvetDaemon"):
        out = self.sc("query", name).stdout.decode("latin-1")
        for line in out.splitlines():
            if "STATE" in line:
                return int(line.split(":")[1].split()[0])
        return 0

    def start_service(self, *args, name="ZorvetDaemon", timeout=20.0):
        """Starts the service through Wine's service manager with args as its start
        arguments (Wine's sc has no "config", so the binPath stays as registered)
        and waits for state 4. Returns True when it runs. A running service is
        stopped first, so the arguments always apply."""
        if self.service_state(name) not in (0, 1):
            self.stop_service(name)
        self.sc("start", name, *args)
        return bool(self.wait(lambda: self.service_state(name) == 4, timeout, 0.2))

    def stop_service(self, name="ZorvetDaemon", timeout=20.0):
        """Stops the service and waits for state 1; True when it stopped."""
        self.sc("stop", name)
        return bool(self.wait(lambda: self.service_state(name) == 1, timeout, 0.2))

    def control(self, line, port=63899, timeout=5.0):
        """One command to the stand-in service's control channel; its answer line."""
        import socket
        with socket.create_connection(("127.0.0.1", port), timeout=scaled(timeout)) as s:
            s.sendall(line.encode() + b"\n")
            answer = b""
            while not answer.endswith(b"\n"):
                chunk = s.recv(65536)
                if not chunk:
                    break
                answer += chunk
        return answer.decode().strip()

    def wait(self, pred, timeout=10.0, step=0.1):
        """pred()'s first true value within timeout (scaled), else its last."""
        end = time.time() + scaled(timeout)
        while time.time() < end:
            v = pred()
            if v:
                return v
            time.sleep(step)
        return pred()


_bed = None


def bed(display=False):
    """The test's bed; call first in a test script."""
    global _bed
    if _bed is None:
        _enter_netns()
        _bed = Bed(_args().build, display=display)
    return _bed
