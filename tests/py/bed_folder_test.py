"""A bed's prefix copy where the system's temp folder is another file system
than the prepared prefix (as with a tmpfs /tmp), and where it is the same one.
The copy hard-links system32, so the bed must lie where that works. Runs as
root in a private mount namespace of its own: the tmpfs below is never seen
outside it."""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True

if os.environ.get("BED_FOLDER_TEST_NS") != "1":
    if os.geteuid() != 0:
        raise SystemExit("FAIL: needs root (mounts in a private namespace)")
    os.environ["BED_FOLDER_TEST_NS"] = "1"
    os.execvp("unshare", ["unshare", "-m", "--propagation", "private", sys.executable] + sys.argv)

import zorvet  # noqa: E402

SYS32 = os.path.join("drive_c", "windows", "system32")
scratch = tempfile.mkdtemp(prefix="bed-folder-test-")
failures = []
try:
    template = os.path.join(scratch, "prefix")
    os.makedirs(os.path.join(template, SYS32))
    os.makedirs(os.path.join(template, "drive_c", "users", "root", "Temp"))
    with open(os.path.join(template, "system.reg"), "w") as f:
        f.write("WINE REGISTRY Version 2\n")
    with open(os.path.join(template, SYS32, "kernel32.dll"), "wb") as f:
        f.write(b"MZ" + bytes(64))
    other_fs = os.path.join(scratch, "tmpfs")
    os.makedirs(other_fs)
    subprocess.run(["mount", "-t", "tmpfs", "tmpfs", other_fs], check=True)
    same_fs = os.path.join(scratch, "tmp")
    os.makedirs(same_fs)

    # (case, the temp folder, where the bed's folder must lie)
    for case, temp, parent in (("temp folder on another file system", other_fs, scratch),
                               ("temp folder on the prefix's file system", same_fs, same_fs)):
        tempfile.tempdir = temp
        try:
            folder = zorvet._bed_folder(template)
            copy = os.path.join(folder, "prefix")
            zorvet._copy_prefix(template, copy)
            linked = os.path.join(copy, SYS32, "kernel32.dll")
            if os.path.dirname(folder) != parent:
                failures.append("%s: the bed lies in %s, not in %s" % (case, os.path.dirname(folder), parent))
            elif os.stat(linked).st_ino != os.stat(os.path.join(template, SYS32, "kernel32.dll")).st_ino:
                failures.append("%s: system32 is not hard-linked" % case)
            elif not os.path.isfile(os.path.join(copy, "system.reg")):
                failures.append("%s: the registry was not copied" % case)
            shutil.rmtree(folder)
        except (OSError, subprocess.CalledProcessError) as e:
            failures.append("%s: %r" % (case, e))
finally:
    tempfile.tempdir = None
    subprocess.run(["umount", "-l", os.path.join(scratch, "tmpfs")], stderr=subprocess.DEVNULL)
    shutil.rmtree(scratch, ignore_errors=True)

for f in failures:
    print("FAIL:", f)
if failures:
    sys.exit(1)
print("ok: both cases")
