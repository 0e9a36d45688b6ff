"""The stand-in ZorvetDaemon under Wine's service manager: it runs and stops on
request, answers every request with the sizes the library insists on, walks the
connect and stop state sequences by UDP, performs registry writes in the prefix
and obeys the control channel's faults."""
import socket
import struct
import sys
import time

import zorvet
from wireclient import WireClient, peer

RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
failures = []


def case(fn):
    try:
        fn()
        print("ok   ", fn.__name__)
    except Exception as e:  # noqa: BLE001 - report every case, then fail
        failures.append(fn.__name__)
        print("FAIL ", fn.__name__, repr(e))
    return fn


bed = zorvet.bed()
assert bed.service_state() == 1, "service should be registered and stopped"
assert bed.start_service("-gap", "200"), "service did not reach SERVICE_RUNNING"
assert bed.wait(lambda: bed.control("ping") == "OK pong", 5), "control channel not up"
c = WireClient()


@case
def replies_have_the_sizes_the_library_requires():
    assert c.request(peer.CMD_INIT, peer.init_config())[2] == 1       # idle
    assert c.request(peer.CMD_GET_CORE_VERSION)[2] == peer.SERVICE_VERSION
    cmd, _, _, q = c.request(peer.CMD_GET_QUERY_DATA)
    assert cmd == peer.CMD_GET_QUERY_DATA and len(q) == 64
    qd = peer.parse_query_data(q)
    assert qd["ID"] and qd["IP"] == b"" and qd["ConnectTime"] == 0
    # A paid account by end date (0x80 with 0x10): the client shows its end date,
    # which lies ahead, so no expiry notice.
    assert qd["Status"] & 0xB8 == 0x90, hex(qd["Status"])
    end = time.mktime(time.strptime(qd["Date"].decode(), "%Y-%m-%d"))
    assert 7 * 86400 < end - time.time() < 400 * 86400 and qd["Time"] > 0, qd
    for cmd in (peer.CMD_GET_RED_INFO, peer.CMD_GET_REMOTE_INFO, peer.CMD_SET_TRANS_BAND):
        assert len(c.request(cmd)[3]) == 8, cmd
    n = c.request(peer.CMD_PROC_GET_COUNT)[2]
    info = c.request(peer.CMD_PROC_GET_INFO)[3]
    assert n == 2 and len(info) == n * 312
    assert [p["Name"] for p in peer.parse_proc_infos(info)] == [b"fastnet.exe", b"speedbox.exe"]
    up = c.request(peer.CMD_GET_USER_PASS)[3]
    l1, l2 = struct.unpack_from("<II", up)
    assert len(up) == 8 + l1 + l2 and up[8:8 + l1] == peer.DEMO_USER
    assert c.request(peer.CMD_GET_CERT_INFO)[3]
    assert c.request(peer.CMD_GET_SERVICE_INDEX)[2] == 1
    assert c.request(peer.CMD_SET_TRANS_DATA, value=5, result=6)[0] == peer.CMD_SET_TRANS_DATA
    assert c.request(peer.CMD_INIT_QUERY, b"\0" * 64)[0] == peer.CMD_INIT_QUERY
    # No reply to a keep-alive: the next read is the next request's reply.
    c.send(peer.CMD_KEEP_ALIVE)
    assert c.request(peer.CMD_ERRNO)[:3] == (peer.CMD_ERRNO, 0, 0)


@case
def only_the_demo_account_logs_in():
    for name, password in (("demo_user", "nope"), ("other", "demo_pass"), ("qx.other", "demo_pass")):
        r = c.request(peer.CMD_START, peer.login_record(name, password))[2]
        assert r == 0x50130208, (name, hex(r))  # a code the client has a text for
        cmd, _, code, text = c.notification()
        assert (cmd, code) == (peer.NTF_MESSAGE, r) and text
        assert c.request(peer.CMD_ERRNO)[2] == r
        assert c.request(peer.CMD_INIT, peer.init_config())[2] == 1
    # As the client program sends it: behind the partner prefix.
    assert c.request(peer.CMD_START, peer.login_record("qx.demo_user", "demo_pass"))[2] == 0
    assert [c.notification()[3] for _ in range(2)] == [peer.status_payload(2), peer.status_payload(3)]
    assert c.request(peer.CMD_ERRNO)[2] == 0
    assert c.request(peer.CMD_CLEAR)[0] == peer.CMD_CLEAR
    assert [c.notification()[3] for _ in range(2)] == [peer.status_payload(4), peer.status_payload(1)]


@case
def auto_account_login_connects_and_stop_disconnects():
    t0 = time.time()
    assert c.request(peer.CMD_START, peer.login_record(b"", b"", auto=1))[2] == 0
    seen = [c.notification() for _ in range(3)]
    assert seen[0][0] == peer.NTF_ACCOUNT
    assert seen[0][3] == peer.account_payload(peer.DEMO_USER, peer.DEMO_PASS)
    assert [(s[0], s[3]) for s in seen[1:]] == [(peer.NTF_STATUS, peer.status_payload(2)),
                                               (peer.NTF_STATUS, peer.status_payload(3))]
    assert time.time() - t0 >= 0.2  # the two steps are apart
    assert c.request(peer.CMD_INIT, peer.init_config())[2] == 3
    q1 = peer.parse_query_data(c.request(peer.CMD_GET_QUERY_DATA)[3])
    time.sleep(1.1)
    q2 = peer.parse_query_data(c.request(peer.CMD_GET_QUERY_DATA)[3])
    assert q1["IP"] == b"10.8.0.6" and q1["Start"] > 0
    assert q2["ConnectTime"] > q1["ConnectTime"]
    assert q2["Recv"] > q1["Recv"] and q2["Out"] > q1["Out"]
    assert c.request(peer.CMD_STOP)[0] == peer.CMD_STOP
    assert [c.notification()[3] for _ in range(2)] == [peer.status_payload(4), peer.status_payload(1)]
    assert peer.parse_query_data(c.request(peer.CMD_GET_QUERY_DATA)[3])["IP"] == b""


@case
def stop_while_connecting_never_reaches_connected():
    assert c.request(peer.CMD_START, peer.login_record())[2] == 0
    assert c.request(peer.CMD_STOP)[0] == peer.CMD_STOP
    seen = []
    try:
        while True:
            seen.append(struct.unpack("<I", c.notification(1.0)[3])[0])
    except socket.timeout:
        pass
    assert 3 not in seen and seen[-1:] == [1], seen
    assert c.request(peer.CMD_INIT, peer.init_config())[2] == 1


@case
def proc_kill_empties_the_list():
    bed.control("procs 3")
    assert c.request(peer.CMD_PROC_GET_COUNT)[2] == 3
    assert c.request(peer.CMD_PROC_KILL)[0] == peer.CMD_PROC_KILL
    assert c.request(peer.CMD_PROC_GET_COUNT)[2] == 0
    assert c.request(peer.CMD_PROC_GET_INFO)[3] == b""


def registry_request(root, subkey, name, op, typ, data, n=None):
    n = len(data) if n is None else n
    return (struct.pack("<5I", root, 0, op, typ, len(data) if op == 0 else 0) +
            peer._fixed(subkey, 261) + peer._fixed(name, 261) + data.ljust(n, b"\0") + b"\0\0")


@case
def registry_request_is_performed_in_the_prefix():
    path = rb'"C:\Program Files\ZORVET\OVIK\ovik_acc.exe"' + b"\0"
    req = registry_request(0x80000002, r"Software\Microsoft\Windows\CurrentVersion\Run", "OVIK", 0, 1, path)
    assert c.request(peer.CMD_SET_REGISTRY_VALUE, req)[2] == 0
    out = bed.reg_query_text(RUN_KEY, "OVIK")
    assert out and "ovik_acc.exe" in out, out
    req = registry_request(0x80000002, r"Software\Microsoft\Windows\CurrentVersion\Run", "OVIK", 1, 0, b"",
                           n=len(path))
    assert c.request(peer.CMD_SET_REGISTRY_VALUE, req)[2] == 0
    assert bed.reg_query_text(RUN_KEY, "OVIK") is None
    # Deleting what is not there gives the system's error; a bad root and a
    # request shorter than its header are refused.
    assert c.request(peer.CMD_SET_REGISTRY_VALUE, req)[2] == 2       # ERROR_FILE_NOT_FOUND
    bad = registry_request(0x12345678, "x", "y", 0, 1, b"z\0")
    assert c.request(peer.CMD_SET_REGISTRY_VALUE, bad)[2] == 87
    assert c.request(peer.CMD_SET_REGISTRY_VALUE, b"\0" * 100)[2] == 87
    lying = bytearray(registry_request(0x80000002, "Software\\x", "y", 0, 1, b"z\0"))
    lying[16:20] = struct.pack("<I", 4000)  # data length beyond the payload
    assert c.request(peer.CMD_SET_REGISTRY_VALUE, bytes(lying))[2] == 87


@case
def log_holds_the_raw_bytes_received():
    assert bed.control("log clear") == "OK"
    c.send(peer.CMD_ERRNO, value=7)
    c.read()
    ans = bed.control("log").split()
    assert ans[:2] == ["OK", "1"], ans
    assert ans[2] == "tcp:" + peer.build(peer.CMD_ERRNO, 7, prefix=True).hex()
    port = bed.control("udp").split()[1]
    assert int(port) == c.udp.getsockname()[1]


FAULTS = [
    # (rule, check of what arrives)
    ("fault=silence times=1", lambda: _no_reply()),
    ("fault=short times=1", lambda: _expect(lambda b: len(b) == 10)),
    ("fault=magic times=1", lambda: _expect(lambda b: struct.unpack_from("<I", b)[0] != peer.MAGIC
                                            and peer.parse(b)[2] == peer.CMD_ERRNO)),
    ("fault=other other=2012 times=1", lambda: (_expect(lambda b: peer.parse(b)[2] == 2012 and len(b) == 32),
                                                _expect(lambda b: peer.parse(b)[2] == peer.CMD_ERRNO))),
    ("fault=split times=1", lambda: _expect_split()),
    ("result=77 value=5 payload=abcd times=1",
     lambda: _expect(lambda b: peer.parse(b)[2:] == (peer.CMD_ERRNO, 2, 5, 77, b"\xab\xcd"))),
    ("delay=600 times=1", lambda: _expect_late(0.5)),
]


def _expect(pred):
    b = c.read()
    assert pred(b), b.hex()


def _no_reply():
    try:
        b = c.read(1.0)
    except socket.timeout:
        return
    raise AssertionError("unexpected reply " + b.hex())


def _expect_split():
    first = c.read()
    assert 0 < len(first) < 24, first.hex()
    rest = c.read()
    assert peer.parse(first + rest)[2] == peer.CMD_ERRNO


def _expect_late(seconds):
    t0 = time.time()
    _expect(lambda b: peer.parse(b)[2] == peer.CMD_ERRNO)
    assert time.time() - t0 >= seconds


@case
def control_rules_shape_the_reply():
    for rule, check in FAULTS:
        assert bed.control("on 2009 " + rule) == "OK", rule
        c.send(peer.CMD_ERRNO)
        try:
            check()
        except AssertionError as e:
            raise AssertionError("%s: %s" % (rule, e))
        # The rule was for one request only: the next reply is the default one.
        assert c.request(peer.CMD_ERRNO)[2] == 0, rule
    assert bed.control("on 2009 fault=bogus").startswith("ERR")
    assert bed.control("frobnicate").startswith("ERR")


@case
def close_and_reset_end_the_connection():
    global c
    for fault in ("close", "reset"):
        bed.control("on 2010 fault=%s times=1" % fault)
        c.send(peer.CMD_GET_CORE_VERSION)
        try:
            got = c.read()
        except ConnectionResetError:
            got = "reset"
        assert got == (b"" if fault == "close" else "reset"), (fault, got)
        c.close()
        c = WireClient()
        assert c.request(peer.CMD_GET_CORE_VERSION)[2] == peer.SERVICE_VERSION


@case
def pushed_notifications_reach_the_registered_address():
    payload = peer.latest_version_payload(0x1072012D, 0x1071024B, 0x1073008B)
    assert bed.control("push 1009 value=3 payload=" + payload.hex()) == "OK"
    assert c.notification() == (peer.NTF_LATEST_VERSION, 3, 0, payload)
    note = peer.text_note_payload(1, 5, "t", "m", "http://127.0.0.1/")
    assert bed.control("push 1006 payload=" + note.hex()) == "OK"
    assert c.notification() == (peer.NTF_TEXT_NOTE, 0, 0, note)


c.close()
assert bed.stop_service(), "service did not stop"
assert bed.start_service("-gap", "200"), "service did not start again"
assert bed.stop_service()
if failures:
    print("failed:", ", ".join(failures))
    sys.exit(1)
