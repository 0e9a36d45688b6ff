"""The main job: ovik_acc against the stand-in ZorvetDaemon.

Runs in a copy of the prepared Wine prefix, in a network namespace of its own
(its own 127.0.0.1:63872): the stand-in service is started under Wine's service
manager, ovik_acc.exe starts under Xvfb (or the user's display with
ZORVET_USE_DISPLAY=1), logs in with the demo account stored in "cert",
connects through its dialog's button, and the dialog in the connected state is
saved as a screenshot. The log and the screenshot are copied to build/demo/."""
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "client"))
import clientbed  # noqa: E402
from clientbed import make_cert, OPT_LOG, OPT_REMEMBER_NAME, OPT_REMEMBER_PASSWORD  # noqa: E402

c = clientbed.Client(display=True, service="running")
b = c.bed
out = os.path.join(b.build, "demo")
os.makedirs(out, exist_ok=True)
print("demo: ZorvetDaemon (stand-in) is running under Wine's service manager, state", b.service_state())

b.write_cert(make_cert(OPT_LOG | OPT_REMEMBER_NAME | OPT_REMEMBER_PASSWORD, "demo_user", "demo_pass"))
print("demo: \"cert\" holds the demo account demo_user (scrambled) and the log option")
c.start()
if not c.wait_visible(1610, timeout=30):
    raise SystemExit("demo: the main dialog did not appear")
print("demo: ovik_acc is up: tray icon, main dialog with the connect button")
c.probe("click", 1610)
if not c.wait_visible(1611, timeout=30):
    raise SystemExit("demo: no connection")
print("demo: connected (state 3); waiting a few seconds for time and traffic to advance")
time.sleep(4)
shot = os.path.join(out, "ovik_acc_connected.png")
subprocess.run(["import", "-window", "root", shot], env=b.env, check=True, timeout=30)
print("demo: screenshot of the connected dialog:", shot)

c.probe("click", 1611)
c.wait_visible(1610, timeout=20)
print("demo: disconnected (state 1)")
c.exit_via_tray()
code = c.wait_exit()
print("demo: ovik_acc exited from the tray menu with status", code)
log = os.path.join(out, "ovik_acc.log")
shutil.copy2(os.path.join(c.install, "ovik_acc.log"), log)
print("demo: log (GBK):", log)
sys.stdout.write(open(log, "rb").read().decode("gbk", "replace"))
sys.exit(0 if code == 0 else 1)
