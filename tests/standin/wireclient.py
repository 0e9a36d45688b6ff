"""A minimal client of the local protocol for the stand-in's tests: registers
like the core library (UDP 1002, TCP 2002) and sends requests with the length
prefix; replies are read as the bytes one recv returns. Time-outs are in this
lane's time (zorvet.scaled)."""
import os
import socket
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "py"))
import peer  # noqa: E402
from zorvet import scaled  # noqa: E402

ADDR = ("127.0.0.1", peer.PORT)


class WireClient:
    def __init__(self, register=True):
        self.udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.udp.bind(("127.0.0.1", 0))
        self.udp.settimeout(scaled(3))
        self.tcp = socket.create_connection(ADDR, timeout=scaled(3))
        self.tcp.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if register:
            text = b"APP KEY:client-%d" % os.getpid()
            self.udp.sendto(peer.build(peer.CMD_REGISTER_UDP, 0, peer.LIBRARY_VERSION, text), ADDR)
            self.tcp.sendall(peer.build(peer.CMD_REGISTER, 0, peer.LIBRARY_VERSION, text, prefix=True))

    def send(self, command, payload=b"", value=0, result=0):
        self.tcp.sendall(peer.build(command, value, result, payload, prefix=True))

    def read(self, timeout=3):
        """The raw bytes of one recv (b"" when closed); socket.timeout if none."""
        self.tcp.settimeout(scaled(timeout))
        return self.tcp.recv(8192)

    def request(self, command, payload=b"", **kw):
        """(command, value, result, payload) of the reply."""
        self.send(command, payload, **kw)
        p = peer.parse(self.read())
        assert p is not None and p[0] == peer.MAGIC, p
        return p[2], p[4], p[5], p[6]

    def notification(self, timeout=3):
        self.udp.settimeout(scaled(timeout))
        data, _ = self.udp.recvfrom(8192)
        p = peer.parse(data)
        assert p is not None and p[0] == peer.MAGIC and p[3] == len(p[6]), data
        return p[2], p[4], p[5], p[6]

    def close(self):
        self.tcp.close()
        self.udp.close()
