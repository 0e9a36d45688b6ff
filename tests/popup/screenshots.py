"""Screenshots of a text note and of an image note under Xvfb, saved as test
artefacts in <build>/artifacts/ (popup_text_note.png, popup_image_note.png)."""
import os
import subprocess
import sys
import time

import zorvet
from notes_wine import start_server


def main():
    bed = zorvet.bed(display=True)
    srv = start_server()
    sync = os.path.join(bed.tmp, "sync")
    os.makedirs(sync)
    art = os.path.join(bed.win_build, "artifacts")
    os.makedirs(art, exist_ok=True)
    env = dict(bed.env, ZORVET_NOTE_HTTP=str(srv.server_address[1]),
               ZORVET_SHOT_SYNC="Z:" + sync.replace("/", "\\"))
    p = subprocess.Popen(["wine", bed.test_exe("popup_tests.exe"), "--gtest_filter=Shots.*"], env=env,
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    ok = True
    taken = []
    deadline = time.time() + zorvet.scaled(120)
    for raw in p.stdout:
        line = raw.decode("utf-8", "replace").rstrip()
        print(line)
        if line.startswith("SHOT "):
            name = line.split()[1]
            out = os.path.join(art, "popup_%s_note.png" % name)
            r = subprocess.run(["import", "-display", bed.env["DISPLAY"], "-window", "root", out],
                               capture_output=True, timeout=zorvet.scaled(30))
            if r.returncode != 0 or not os.path.getsize(out):
                print("import failed:", r.stderr.decode("utf-8", "replace"))
                ok = False
            taken.append(out)
            open(os.path.join(sync, name + ".done"), "w").close()
        if time.time() > deadline:
            p.kill()
            ok = False
            break
    rc = p.wait(timeout=zorvet.scaled(60))
    print("screenshots:", taken)
    srv.shutdown()
    sys.exit(0 if ok and rc == 0 and len(taken) == 2 else 1)


if __name__ == "__main__":
    main()
