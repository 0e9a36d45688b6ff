"""updater.exe end to end in client auto mode, in a bed of its own: a local
update server, a GBK document whose packages use every action type, ZIP
packages written by Python's zipfile. Afterwards: the files with the archive's
times, the updater replaced through its batch, the download folder gone, the
new version in "cert" and "DisplayVersion", the registry actions applied, the
shortcut read back through IShellLinkA, the other program's window closed, the
message box shown, and the log lines in order. Also: the dialog itself, and a
second updater closing the first."""
import hashlib
import io
import os
import struct
import subprocess
import sys
import threading
import time
import zipfile

import httpd
import zorvet

PORT = 18080
BASE = "http://127.0.0.1:%d" % PORT
CURRENT = "1.7.3.139"
NEW = "1.7.4.2"
APP = zorvet.INSTALL_WIN
UNINSTALL = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ZORVET ACC"
TEST_KEY = r"HKLM\Software\ZorvetE2E"
ZIP_TIME = (2022, 5, 6, 7, 8, 10)

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def build_zip(entries):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name, data, method in entries:
            info = zipfile.ZipInfo(name, ZIP_TIME)
            info.compress_type = method
            if name.endswith("/"):
                info.external_attr = 0x10
            z.writestr(info, data)
    return buf.getvalue()


def document(pkg_md5):
    a = "${app_path}"
    return ("""<?xml version="1.0" encoding="gb2312"?>
<updateinfo version="%(new)s">
 <package name="core">
  <version>%(new)s</version>
  <description>核心文件</description>
  <url>%(base)s/pkg/core.zip?r=1</url>
  <md5>%(md5)s</md5>
  <actions>
   <action type="unzip" description="解压核心文件" file="${this_file}" where="%(a)s"/>
  </actions>
 </package>
 <package name="setup">
  <description>安装设置</description>
  <pre-actions>
   <action type="sendmessage" description="关闭测试窗口" classname="ZorvetTestWnd" title="Zorvet Test Window" message="wm_close"/>
   <action type="showmessage" title="Zorvet提示" message="更新进行中"/>
  </pre-actions>
  <actions>
   <action type="mkdir" description="创建目录" path="%(a)s\\logs\\a\\b"/>
   <action type="mkdir" path="%(a)s\\docs"/>
   <action type="copy" from="%(a)s\\readme.txt" to="%(a)s\\docs" move="false"/>
   <action type="remove" path="%(a)s\\old.dll"/>
   <action type="remove" path="%(a)s\\oldfolder"/>
   <action type="registry" key="HKLM\\Software\\ZorvetE2E" valuename="Ver" valuetype="DWORD" value="5"/>
   <action type="registry" key="HKLM\\Software\\ZorvetE2E" valuename="Name" value="更新值"/>
   <action type="registry" key="HKLM\\Software\\ZorvetE2E" valuename="Bin" valuetype="BINARY" value="hex:aa,bb" startpos="2"/>
   <action type="registry" key="HKLM\\Software\\ZorvetE2E" valuename="-Gone"/>
   <action type="registry" key="-HKLM\\Software\\ZorvetE2E\\Drop"/>
   <action type="shortcut" id="2" name="Zorvet加速器" target="%(a)s\\updater.exe" arg="-auto" lnkdesc="Zorvet更新" iconfile="%(a)s\\updater.exe" iconindex="0"/>
   <action type="run" description="运行命令" cmd="C:\\\\windows\\\\system32\\\\cmd.exe" args="/c echo ran>ran.txt" sync="true" visible="false"/>
  </actions>
  <post-actions>
   <note type="mkdir" path="%(a)s\\ignored"/>
   <action type="open" file="%(a)s\\tools\\touch.exe"/>
   <item type="nosuchtype" path="x"/>
   <other type="mkdir" path="%(a)s\\taken"/>
  </post-actions>
 </package>
</updateinfo>
""" % {"new": NEW, "base": BASE, "md5": pkg_md5.upper(), "a": a}).encode("gbk")


def reg_value(bed, key, name):
    out = bed.reg_query_text(key, name)
    if out is None:
        return None
    for line in out.splitlines():
        parts = line.split(None, 2)
        if len(parts) >= 2 and parts[0] == (name or parts[0]) and parts[1].startswith("REG_"):
            return (parts[1], parts[2].strip() if len(parts) > 2 else "")
    return None


def probe(bed, *args, timeout=30):
    return bed.run(["wine", bed.test_exe("window_probe.exe")] + list(args), timeout=timeout, capture_output=True)


def ms(seconds):
    """window_probe's wait argument: seconds in this lane's time, as milliseconds."""
    return str(int(zorvet.scaled(seconds) * 1000))


def dismiss_box(bed, seen):
    """Waits for the showmessage box, records its text, presses OK."""
    r = probe(bed, "wait", "#32770", "Zorvet提示", ms(60), timeout=90)
    if r.returncode == 0:
        seen["text"] = probe(bed, "text", "#32770", "Zorvet提示", "65535").stdout
        probe(bed, "press", "#32770", "Zorvet提示", "1")


def main():
    bed = zorvet.bed()
    bed.set_online(True)
    inst = bed.install
    old_updater = open(os.path.join(inst, "updater.exe"), "rb").read()
    # The "new" updater: the same program with bytes appended (still runs).
    new_updater = old_updater + b"ZORVET-NEW-UPDATER-BUILD"
    data = bytes((i * 31 + 7) & 0xFF for i in range(300000))
    package = build_zip([
        ("readme.txt", "说明文件\r\n".encode("gbk"), zipfile.ZIP_STORED),
        ("bin/data.bin", data, zipfile.ZIP_DEFLATED),
        ("sub/empty/", b"", zipfile.ZIP_STORED),
        ("tools/touch.exe", open(bed.test_exe("window_probe.exe"), "rb").read(), zipfile.ZIP_DEFLATED),
        ("updater.exe", new_updater, zipfile.ZIP_DEFLATED),
    ])
    md5 = hashlib.md5(package).hexdigest()

    # What the actions work on.
    open(os.path.join(inst, "old.dll"), "wb").write(b"old")
    os.makedirs(os.path.join(inst, "oldfolder", "deep"), exist_ok=True)
    open(os.path.join(inst, "oldfolder", "deep", "x.txt"), "wb").write(b"x")
    bed.reg("add", TEST_KEY, "/v", "Bin", "/t", "REG_BINARY", "/d", "0011223344556677", "/f")
    bed.reg("add", TEST_KEY, "/v", "Gone", "/t", "REG_SZ", "/d", "bye", "/f")
    bed.reg("add", TEST_KEY + r"\Drop\Deep", "/v", "x", "/t", "REG_SZ", "/d", "y", "/f")
    marker = os.path.join(bed.tmp, "closed.txt")
    host = bed.start(bed.test_exe("window_probe.exe"), "host", "ZorvetTestWnd", "Zorvet Test Window",
                     "Z:" + marker.replace("/", "\\"), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(probe(bed, "wait", "ZorvetTestWnd", "Zorvet Test Window", ms(20)).returncode == 0, "test window up")

    srv = httpd.Server(PORT).start()
    try:
        srv.route("/update/update.htm", (BASE + "/info.xml").encode())
        srv.route("/info.xml", document(md5))
        srv.route("/pkg/core.zip", package)
        seen = {}
        boxer = threading.Thread(target=dismiss_box, args=(bed, seen))
        boxer.start()
        r = bed.wine("updater.exe", "-auto", "-test", "-v=" + CURRENT, "-pid=119", "-p=OVIK", timeout=120)
        boxer.join(zorvet.scaled(100))
        check(r.returncode == 0, "updater exit code %r" % r.returncode)
        check(seen.get("text") == "更新进行中".encode("gbk"), "showmessage box text %r" % seen.get("text"))

        checks = srv.requests_for("/update/update.htm")
        check(len(checks) == 1, "one update check")
        if checks:
            q = checks[0]["query"]
            check(q == {"v": CURRENT, "pid": "119", "type": "c", "os": "win", "st": "32"}, "check query %r" % q)
            check(checks[0]["user_agent"] == "Zorvet_AutoUpdate_Agent", "user agent")
        check(srv.hits("/pkg/core.zip") == 1, "package fetched once")
    finally:
        srv.stop()

    # The self-replacement batch runs after the updater has ended.
    target = os.path.join(inst, "updater.exe")
    replaced = bed.wait(lambda: open(target, "rb").read() == new_updater
                        and not os.path.exists(os.path.join(inst, "_updater.exe"))
                        and not os.path.exists(os.path.join(inst, "download.bat")), 45, 0.5)
    check(replaced, "updater.exe replaced, _updater.exe and the batch gone")
    check(not os.path.exists(os.path.join(inst, "download")), "download folder removed")

    # Extracted files with the archive's times.
    stamp = time.mktime(ZIP_TIME + (0, 0, -1))
    for name, content in (("readme.txt", "说明文件\r\n".encode("gbk")), ("bin/data.bin", data)):
        path = os.path.join(inst, *name.split("/"))
        check(os.path.exists(path) and open(path, "rb").read() == content, "extracted %s" % name)
        if os.path.exists(path):
            check(abs(os.stat(path).st_mtime - stamp) < 2.1, "time of %s" % name)
    check(os.path.isdir(os.path.join(inst, "sub", "empty")), "folder entry")

    # Files and folders.
    check(os.path.isdir(os.path.join(inst, "logs", "a", "b")), "mkdir three levels")
    check(os.path.exists(os.path.join(inst, "docs", "readme.txt")), "copy into a folder")
    check(os.path.exists(os.path.join(inst, "readme.txt")), "copy with move false keeps the source")
    check(not os.path.exists(os.path.join(inst, "old.dll")), "remove file")
    check(not os.path.exists(os.path.join(inst, "oldfolder")), "remove folder tree")
    check(os.path.exists(os.path.join(inst, "ran.txt")), "run action ran (current folder is the install dir)")
    check(not os.path.exists(os.path.join(inst, "ignored")), "element before the first action ignored")
    check(os.path.isdir(os.path.join(inst, "taken")), "any element after the first action taken")
    check(os.path.exists(os.path.join(inst, "opened.txt")), "open action started the program and waited")
    check(bed.wait(lambda: os.path.exists(marker), 10), "sendmessage closed the other window")
    try:
        host.wait(10)
    except subprocess.TimeoutExpired:
        host.kill()

    # Version bookkeeping.
    cert = bed.read_cert()
    packed = (1 << 28) | (7 << 20) | (4 << 16) | 2
    check(cert is not None and cert[:4] == struct.pack("<I", packed), "cert version %r" % (cert[:4] if cert else None))
    check(cert is not None and len(cert) == 126, "cert length kept")
    check(reg_value(bed, UNINSTALL, "DisplayVersion") == ("REG_SZ", NEW), "DisplayVersion")

    # Registry actions.
    check(reg_value(bed, TEST_KEY, "Ver") == ("REG_DWORD", "0x5"), "DWORD %r" % (reg_value(bed, TEST_KEY, "Ver"),))
    check(reg_value(bed, TEST_KEY, "Name") == ("REG_SZ", "更新值"), "string %r" % (reg_value(bed, TEST_KEY, "Name"),))
    check(reg_value(bed, TEST_KEY, "Bin") == ("REG_BINARY", "0011AABB44556677"),
          "binary with startpos %r" % (reg_value(bed, TEST_KEY, "Bin"),))
    check(reg_value(bed, TEST_KEY, "Gone") is None, "value deleted")
    check(bed.reg("query", TEST_KEY + r"\Drop").returncode != 0, "key tree deleted")
    check(bed.reg("query", r"HKLM\Software").returncode == 0, "root untouched")

    # The shortcut, read back through IShellLinkA.
    programs = os.path.join(bed.prefix, "drive_c", "users")
    links = []
    for root, dirs, files in os.walk(programs):
        links += [os.path.join(root, f) for f in files if f == "Zorvet加速器.lnk"]
    check(len(links) == 1, "one shortcut %r" % links)
    if links:
        win = "Z:" + links[0].replace("/", "\\")
        r = bed.run(["wine", bed.test_exe("lnk_probe.exe"), win], capture_output=True)
        lines = r.stdout.replace(b"\r\n", b"\n").split(b"\n")
        want_target = (APP + r"\updater.exe").encode("gbk")
        check(r.returncode == 0 and lines[0].lower() == want_target.lower(), "link target %r" % lines[:1])
        check(lines[1:5] == [b"-auto", "Zorvet更新".encode("gbk"), want_target, b"0"], "link items %r" % lines)

    # The log, in order.
    log = open(os.path.join(inst, "updater.log"), "rb").read().replace(b"\r\n", b"\n").decode("gbk")
    want = ["URL: http://127.0.0.1:18080/update/update.htm?v=%s&pid=119&type=c&os=win&st=32" % CURRENT,
            "开始时间: ", "检查更新信息", "Check update", "New version is found.", "分析更新信息", "开始更新",
            "核心文件", "下载文件: %s/pkg/core.zip?r=1" % BASE, "检验下载文件", "文件校验正确", "解压核心文件",
            "正在解压文件: %s\\readme.txt" % APP, "正在解压文件: %s\\bin\\data.bin" % APP,
            "正在解压文件: %s\\updater.exe" % APP, "解压文件完毕", "安装设置", "关闭测试窗口", "创建目录", "运行命令",
            "更新完毕", "结束时间: "]
    pos = 0
    for line in want:
        at = log.find(line, pos)
        check(at >= 0, "log line in order: %s" % line)
        if at >= 0:
            pos = at + len(line)

    dialog_and_single_instance(bed)

    if failures:
        print(log)
        print("\n%d failure(s)" % len(failures))
        sys.exit(1)
    print("ok")


def dialog_and_single_instance(bed):
    """Client mode without auto: the dialog (class ZorvetUpdater, the client
    title) comes up visible and waits for the Update button; after a run it
    stays open. A second updater in auto mode closes it without asking."""
    srv = httpd.Server(PORT).start()
    try:
        srv.route("/update/update.htm", b"")  # no update
        first = bed.start("updater.exe", "-test", "-p=OVIK", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shown = bed.wait(lambda: probe(bed, "wait", "ZorvetUpdater", "Zorvet Acc Updater", "1000").stdout.strip()
                         == b"visible", 30, 0.2)
        check(shown, "dialog visible")
        title = "Zorvet Acc Updater"
        version = probe(bed, "text", "ZorvetUpdater", title, "1004").stdout
        check(version == ("当前版本号：" + NEW).encode("gbk"), "current version text %r" % version)  # installed now
        check(probe(bed, "text", "ZorvetUpdater", title, "1000").stdout == b"", "no run before Update")
        probe(bed, "press", "ZorvetUpdater", title, "1002")
        status = bed.wait(lambda: probe(bed, "text", "ZorvetUpdater", title, "1000").stdout == "没有更新信息".encode("gbk"), 20)
        check(status, "status line after Update")
        check(first.poll() is None, "dialog stays open in client mode without auto")
        second = bed.wine("updater.exe", "-auto", "-test", "-p=OVIK", timeout=60)
        check(second.returncode == 0, "second updater ran")
        try:
            first.wait(zorvet.scaled(20))
        except subprocess.TimeoutExpired:
            check(False, "first updater closed by the second")
            first.kill()
        check(len(srv.requests_for("/update/update.htm")) == 2, "one check per run")
    finally:
        srv.stop()


if __name__ == "__main__":
    main()
