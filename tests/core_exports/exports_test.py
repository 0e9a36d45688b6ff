"""Every export of Zorvet_Core.dll, loaded by name by a Windows program, against
the scripted service on 127.0.0.1:63872 (the registered ZorvetDaemon runs idle,
so the script owns the port): results, callbacks and the bytes the service got.
The internal requests run through the driver that links the library."""
import os
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peer  # noqa: E402
import zorvet  # noqa: E402
from driver import Driver, case, finish, hx, messages, states, traces, unhex  # noqa: E402

NOT_CONNECTED = 0x50000A0A
UPGRADE = 0x50000A0B
RUN_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Run"

bed = zorvet.bed()
p = peer.Peer().start()


def requests(proto="tcp"):
    """Commands the service received, registrations and keep-alives left out."""
    return [k.command for k in p.received(proto=proto)
            if k.command not in (peer.CMD_REGISTER, peer.CMD_KEEP_ALIVE)]


def connected(d):
    """A driver connected through Zorvet_Init; the peer's record starts empty."""
    p.state = 1
    r, _ = d.value("init")
    assert r == 1, hex(r)  # the service's state: idle
    assert p.wait_registered(5)
    p.forget()
    return d


def tcp_closed(timeout=5):
    return bed.wait(lambda: not p.tcp_conns, timeout)


# ---- Zorvet_Init while the service is not running -----------------------------------

assert bed.service_state() == 1, "ZorvetDaemon should be registered and stopped"


@case
def init_service_stopped_gives_501A0A01_and_sends_nothing():
    with Driver(bed) as d:
        r, ev = d.value("init")
        assert r == 0x501A0A01, hex(r)
        assert messages(ev) == []          # a trace only
    assert p.received() == []


@case
def init_service_stopped_with_daemon_updater_window_gives_50000A0B():
    with Driver(bed) as d:
        d.call("updaterwin")
        r, ev = d.value("init")
        assert r == UPGRADE, hex(r)
        assert messages(ev) == [(UPGRADE, b"INIT: Updater is running")]
    assert p.received() == []


assert bed.start_service("-idle"), "ZorvetDaemon -idle did not start"


@case
def init_without_message_callback_fails_before_anything_else():
    with Driver(bed) as d:
        r, ev = d.value("init", "-", "nomsg")
        assert r == NOT_CONNECTED and ev == [], (hex(r), ev)
        assert p.received() == []
        # With callbacks: the error memory is reset and the status check reports.
        r, ev = d.value("init", "-", "nostate")
        assert r == NOT_CONNECTED
        assert messages(ev) == [(NOT_CONNECTED, b"INIT: none status callback set")]
        # No message callback again: the stored one stays, and the error memory was
        # not reset, so the repeated code is not passed on.
        r, ev = d.value("init", "-", "nomsg")
        assert r == NOT_CONNECTED and messages(ev) == [], ev
        assert p.received() == []


@case
def init_registers_sends_config_and_a_second_init_sends_nothing():
    p.forget()
    with Driver(bed) as d:
        r, ev = d.value("init", hx("redirect.example"))
        assert r == 1 and messages(ev) == [], (r, ev)
        udp = p.wait_for(peer.CMD_REGISTER_UDP, proto="udp")
        tcp = p.wait_for(peer.CMD_REGISTER, proto="tcp")
        init = p.wait_for(peer.CMD_INIT, proto="tcp")
        for reg in (udp, tcp):
            assert reg.payload.startswith(b"APP KEY:client-") and reg.payload[15:].isdigit(), reg
            assert reg.result == 0x1071024B and reg.value == 0 and reg.marker == 1001
        assert tcp.payload == udp.payload
        assert init.prefix == 24 + 52 and init.payload == peer.init_config("redirect.example")
        assert [k.command for k in p.received(proto="tcp")] == [peer.CMD_REGISTER, peer.CMD_INIT]
        p.forget()
        r, ev = d.value("init")
        assert r == 0 and ev == [], (r, ev)
        time.sleep(0.3)
        assert p.received() == []


@case
def init_reply_5_is_returned_and_leaves_the_link_closed():
    p.on(peer.CMD_INIT, result=5, times=1)
    with Driver(bed) as d:
        r, _ = d.value("init")
        assert r == 5
        assert tcp_closed(), "TCP connection still open"
        p.forget()
        r, ev = d.value("errno")
        assert r == NOT_CONNECTED
        p.push_status(3)                    # the UDP socket is closed too
        _, ev = d.call("pump", 300)
        assert states(ev) == [] and p.received() == []


@case
def init_without_reply_gives_50000A0A_and_closes():
    p.on(peer.CMD_INIT, fault="silence", times=1)
    with Driver(bed) as d:
        r, _ = d.value("init")
        assert r == NOT_CONNECTED, hex(r)
        assert tcp_closed()
        r, _ = d.value("init")              # not connected: it tries again
        assert r == 1


# ---- the request exports -------------------------------------------------------------

@case
def start_sends_the_login_record_and_states_reach_the_callback():
    with connected(Driver(bed)) as d:
        r, _ = d.value("start", hx("demo_user"), hx("demo_pass"), 0, 4)
        assert r == 0
        k = p.wait_for(peer.CMD_START)
        assert k.prefix == 24 + 180
        assert k.payload == peer.login_record("demo_user", "demo_pass", 0, 4)
        r, ev = d.wait("waitstate", 3, ms=5000)
        assert r == ["1"] and states(ev) == [2, 3], ev
        p.on(peer.CMD_START, result=0x50130209, times=1)
        r, _ = d.value("start", hx("x"), hx("y"), 0, 1)
        assert r == 0x50130209
        d.call("stop")
        assert p.wait_for(peer.CMD_STOP)
        assert states(d.wait("waitstate", 1, ms=5000)[1]) == [4, 1]


@case
def start_auto_account_needs_a_callback_and_gets_the_account():
    with connected(Driver(bed)) as d:
        r, ev = d.value("start", "-", "-", 1, 1, "nocb")
        assert r == NOT_CONNECTED
        assert messages(ev) == [(NOT_CONNECTED, b"INIT: none account callback set")]
        assert requests() == []
        r, _ = d.value("start", "-", "-", 1, 1)
        assert r == 0
        r, ev = d.wait("waitstate", 3, ms=5000)
        assert ("C", peer.DEMO_USER, peer.DEMO_PASS) in ev, ev


@case
def start_without_auto_account_clears_the_stored_callback():
    with connected(Driver(bed)) as d:
        p.states = False
        try:
            d.value("start", "-", "-", 1, 1)         # stores the callback
            p.push_account()
            _, ev = d.call("pump", 300)
            assert [e for e in ev if e[0] == "C"] == [("C", peer.DEMO_USER, peer.DEMO_PASS)], ev
            d.value("start", hx("u"), hx("p"), 0, 1)  # a callback given, but AutoAccount 0
            p.push_account()
            _, ev = d.call("pump", 300)
            assert [e for e in ev if e[0] == "C"] == [], ev
        finally:
            p.states = True


@case
def errno_corever_and_their_failures():
    with connected(Driver(bed)) as d:
        p.on(peer.CMD_ERRNO, result=1234, times=1)
        assert d.value("errno")[0] == 1234
        p.on(peer.CMD_ERRNO, fault="silence", times=1)
        assert d.value("errno")[0] == 0
        assert d.value("corever")[0] == peer.SERVICE_VERSION
        r, _ = d.call("coreverstr")
        assert r == ["1", hx("1.7.2.0301")], r
        p.on(peer.CMD_GET_CORE_VERSION, fault="magic", times=1)
        assert d.value("corever")[0] == 0x50000A0D
        assert requests() == [peer.CMD_ERRNO, peer.CMD_ERRNO, peer.CMD_GET_CORE_VERSION,
                              peer.CMD_GET_CORE_VERSION, peer.CMD_GET_CORE_VERSION]


@case
def library_version_and_disconnected_version_string():
    p.forget()
    with Driver(bed) as d:
        assert d.value("dllver")[0] == 0x1071024B
        assert d.call("dllverstr")[0] == ["1", hx("1.7.1.0587")]
        # Not connected: 0 and the buffer as it was.
        assert d.call("coreverstr")[0] == ["0", hx("untouched")]
        assert d.value("corever")[0] == NOT_CONNECTED
        for cmd, want in (("errno", NOT_CONNECTED), ("proccount", NOT_CONNECTED),
                          ("prockill", NOT_CONNECTED)):
            assert d.value(cmd)[0] == want, cmd
        assert d.call("start", "-", "-", 0, 1)[0] == ["%08x" % NOT_CONNECTED]
        assert d.call("redinfo")[0] == ["0", "00000000", "00000000"]
        assert d.call("query")[0][0] == "0"
        assert d.call("procinfo", 0)[0] == ["null"]
        d.call("stop")
        d.call("clear")
    assert p.received() == []


@case
def red_info_and_query_data_need_their_exact_sizes():
    with connected(Driver(bed)) as d:
        assert d.call("redinfo")[0] == ["1", "0100007f", "%08x" % 3724]
        p.on(peer.CMD_GET_RED_INFO, payload=b"1234567", times=1)
        assert d.call("redinfo")[0] == ["0", "00000000", "00000000"]
        q = peer.query_data(ID=77, IP="10.8.0.6", Recv=5, Out=6, RecvRate=1.5)
        p.on(peer.CMD_GET_QUERY_DATA, payload=q, times=1)
        assert d.call("query")[0] == ["1", q.hex()]
        for n in (63, 65):
            p.on(peer.CMD_GET_QUERY_DATA, payload=q[:n] + b"\0" * (n - 64 if n > 64 else 0),
                 times=1)
            assert d.call("query")[0] == ["0", "ee" * 64], n


@case
def conflicting_programs_count_list_and_kill():
    with connected(Driver(bed)) as d:
        assert d.value("proccount")[0] == 2
        r, _ = d.call("procinfo", 2)
        assert r[0] == "list"
        got = peer.parse_proc_infos(unhex(r[1]))
        assert [(g["Pid"], g["Path"].decode(), g["Name"].decode()) for g in got] == peer.DEMO_PROCS
        assert requests() == [peer.CMD_PROC_GET_COUNT, peer.CMD_PROC_GET_COUNT, peer.CMD_PROC_GET_INFO]
        p.forget()
        # The count fell between the two requests: a reply longer than the block is refused.
        p.on(peer.CMD_PROC_GET_COUNT, result=1, times=1)
        assert d.call("procinfo", 1)[0] == ["null"]
        # Fewer records than counted are fine.
        p.on(peer.CMD_PROC_GET_COUNT, result=3, times=1)
        r, _ = d.call("procinfo", 3)
        assert r[0] == "list" and unhex(r[1])[624:] == b"\0" * 312
        p.forget()
        # No programs: null, and neither the list request nor an allocation.
        p.on(peer.CMD_PROC_GET_COUNT, result=0, times=1)
        assert d.call("procinfo", 0)[0] == ["null"]
        assert requests() == [peer.CMD_PROC_GET_COUNT]
        p.on(peer.CMD_PROC_KILL, result=2, times=1)
        assert d.value("prockill")[0] == 2
        assert d.value("proccount")[0] == 0


def registry_request():
    k = p.wait_for(peer.CMD_SET_REGISTRY_VALUE)
    p.forget()
    return k


@case
def set_registry_value_request_byte_by_byte():
    with connected(Driver(bed)) as d:
        data = b"C:\\Program Files\\ZORVET\\OVIK\\ovik_acc.exe\0"
        r, _ = d.call("setreg", 0x80000002, hx(RUN_KEY), hx("OVIK"), 0, 1, hx(data), len(data))
        assert r == ["0"], r
        k = registry_request()
        n = len(data)
        want = (struct.pack("<5I", 0x80000002, 0, 0, 1, n) + peer._fixed(RUN_KEY, 261) +
                peer._fixed("OVIK", 261) + data + b"\0\0")
        assert k.payload == want and k.prefix == 24 + 544 + n
        # A delete: neither data nor length needed; type and length 0.
        r, _ = d.call("setreg", 0x80000002, hx(RUN_KEY), hx("OVIK"), 1, 1, "-", 0)
        assert r == ["0"], r
        k = registry_request()
        assert k.payload == struct.pack("<5I", 0x80000002, 0, 1, 0, 0) + \
            peer._fixed(RUN_KEY, 261) + peer._fixed("OVIK", 261) + b"\0\0"
        # Names are cut to 260 characters; no subkey gives an empty one.
        r, _ = d.call("setreg", 0x80000001, "-", hx("N" * 300), 1, 0, "-", 0)
        k = registry_request()
        assert k.payload[20:281] == b"\0" * 261 and k.payload[281:542] == b"N" * 260 + b"\0"
        # The service's answer is the result.
        p.on(peer.CMD_SET_REGISTRY_VALUE, result=5, times=1)
        assert d.call("setreg", 0x80000002, hx(RUN_KEY), hx("OVIK"), 1, 0, "-", 0)[0] == ["5"]
        p.forget()


@case
def set_registry_value_refusals_and_failures():
    with connected(Driver(bed)) as d:
        bad = [
            (0, hx(RUN_KEY), hx("OVIK"), 1, 0, "-", 0),          # root 0
            (0, hx(RUN_KEY), hx("OVIK"), 0, 1, hx("x"), 1),
            (0x80000002, hx(RUN_KEY), "-", 1, 0, "-", 0),        # no name, delete
            (0x80000002, hx(RUN_KEY), "-", 0, 1, hx("x"), 1),    # no name, set
            (0x80000002, hx(RUN_KEY), hx("OVIK"), 0, 1, "-", 4),  # set without data
            (0x80000002, hx(RUN_KEY), hx("OVIK"), 0, 1, hx("x"), 0),  # set, length 0
            (0x80000002, hx(RUN_KEY), hx("OVIK"), 0, 3, hx(b"\1" * 4553), 4553),  # over a packet
        ]
        for args in bad:
            assert d.call("setreg", *args)[0] == ["87"], args
        assert requests() == []
        # The largest request fits one 5120-byte packet exactly.
        r, _ = d.call("setreg", 0x80000002, hx(RUN_KEY), hx("Big"), 0, 3, hx(b"\1" * 4552), 4552)
        assert r == ["0"]
        k = registry_request()
        assert k.prefix == 5120 and len(k.payload) == 544 + 4552
        # No reply: an error code (ERROR_TIMEOUT), never 0.
        p.on(peer.CMD_SET_REGISTRY_VALUE, fault="silence", times=1)
        r, _ = d.call("setreg", 0x80000002, hx(RUN_KEY), hx("OVIK"), 1, 0, "-", 0)
        assert r == ["1460"], r
        d.call("clear")
        assert tcp_closed()
        p.forget()
        # Not connected: nothing can be sent (ERROR_NOT_CONNECTED).
        r, _ = d.call("setreg", 0x80000002, hx(RUN_KEY), hx("OVIK"), 1, 0, "-", 0)
        assert r == ["2250"], r
        assert requests() == []


@case
def stop_and_clear_send_their_requests_and_clear_closes():
    with connected(Driver(bed)) as d:
        d.call("stop")
        assert requests() == [peer.CMD_STOP]
        p.forget()
        d.call("clear")
        assert requests() == [peer.CMD_STOP, peer.CMD_CLEAR]
        assert tcp_closed()
        p.forget()
        assert d.value("errno")[0] == NOT_CONNECTED
        d.call("clear")
        assert p.received() == []
        assert d.value("init")[0] == 1       # connects again


@case
def message_arriving_inside_a_pumping_callback_gets_its_own_buffer():
    with connected(Driver(bed)) as d:
        d.call("nest", 400)
        p.push_message(0x30170004, "outer text, longer than the inner one")
        time.sleep(0.05)
        p.push_message(0x30000001, "inner")
        _, ev = d.call("pump", 1000)
        assert messages(ev) == [(0x30000001, b"inner"),
                                (0x30170004, b"outer text, longer than the inner one")], ev


@case
def close_link_message_and_upgrade_guards():
    with connected(Driver(bed)) as d:
        p.push_message(0x30170004, "conflict")
        p.push_message(0x401A0A05, "bye")
        _, ev = d.call("pump", 500)
        assert messages(ev) == [(0x30170004, b"conflict"), (0x401A0A05, b"bye")], ev
        assert tcp_closed()
        assert d.value("errno")[0] == NOT_CONNECTED
    with connected(Driver(bed)) as d:
        p.push_latest_version(4, 0x1072012D, 0x10710258, 0x1073008C, dll_flag=1)
        _, ev = d.call("pump", 500)
        assert messages(ev) == [
            (0x30000000, b"DLL: The latest version infomation: Core 1.7.2.0301, DLL 1.7.1.0600, "
                         b"GUI 1.7.3.0140 index 4"),
            (0x301B0003, b"upgrade Zorvet DLL version")], ev
        notice = (0x301B0001, b"UPDT: Please update Zorvet DLL")
        for cmd, want in (("errno", UPGRADE), ("corever", UPGRADE), ("prockill", UPGRADE),
                          ("init", UPGRADE)):
            r, ev = d.value(cmd)
            assert r == want and messages(ev) == [notice], (cmd, ev)
        r, ev = d.call("start", "-", "-", 0, 1)
        assert r == ["%08x" % UPGRADE] and messages(ev) == [notice]
        for cmd in ("redinfo", "query"):
            r, ev = d.call(cmd)
            assert r[0] == "0" and messages(ev) == [notice], (cmd, ev)
        r, ev = d.call("proccount")
        assert r == ["00000000"] and ev == []
        r, ev = d.call("procinfo", 0)
        assert r == ["null"] and ev == []
        for cmd in ("stop", "clear"):
            assert messages(d.call(cmd)[1]) == [notice]
        assert requests() == []


# ---- internal requests (the driver that links the library) ----------------------------

@case
def internal_requests_byte_by_byte():
    with connected(Driver(bed, "core_internal_driver.exe")) as d:
        assert d.call("userpass")[0] == ["1", hx(peer.DEMO_USER), hx(peer.DEMO_PASS)]
        assert d.call("remoteinfo")[0] == ["1", "0100007f", "%08x" % 3724]
        assert d.call("certinfo", 64)[0] == ["1", hx("demo certificate"), "guard=1"]
        assert d.value("serviceindex")[0] == 1
        assert d.call("transdata", 5, 6)[0] == ["1"]
        assert d.call("transband")[0] == ["1", "0100007f", "%08x" % 3724]
        assert d.call("initquery", hx(b"\7" * 64), 9)[0] == ["1"]
        got = p.received(proto="tcp")
        assert [(k.command, k.value, k.result, k.payload) for k in got] == [
            (peer.CMD_GET_USER_PASS, 0, 0, b""), (peer.CMD_GET_REMOTE_INFO, 0, 0, b""),
            (peer.CMD_GET_CERT_INFO, 0, 0, b""), (peer.CMD_GET_SERVICE_INDEX, 0, 0, b""),
            (peer.CMD_SET_TRANS_DATA, 5, 6, b""), (peer.CMD_SET_TRANS_BAND, 0, 0, b""),
            (peer.CMD_INIT_QUERY, 0, 9, b"\7" * 64)]
        assert all(k.prefix == 24 + len(k.payload) for k in got)


@case
def internal_replies_never_overrun_their_buffers():
    with connected(Driver(bed, "core_internal_driver.exe")) as d:
        cases = [
            # get_user_pass: a 40-byte work area; the lengths must add up
            (peer.CMD_GET_USER_PASS, peer.account_payload("n" * 16, "p" * 16), "userpass",
             ["1", hx("n" * 16), hx("p" * 16)]),
            (peer.CMD_GET_USER_PASS, peer.account_payload("n" * 17, "p" * 16), "userpass",
             ["0", "-", "-"]),
            (peer.CMD_GET_USER_PASS, peer.account_payload("name", "pass") + b"x", "userpass",
             ["0", "-", "-"]),
            (peer.CMD_GET_USER_PASS, struct.pack("<II", 0xFFFFFFFF, 9) + b"12345678", "userpass",
             ["0", "-", "-"]),
            (peer.CMD_GET_USER_PASS, b"\1\0\0", "userpass", ["0", "-", "-"]),
            # get_cert_info: the reply and its NUL must fit the caller's buffer
            (peer.CMD_GET_CERT_INFO, b"c" * 15, "certinfo 16", ["1", hx("c" * 15), "guard=1"]),
            (peer.CMD_GET_CERT_INFO, b"c" * 16, "certinfo 16", ["0", "-", "guard=1"]),
            (peer.CMD_GET_CERT_INFO, b"c" * 4000, "certinfo 16", ["0", "-", "guard=1"]),
            (peer.CMD_GET_REMOTE_INFO, b"1234567", "remoteinfo", ["0", "00000000", "00000000"]),
            (peer.CMD_SET_TRANS_BAND, b"123456789", "transband", ["0", "00000000", "00000000"]),
        ]
        for cmd, payload, call, want in cases:
            p.on(cmd, payload=payload, times=1)
            r, _ = d.call(*call.split())
            assert r == want, (payload[:20], call, r)
        assert d.call("link")[0] == ["connected=1", "tcp=open", "udp=open"]


@case
def trace_lines_of_init_and_the_exports():
    with Driver(bed, "core_internal_driver.exe") as d:
        d.call("debug")
        # A 21-character host name has no NUL; the trace must stop at the field.
        r, ev = d.value("init", hx("h" * 21))
        assert r == 1
        t = traces(ev)
        want = b"VAR: INIT Var Hostname (%s), Regname (OVIK), Version (%d), PartnerID (119)" % (
            b"h" * 21, 0x1073008B)
        assert want in t, t
        assert t.index(b"FUNC: Zorvet_Init in") < t.index(b"FUNC: Zorvet_Init out with success.")
        p.on(peer.CMD_ERRNO, fault="silence", times=1)
        _, ev = d.call("errno")
        assert traces(ev) == [b"FUNC: Zorvet_ErrNo in", b"FUNC: Zorvet_ErrNo net error"], traces(ev)
        _, ev = d.call("errno")
        assert traces(ev)[0] == b"FUNC: Zorvet_ErrNo in"
        assert traces(ev)[-1] == b"FUNC: Zorvet_ErrNo out with success."
        p.on(peer.CMD_PROC_GET_COUNT, fault="magic", times=1)
        _, ev = d.call("proccount")
        assert traces(ev)[-1] == b"FUNC: Zorvet_Proc_GetCount out", traces(ev)
        d.call("clear")
        _, ev = d.call("start", "-", "-", 0, 1)
        assert traces(ev) == [b"FUNC: Zorvet_Start in", b"INIT: Zorvet_Init not called or failed.",
                              b"FUNC: Zorvet_Start out with %d" % NOT_CONNECTED], traces(ev)


# ---- Zorvet_Init while the service is missing ----------------------------------------

@case
def init_service_missing_gives_501A0A00():
    assert bed.stop_service()
    bed.sc("delete", "ZorvetDaemon")
    assert bed.wait(lambda: bed.service_state() == 0, 10)
    p.forget()
    with Driver(bed) as d:
        r, ev = d.value("init")
        assert r == 0x501A0A00, hex(r)
        assert messages(ev) == []
    assert p.received() == []


p.stop()
finish()
