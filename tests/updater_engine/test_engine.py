"""The updater engine against a real HTTP server on 127.0.0.1, inside a bed of
its own: the outcome of every kind of server answer, the update URL and what the
server saw, the retries and digest checks of packages, the log's time lines,
the download faults, and file digests against hashlib."""
import hashlib
import os
import re
import subprocess
import sys

import httpd
import zorvet

RUNNER = "updater_engine_runner.exe"
PORT = 18080  # the test update server of "-test"
BASE = "http://127.0.0.1:%d" % PORT
CURRENT = "1.7.3.139"      # the bed's cert: 0x1073008B
OFFERED = "1.7.4.0"        # packs to 0x10740000
UNINSTALL = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ZORVET ACC"

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def gbk(text):
    return text.encode("gbk")


class Run:
    def __init__(self, proc):
        self.out = proc.stdout.replace(b"\r\n", b"\n")
        self.lines = self.out.split(b"\n")
        self.status = [l[7:] for l in self.lines if l.startswith(b"STATUS ")]
        self.actions = [l[7:].decode("gbk") for l in self.lines if l.startswith(b"ACTION ")]
        # The overall progress bar: (position, range) per update, range 0 keeping the old one.
        self.totals = [tuple(int(x) for x in l.split()[1:3]) for l in self.lines if l.startswith(b"TOTAL ")]

    def value(self, key):
        for l in self.lines:
            if l.startswith(key + b" "):
                return l[len(key) + 1:]
        return None

    def env(self, name):
        v = self.value(b"ENV " + name.encode() + b"=") if False else None
        for l in self.lines:
            if l.startswith(b"ENV " + name.encode() + b"="):
                return l.split(b"=", 1)[1].decode("gbk")
        return v

    @property
    def result(self):
        v = self.value(b"RESULT")
        return int(v) if v is not None else None

    @property
    def folder(self):
        v = self.value(b"FOLDER")
        return int(v) if v is not None else None


def runner(bed, *args):
    r = bed.wine(RUNNER, *args, timeout=90)
    return Run(r)


def log_bytes(bed):
    path = os.path.join(bed.install, "updater.log")
    return open(path, "rb").read() if os.path.exists(path) else b""


def clear_log(bed):
    path = os.path.join(bed.install, "updater.log")
    if os.path.exists(path):
        os.remove(path)


def document(version=OFFERED, md5=None, fail="0", url=BASE + "/pkg/core.zip", packages=1):
    pk = []
    for i in range(packages):
        u = url if i == 0 else BASE + "/pkg/extra%d.zip" % i
        pk.append(
            "<package name=\"p%d\"><version>%s</version><description>更新组件%d</description>"
            "<url>%s</url>%s"
            "<pre-actions><action type=\"probe\" name=\"pre%d\" file=\"${this_file}\"/></pre-actions>"
            "<actions><action type=\"probe\" name=\"main%d\" fail=\"%s\" file=\"${this_file}\"/></actions>"
            "<post-actions><action type=\"probe\" name=\"post%d\"/></post-actions></package>"
            % (i, version, i, u, "<md5>%s</md5>" % md5 if md5 else "", i, i, fail if i == 0 else "0", i))
    text = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<updateinfo version=\"%s\">%s</updateinfo>" % (
        version, "".join(pk))
    return text.encode("gbk")


def main():
    bed = zorvet.bed()
    bed.set_online(True)
    cert = bed.read_cert()
    assert cert is not None and len(cert) == 126, cert
    assert cert[:4] == bytes.fromhex("8b007310"), cert[:4].hex()
    package = bytes((i * 7 + 3) & 0xFF for i in range(150000))
    pmd5 = hashlib.md5(package).hexdigest()
    download_dir = os.path.join(bed.install, "download")

    srv = httpd.Server(PORT).start()
    try:
        # ---- the outcome table ---------------------------------------------------
        def ok_check():
            srv.route("/update/update.htm", (BASE + "/info.xml").encode())

        def offline():
            bed.set_online(False)

        def scenario_pkg(**kw):
            def setup():
                ok_check()
                srv.route("/info.xml", document(md5=kw.get("md5", pmd5.upper()), fail=kw.get("fail", "0"),
                                                packages=kw.get("packages", 1)))
                srv.route("/pkg/core.zip", package, **kw.get("route", {}))
                for i in range(1, kw.get("packages", 1)):
                    srv.route("/pkg/extra%d.zip" % i, package, **kw.get("extra_route", {}))
            return setup

        # name, setup, last status, text before it (or None), folder remains, result, cert changed
        table = [
            ("no connection", offline, "没有网络连接", None, 1, 0, False),
            ("check server error", lambda: srv.route("/update/update.htm", fault="error"),
             "没有更新信息", "Check update failed.", 0, 0, False),
            ("check 404 page", lambda: srv.route("/update/update.htm", fault="404"),
             "没有更新信息", "Check update failed.", 0, 0, False),
            ("check 404 title with status 200", lambda: srv.route("/update/update.htm", httpd.PAGE_404),
             "没有更新信息", "Check update failed.", 0, 0, False),
            ("check dropped", lambda: srv.route("/update/update.htm", b"x" * 4000, fault="drop"),
             "没有更新信息", "Check update failed.", 0, 0, False),
            ("check empty reply", lambda: srv.route("/update/update.htm", b""),
             "没有更新信息", "No update", 0, 1, False),
            ("document dropped", lambda: (ok_check(), srv.route("/info.xml", document(), fault="drop")),
             "无法获取更新信息。", None, 1, 0, False),
            ("document 404", lambda: (ok_check(), srv.route("/info.xml", fault="404")),
             "无法获取更新信息。", None, 1, 0, False),
            ("document empty", lambda: (ok_check(), srv.route("/info.xml", fault="empty")),
             "没有任何更新信息。", None, 1, 1, False),
            ("document broken", lambda: (ok_check(), srv.route("/info.xml", b"<updateinfo><package></updateinfo>")),
             "更新信息不对，请与Harlenby公司联系", "Error in (Row: ", 0, 0, False),
            ("no updateinfo", lambda: (ok_check(), srv.route("/info.xml", b"<info version=\"9.0.0.0\"/>")),
             "更新信息不对，请与Harlenby公司联系", "无法获取更新信息或更新信息出错", 0, 0, False),
            ("not newer", lambda: (ok_check(), srv.route("/info.xml", document(version=CURRENT))),
             "你使用的已经是最新版本", "分析更新信息", 0, 1, False),
            ("action fails", scenario_pkg(fail="1"), "更新失败！请重试一次。", None, 0, 0, False),
            ("wrong md5", scenario_pkg(md5="0" * 32), "更新失败！请重试一次。", "文件无法下载，请与Harlenby公司联系",
             0, 0, False),
            ("package server error", scenario_pkg(route={"fault": "error"}), "更新失败！请重试一次。",
             "文件无法下载，请与Harlenby公司联系", 0, 0, False),
            ("second package fails", scenario_pkg(packages=3, extra_route={"fault": "404"}),
             "更新失败！请重试一次。", "文件无法下载，请与Harlenby公司联系", 0, 0, False),
            ("three packages", scenario_pkg(packages=3), "更新完毕", None, 0, 1, True),
            ("flaky package then success", scenario_pkg(route={"fail_first": 2, "fail_fault": "drop"}),
             "更新完毕", None, 0, 1, True),
        ]
        # The overall bar over a run: 1 of 10 after the document, 2 after parsing, then 2
        # of n + 2 for n packages, k + 1 after the k-th, n + 2 at the end; 10 when the
        # run stops after the document.
        totals = {
            "no connection": [(0, 0)],
            "check server error": [(0, 0)],
            "document dropped": [(0, 0), (1, 10), (10, 0)],
            "document empty": [(0, 0), (1, 10), (10, 0)],
            "document broken": [(0, 0), (1, 10), (2, 0), (10, 0)],
            "not newer": [(0, 0), (1, 10), (2, 0), (2, 2)],
            "second package fails": [(0, 0), (1, 10), (2, 0), (2, 5), (2, 0)],
            "three packages": [(0, 0), (1, 10), (2, 0), (2, 5), (2, 0), (3, 0), (4, 0), (5, 0)],
        }
        for name, setup, last, before, folder, result, changed in table:
            srv.reset()
            clear_log(bed)
            setup()
            r = runner(bed, "run", "--test", "--cert", cert.hex(), "--reset-display-version")
            if name == "no connection":
                bed.set_online(True)
            got_cert = bytes.fromhex((r.value(b"CERT") or b"").decode())
            dv = (r.value(b"DISPLAYVERSION") or b"").decode("gbk")
            row = "%s: status %r result %r folder %r" % (
                name, r.status[-1].decode("gbk") if r.status else None, r.result, r.folder)
            print(row)
            check(r.status and r.status[-1] == gbk(last), name + ": last status")
            if before:
                check(len(r.status) >= 2 and r.status[-2].startswith(gbk(before)), name + ": status before last")
            check(r.folder == folder, name + ": download folder")
            check(r.result == result, name + ": result")
            check(len(got_cert) == 126 and got_cert[4:] == cert[4:], name + ": cert other bytes")
            if changed:
                check(got_cert[:4] == bytes.fromhex("00007410"), name + ": cert version bytes")
                check(dv == OFFERED, name + ": DisplayVersion %r" % dv)
            else:
                check(got_cert[:4] == cert[:4], name + ": cert unchanged")
                check(dv == "-", name + ": DisplayVersion untouched")
            log = log_bytes(bed)
            end_expected = folder == 0 or name == "check empty reply"
            check((gbk("结束时间: ") in log) == (name not in ("no connection", "document dropped",
                                                               "document 404", "document empty")),
                  name + ": end line")
            del end_expected
            if name in totals:
                check(r.totals == totals[name], name + ": overall progress %r" % r.totals)

            if name == "wrong md5":
                check(srv.hits("/pkg/core.zip") == 3, "wrong md5: three attempts")
                check(r.status.count(gbk("文件校验错误，重新下载")) == 3, "wrong md5: three mismatches")
                check(r.status.count(gbk("下载文件: ") + (BASE + "/pkg/core.zip").encode()) == 3,
                      "wrong md5: three download lines")
                check(not r.actions, "wrong md5: no action ran")
            if name == "package server error":
                check(srv.hits("/pkg/core.zip") == 3, "server error: three attempts")
                check(gbk("检验下载文件") not in r.status, "server error: no digest check")
            if name == "second package fails":
                check([a.split()[0] for a in r.actions] == ["pre0", "main0", "post0"],
                      "second package: only the first ran %r" % r.actions)
                check(srv.hits("/pkg/extra2.zip") == 0, "second package: third never fetched")
            if name == "action fails":
                check([a.split()[0] for a in r.actions] == ["pre0", "main0"], "action fails: post never ran")
            if name == "flaky package then success":
                check(srv.hits("/pkg/core.zip") == 3, "flaky: three requests")
                check(r.status.count(gbk("文件校验正确")) == 1, "flaky: one good digest")
                local = r"C:\Program Files\ZORVET\OVIK\download\core.zip"
                check(r.actions == ["pre0 %s 1" % local, "main0 %s 1" % local, "post0 - 0"],
                      "flaky: actions saw the file %r" % r.actions)
                check(gbk("更新组件0") in r.status, "flaky: description shown")
            if name == "check empty reply":
                reqs = srv.requests_for("/update/update.htm")
                check(len(reqs) == 1, "one update check")
                q = reqs[0]["query"]
                check(q == {"v": CURRENT, "pid": "", "type": "c", "os": "win", "st": "32"}, "query %r" % q)
                check(reqs[0]["raw_query"] == "v=%s&pid=&type=c&os=win&st=32" % CURRENT,
                      "raw query " + reqs[0]["raw_query"])
                check(reqs[0]["user_agent"] == "Zorvet_AutoUpdate_Agent", "user agent %r" % reqs[0]["user_agent"])
                lines = log.replace(b"\r", b"").split(b"\n")
                url = ("URL: %s/update/update.htm?v=%s&pid=&type=c&os=win&st=32" % (BASE, CURRENT)).encode()
                check(lines[0] == url, "URL line %r" % lines[0])
                check(re.match(gbk("开始时间: ") + rb"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$", lines[1]) is not None,
                      "start line %r" % lines[1])
                ends = [i for i, l in enumerate(lines) if l.startswith(gbk("结束时间: "))]
                check(len(ends) == 1 and re.match(gbk("结束时间: ") + rb"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$",
                                                  lines[ends[0]]) is not None, "end line")
                check(ends and lines[ends[0] + 1] == b"", "the run's block ends with an empty line")
                check(b"STATUS " + gbk("检查更新信息") in r.out, "check line shown")
            if name == "no connection":
                check(not srv.requests, "no connection: nothing fetched")

        # ---- environment: URL line with all query keys, daemon mode ------------------
        clear_log(bed)
        r = runner(bed, "init", "--test", "--v", "1.2.3.4", "--pid", "77")
        url = "%s/update/update.htm?v=1.2.3.4&pid=77&type=c&os=win&st=32" % BASE
        check(log_bytes(bed).replace(b"\r", b"") == ("URL: " + url + "\n").encode(), "URL line with v and pid")
        check(r.env("download") == r"C:\Program Files\ZORVET\OVIK\download", "client download folder")
        check(r.env("batch") == r"C:\Program Files\ZORVET\OVIK\download.bat", "batch file")
        check(r.env("ownname") == RUNNER, "own name %r" % r.env("ownname"))
        r = runner(bed, "init", "--daemon", "--v", "2.0.0.0")
        check(r.value(b"INIT") == b"0", "daemon mode without sp= fails")
        r = runner(bed, "init", "--daemon", "--test", "--sp", r"C:\svc", "--v", "2.0.0.0")
        check(r.value(b"INIT") == b"1" and "&type=s&" in r.env("url"), "daemon URL %r" % r.env("url"))
        check(re.search(r"\\qk[0-9A-Fa-f]+\.tmp$", r.env("download") or "") is not None,
              "daemon download folder %r" % r.env("download"))
        r = runner(bed, "init", "--sp", "C:\\" + "a" * 240)
        check(r.value(b"INIT") == b"0", "over-long application folder refused")
        check(b"ENV: application folder too long" in log_bytes(bed), "over-long folder logged")

        # ---- downloads: faults on their own --------------------------------------------
        srv.reset()
        srv.route("/nolen", b"abc" * 5000, content_length=None)
        srv.route("/zero", b"", content_length=0)
        srv.route("/drop", package, fault="drop")
        srv.route("/gone", fault="404")
        srv.route("/big", package)
        r = runner(bed, "download", BASE + "/nolen", "-")
        check(r.result == 1 and r.value(b"LENGTH") == b"15000", "no Content-Length: whole body")
        r = runner(bed, "download", BASE + "/zero", "-")
        check(r.result == 1 and r.value(b"LENGTH") == b"0", "Content-Length 0: empty body")
        clear_log(bed)
        r = runner(bed, "download", BASE + "/drop", r"C:\dl\drop.bin")
        check(r.result == 0 and r.status[-1] == gbk("下载文件出错"), "dropped transfer fails")
        part = os.path.join(bed.prefix, "drive_c", "dl", "drop.bin")
        check(os.path.exists(part) and os.path.getsize(part) < len(package), "partly written file stays")
        r = runner(bed, "download", BASE + "/gone", r"C:\dl\gone.bin")
        check(r.result == 0 and not os.path.exists(os.path.join(bed.prefix, "drive_c", "dl", "gone.bin")),
              "404 is not saved as the file")
        check(b"DOWNLOAD: HTTP status 404" in log_bytes(bed), "status logged")
        r = runner(bed, "download", BASE + "/big", r"C:\dl\big.bin")
        big = os.path.join(bed.prefix, "drive_c", "dl", "big.bin")
        check(r.result == 1 and open(big, "rb").read() == package, "file download intact")
        check(int(r.value(b"PROGRESS")) >= len(package) // 4096, "progress once per block")
        before = len(srv.requests)
        r = runner(bed, "download", BASE + "/big?" + "q" * 1100, "-")
        check(r.result == 0 and len(srv.requests) == before, "over-long URL refused before any request")
        check(b"URL longer than 1023 characters refused" in log_bytes(bed), "over-long URL logged")

        # ---- digests against hashlib ---------------------------------------------------------
        files = []
        for n in (0, 56, 64, 102400, 102401):
            data = os.urandom(n)
            name = "md5_%d.bin" % n
            with open(os.path.join(bed.prefix, "drive_c", name), "wb") as f:
                f.write(data)
            files.append(("C:\\" + name, hashlib.md5(data).hexdigest()))
        r = runner(bed, "md5", *[p for p, _ in files], r"C:\no_such_file.bin")
        got = [l[4:].decode() for l in r.lines if l.startswith(b"MD5 ")]
        check(got == [d for _, d in files] + ["-"], "digests %r" % got)
        check(got and got[0] == "d41d8cd98f00b204e9800998ecf8427e", "empty file digest")
    finally:
        srv.stop()

    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all passed")


if __name__ == "__main__":
    main()
