// The ZIP reader and the unzip action on archives written here, entry by entry
// (stored entries, so names, CRCs and sizes are exactly what each case needs).
#include <gtest/gtest.h>
#include <minizip/unzip.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "action.h"
#include "utils.h"
#include "action_types.h"
#include "environment.h"
#include "test_files.h"
#include "update_engine.h"
#include "zip_reader.h"

// The program is linked with --wrap=unzReadCurrentFile: every read the reader
// asks of minizip passes through here, so its block size can be seen.
unsigned g_largestRead = 0;
extern "C" int __real_unzReadCurrentFile(unzFile file, voidp buf, unsigned len);
extern "C" int __wrap_unzReadCurrentFile(unzFile file, voidp buf, unsigned len) {
    if (len > g_largestRead)
        g_largestRead = len;
    return __real_unzReadCurrentFile(file, buf, len);
}

namespace {

struct Entry {
    std::string name;
    std::string data;
    bool folder = false;
    bool badCrc = false;
    unsigned method = 0;    // as given in both headers; the data is written as it stands
    bool badLocal = false;  // a local header whose signature is broken
};

const WORD kDosDate = (WORD)(((2021 - 1980) << 9) | (3 << 5) | 14);  // 2021-03-14
const WORD kDosTime = (WORD)((15 << 11) | (9 << 5) | (26 / 2));      // 15:09:26

void Put16(std::string& s, unsigned v) {
    s += (char)(v & 0xFF);
    s += (char)((v >> 8) & 0xFF);
}
void Put32(std::string& s, unsigned v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

std::string BuildZip(const std::vector<Entry>& entries) {
    std::string out, central;
    for (const Entry& e : entries) {
        unsigned crc = crc32(0, (const Bytef*)e.data.data(), (uInt)e.data.size());
        if (e.badCrc)
            crc ^= 0x5A5A5A5A;
        unsigned offset = (unsigned)out.size();
        std::string head;
        Put16(head, 10);  // version needed
        Put16(head, 0);   // flags
        Put16(head, e.method);
        Put16(head, kDosTime);
        Put16(head, kDosDate);
        Put32(head, crc);
        Put32(head, (unsigned)e.data.size());
        Put32(head, (unsigned)e.data.size());
        Put16(head, (unsigned)e.name.size());
        Put16(head, 0);
        out += (e.badLocal ? "PK\x03\x05" : "PK\x03\x04") + head + e.name + e.data;
        central += std::string("PK\x01\x02", 4);
        Put16(central, 20);  // made by
        central += head;
        Put16(central, 0);  // comment length
        Put16(central, 0);  // disk
        Put16(central, 0);  // internal attributes
        Put32(central, e.folder ? 0x10 : 0x20);
        Put32(central, offset);
        central += e.name;
    }
    unsigned cdOffset = (unsigned)out.size();
    out += central;
    out += std::string("PK\x05\x06", 4);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, (unsigned)entries.size());
    Put16(out, (unsigned)entries.size());
    Put32(out, (unsigned)central.size());
    Put32(out, cdOffset);
    Put16(out, 0);
    return out;
}

std::string g_dir;

std::string WriteZip(const char* name, const std::vector<Entry>& entries) {
    std::string path = g_dir + "\\" + name;
    std::string bytes = BuildZip(entries);
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    return path;
}

BOOL Unzip(const std::string& file, const std::string& where) {
    CUpdateAction* a = CreateAction("unzip");
    a->SetAttribute("file", file.c_str());
    a->SetAttribute("where", where.c_str());
    BOOL r = a->Execute();
    delete a;
    return r;
}

// The log is a text-mode file: lines end in "\r\n" on disk.
std::string LogText() {
    std::string s = ReadAll("updater.log"), out;
    for (char c : s)
        if (c != '\r')
            out += c;
    return out;
}

// The process's current folder is path (created when missing) for the life
// of the object, then the old one again.
struct CurrentFolder {
    char old[MAX_PATH];
    explicit CurrentFolder(const std::string& path) {
        GetCurrentDirectoryA(countof(old), old);
        CreateDirectoryA(path.c_str(), NULL);
        SetCurrentDirectoryA(path.c_str());
    }
    ~CurrentFolder() { SetCurrentDirectoryA(old); }
};

struct Zip : ::testing::Test {
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(countof(temp), temp);
        g_dir = std::string(temp) + "zorvet_zip_test";
        DeleteFolderTree(g_dir.c_str());
        CreateDirectoryA(g_dir.c_str(), NULL);
        DeleteFileA("updater.log");
        RegisterActionPrototypes();
    }
    void TearDown() override {
        ClearActionPrototypes();
        DeleteFolderTree(g_dir.c_str());
    }
};

}  // namespace

TEST_F(Zip, ReaderWalksDescribesAndExtracts) {
    std::string path = WriteZip("pack.v1.zip", {{"a.txt", "alpha"},
                                                {"sub/dir/", "", true},
                                                {"sub/b.DAT", "beta"},
                                                {"文件/名.txt", "gbk"}});
    CZipReader zip(path.c_str());
    EXPECT_EQ(4, zip.GetEntryCount());
    EXPECT_EQ(g_dir + "\\pack.v1", zip.GetDefaultFolder());
    ASSERT_TRUE(zip.GotoFirstEntry("dat"));
    ZipEntryInfo info;
    ASSERT_TRUE(zip.GetEntryInfo(info));
    EXPECT_STREQ("sub\\b.DAT", info.name);
    EXPECT_EQ(4u, info.uncompressedSize);
    EXPECT_EQ(0u, info.compressionMethod);
    EXPECT_EQ(((DWORD)kDosDate << 16) | kDosTime, info.dosDate);
    EXPECT_FALSE(zip.GotoNextEntry("dat"));
    EXPECT_FALSE(zip.GotoFirstEntry("exe"));

    ASSERT_TRUE(zip.GotoFirstEntry(NULL));
    EXPECT_TRUE(zip.ExtractEntry(NULL, FALSE));  // the default folder
    EXPECT_EQ("alpha", ReadAll(g_dir + "\\pack.v1\\a.txt"));
    ASSERT_TRUE(zip.GotoNextEntry(NULL));
    EXPECT_TRUE(zip.ExtractEntry((g_dir + "\\out").c_str(), FALSE));
    EXPECT_TRUE(zip.ExtractEntry((g_dir + "\\out").c_str(), FALSE));  // existing folder: fine
    ASSERT_TRUE(zip.GotoNextEntry(NULL));
    EXPECT_TRUE(zip.ExtractEntry((g_dir + "\\flat").c_str(), TRUE));
    EXPECT_EQ("beta", ReadAll(g_dir + "\\flat\\b.DAT"));
    ASSERT_TRUE(zip.GotoNextEntry(NULL));
    EXPECT_TRUE(zip.ExtractEntry((g_dir + "\\out").c_str(), FALSE));
    EXPECT_EQ("gbk", ReadAll(g_dir + "\\out\\文件\\名.txt"));
    EXPECT_TRUE(Exists(g_dir + "\\out\\sub\\dir"));

    // The entry's time is the file's creation and last-write time (as local time).
    HANDLE h = CreateFileA((g_dir + "\\flat\\b.DAT").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0,
                           NULL);
    FILETIME created, accessed, written, local;
    GetFileTime(h, &created, &accessed, &written);
    CloseHandle(h);
    FileTimeToLocalFileTime(&written, &local);
    WORD date, time;
    FileTimeToDosDateTime(&local, &date, &time);
    EXPECT_EQ(kDosDate, date);
    EXPECT_EQ(kDosTime, time);
    EXPECT_EQ(0, CompareFileTime(&created, &written));

    // A file where a folder must go.
    CreateDirectoryA((g_dir + "\\blocked").c_str(), NULL);
    FILE* f = fopen((g_dir + "\\blocked\\sub").c_str(), "w");
    fclose(f);
    ASSERT_TRUE(zip.GotoFirstEntry("dat"));
    EXPECT_FALSE(zip.ExtractEntry((g_dir + "\\blocked").c_str(), FALSE));
    EXPECT_TRUE(zip.ExtractEntryTo((g_dir + "\\to\\exact.bin").c_str()));
    EXPECT_EQ("beta", ReadAll(g_dir + "\\to\\exact.bin"));

    EXPECT_TRUE(zip.Close());
    EXPECT_EQ(0, zip.GetEntryCount());
    EXPECT_FALSE(zip.GotoFirstEntry(NULL));
    EXPECT_FALSE(zip.Open(""));
    EXPECT_FALSE(zip.Open((g_dir + "\\none.zip").c_str()));
}

TEST_F(Zip, ExtractionCopiesInBlocksOf2048Bytes) {
    std::string data;
    for (int i = 0; i < 10000; i++)
        data += (char)(i * 7 + i / 251);
    std::string path = WriteZip("big.zip", {{"big.bin", data}});
    CZipReader zip(path.c_str());
    ASSERT_TRUE(zip.GotoFirstEntry(NULL));
    g_largestRead = 0;
    EXPECT_TRUE(zip.ExtractEntry((g_dir + "\\big").c_str(), FALSE));
    EXPECT_EQ(2048u, g_largestRead);
    g_largestRead = 0;
    EXPECT_TRUE(zip.ExtractEntryTo((g_dir + "\\to\\big.bin").c_str()));
    EXPECT_EQ(2048u, g_largestRead);
    EXPECT_EQ(data, ReadAll(g_dir + "\\big\\big.bin"));
    EXPECT_EQ(data, ReadAll(g_dir + "\\to\\big.bin"));
}

TEST_F(Zip, UnzipActionExtractsInOrderAndLogs) {
    std::string path = WriteZip("p.zip", {{"one.txt", "1"}, {"d/two.txt", "2"}, {"d/", "", true}});
    std::string here = g_dir + "\\here";  // the current folder
    // where as written, the folder the entries land in, and the target path of
    // an entry as the log names it, before the entry's name.
    const struct {
        const char* label;
        std::string where, folder, logged;
    } rows[] = {
        {"doubled backslash", g_dir + "\\\\target", g_dir + "\\target", g_dir + "\\target\\"},
        {"empty: the current folder", "", here, "\\"},
    };
    for (const auto& r : rows) {
        CurrentFolder cd(here);
        DeleteFileA("updater.log");
        EXPECT_TRUE(Unzip(path, r.where)) << r.label;
        EXPECT_EQ("1", ReadAll(r.folder + "\\one.txt")) << r.label;
        EXPECT_EQ("2", ReadAll(r.folder + "\\d\\two.txt")) << r.label;
        std::string log = LogText();
        std::string first = "正在解压文件: " + r.logged + "one.txt\n";
        std::string second = "正在解压文件: " + r.logged + "d\\two.txt\n";
        size_t a = log.find(first), b = log.find(second), c = log.find("解压文件完毕\n");
        EXPECT_NE(std::string::npos, a) << r.label << "\n" << log;
        EXPECT_LT(a, b) << r.label;
        EXPECT_LT(b, c) << r.label;
        EXPECT_NE(std::string::npos, c) << r.label;
    }
}

// Bad archives and entries: each refused with the unzip action's error line,
// nothing written outside the target folder, entries before the bad one kept.
TEST_F(Zip, UnzipRefusesBadEntries) {
    std::string longName(300, 'n');
    struct Case {
        const char* label;
        std::vector<Entry> entries;
        const char* line;       // expected log text
        const char* outside;    // must not exist afterwards (relative to g_dir)
    } cases[] = {
        {"parent", {{"ok.txt", "k"}, {"../escaped.txt", "x"}}, "解压文件出错: ", "escaped.txt"},
        {"deep parent", {{"ok.txt", "k"}, {"a/../../escaped2.txt", "x"}}, "解压文件出错: ", "escaped2.txt"},
        {"dots and blank", {{"ok.txt", "k"}, {".. /escaped3.txt", "x"}}, "解压文件出错: ", "escaped3.txt"},
        {"absolute", {{"ok.txt", "k"}, {"/escaped4.txt", "x"}}, "解压文件出错: ", NULL},
        {"drive", {{"ok.txt", "k"}, {"C:escaped5.txt", "x"}}, "解压文件出错: ", NULL},
        {"stream", {{"ok.txt", "k"}, {"ok.txt:ads", "x"}}, "解压文件出错: ", NULL},
        {"long name", {{"ok.txt", "k"}, {longName, "x"}}, "解压文件出错: ", NULL},
        {"bad crc", {{"ok.txt", "k"}, {"crc.txt", "payload", false, true}}, "解压文件出错: ", NULL},
    };
    // Each case into a named folder, and with an empty where into the current
    // folder, which is then a folder of its own below g_dir.
    for (bool empty : {false, true}) {
        for (const Case& c : cases) {
            std::string folder = g_dir + (empty ? "\\c_" : "\\t_") + std::to_string(&c - cases);
            std::string label = std::string(c.label) + (empty ? ", empty where" : "");
            std::string path = WriteZip("bad.zip", c.entries);
            CurrentFolder cd(empty ? folder : g_dir);
            DeleteFileA("updater.log");
            EXPECT_FALSE(Unzip(path, empty ? "" : folder)) << label;
            std::string log = LogText();
            EXPECT_NE(std::string::npos, log.find(c.line)) << label << "\n" << log;
            EXPECT_NE(std::string::npos, log.find("解压文件完毕")) << label;
            EXPECT_EQ("k", ReadAll(folder + "\\ok.txt")) << label;
            if (c.outside) {
                EXPECT_FALSE(Exists(g_dir + "\\" + c.outside)) << label;
            }
            EXPECT_FALSE(Exists("C:\\escaped4.txt")) << label;
        }
    }
    // The file of an entry whose CRC fails is not left behind.
    EXPECT_FALSE(Exists(g_dir + "\\t_7\\crc.txt"));
    EXPECT_FALSE(Exists(g_dir + "\\c_7\\crc.txt"));

    struct Whole {
        const char* label;
        std::string file;
        std::string where;
        const char* line;
    } wholes[] = {
        {"missing", g_dir + "\\none.zip", g_dir + "\\w", "文件没有发现："},
        {"not a zip", g_dir + "\\junk.zip", g_dir + "\\w", "无法打开压缩文件："},
    };
    FILE* f = fopen((g_dir + "\\junk.zip").c_str(), "wb");
    fputs("not a zip at all", f);
    fclose(f);
    for (const Whole& w : wholes) {
        DeleteFileA("updater.log");
        EXPECT_FALSE(Unzip(w.file, w.where)) << w.label;
        EXPECT_NE(std::string::npos, LogText().find(std::string(w.line) + w.file)) << w.label << LogText();
    }

    // An archive without entries: minizip may already refuse to open it.
    DeleteFileA("updater.log");
    std::string empty = WriteZip("empty.zip", {});
    EXPECT_FALSE(Unzip(empty, g_dir + "\\w"));
    std::string log = LogText();
    EXPECT_TRUE(log.find("空的压缩文件：" + empty) != std::string::npos ||
                log.find("无法打开压缩文件：" + empty) != std::string::npos)
        << log;
}

// An entry that can't be read back as it was packed, over a file already
// installed: the action fails with its line and the file keeps its bytes.
TEST_F(Zip, UnreadableEntryLeavesTheInstalledFileAsItWas) {
    const std::string bzip2 = std::string("BZh91AY&SY\x4e\x1b\x2c\x07\0\0\0\x01", 18);
    struct Case {
        const char* label;
        Entry entry;
    } cases[] = {
        {"bzip2, which minizip opens without a decoder", {"core.dll", bzip2, false, false, 12}},
        {"a method minizip refuses", {"core.dll", "lzma data", false, false, 14}},
        {"broken local header", {"core.dll", "new bytes", false, false, 0, true}},
    };
    std::string where = g_dir + "\\installed";
    std::string target = where + "\\core.dll";
    for (const Case& c : cases) {
        CreateDirectoryA(where.c_str(), NULL);
        FILE* f = fopen(target.c_str(), "wb");
        fputs("installed bytes", f);
        fclose(f);
        std::string path = WriteZip("unreadable.zip", {{"ok.txt", "k"}, c.entry});
        DeleteFileA("updater.log");
        EXPECT_FALSE(Unzip(path, where)) << c.label;
        std::string log = LogText();
        EXPECT_NE(std::string::npos, log.find("解压文件出错: " + target)) << c.label << "\n" << log;
        EXPECT_EQ("installed bytes", ReadAll(target)) << c.label;
        EXPECT_EQ("k", ReadAll(where + "\\ok.txt")) << c.label;
    }
}

TEST_F(Zip, UnzipOverTheRunningUpdaterWritesTheUnderscoreCopy) {
    std::string own = g_dir + "\\app\\updater.exe";
    CreateDirectoryA((g_dir + "\\app").c_str(), NULL);
    FILE* f = fopen(own.c_str(), "wb");
    fputs("old", f);
    fclose(f);
    CString ownPath = g_strOwnPath, ownFolder = g_strOwnFolder, ownName = g_strOwnName;
    CString batchFile = g_strBatchFile;
    g_strOwnPath = own.c_str();
    g_strOwnFolder = (g_dir + "\\app").c_str();
    g_strOwnName = "updater.exe";
    g_strBatchFile = (g_dir + "\\download.bat").c_str();
    g_strBatchText.Empty();
    std::string path = WriteZip("self.zip", {{"UPDATER.EXE", "new"}, {"other.dll", "o"}});
    EXPECT_TRUE(Unzip(path, g_dir + "\\app"));
    EXPECT_EQ("old", ReadAll(own));
    EXPECT_EQ("new", ReadAll(g_dir + "\\app\\_updater.exe"));
    EXPECT_EQ("o", ReadAll(g_dir + "\\app\\other.dll"));
    EXPECT_FALSE(g_strBatchText.IsEmpty());
    g_strOwnPath = ownPath;
    g_strOwnFolder = ownFolder;
    g_strOwnName = ownName;
    g_strBatchFile = batchFile;
    g_strBatchText.Empty();
}
