"""Steers tests/core_exports/driver.cpp (core_exports_driver.exe loads
Zorvet_Core.dll by name, core_internal_driver.exe links the library) under the
bed's Wine: one command a line, callbacks and the result come back as lines."""
import queue
import subprocess
import threading
import time
import traceback

from zorvet import scaled

failures = []


def case(fn):
    """Runs one case at once; a failure is recorded and the next case runs."""
    t = time.time()
    try:
        fn()
        print("ok   %-60s %.1fs" % (fn.__name__, time.time() - t), flush=True)
    except Exception as e:  # noqa: BLE001 - report every case, then fail
        failures.append(fn.__name__)
        print("FAIL %-60s %r" % (fn.__name__, e), flush=True)
        traceback.print_exc(limit=-1)
    return fn


def finish():
    if failures:
        raise SystemExit("failed: " + ", ".join(failures))
    print("all cases passed")


def hx(b):
    """Hex argument of a text or bytes; None gives "-" (a null pointer), empty "~"."""
    if b is None:
        return "-"
    if isinstance(b, str):
        b = b.encode("gbk")
    return b.hex() if b else "~"


def unhex(s):
    return b"" if s == "-" else bytes.fromhex(s)


class Driver:
    def __init__(self, bed, exe="core_exports_driver.exe"):
        self.proc = bed.start(exe, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        ready, _ = self._until_result(30)
        assert ready == ["ready"], ready

    def _read(self):
        for raw in self.proc.stdout:
            self.lines.put(raw.decode("latin-1").rstrip("\r\n"))
        self.lines.put(None)

    def _until_result(self, timeout):
        events = []
        end = time.time() + scaled(timeout)
        while True:
            try:
                line = self.lines.get(timeout=max(0.1, end - time.time()))
            except queue.Empty:
                raise AssertionError("driver gave no result; got %r" % events)
            if line is None:
                raise AssertionError("driver ended; got %r" % events)
            if line.startswith("R "):
                return line.split()[1:], events
            events.append(self._event(line))

    @staticmethod
    def _event(line):
        w = line.split()
        if w[0] == "M":
            return ("M", int(w[1], 16), unhex(w[2]))
        if w[0] == "D":
            return ("D", int(w[1], 16), unhex(w[2]))
        if w[0] == "S":
            return ("S", int(w[1]))
        if w[0] == "C":
            return ("C", unhex(w[1]), unhex(w[2]))
        return ("?", line)

    def call(self, *words, timeout=20):
        """(result words after the command name, callback events before it)."""
        self.proc.stdin.write((" ".join(str(w) for w in words) + "\n").encode())
        self.proc.stdin.flush()
        result, events = self._until_result(timeout)
        assert result[0] == words[0], (words, result)
        return result[1:], events

    def wait(self, *words, ms):
        """A driver wait that ends as soon as its event comes (waitstate,
        waittrace). ms is how long to give it, in this lane's time like the beds'
        waits; a check of how soon the event came measures that itself."""
        return self.call(*words, int(scaled(ms / 1000) * 1000), timeout=ms / 1000 + 10)

    def value(self, *words):
        """The result as a number (hex), asserting no callback came with it."""
        r, ev = self.call(*words)
        return int(r[0], 16), ev

    def close(self):
        try:
            self.proc.stdin.write(b"quit\n")
            self.proc.stdin.flush()
            self.proc.wait(scaled(10))
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()
            self.proc.wait()

    def __enter__(self):
        return self

    def __exit__(self, *a):
        self.close()


def messages(events):
    return [(e[1], e[2]) for e in events if e[0] == "M"]


def traces(events):
    return [e[2] for e in events if e[0] == "D"]


def states(events):
    return [e[1] for e in events if e[0] == "S"]
