"""Idle cost of ovik_acc: CPU time and wakeups over a period disconnected and
connected, against an idle Wine window program measured the same way in the
same run, and the 2011 requests per second it sends while connected with the
dialog shown and hidden (expected: about one per second shown, none hidden).
    ZORVET_PREFIX_TEMPLATE=PREFIX python3 bench/client_idle_bench.py --build BUILD [--seconds 60]
(scripts/bench.sh prepares such a prefix and runs it.) Not a test: it prints, it does not judge."""
import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "client"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "py"))
import clientbed  # noqa: E402
import peer  # noqa: E402

ap = argparse.ArgumentParser()
ap.add_argument("--seconds", type=float, default=60.0)
opts, _ = ap.parse_known_args()
SECONDS = opts.seconds


def unix_pid(c, exe):
    for pid in os.listdir("/proc"):
        if pid.isdigit():
            try:
                cmd = open("/proc/%s/cmdline" % pid, "rb").read()
                env = open("/proc/%s/environ" % pid, "rb").read()
            except OSError:
                continue
            if exe.encode() in cmd and c.bed.prefix.encode() in env:
                return int(pid)
    return None


def sample(pid):
    """(cpu seconds, context switches) of all threads of a process. The CPU time
    comes from the scheduler's own count (nanoseconds): the clock-tick count of
    /proc/PID/stat is too coarse for an idle program, whose time over a minute
    stays under one tick."""
    cpu = 0.0
    switches = 0
    for t in os.listdir("/proc/%d/task" % pid):
        try:
            cpu += int(open("/proc/%d/task/%s/schedstat" % (pid, t)).read().split()[0]) / 1e9
            for line in open("/proc/%d/task/%s/status" % (pid, t)):
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    switches += int(line.split()[1])
        except OSError:
            continue  # a thread that ended meanwhile
    return cpu, switches


def measure(pid, seconds):
    a = sample(pid)
    time.sleep(seconds)
    b = sample(pid)
    return (b[0] - a[0]) / seconds, (b[1] - a[1]) / seconds


c = clientbed.Client()
b = c.bed
p = c.start_peer()
b.write_cert(clientbed.make_cert(clientbed.OPT_REMEMBER_NAME | clientbed.OPT_REMEMBER_PASSWORD,
                                 "demo_user", "demo_pass"))

# Baseline: a Wine program with one window and a one-second timer, the least a
# program that refreshes a status once a second can do.
base = b.start(os.path.join(c.install, "uiprobe.exe"), "hold", "BenchIdle", "idle", str(int(SECONDS * 1000 + 5000)),
               "1000", stdout=subprocess.PIPE)
base.stdout.readline()
time.sleep(1)
base_cpu, base_wake = measure(unix_pid(c, "uiprobe.exe"), SECONDS)
base.kill()

c.start()
c.wait_visible(1610)
pid = unix_pid(c, "ovik_acc.exe")
time.sleep(1)
idle_cpu, idle_wake = measure(pid, SECONDS)

c.probe("click", 1610)
c.wait_visible(1611)
b.wait(lambda: not c.dialog()["visible"], timeout=8)  # the auto-hide
hidden_cpu, hidden_wake = measure(pid, SECONDS / 2)
n0 = len(p.received(peer.CMD_GET_QUERY_DATA))
time.sleep(SECONDS / 2)
hidden_rate = (len(p.received(peer.CMD_GET_QUERY_DATA)) - n0) / (SECONDS / 2)
c.probe("command", 221)
b.wait(lambda: c.dialog()["visible"], timeout=5)
time.sleep(1)
n0 = len(p.received(peer.CMD_GET_QUERY_DATA))
shown_cpu, shown_wake = measure(pid, SECONDS / 2)
shown_rate = (len(p.received(peer.CMD_GET_QUERY_DATA)) - n0) / (SECONDS / 2)
c.probe("click", 1611)
c.wait_visible(1610)
c.exit_via_tray()
c.wait_exit()


def ratio(x, y):
    return x / y if y else float("inf") if x else 1.0


print("baseline (window, 1 s timer):  cpu %.6f s/s  wakeups %.1f /s" % (base_cpu, base_wake))
states = [("disconnected, dialog shown", idle_cpu, idle_wake),
          ("connected, dialog hidden", hidden_cpu, hidden_wake),
          ("connected, dialog shown", shown_cpu, shown_wake)]
for label, cpu, wake in states:
    print("%-28s cpu %.6f s/s (x%.2f)  wakeups %.1f /s (x%.2f)" % (label + ":", cpu, ratio(cpu, base_cpu), wake,
                                                                    ratio(wake, base_wake)))
print("2011 requests per second: shown %.2f, hidden %.2f" % (shown_rate, hidden_rate))
for (label, cpu, wake), short in zip(states, ["disconnected", "connected hidden", "connected shown"]):
    print("ratio (cpu, ovik_acc %s/idle window): %.2f" % (short, ratio(cpu, base_cpu)))
    print("ratio (wakeups, ovik_acc %s/idle window): %.2f" % (short, ratio(wake, base_wake)))
