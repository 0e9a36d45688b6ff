"""Start arguments of the stand-in: -idle reports SERVICE_RUNNING but leaves
63872 to a scripted peer; -scenario runs control commands before listening."""
import os
import socket
import sys

import zorvet
from wireclient import WireClient, peer

bed = zorvet.bed()

# Idle: running for the service manager, control channel up, 63872 free.
assert bed.start_service("-idle"), "idle service did not reach SERVICE_RUNNING"
assert bed.wait(lambda: bed.control("ping") == "OK pong", 5), "control channel not up"
try:
    socket.create_connection(("127.0.0.1", peer.PORT), timeout=2).close()
    sys.exit("idle service accepted a connection on 63872")
except ConnectionRefusedError:
    pass
with peer.Peer() as p:          # binds TCP and UDP 63872 beside the running service
    c = WireClient()
    assert c.request(peer.CMD_GET_CORE_VERSION)[2] == peer.SERVICE_VERSION
    assert p.wait_registered(), "peer saw no UDP registration"
    c.close()
assert bed.service_state() == 4
assert bed.stop_service(), "idle service did not stop"

# Scenario: rules and settings in force from the first request on; a bad line
# does not keep the service from starting.
with open(os.path.join(bed.install, "scenario.txt"), "w") as f:
    f.write("# test scenario\r\non 2009 result=77\r\nprocs 5\r\nnonsense here\r\non 2010 fault=silence times=1\r\n")
assert bed.start_service("-scenario", zorvet.INSTALL_WIN + r"\scenario.txt"), "scenario service did not start"
c = WireClient()
assert c.request(peer.CMD_ERRNO)[2] == 77
assert c.request(peer.CMD_PROC_GET_COUNT)[2] == 5
c.send(peer.CMD_GET_CORE_VERSION)
try:
    sys.exit("silence rule of the scenario not applied: %r" % c.read(1.0))
except socket.timeout:
    pass
assert c.request(peer.CMD_GET_CORE_VERSION)[2] == peer.SERVICE_VERSION
c.close()
assert bed.stop_service()
print("ok")
