"""Zorvet_Core.dll, loaded by name, against the stand-in ZorvetDaemon service
(not a scripted peer): init, start, the state notifications reaching
StateCallback, QueryData, stop and clear, and what the service received."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peer  # noqa: E402
import zorvet  # noqa: E402
from driver import Driver, case, finish, hx, states, unhex  # noqa: E402

bed = zorvet.bed()
assert bed.start_service("-gap", "200"), "ZorvetDaemon did not start"
assert bed.wait(lambda: bed.control("ping") == "OK pong", 5), "control channel not up"


def commands_received():
    """Commands of the TCP requests the service logged, in order."""
    words = bed.control("log").split()[2:]
    out = []
    for w in words:
        proto, raw = w.split(":", 1)
        b = bytes.fromhex(raw)
        if proto == "tcp" and len(b) >= 28:
            out.append(peer.parse(b[4:])[2])
    return [c for c in out if c != peer.CMD_KEEP_ALIVE]


@case
def connect_query_stop_clear():
    bed.control("log clear")
    with Driver(bed) as d:
        r, _ = d.value("init")
        assert r == 1, hex(r)                       # the service is idle
        r, _ = d.value("start", hx(peer.DEMO_USER), hx(peer.DEMO_PASS), 0, 1)
        assert r == 0, hex(r)
        r, ev = d.wait("waitstate", 3, ms=5000)
        assert r == ["1"] and states(ev) == [2, 3], ev
        r, _ = d.call("query")
        assert r[0] == "1"
        q = peer.parse_query_data(unhex(r[1]))
        assert q["ID"] and q["Status"] & 0x10 and q["IP"], q
        assert d.value("corever")[0] == peer.SERVICE_VERSION
        d.call("stop")
        r, ev = d.wait("waitstate", 1, ms=5000)
        assert r == ["1"] and states(ev) == [4, 1], ev
        d.call("clear")
        assert d.value("errno")[0] == 0x50000A0A   # the link is closed
    assert commands_received() == [peer.CMD_REGISTER, peer.CMD_INIT, peer.CMD_START,
                                   peer.CMD_GET_QUERY_DATA, peer.CMD_GET_CORE_VERSION,
                                   peer.CMD_STOP, peer.CMD_STOP, peer.CMD_CLEAR], commands_received()


bed.stop_service()
finish()
