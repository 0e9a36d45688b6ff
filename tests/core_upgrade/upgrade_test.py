"""The core upgrade watch of Zorvet_Core, through a driver that links the
library, against the scripted service on 127.0.0.1:63872; small UDP senders
stand in for the updater's UpdateNotice datagrams. The registered ZorvetDaemon
runs idle (or is stopped) so that the service manager's answer is the test's to
choose: running when the second wait starts ends the watch at once."""
import os
import socket
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "core_exports"))
import peer  # noqa: E402
import zorvet  # noqa: E402
from driver import Driver, case, finish, messages, traces  # noqa: E402

NOTICE = 0x301B0001
UPGRADE_DLL = 0x301B0003
UPGRADE_GUI = 0x301B0004
TIMEOUT = 0x501B0205
FAILED = 0x501B0206
REFUSED = 0x50000A0B
NOT_CONNECTED = 0x50000A0A
CORE, DLL, GUI = 0x1072012E, 0x10710258, 0x1073008C

bed = zorvet.bed()
p = peer.Peer().start()


def service(running):
    if running and bed.service_state() != 4:
        assert bed.start_service("-idle"), "ZorvetDaemon -idle did not start"
    if not running and bed.service_state() != 1:
        assert bed.stop_service(), "ZorvetDaemon did not stop"


def send(port, data):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(data if isinstance(data, bytes) else data.encode("gbk"), ("127.0.0.1", port))


def bound(port):
    """True when something holds UDP port on 127.0.0.1 or on every address.
    Read from the socket table: a probe that binds the port itself would, for
    that moment, make the listener's own bind fail."""
    held = ("0100007F:%04X" % port, "00000000:%04X" % port)
    with open("/proc/net/udp") as f:
        next(f)
        return any(line.split()[1] in held for line in f)


def driver(first=3000, second=5000):
    """A driver connected to the peer, traces on, the two waits shortened."""
    d = Driver(bed, "core_upgrade_driver.exe")
    d.call("debug")
    d.call("waits", first, second)
    p.state = 1
    r, _ = d.value("init")
    assert r == 1, hex(r)
    assert p.wait_registered(5)
    p.forget()
    return d


def announce(index, core=1, gui=0, dll=0):
    p.push_latest_version(index, CORE, DLL, GUI, core_flag=core, dll_flag=dll, gui_flag=gui)


def wait_trace(d, text, ms=5000):
    """Pumps the driver until that trace (ms scaled); the events on the way."""
    r, ev = d.wait("waittrace", text.encode().hex(), ms=ms)
    assert r == ["1"], "no trace %r; got %r" % (text, ev)
    return ev


def pump(d, ms):
    return d.call("pump", ms, timeout=ms / 1000 + 10)[1]


def reconnected(timeout=6):
    """The peer saw the library register and initialise anew."""
    return all(p.wait_for(c, timeout) for c in (peer.CMD_REGISTER_UDP, peer.CMD_REGISTER, peer.CMD_INIT))


def refuses(d, text):
    """A request export refuses with the upgrade text of the state."""
    r, ev = d.value("errno")
    assert r == REFUSED and messages(ev) == [(NOTICE, text)], (hex(r), ev)


# ---- a core upgrade that the updater reports ------------------------------------------

@case
def index_5_listens_on_63877_reports_progress_as_is_and_reconnects_after_UPDATED():
    service(True)
    with driver() as d:
        service(False)
        announce(5)
        ev = wait_trace(d, "create udp socket (port=63877)")
        assert ("S", 1) in ev, ev                            # the client shows idle
        assert b"start_upgrade" in traces(ev)
        assert bed.wait(lambda: bound(63877), 3), "no listener on 63877"
        assert not bound(63873) and not bound(63878)
        assert not p.tcp_conns or bed.wait(lambda: not p.tcp_conns, 3), "link not closed"
        refuses(d, b"UPDT: updating Zorvet Core ...")
        send(63877, "udpinit")
        line = "下载文件: 50%% done %s %n 100%"
        send(63877, line)
        ev = pump(d, 500)
        assert messages(ev) == [(NOTICE, line.encode("gbk"))], ev
        send(63877, "UPDATED")
        ev = wait_trace(d, "updated")
        t = traces(ev)
        assert t.index(b"service back: 0") < t.index(b"updated"), t
        assert not [m for m in messages(ev) if m[0] >= 0x50000000], ev
        assert bed.wait(lambda: not bound(63877), 3), "listener left open"
        # Over, but the service is not running yet: no reconnect so far.
        pump(d, 1500)
        assert p.received(peer.CMD_INIT) == []
        r, ev = d.value("errno")
        assert r == NOT_CONNECTED, hex(r)
        service(True)
        wait_trace(d, "Zorvet_ReInit", 5000)
        assert reconnected(), [k.command for k in p.received()]
        r, _ = d.value("errno")
        assert r == 0, hex(r)
        r, _ = d.call("link")
        assert r[:3] == ["connected=1", "upgrade=0", "signal=3"], r


@case
def index_0_listens_on_63873_and_failed_keeps_refusing():
    service(True)
    with driver() as d:
        service(False)
        announce(0)
        wait_trace(d, "create udp socket (port=63873)")
        assert bed.wait(lambda: bound(63873), 3)
        send(63873, "udpinit")
        send(63873, "FAILED")
        ev = wait_trace(d, "failed")
        assert (FAILED, b"Failed to upgrade Zorvet Core version") in messages(ev), ev
        assert b"service back: 1" in traces(ev)
        assert bed.wait(lambda: not bound(63873), 3)
        service(True)
        ev = pump(d, 2500)                                   # REINIT_TIMER ticks, in vain
        assert p.received(peer.CMD_INIT) == [], "reconnected after a failed upgrade"
        refuses(d, b"UPDT: updating Zorvet Core ...")
        r, ev = d.value("init")
        assert r == REFUSED, hex(r)


@case
def no_datagram_ends_both_waits_with_a_timeout():
    service(True)
    with driver(first=800, second=1500) as d:
        service(False)
        announce(2)
        t0 = time.time()
        ev = wait_trace(d, "failed", 15000)
        took = time.time() - t0
        assert (TIMEOUT, b"Timeout on upgrading Zorvet Core version") in messages(ev), ev
        assert 2.2 <= took < 8, took                         # 0.8 s + 1.5 s, then the end
        refuses(d, b"UPDT: updating Zorvet Core ...")
        r, _ = d.call("link")
        assert r == ["connected=0", "upgrade=1", "signal=0", "listener=closed"], r


@case
def service_running_when_the_second_wait_starts_is_success_whatever_was_said():
    service(True)
    with driver(first=10000, second=10000) as d:
        announce(3)
        wait_trace(d, "create udp socket (port=63875)")
        t0 = time.time()                                     # the first wait starts
        assert bed.wait(lambda: bound(63875), 3)            # the trace comes before the bind
        send(63875, "failed")                                # ends the first wait
        ev = wait_trace(d, "updated")
        assert time.time() - t0 < 10, "updated only after the first wait's 10 s"
        assert not [m for m in messages(ev) if m[0] >= 0x50000000], ev
        wait_trace(d, "Zorvet_ReInit", 4000)
        assert reconnected()
        r, _ = d.value("errno")
        assert r == 0, hex(r)


# ---- client and library upgrades --------------------------------------------------

@case
def client_flag_alone_asks_for_the_client_upgrade():
    service(True)
    with driver() as d:
        announce(4, core=0, gui=1, dll=1)
        ev = pump(d, 500)
        assert messages(ev)[-1] == (UPGRADE_GUI, b"upgrade Zorvet GUI version"), ev
        assert not any(t.startswith(b"create udp socket") for t in traces(ev))
        refuses(d, b"UPDT: Please update Zorvet GUI")
        pump(d, 1500)
        assert p.received(peer.CMD_INIT) == []


@case
def core_upgrade_with_client_flag_ends_asking_for_the_client_upgrade():
    service(True)
    with driver(first=300, second=3000) as d:
        announce(6, gui=1, dll=1)
        ev = wait_trace(d, "service back: 0")
        ev += pump(d, 300)
        assert (UPGRADE_GUI, b"Please upgrade Zorvet GUI version") in messages(ev), ev
        assert b"updated" not in traces(ev)
        refuses(d, b"UPDT: Please update Zorvet GUI")
        pump(d, 2000)                                        # no reconnect in state 3
        assert p.received(peer.CMD_INIT) == []


@case
def core_upgrade_with_library_flag_ends_asking_for_the_library_upgrade():
    service(True)
    with driver(first=300, second=3000) as d:
        announce(6, dll=1)
        ev = wait_trace(d, "service back: 0")
        ev += pump(d, 300)
        assert (UPGRADE_DLL, b"Please upgrade Zorvet DLL version") in messages(ev), ev
        refuses(d, b"UPDT: Please update Zorvet DLL")


# ---- bad input and a second announcement ------------------------------------------------

@case
def ports_of_client_indexes_never_wrap():
    service(True)
    # (value in the header, the port the listener takes or None, the port a
    # wrap-around would have taken when it can be checked)
    table = [(1663, 65535, None), (0xFFFFFFFF, 63873, None), (1664, None, None),
             (0x7FFFFFFF, None, 63871)]
    # The listener lives through the first wait only (the service runs): make it
    # long enough that a loaded machine still sees it; "updated" ends it early.
    with driver(first=4000, second=3000) as d:
        for value, port, wrapped in table:
            announce(value)
            ev = wait_trace(d, "start_upgrade")
            if port:
                assert bed.wait(lambda: bound(port), 3), (value, port, traces(ev + pump(d, 100)))
                send(port, "updated")
            elif wrapped:
                time.sleep(0.3)
                assert not bound(wrapped), (value, wrapped)
            ev += wait_trace(d, "Zorvet_ReInit", 8000)
            t = traces(ev)
            assert b"service back: 0" in t, (value, t)
            assert (port is None) == any(b"gives no port" in x for x in t), (value, t)
            assert reconnected(), value
            p.forget()
            d.call("forget")


@case
def long_datagrams_are_cut_on_a_character_boundary():
    service(True)
    with driver() as d:
        service(False)
        announce(5)
        wait_trace(d, "create udp socket (port=63877)")
        assert bed.wait(lambda: bound(63877), 3)
        send(63877, "udpinit")
        odd = "ab" + "下" * 3000                               # 6002 bytes: past the read
        even = "a" + "载" * 1200                              # 2401 bytes: past a message
        for text in (odd, even):
            send(63877, text)
        send(63877, "tail line")
        ev = pump(d, 800)
        got = [m[1] for m in messages(ev) if m[0] == NOTICE]
        assert len(got) == 3, [len(g) for g in got]
        assert got[0] == odd.encode("gbk")[:1022], len(got[0])   # 1023 would split a character
        assert got[1] == even.encode("gbk")[:1023], len(got[1])
        assert got[2] == b"tail line"
        for g in got:
            g.decode("gbk")
        send(63877, b"updated\0trailing")                    # not the whole word: a progress line
        send(63877, b"")
        ev = pump(d, 500)
        assert messages(ev) == [(NOTICE, b"updated")], ev
        r, _ = d.call("link")
        assert r[1:3] == ["upgrade=1", "signal=1"], r
        send(63877, "failed")
        wait_trace(d, "failed")


@case
def a_second_announcement_while_the_worker_runs_keeps_the_first_listener():
    service(True)
    with driver(first=5000, second=5000) as d:
        service(False)
        d.call("hold", 800)                                  # the link stays open a little longer
        announce(5)
        announce(7, gui=1)                                   # same upgrade, now with the client flag
        ev = wait_trace(d, "create udp socket (port=63877)")
        assert b"upgrade watch already running (index 7)" in traces(ev), traces(ev)
        assert sum(t.startswith(b"create udp socket") for t in traces(ev)) == 1, traces(ev)
        assert bed.wait(lambda: bound(63877), 3)
        send(63877, "udpinit")
        time.sleep(0.3)
        assert bound(63877) and not bound(63879)
        send(63877, "步骤 2")
        ev = pump(d, 400)
        assert (NOTICE, "步骤 2".encode("gbk")) in messages(ev), ev
        send(63877, "updated")
        ev = wait_trace(d, "service back: 0")
        ev += pump(d, 300)
        assert (UPGRADE_GUI, b"Please upgrade Zorvet GUI version") in messages(ev), ev
        refuses(d, b"UPDT: Please update Zorvet GUI")


@case
def the_process_ends_while_the_worker_waits():
    service(True)
    d = driver()
    service(False)
    announce(5)
    wait_trace(d, "create udp socket (port=63877)")
    d.close()
    assert d.proc.returncode == 0, d.proc.returncode


p.stop()
finish()
