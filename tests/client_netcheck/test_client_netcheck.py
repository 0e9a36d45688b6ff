"""ovik_acc's network check end to end: the program (built with short check
intervals) probes a redirect server of the test on 127.0.0.1:4000 by UDP; a
reply of 11 bytes is no answer, unticking auto-connect stops the probes, a
reply of 10 bytes makes the network online and the dialog connects once (one
2006 at the scripted peer); a name that does not resolve gives three retry
lines a probe."""
import os
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "client"))
import clientbed  # noqa: E402
from clientbed import (check, make_cert, OPT_AUTOCONNECT, OPT_LOG, OPT_REMEMBER_NAME,  # noqa: E402
                       OPT_REMEMBER_PASSWORD)
import peer  # noqa: E402

ONLINE = b"NET: Network change to online."
RESOLVE = b"DIRS: Couldn't resolve the redirect server name, sleep 2 seconds to retry."


class Redirect:
    """The redirect server's port 4000 (the others stay closed): counts the
    probes and answers each with `size` bytes (None: silence)."""

    def __init__(self, size):
        self.size = size
        self.probes = []
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 4000))
        self.sock.settimeout(0.2)
        self.running = True
        self.thread = threading.Thread(target=self._loop, daemon=True)
        self.thread.start()

    def _loop(self):
        while self.running:
            try:
                data, addr = self.sock.recvfrom(2048)
            except socket.timeout:
                continue
            self.probes.append(data)
            if self.size is not None:
                self.sock.sendto(b"r" * self.size, addr)

    def count(self):
        return len(self.probes)

    def settle(self, quiet=2.5, timeout=15):
        """Waits until no probe has come for `quiet` seconds (longer than the
        check's periods, so not scaled), giving up after timeout in this lane's
        time; True if so."""
        end = time.time() + clientbed.zorvet.scaled(timeout)
        n, since = self.count(), time.time()
        while time.time() < end:
            time.sleep(0.2)
            if self.count() != n:
                n, since = self.count(), time.time()
            elif time.time() - since >= quiet:
                return True
        return False


OPTS = OPT_LOG | OPT_REMEMBER_NAME | OPT_REMEMBER_PASSWORD | OPT_AUTOCONNECT
c = clientbed.Client()
b = c.bed
p = c.start_peer()
red = Redirect(11)


def starts():
    return len(p.received(peer.CMD_START))


def lines(needle):
    return c.log().count(needle)


# -- 11-byte replies are no answer: probes go on, nothing is reported
b.write_cert(make_cert(OPTS, "demo_user", "demo_pass", server="127.0.0.1"))
b.env["ZORVET_NETCHECK_TEST_MS"] = "300,1000,2000"
c.start()
check(c.wait_log("THREAD: Netcheck run ("), "auto-connect starts the check")
check(b.wait(lambda: red.count() >= 6, timeout=20), "a full probe of five attempts, then the next one")
check(all(x == b"netcheck\0" for x in red.probes), "each probe is \"netcheck\" and a NUL")
check(lines(ONLINE) == 0 and starts() == 0, "11 bytes: never online, no connect")

# -- unticking auto-connect ends the check
c.probe("clickat", 105, 50)  # settings tab
check(c.wait_visible(1606), "settings page")
c.probe("click", 1606)
check(c.wait_log("THREAD: Netcheck closed ("), "unticking logs the stop")
check(b.wait(lambda: not c.cert()[44] & OPT_AUTOCONNECT), "auto-connect cleared in cert")
check(red.settle(), "probes end (after the one in hand)")
n = red.count()
time.sleep(2.5)
check(red.count() == n, "no probes while auto-connect is off")

# -- 10-byte replies: online, one connect for the whole online period
red.size = 10
c.probe("click", 1606)
check(b.wait(lambda: lines(b"THREAD: Netcheck run (") == 2), "ticking starts the check again")
check(c.wait_log(ONLINE, timeout=10), "10 bytes: network online")
check(c.wait_log("NETCHECK: change network status to ONLINE."), "the dialog's callback got it")
check(p.wait_for(peer.CMD_START), "auto-connect sends 2006")
first = red.count()
check(b.wait(lambda: red.count() >= first + 3, timeout=15), "probes go on at the online period")
check(starts() == 1, "exactly one connect (%d)" % starts())
check(lines(ONLINE) == 1, "online reported once")
check(lines(b"NET: Network change to offline.") == 0, "no offline report")
c.exit_via_tray()
check(c.box("yes") is not None, "exit while connected asks")
check(c.wait_exit() == 0, "exit")
check(lines(b"THREAD: Netcheck closed (") == 2, "the exit stops the check")
red.running = False

# -- a redirect server name that does not resolve: three retries a probe,
# offline. The first period's second tick comes while the first probe still
# retries, so the second probe follows it at once; then the 60 s period.
b.write_cert(make_cert(OPTS, "demo_user", "demo_pass", server="nosuch.invalid"))
b.env["ZORVET_NETCHECK_TEST_MS"] = "300,60000,60000"
n = starts()
c.start()
check(b.wait(lambda: lines(RESOLVE) >= 3, timeout=30), "three resolve retry lines of the first probe")
first_done = time.time()
check(b.wait(lambda: lines(RESOLVE) >= 6, timeout=30), "three resolve retry lines for each of two probes")
# The waits grow with the lane; the offline period does not.
took = time.time() - first_done
check(took < 60, "the second probe did not wait for the 60 s offline period (%.1f s)" % took)
time.sleep(1.0)
check(lines(RESOLVE) == 6, "exactly six")
check(lines(ONLINE) == 0 and starts() == n, "unresolvable: offline, no connect")
c.exit_via_tray()
check(c.wait_exit() == 0, "exit")
print("PASS")
