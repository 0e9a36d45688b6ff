"""Scripted stand-in for the accelerator service, for tests that want to see and
steer every packet: listens on 127.0.0.1:63872 (TCP and UDP) in a background
thread, records what arrives, answers from a script and pushes notifications to
the UDP address that registered.

    import peer
    p = peer.Peer().start()                  # inside zorvet.bed()'s namespace
    p.on(peer.CMD_GET_QUERY_DATA, payload=b"x" * 63)   # a wrong-sized reply
    p.on(peer.CMD_ERRNO, fault="silence", times=1)     # no reply, once
    ... run the program under test ...
    pkt = p.wait_for(peer.CMD_INIT)           # Packet(proto, command, ...)
    p.push_status(3)
    p.stop()

Framing: TCP requests arrive behind a u32 length prefix (24 + payload); replies
and all UDP datagrams carry none. A reply is sent with one send call.
"""
import socket
import struct
import threading
import time

from zorvet import scaled

MAGIC = 0x0009BF07
MARKER = 1001
PORT = 63872
HEADER = struct.Struct("<6I")
MAX_READ = 5120

NTF_INFO = 1001
CMD_REGISTER_UDP = 1002
NTF_STATUS = 1003
NTF_MESSAGE = 1004
NTF_ACCOUNT = 1005
NTF_TEXT_NOTE = 1006
NTF_IMAGE_NOTE = 1007
NTF_LATEST_VERSION = 1009
NTF_INFO2 = 2001
CMD_REGISTER = 2002
CMD_INIT = 2005
CMD_START = 2006
CMD_STOP = 2007
CMD_CLEAR = 2008
CMD_ERRNO = 2009
CMD_GET_CORE_VERSION = 2010
CMD_GET_QUERY_DATA = 2011
CMD_GET_RED_INFO = 2012
CMD_PROC_GET_COUNT = 2013
CMD_PROC_GET_INFO = 2014
CMD_PROC_KILL = 2015
CMD_KEEP_ALIVE = 2017
CMD_SET_REGISTRY_VALUE = 2018
CMD_GET_USER_PASS = 2102
CMD_GET_REMOTE_INFO = 2103
CMD_GET_CERT_INFO = 2104
CMD_GET_SERVICE_INDEX = 2105
CMD_SET_TRANS_DATA = 2106
CMD_SET_TRANS_BAND = 2107
CMD_INIT_QUERY = 2108

LIBRARY_VERSION = 0x1071024B   # result field of both registrations
SERVICE_VERSION = 0x1072012D   # 1.7.2.0301, what 2010 answers by default
DEMO_USER = b"demo_user"
DEMO_PASS = b"demo_pass"
BAD_LOGIN = 0x50130208         # 2006 result for another name or password

FAULTS = ("silence", "short", "magic", "other", "close", "reset", "split")


# -- packets -------------------------------------------------------------------

def build(command, value=0, result=0, payload=b"", magic=MAGIC, marker=MARKER, prefix=False):
    """Header + payload; with prefix=True the u32 length in front (a TCP request)."""
    body = HEADER.pack(magic, marker, command, len(payload), value, result) + payload
    return struct.pack("<I", len(body)) + body if prefix else body


def parse(raw):
    """(magic, marker, command, length, value, result, payload) of one packet, or
    None when it is shorter than a header. The payload is what follows the header,
    cut to the length word."""
    if len(raw) < HEADER.size:
        return None
    h = HEADER.unpack_from(raw)
    return h + (raw[HEADER.size:HEADER.size + h[3]],)


class Packet:
    """One packet received: proto "tcp" or "udp", header fields, payload bytes,
    raw bytes (TCP: without the length prefix; prefix holds that word), the
    sender's address and the arrival time."""

    def __init__(self, proto, raw, addr, prefix=None):
        self.proto = proto
        self.raw = raw
        self.addr = addr
        self.prefix = prefix
        self.time = time.time()
        p = parse(raw)
        if p is None:
            self.magic = self.marker = self.command = self.length = self.value = self.result = None
            self.payload = b""
        else:
            (self.magic, self.marker, self.command, self.length, self.value, self.result,
             self.payload) = p

    @property
    def valid(self):
        return self.magic == MAGIC and self.length == len(self.payload)

    def __repr__(self):
        return "Packet(%s %s value=%s result=%s payload=%r)" % (
            self.proto, self.command, self.value, self.result, self.payload[:40])


# -- payloads of the records and notifications ------------------------------------

def _text(s):
    return s.encode("gbk") if isinstance(s, str) else bytes(s)


def _fixed(s, n):
    b = _text(s)[:n]
    return b + b"\0" * (n - len(b))


def init_config(hostname="127.0.0.1", regname="OVIK", version=0x1073008B, partner=119):
    """InitConfig, 52 bytes."""
    return _fixed(hostname, 21) + _fixed(regname, 23) + struct.pack("<II", version, partner)


def parse_init_config(b):
    return {"Hostname": b[0:21].split(b"\0")[0], "Regname": b[21:44].split(b"\0")[0],
            "Version": struct.unpack_from("<I", b, 44)[0],
            "PartnerID": struct.unpack_from("<I", b, 48)[0]}


def login_record(name=DEMO_USER, password=DEMO_PASS, auto=0, mask=1):
    """LoginRecord, 180 bytes."""
    return _fixed(name, 41) + _fixed(password, 131) + struct.pack("<II", auto, mask)


def parse_login_record(b):
    return {"UserName": b[0:41].split(b"\0")[0], "Password": b[41:172].split(b"\0")[0],
            "AutoAccount": struct.unpack_from("<I", b, 172)[0],
            "ServiceMask": struct.unpack_from("<I", b, 176)[0]}


def query_data(ID=10001, Status=0x10, Time=43200, Date="2027-12-31", IP="10.8.0.6",
               Start=0, ConnectTime=0, Recv=0, Out=0, RecvRate=0.0, OutRate=0.0):
    """QueryData, 64 bytes."""
    return (struct.pack("<III", ID, Status, Time) + _fixed(Date, 11) + _fixed(IP, 17) +
            struct.pack("<IIIIff", Start, ConnectTime, Recv, Out, RecvRate, OutRate))


def parse_query_data(b):
    ID, Status, Time = struct.unpack_from("<III", b, 0)
    Start, ConnectTime, Recv, Out, RecvRate, OutRate = struct.unpack_from("<IIIIff", b, 40)
    return {"ID": ID, "Status": Status, "Time": Time, "Date": b[12:23].split(b"\0")[0],
            "IP": b[23:40].split(b"\0")[0], "Start": Start, "ConnectTime": ConnectTime,
            "Recv": Recv, "Out": Out, "RecvRate": RecvRate, "OutRate": OutRate}


def proc_info(pid, path, name):
    """ProcInfo, 312 bytes."""
    return struct.pack("<II", 0, pid) + _fixed(path, 261) + _fixed(name, 43)


def parse_proc_infos(b):
    return [{"Pid": struct.unpack_from("<I", b, i + 4)[0],
             "Path": b[i + 8:i + 269].split(b"\0")[0], "Name": b[i + 269:i + 312].split(b"\0")[0]}
            for i in range(0, len(b) - 311, 312)]


def parse_registry_request(b):
    """RegistryValueRequest (544 + n bytes) as a dict; None when too short."""
    if len(b) < 544:
        return None
    root, _, op, typ, n = struct.unpack_from("<5I", b, 0)
    return {"root": root, "operation": op, "type": typ, "length": n,
            "subkey": b[20:281].split(b"\0")[0], "name": b[281:542].split(b"\0")[0],
            "data": b[542:542 + n]}


def status_payload(state):
    """NTF_STATUS: u32 state (1 idle, 2 connecting, 3 connected, 4 disconnecting)."""
    return struct.pack("<I", state)


def info_payload(number, text):
    """NTF_INFO: u32 number + text."""
    return struct.pack("<I", number) + _text(text)


def message_payload(text):
    """NTF_MESSAGE: the text (the StatusCode goes into the header's result)."""
    return _text(text)


def account_payload(name, password):
    """NTF_ACCOUNT / 2102 reply: u32 L1, u32 L2, name, password."""
    n, p = _text(name), _text(password)
    return struct.pack("<II", len(n), len(p)) + n + p


def text_note_payload(reg_id, seconds, title, text, url):
    """NTF_TEXT_NOTE: reg_id, seconds, T, M, U, then title, text, click URL."""
    t, m, u = _text(title), _text(text), _text(url)
    return struct.pack("<5I", reg_id, seconds, len(t), len(m), len(u)) + t + m + u


def image_note_payload(reg_id, seconds, image_url, url):
    """NTF_IMAGE_NOTE: reg_id, seconds, I, U, then image URL, click URL."""
    i, u = _text(image_url), _text(url)
    return struct.pack("<4I", reg_id, seconds, len(i), len(u)) + i + u


def latest_version_payload(core, dll, gui, core_flag=0, dll_flag=0, gui_flag=0):
    """LatestVersionInfo, 36 bytes (the client index goes into the header's value)."""
    return struct.pack("<9I", 0, 0, 0, core, dll, gui, core_flag, dll_flag, gui_flag)


DEMO_PROCS = [(3120, r"C:\Program Files\FastNet\fastnet.exe", "fastnet.exe"),
              (3288, r"C:\Tools\SpeedBox\speedbox.exe", "speedbox.exe")]


# -- the peer ----------------------------------------------------------------------

class Rule:
    def __init__(self, result=None, payload=None, value=None, reply=True, delay=0.0, fault=None,
                 other=CMD_GET_RED_INFO, raw=None, times=None):
        if fault is not None and fault not in FAULTS:
            raise ValueError("unknown fault %r" % fault)
        self.result, self.payload, self.value = result, payload, value
        self.reply, self.delay, self.fault, self.other = reply, delay, fault, other
        self.raw, self.times = raw, times


class Peer:
    """The scripted service. Defaults answer like the stand-in ZorvetDaemon does
    (state machine 1 -> 2 -> 3 on 2006 with the demo account, 3 -> 4 -> 1 on
    2007/2008, the demo account by 1005 for AutoAccount logins); set states=False
    to get no state notifications. With check_login=True, a name other than
    demo_user (or qx.demo_user, as the client sends it) or another password is
    refused like the stand-in does: BAD_LOGIN and a 1004 message."""

    def __init__(self, host="127.0.0.1", port=PORT, states=True, state_gap=0.2, check_login=False):
        self.host, self.port = host, port
        self.check_login = check_login
        self.states, self.state_gap = states, state_gap
        self.packets = []
        self.rules = {}
        self.udp_addr = None
        self.state = 1
        self.last_error = 0
        self._seq = 0
        self._target = None         # final state of the running state sequence
        self.procs = list(DEMO_PROCS)
        self.connect_start = 0
        self.registry = []          # RegistryValueRequest dicts seen by 2018
        self.tcp_conns = []
        self._cond = threading.Condition()
        self._stop = threading.Event()
        self._threads = []

    # lifecycle
    def start(self):
        """Binds both sockets and starts the threads; returns self."""
        self.udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.udp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.udp.bind((self.host, self.port))
        self.udp.settimeout(0.2)
        self.tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.tcp.bind((self.host, self.port))
        self.tcp.listen(8)
        self.tcp.settimeout(0.2)
        for fn in (self._udp_loop, self._accept_loop):
            t = threading.Thread(target=fn, daemon=True)
            t.start()
            self._threads.append(t)
        return self

    def stop(self):
        self._stop.set()
        for t in self._threads:
            t.join(2)
        for c in list(self.tcp_conns):
            try:
                c.close()
            except OSError:
                pass
        self.tcp.close()
        self.udp.close()

    def __enter__(self):
        return self.start()

    def __exit__(self, *a):
        self.stop()

    # script
    def on(self, command, **kw):
        """Overrides the reply to one command. Keywords: result, payload, value,
        reply=False (no reply), delay (seconds before replying), fault (one of
        FAULTS: silence, short = the first 10 bytes, magic = wrong magic, other =
        a packet of command `other` first, then the reply 0.1 s later, close,
        reset = RST, split = two pieces 0.1 s apart), raw (bytes sent instead of
        the reply), times (how many requests the rule serves, then it is gone)."""
        self.rules[command] = Rule(**kw)

    def clear(self, command=None):
        if command is None:
            self.rules.clear()
        else:
            self.rules.pop(command, None)

    # observing
    def received(self, command=None, proto=None):
        with self._cond:
            return [p for p in self.packets
                    if (command is None or p.command == command) and (proto is None or p.proto == proto)]

    def forget(self):
        """Drops the packets recorded so far."""
        with self._cond:
            self.packets = []

    def wait_for(self, command, timeout=10.0, proto=None, count=1):
        """The count-th packet of that command (waiting up to timeout, scaled), or None."""
        end = time.time() + scaled(timeout)
        with self._cond:
            while True:
                got = [p for p in self.packets
                       if p.command == command and (proto is None or p.proto == proto)]
                if len(got) >= count:
                    return got[count - 1]
                left = end - time.time()
                if left <= 0:
                    return None
                self._cond.wait(left)

    def wait_registered(self, timeout=10.0):
        """The registered UDP address once 1002 arrived, or None."""
        return self.udp_addr if self.wait_for(CMD_REGISTER_UDP, timeout) else None

    # notifications
    def notify(self, command, value=0, result=0, payload=b"", addr=None, raw=None):
        """Sends one datagram (no prefix) to the registered UDP address."""
        addr = addr or self.udp_addr
        if addr is None:
            raise RuntimeError("no UDP registration yet")
        self.udp.sendto(raw if raw is not None else build(command, value, result, payload), addr)

    def push_status(self, state):
        self.notify(NTF_STATUS, payload=status_payload(state))

    def push_info(self, number, text):
        self.notify(NTF_INFO, payload=info_payload(number, text))

    def push_message(self, code, text):
        self.notify(NTF_MESSAGE, result=code, payload=message_payload(text))

    def push_account(self, name=DEMO_USER, password=DEMO_PASS):
        self.notify(NTF_ACCOUNT, payload=account_payload(name, password))

    def push_text_note(self, reg_id, seconds, title, text, url):
        self.notify(NTF_TEXT_NOTE, payload=text_note_payload(reg_id, seconds, title, text, url))

    def push_image_note(self, reg_id, seconds, image_url, url):
        self.notify(NTF_IMAGE_NOTE, payload=image_note_payload(reg_id, seconds, image_url, url))

    def push_latest_version(self, index, core, dll, gui, core_flag=0, dll_flag=0, gui_flag=0):
        self.notify(NTF_LATEST_VERSION, value=index,
                    payload=latest_version_payload(core, dll, gui, core_flag, dll_flag, gui_flag))

    # -- internals -----------------------------------------------------------------
    def _record(self, pkt):
        with self._cond:
            self.packets.append(pkt)
            self._cond.notify_all()

    def _udp_loop(self):
        while not self._stop.is_set():
            try:
                data, addr = self.udp.recvfrom(65536)
            except socket.timeout:
                continue
            except OSError:
                return
            pkt = Packet("udp", data, addr)
            if pkt.valid and pkt.command == CMD_REGISTER_UDP:
                self.udp_addr = addr
            self._record(pkt)

    def _accept_loop(self):
        while not self._stop.is_set():
            try:
                conn, _ = self.tcp.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            self.tcp_conns.append(conn)
            t = threading.Thread(target=self._conn_loop, args=(conn,), daemon=True)
            t.start()
            self._threads.append(t)

    def _conn_loop(self, conn):
        conn.settimeout(0.2)
        buf = b""
        while not self._stop.is_set():
            try:
                data = conn.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                break
            if not data:
                break
            buf += data
            while len(buf) >= 4:
                n = struct.unpack_from("<I", buf)[0]
                if n < HEADER.size or n > MAX_READ:
                    # Not a request the library could send: keep it for the test, drop the rest.
                    self._record(Packet("tcp", buf[4:], None, prefix=n))
                    buf = b""
                    break
                if len(buf) < 4 + n:
                    break
                pkt = Packet("tcp", buf[4:4 + n], None, prefix=n)
                buf = buf[4 + n:]
                self._record(pkt)
                if not self._answer(conn, pkt):
                    return
        self._drop(conn)

    def _drop(self, conn):
        try:
            conn.close()
        except OSError:
            pass
        if conn in self.tcp_conns:
            self.tcp_conns.remove(conn)

    def _default(self, pkt):
        """(reply?, value, result, payload) the stand-in would answer."""
        c = pkt.command
        if c in (CMD_REGISTER, CMD_KEEP_ALIVE):
            return False, 0, 0, b""
        if c == CMD_INIT:
            return True, 0, self.state, b""
        if c == CMD_START:
            if len(pkt.payload) < 180:
                return True, 0, 87, b""
            login = parse_login_record(pkt.payload)
            auto = bool(login["AutoAccount"])
            if self.state != 1 or self._target == 3:
                return True, 0, 0, b""      # already on the way
            if not auto and self.check_login and (
                    login["UserName"] not in (DEMO_USER, b"qx." + DEMO_USER) or login["Password"] != DEMO_PASS):
                self.last_error = BAD_LOGIN
                if self.udp_addr:  # behind the 2006 reply
                    threading.Timer(0.02, self.push_message,
                                    (BAD_LOGIN, "AUTH: wrong name or password")).start()
                return True, 0, BAD_LOGIN, b""
            self.last_error = 0
            if self.states:
                self._run_sequence((2, 3), account=auto)
            return True, 0, 0, b""
        if c in (CMD_STOP, CMD_CLEAR):
            if self.states and self._target != 1 and (self.state in (2, 3) or self._target == 3):
                self._run_sequence((4, 1))
            return True, 0, 0, b""
        if c == CMD_ERRNO:
            return True, 0, self.last_error, b""
        if c == CMD_GET_CORE_VERSION:
            return True, 0, SERVICE_VERSION, b""
        if c == CMD_GET_QUERY_DATA:
            return True, 0, 0, self._query_data()
        if c in (CMD_GET_RED_INFO, CMD_GET_REMOTE_INFO, CMD_SET_TRANS_BAND):
            return True, 0, 0, struct.pack("<II", 0x0100007F, 3724)
        if c == CMD_PROC_GET_COUNT:
            return True, 0, len(self.procs), b""
        if c == CMD_PROC_GET_INFO:
            return True, 0, 0, b"".join(proc_info(*p) for p in self.procs)
        if c == CMD_PROC_KILL:
            self.procs = []
            return True, 0, 0, b""
        if c == CMD_SET_REGISTRY_VALUE:
            req = parse_registry_request(pkt.payload)
            if req is None:
                return True, 0, 87, b""
            self.registry.append(req)
            return True, 0, 0, b""
        if c == CMD_GET_USER_PASS:
            return True, 0, 0, account_payload(DEMO_USER, DEMO_PASS)
        if c == CMD_GET_CERT_INFO:
            return True, 0, 0, b"demo certificate"
        if c == CMD_GET_SERVICE_INDEX:
            return True, 0, 1, b""
        if c in (CMD_SET_TRANS_DATA, CMD_INIT_QUERY):
            return True, 0, 0, b""
        return True, 0, 1, b""   # unknown request: ERROR_INVALID_FUNCTION

    def _query_data(self):
        now = int(time.time())
        secs = now - self.connect_start if self.state == 3 and self.connect_start else 0
        return query_data(IP="10.8.0.6" if self.state == 3 else "", Start=self.connect_start,
                          ConnectTime=secs, Recv=secs * 2048, Out=secs * 6144,
                          RecvRate=2.0 if secs else 0.0, OutRate=6.0 if secs else 0.0)

    def _run_sequence(self, states, account=False):
        """State steps state_gap apart; a newer sequence (a stop while connecting)
        cancels the one running."""
        with self._cond:
            self._seq += 1
            gen = self._seq
            self._target = states[-1]
        threading.Thread(target=self._sequence, args=(gen, states, account), daemon=True).start()

    def _sequence(self, gen, states, account):
        if account and self.udp_addr:
            time.sleep(0.02)  # behind the 2006 reply
            self.push_account()
        for s in states:
            time.sleep(self.state_gap)
            if gen != self._seq:
                return
            if s == 3:
                self.connect_start = int(time.time())
            self.state = s
            if self.udp_addr:
                try:
                    self.push_status(s)
                except OSError:
                    pass
        with self._cond:
            if gen == self._seq:
                self._target = None

    def _answer(self, conn, pkt):
        """Replies per rule or default; False when the connection was ended."""
        rule = self.rules.get(pkt.command)
        if rule is not None and rule.times is not None:
            rule.times -= 1
            if rule.times <= 0:
                self.rules.pop(pkt.command, None)
        if not pkt.valid:
            return True
        reply, value, result, payload = self._default(pkt)
        if rule is not None:
            if not rule.reply or rule.fault == "silence":
                return True
            reply = True
            value = value if rule.value is None else rule.value
            result = result if rule.result is None else rule.result
            payload = payload if rule.payload is None else rule.payload
        if not reply:
            return True
        out = build(pkt.command, value, result, payload)
        try:
            if rule is None:
                conn.sendall(out)
                return True
            if rule.delay:
                time.sleep(rule.delay)
            f = rule.fault
            if rule.raw is not None:
                conn.sendall(rule.raw)
            elif f == "close":
                self._drop(conn)
                return False
            elif f == "reset":
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                self._drop(conn)
                return False
            elif f == "short":
                conn.sendall(out[:10])
            elif f == "magic":
                conn.sendall(build(pkt.command, value, result, payload, magic=0x0009BF08))
            elif f == "other":
                conn.sendall(build(rule.other, 0, 0, struct.pack("<II", 1, 2)))
                time.sleep(0.1)
                conn.sendall(out)
            elif f == "split":
                half = max(1, len(out) // 2)
                conn.sendall(out[:half])
                time.sleep(0.1)
                conn.sendall(out[half:])
            else:
                conn.sendall(out)
        except OSError:
            self._drop(conn)
            return False
        return True
