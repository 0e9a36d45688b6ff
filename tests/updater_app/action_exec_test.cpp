// Execute of the registry, file and shortcut actions against the test's prefix.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <tinyxml.h>

#include <string>
#include <vector>

#include "action.h"
#include "utils.h"
#include "action_types.h"
#include "environment.h"
#include "registry.h"
#include "shortcut.h"
#include "test_files.h"
#include "update_engine.h"

namespace {

const char kTestKey[] = "Software\\ZorvetActionTest";

CUpdateAction* Make(const char* type, std::vector<std::pair<const char*, std::string>> attrs) {
    CUpdateAction* a = CreateAction(type);
    for (auto& kv : attrs)
        a->SetAttribute(kv.first, kv.second.c_str());
    return a;
}

BOOL Exec(const char* type, std::vector<std::pair<const char*, std::string>> attrs) {
    CUpdateAction* a = Make(type, attrs);
    BOOL r = a->Execute();
    delete a;
    return r;
}

std::vector<BYTE> ReadValue(HKEY root, const char* key, const char* name, DWORD* type) {
    HKEY h;
    std::vector<BYTE> out;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return out;
    DWORD size = 0;
    if (RegQueryValueExA(h, name, NULL, type, NULL, &size) == ERROR_SUCCESS) {
        out.resize(size);
        RegQueryValueExA(h, name, NULL, type, out.data(), &size);
        out.resize(size);
    } else {
        *type = 0xFFFF;
    }
    RegCloseKey(h);
    return out;
}

void WriteBinary(const char* name, std::vector<BYTE> bytes) {
    HKEY h;
    RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, NULL, 0, KEY_WRITE, NULL, &h, NULL);
    RegSetValueExA(h, name, 0, REG_BINARY, bytes.data(), (DWORD)bytes.size());
    RegCloseKey(h);
}

bool KeyExists(HKEY root, const char* key) {
    HKEY h;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

std::string TempDir(const char* name) {
    char temp[MAX_PATH];
    GetTempPathA(countof(temp), temp);
    std::string d = std::string(temp) + name;
    DeleteFolderTree(d.c_str());
    CreateDirectoryA(d.c_str(), NULL);
    return d;
}

void WriteFile(const std::string& path, const char* text) {
    FILE* f = fopen(path.c_str(), "wb");
    fputs(text, f);
    fclose(f);
}

struct Fixture : ::testing::Test {
    void SetUp() override {
        RegisterActionPrototypes();
        CRegistry reg;
        reg.SetRootKey(HKEY_CURRENT_USER);
        reg.DeleteKey(kTestKey);
    }
    void TearDown() override {
        CRegistry reg;
        reg.SetRootKey(HKEY_CURRENT_USER);
        reg.DeleteKey(kTestKey);
        ClearActionPrototypes();
    }
};

}  // namespace

typedef Fixture RegistryAction;

TEST_F(RegistryAction, WritesDwordStringAndRoots) {
    std::string key = std::string("HKCU\\") + kTestKey;
    EXPECT_TRUE(Exec("registry", {{"key", key}, {"valuename", "Ver"}, {"valuetype", "DWORD"}, {"value", "5"}}));
    EXPECT_TRUE(Exec("registry", {{"key", key}, {"valuename", "All"}, {"valuetype", "dword"}, {"value", "-1"}}));
    EXPECT_TRUE(Exec("registry", {{"key", key}, {"valuename", "Hex"}, {"valuetype", "DWORD"}, {"value", "0x10"}}));
    EXPECT_TRUE(Exec("registry", {{"key", key}, {"valuename", "Name"}, {"value", "值 %WINDIR%"}}));
    EXPECT_TRUE(Exec("registry", {{"key", key}, {"valuename", "Q"}, {"valuetype", "QWORD"}, {"value", "7"}}));
    EXPECT_TRUE(Exec("registry", {{"key", key}, {"value", "default"}}));
    DWORD type;
    std::vector<BYTE> v = ReadValue(HKEY_CURRENT_USER, kTestKey, "Ver", &type);
    EXPECT_EQ((DWORD)REG_DWORD, type);
    ASSERT_EQ(4u, v.size());
    EXPECT_EQ(5u, *(DWORD*)v.data());
    v = ReadValue(HKEY_CURRENT_USER, kTestKey, "All", &type);
    EXPECT_EQ(0xFFFFFFFFu, *(DWORD*)v.data());
    v = ReadValue(HKEY_CURRENT_USER, kTestKey, "Hex", &type);
    EXPECT_EQ(0u, *(DWORD*)v.data());
    v = ReadValue(HKEY_CURRENT_USER, kTestKey, "Name", &type);
    EXPECT_EQ((DWORD)REG_SZ, type);
    // The typed member keeps the reference; only the stored pair is expanded.
    EXPECT_EQ(std::string("值 %WINDIR%"), std::string((char*)v.data()));
    v = ReadValue(HKEY_CURRENT_USER, kTestKey, "Q", &type);
    EXPECT_EQ((DWORD)REG_SZ, type);
    v = ReadValue(HKEY_CURRENT_USER, kTestKey, "", &type);
    EXPECT_EQ(std::string("default"), std::string((char*)v.data()));

    // No backslash, or an unknown root name: below HKEY_LOCAL_MACHINE.
    EXPECT_TRUE(Exec("registry", {{"key", "HKXX\\Software\\ZorvetActionTest"}, {"valuename", "R"}, {"value", "x"}}));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\ZorvetActionTest"));
    EXPECT_TRUE(Exec("registry", {{"key", "ZorvetActionTop"}, {"valuename", "R"}, {"value", "x"}}));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "ZorvetActionTop"));
    EXPECT_TRUE(Exec("registry", {{"key", "-HKLM\\Software\\ZorvetActionTest"}}));
    EXPECT_TRUE(Exec("registry", {{"key", "-ZorvetActionTop"}}));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\ZorvetActionTest"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "ZorvetActionTop"));
}

TEST_F(RegistryAction, BinaryStartPositions) {
    std::string key = std::string("HKCU\\") + kTestKey;
    struct Case {
        const char* name;
        std::vector<BYTE> before;  // empty: no value
        const char* value;
        const char* startpos;
        std::vector<BYTE> after;
    } cases[] = {
        {"Over8", {1, 1, 1, 1, 1, 1, 1, 1}, "hex:01,02", "2", {1, 1, 1, 2, 1, 1, 1, 1}},
        {"Over2", {9, 9}, "hex:01,02", "2", {9, 9, 1, 2}},
        {"Gap", {9, 9}, "hex:01,02", "5", {9, 9, 0, 0, 0, 1, 2}},
        {"None", {}, "hex:01,02", "2", {1, 2}},
        {"Whole", {7, 7, 7, 7}, "HEX:0a, ff", "-1", {0x0a, 0xff}},
        {"Empty", {5}, "nothex", "0", {5}},
    };
    for (const Case& c : cases) {
        if (!c.before.empty())
            WriteBinary(c.name, c.before);
        EXPECT_TRUE(Exec("registry", {{"key", key}, {"valuename", c.name}, {"valuetype", "binary"},
                                      {"value", c.value}, {"startpos", c.startpos}}))
            << c.name;
        DWORD type;
        EXPECT_EQ(c.after, ReadValue(HKEY_CURRENT_USER, kTestKey, c.name, &type)) << c.name;
    }
    // A start position far beyond any value is refused instead of allocated.
    WriteBinary("Far", {1});
    EXPECT_FALSE(Exec("registry", {{"key", key}, {"valuename", "Far"}, {"valuetype", "BINARY"}, {"value", "hex:01"},
                                   {"startpos", "2147483647"}}));
    DWORD type;
    EXPECT_EQ(std::vector<BYTE>{1}, ReadValue(HKEY_CURRENT_USER, kTestKey, "Far", &type));
}

TEST_F(RegistryAction, DeletesValuesAndKeysButNeverARoot) {
    std::string key = std::string("HKCU\\") + kTestKey;
    EXPECT_TRUE(Exec("registry", {{"key", key + "\\a\\b"}, {"valuename", "V"}, {"value", "1"}}));
    EXPECT_TRUE(Exec("registry", {{"key", key}, {"valuename", "Ver"}, {"value", "1"}}));
    EXPECT_TRUE(Exec("registry", {{"key", key}, {"valuename", "-Ver"}}));
    EXPECT_TRUE(Exec("registry", {{"key", key}, {"valuename", "-Missing"}}));
    DWORD type;
    ReadValue(HKEY_CURRENT_USER, kTestKey, "Ver", &type);
    EXPECT_EQ(0xFFFFu, type);
    // "-" before the key wins over one before the value name.
    EXPECT_TRUE(Exec("registry", {{"key", "-" + key}, {"valuename", "-V"}}));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestKey));
    EXPECT_TRUE(Exec("registry", {{"key", "-" + key}}));  // already gone: still done

    // An empty sub key would name the root itself.
    const char* roots[] = {"-HKLM\\", "-", "-HKCU\\\\", "-\\"};
    for (const char* r : roots) {
        EXPECT_FALSE(Exec("registry", {{"key", r}})) << r;
        CUpdateAction* a = Make("registry", {{"key", r}, {"skiperr", "1"}});
        EXPECT_TRUE(a->Execute()) << r;
        delete a;
    }
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));
}

typedef Fixture FileActions;

TEST_F(FileActions, MkdirRemoveCopy) {
    std::string d = TempDir("zorvet_file_actions");
    EXPECT_TRUE(Exec("mkdir", {}));  // no path: logged, counts as done
    EXPECT_TRUE(Exec("mkdir", {{"path", d + "\\x\\y\\z"}}));
    EXPECT_TRUE(Exists(d + "\\x\\y\\z"));
    WriteFile(d + "\\file", "f");
    EXPECT_TRUE(Exec("mkdir", {{"dir", d + "\\file"}}));  // a file of that name: done
    EXPECT_FALSE(Exec("mkdir", {{"path", d + "\\file\\sub"}}));

    EXPECT_TRUE(Exec("remove", {{"path", d + "\\missing"}}));
    CreateDirectoryA((d + "\\empty").c_str(), NULL);
    EXPECT_TRUE(Exec("remove", {{"path", d + "\\empty"}}));
    EXPECT_FALSE(Exists(d + "\\empty"));
    CreateDirectoryA((d + "\\ro").c_str(), NULL);
    CreateDirectoryA((d + "\\ro\\sub").c_str(), NULL);
    WriteFile(d + "\\ro\\a.txt", "a");
    WriteFile(d + "\\ro\\sub\\b.txt", "b");
    SetFileAttributesA((d + "\\ro\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(Exec("remove", {{"path", d + "\\ro"}}));
    EXPECT_FALSE(Exists(d + "\\ro"));
    WriteFile(d + "\\single.txt", "s");
    SetFileAttributesA((d + "\\single.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(Exec("remove", {{"path", d + "\\single.txt"}}));
    SetFileAttributesA((d + "\\single.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

    // copy: into a folder under the file's own name; overwrite false refuses;
    // a move onto an existing file fails whatever overwrite says; move "0" moves.
    WriteFile(d + "\\src.txt", "src");
    CreateDirectoryA((d + "\\into").c_str(), NULL);
    EXPECT_TRUE(Exec("copy", {{"from", d + "\\src.txt"}, {"to", d + "\\into"}, {"move", "false"}}));
    EXPECT_TRUE(Exists(d + "\\into\\src.txt"));
    EXPECT_FALSE(Exec("copy", {{"from", d + "\\src.txt"}, {"to", d + "\\into\\src.txt"}, {"move", "false"},
                               {"overwrite", "FALSE"}}));
    EXPECT_TRUE(Exec("copy", {{"from", d + "\\src.txt"}, {"to", d + "\\into\\src.txt"}, {"move", "false"}}));
    EXPECT_FALSE(Exec("copy", {{"from", d + "\\src.txt"}, {"to", d + "\\into\\src.txt"}}));
    EXPECT_TRUE(Exec("copy", {{"from", d + "\\src.txt"}, {"to", d + "\\moved.txt"}, {"move", "0"}}));
    EXPECT_FALSE(Exists(d + "\\src.txt"));
    EXPECT_TRUE(Exists(d + "\\moved.txt"));
    EXPECT_FALSE(Exec("copy", {{"from", d + "\\nothing"}, {"to", d + "\\x.txt"}}));

    // open: a missing file fails; show/send message with nothing to do succeed.
    EXPECT_FALSE(Exec("open", {{"file", d + "\\nothing.txt"}}));
    EXPECT_TRUE(Exec("showmessage", {{"title", "t"}}));
    EXPECT_TRUE(Exec("sendmessage", {{"classname", "NoSuchClass"}, {"title", "none"}, {"message", "WM_CLOSE"}}));
    DeleteFolderTree(d.c_str());
}

// Wine lets a running program's file be deleted or overwritten, so only the
// updater's own check keeps it: g_strOwnPath names a stand-in for it here.
TEST_F(FileActions, RunningUpdaterIsNeverDeletedOrOverwritten) {
    std::string d = TempDir("zorvet_own_exe");
    std::string app = d + "\\app", own = app + "\\updater.exe";
    CString ownPath = g_strOwnPath, ownFolder = g_strOwnFolder, ownName = g_strOwnName;
    CString batchFile = g_strBatchFile;
    g_strOwnPath = own.c_str();
    g_strOwnFolder = app.c_str();
    g_strOwnName = "updater.exe";
    g_strBatchFile = (d + "\\download.bat").c_str();
    CreateDirectoryA((d + "\\new").c_str(), NULL);
    WriteFile(d + "\\new\\updater.exe", "new");
    struct {
        const char* label;
        const char* type;
        std::vector<std::pair<const char*, std::string>> attrs;
        const char* copy;  // what "_updater.exe" beside it holds afterwards, or null: none
    } cases[] = {
        {"remove its folder", "remove", {{"path", app}}, NULL},
        {"copy onto it", "copy", {{"from", d + "\\new\\updater.exe"}, {"to", own}, {"move", "false"}}, "new"},
        {"copy into its folder", "copy", {{"from", d + "\\new\\updater.exe"}, {"to", app}, {"move", "false"}},
         "new"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        CreateDirectoryA(app.c_str(), NULL);
        WriteFile(own, "running");
        WriteFile(app + "\\other.dll", "o");
        DeleteFileA((app + "\\_updater.exe").c_str());
        g_strBatchText.Empty();
        EXPECT_TRUE(Exec(c.type, c.attrs));
        EXPECT_STREQ("running", ReadAll(own).c_str());
        if (c.copy) {
            EXPECT_STREQ(c.copy, ReadAll(app + "\\_updater.exe").c_str());
            EXPECT_FALSE(g_strBatchText.IsEmpty());  // puts it in place after the updater has ended
        } else {
            EXPECT_FALSE(Exists(app + "\\other.dll"));  // the rest of the folder goes
        }
    }
    g_strOwnPath = ownPath;
    g_strOwnFolder = ownFolder;
    g_strOwnName = ownName;
    g_strBatchFile = batchFile;
    g_strBatchText.Empty();
    DeleteFolderTree(d.c_str());
}

TEST_F(FileActions, RemoveDoesNotFollowJunctions) {
    // A reparse point inside a removed tree is unlinked, its target left alone.
    std::string d = TempDir("zorvet_junction");
    std::string outside = TempDir("zorvet_junction_target");
    WriteFile(outside + "\\keep.txt", "keep");
    CreateDirectoryA((d + "\\link").c_str(), NULL);
    HANDLE h = CreateFileA((d + "\\link").c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    // Mount-point reparse data: "\??\<target>" as substitute and print name.
    std::wstring target = L"\\??\\";
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, outside.c_str(), -1, wide, MAX_PATH);
    target += wide;
    std::vector<BYTE> buf(8 + 8 + (target.size() + 1 + 1) * 2 + 8, 0);
    WORD subLen = (WORD)(target.size() * 2);
    BYTE* p = buf.data();
    *(DWORD*)p = 0xA0000003;  // IO_REPARSE_TAG_MOUNT_POINT
    *(WORD*)(p + 4) = (WORD)(8 + subLen + 2 + 2);
    *(WORD*)(p + 8) = 0;
    *(WORD*)(p + 10) = subLen;
    *(WORD*)(p + 12) = (WORD)(subLen + 2);
    *(WORD*)(p + 14) = 0;
    memcpy(p + 16, target.c_str(), subLen);
    DWORD got;
    BOOL made = DeviceIoControl(h, 0x000900A4 /* FSCTL_SET_REPARSE_POINT */, p, 8 + *(WORD*)(p + 4), NULL, 0,
                                &got, NULL);
    CloseHandle(h);
    if (!made || !(GetFileAttributesA((d + "\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)) {
        DeleteFolderTree(d.c_str());
        GTEST_SKIP() << "this system makes no junctions";
    }
    WriteFile(d + "\\f.txt", "x");
    EXPECT_TRUE(Exec("remove", {{"path", d}}));
    EXPECT_TRUE(Exists(outside + "\\keep.txt"));
    EXPECT_EQ(1, DeleteFolderTree(outside.c_str()));
}

typedef Fixture ShortcutAction;

TEST_F(ShortcutAction, CreateUpdateDelete) {
    CShortcut s;
    CString folder;
    ASSERT_TRUE(s.GetSpecialFolder(CSIDL_PROGRAMS, folder));
    std::string lnk = std::string((LPCSTR)folder) + "Zorvet测试.lnk";
    DeleteFileA(lnk.c_str());
    char windir[MAX_PATH];
    GetWindowsDirectoryA(windir, countof(windir));
    std::string notepad = std::string(windir) + "\\notepad.exe";
    std::string regedit = std::string(windir) + "\\regedit.exe";

    EXPECT_TRUE(Exec("shortcut", {{"cmd", "update"}, {"id", "2"}, {"name", "Zorvet测试"}}));  // none: nothing
    EXPECT_FALSE(Exists(lnk));
    EXPECT_TRUE(Exec("shortcut", {{"name", ""}}));
    EXPECT_TRUE(Exec("shortcut", {{"id", "0x2"}, {"name", "Zorvet测试"}, {"target", notepad}, {"arg", "-a"},
                                 {"lnkdesc", "说明"}, {"iconfile", notepad}, {"iconindex", "3"}}));
    ASSERT_TRUE(Exists(lnk));
    EXPECT_TRUE(s.Exists(2, "Zorvet测试"));
    CString target, args, desc, icon;
    int index = -1;
    EXPECT_GE(s.GetInfo(NULL, 2, "Zorvet测试", target, args, desc, icon, index), 0);
    EXPECT_EQ(0, lstrcmpiA(target, notepad.c_str())) << (LPCSTR)target;
    EXPECT_STREQ("-a", args);
    EXPECT_STREQ("说明", desc);
    EXPECT_EQ(3, index);

    EXPECT_TRUE(Exec("shortcut", {{"cmd", "Update"}, {"id", "2"}, {"name", "Zorvet测试"}, {"target", regedit},
                                 {"arg", "-b"}, {"iconindex", "5"}, {"newitems", "Target , IconIndex"}}));
    EXPECT_GE(s.GetInfo(NULL, 2, "Zorvet测试", target, args, desc, icon, index), 0);
    EXPECT_EQ(0, lstrcmpiA(target, regedit.c_str())) << (LPCSTR)target;
    EXPECT_STREQ("-a", args);  // not listed: kept
    EXPECT_STREQ("说明", desc);
    EXPECT_EQ(5, index);

    EXPECT_TRUE(Exec("shortcut", {{"cmd", "remove"}, {"id", "2"}, {"name", "Zorvet测试"}}));  // unknown word
    EXPECT_TRUE(Exists(lnk));
    EXPECT_TRUE(Exec("shortcut", {{"cmd", "DELETE "}, {"id", "2"}, {"name", "Zorvet测试"}}));
    EXPECT_FALSE(Exists(lnk));
    EXPECT_FALSE(Exec("shortcut", {{"cmd", "delete"}, {"id", "2"}, {"name", "Zorvet测试"}}));

    // ExpandLongPath: forward slashes and long names; a missing path gives 0.
    CString out;
    std::string slashed = notepad;
    for (char& c : slashed)
        if (c == '\\')
            c = '/';
    EXPECT_GT(s.ExpandLongPath(slashed.c_str(), out), 0);
    EXPECT_EQ(0, lstrcmpiA(out, notepad.c_str())) << (LPCSTR)out;
    EXPECT_EQ(0, s.ExpandLongPath("C:\\no\\such\\path", out));
}

namespace {
int g_closes = 0;
LRESULT CALLBACK CloseCounter(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
        g_closes++;
        if (GetWindowLongPtrA(w, GWLP_USERDATA))
            DestroyWindow(w);
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}
}  // namespace

// WM_CLOSE to another window: once for a window that closes, twice and then
// (nobody to ask in daemon mode) no more for one that stays.
TEST_F(FileActions, SendMessageCloseAttempts) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = CloseCounter;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "ZorvetCloseCounter";
    RegisterClassA(&wc);
    HWND closes = CreateWindowA("ZorvetCloseCounter", "closes", WS_POPUP, 0, 0, 10, 10, NULL, NULL, wc.hInstance, NULL);
    SetWindowLongPtrA(closes, GWLP_USERDATA, 1);
    g_closes = 0;
    EXPECT_TRUE(Exec("sendmessage", {{"classname", "ZorvetCloseCounter"}, {"title", "closes"}, {"message", "wm_close"}}));
    EXPECT_EQ(1, g_closes);
    EXPECT_FALSE(IsWindow(closes));

    HWND stays = CreateWindowA("ZorvetCloseCounter", "stays", WS_POPUP, 0, 0, 10, 10, NULL, NULL, wc.hInstance, NULL);
    BOOL daemon = g_bDaemonMode;
    g_bDaemonMode = TRUE;
    g_closes = 0;
    EXPECT_TRUE(Exec("sendmessage", {{"classname", "ZorvetCloseCounter"}, {"title", "stays"}, {"message", "WM_CLOSE"}}));
    EXPECT_EQ(2, g_closes);
    // "0x10" reads as message 0: sent once, and it closes nothing.
    g_closes = 0;
    EXPECT_TRUE(Exec("sendmessage", {{"classname", "ZorvetCloseCounter"}, {"title", "stays"}, {"message", "0x10"}}));
    EXPECT_EQ(0, g_closes);
    // A showmessage in daemon mode shows nothing and goes to the log.
    EXPECT_TRUE(Exec("showmessage", {{"title", "t"}, {"message", "nobody here"}}));
    g_bDaemonMode = daemon;
    DestroyWindow(stays);
}
