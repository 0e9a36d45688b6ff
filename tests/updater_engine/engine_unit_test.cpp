// The engine's helpers under Wine: text splitting, hex lists, package file
// names, versions, the registry class, folder deletion, ExecCmd's texts, the
// self-replacement batch, the log line bound and the document's reading rules.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <tinyxml.h>

#include "action.h"
#include "environment.h"
#include "registry.h"
#include "status_display.h"
#include "update_engine.h"
#include "update_package.h"

#include <shellapi.h>

namespace {

// Records what the engine shows.
struct RecordingDisplay : IUpdateDisplay {
    std::vector<std::string> status;
    std::string latest;
    void SetStatusText(LPCSTR text) override { status.push_back(text); }
    void SetFileProgress(int, int) override {}
    void SetTotalProgress(int, int) override {}
    void SetLatestVersion(LPCSTR v) override { latest = v; }
};

struct DisplayScope {
    RecordingDisplay display;
    DisplayScope() { SetUpdateDisplay(&display); }
    ~DisplayScope() { SetUpdateDisplay(NULL); }
};

// Action type "probe" whose Execute records its attributes.
std::vector<std::string> g_executed;
class CProbe : public CUpdateAction {
public:
    CProbe() : CUpdateAction("probe") { InitAttributes(); }
    CProbe(const CProbe& s) : CUpdateAction(s) { InitAttributes(); }
    void InitAttributes() override {
        CUpdateAction::InitAttributes();
        SetAttributeLists("name,path,file", ",,");
    }
    BOOL Execute() override {
        g_executed.push_back(std::string(GetAttribute("name")) + "|" + (LPCSTR)GetAttribute("path") + "|" +
                             (LPCSTR)GetAttribute("file"));
        return TRUE;
    }
    CUpdateAction* Clone() override {
        CProbe* p = new CProbe(*this);
        p->ApplyAttributes();
        return p;
    }
};

struct EngineView : CUpdateEngine {
    CUpdatePackage* Package(int i) {
        POSITION pos = m_packages.FindIndex(i);
        return pos ? static_cast<CUpdatePackage*>(m_packages.GetAt(pos)) : NULL;
    }
};

std::string TempDir() {
    char buffer[MAX_PATH];
    GetTempPathA(MAX_PATH, buffer);
    return buffer;
}

void WriteBytes(const std::string& path, const char* text) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f != NULL) << path;
    fputs(text, f);
    fclose(f);
}

}  // namespace

TEST(EngineText, SplitString) {
    CStringArray parts;
    EXPECT_EQ(4, SplitString(&parts, CString("one, two ,,three"), CString(","), CString(" \t")));
    EXPECT_EQ(CString("one"), parts[0]);
    EXPECT_EQ(CString("two"), parts[1]);
    EXPECT_EQ(CString(""), parts[2]);
    EXPECT_EQ(CString("three"), parts[3]);
    EXPECT_EQ(1, SplitString(&parts, CString(""), CString(","), CString(" \t")));
    EXPECT_EQ(2, SplitString(&parts, CString("a,"), CString(","), CString(" \t")));
    EXPECT_EQ(CString(""), parts[1]);
    EXPECT_EQ(2, SplitString(&parts, CString(","), CString(","), CString(" \t")));
    // A GBK character whose trail byte equals a delimiter is not split.
    EXPECT_EQ(2, SplitString(&parts, CString("淺\\x"), CString("\\"), CString(" ")));
    EXPECT_EQ(CString("淺"), parts[0]);
}

TEST(EngineText, ParseHexBytes) {
    BYTE* bytes = NULL;
    ASSERT_EQ(3, ParseHexBytes(CString("HEX:01, 0a,\\\r\n ff"), &bytes));
    EXPECT_EQ(0x01, bytes[0]);
    EXPECT_EQ(0x0A, bytes[1]);
    EXPECT_EQ(0xFF, bytes[2]);
    free(bytes);
    bytes = NULL;
    ASSERT_EQ(1, ParseHexBytes(CString("hex:"), &bytes));
    EXPECT_EQ(0, bytes[0]);
    free(bytes);
    bytes = NULL;
    EXPECT_EQ(0, ParseHexBytes(CString("dword:01"), &bytes));
    EXPECT_EQ(NULL, bytes);
    ASSERT_EQ(2, ParseHexBytes(CString("hex:0x1FF,zz"), &bytes));
    EXPECT_EQ(0xFF, bytes[0]);  // low 8 bits
    EXPECT_EQ(0, bytes[1]);
    free(bytes);
}

TEST(EngineText, UrlFileNameNeverLeavesTheFolder) {
    struct Case {
        const char* url;
        const char* name;
    } cases[] = {
        {"http://h/a/pack.zip?x=1&y=2", "pack.zip"},
        {"http://h/a/pack.zip?y=/2", "2"},  // the last '/' decides, as the server writes it
        {"pack.zip", "pack.zip"},
        {"http://h/a/", ""},
        {"http://h/..", ""},
        {"http://h/. .", ""},
        {"http://h/..\\..\\evil.exe", "evil.exe"},
        {"http://h/a\\..", ""},
        {"http://h/C:evil.exe", "evil.exe"},
        {"http://h/C:\\Windows\\evil.exe", "evil.exe"},
        {"http://h/setup.zip::$DATA", "$DATA"},  // a stream name is cut off
        {"http://h/x/?q", ""},
        {"http://h/CON", ""},
        {"http://h/nul.zip", ""},
        {"http://h/com1", ""},
        {"http://h/a|b.zip", ""},
        {"http://h/%2e%2e", "%2e%2e"},
        {"http://h/淺.zip", "淺.zip"},
        {"http://h/更新包.zip?v=1", "更新包.zip"},
    };
    for (const Case& c : cases) EXPECT_EQ(CString(c.name), UrlFileName(CString(c.url))) << c.url;
    CString longName = CString("http://h/") + CString('a', 300) + ".zip";
    EXPECT_TRUE(UrlFileName(longName).IsEmpty());
}

TEST(EngineText, ExpandPathVariables) {
    g_strAppFolder = "C:\\A&B";
    g_strWindowsFolder = "C:\\windows";
    g_strSystemFolder = "C:\\windows\\system32";
    EXPECT_EQ(CString("C:\\A&B|C:\\windows|C:\\windows\\system32|${APP_PATH}"),
              ExpandPathVariables(CString("${app_path}|${win_path}|${sys32_path}|${APP_PATH}")));
    EXPECT_EQ(CString("C:\\A&amp;B"), ExpandPathVariablesXml(CString("${app_path}")));
}

TEST(EngineVersion, CompareVersionTable) {
    struct Case {
        const char* current;
        const char* offered;
        int result;
    } cases[] = {
        {"1.9.0.0", "1.10.0.0", 1},     {"1.255.15.65535", "2.0.0.0", 1}, {"1.7.3.139", "1.7.3.139", 0},
        {"1.7.3.139", "1.7.3.138", -1}, {"2.0.0.0", "1.255.15.65535", -1}, {"", "0.0.0.1", 1},
        {"1.2", "1.2.0.0", 0},          {"4294967295.0.0.0", "1.0.0.0", -1},
    };
    for (const Case& c : cases) {
        g_strCurrentVersion = c.current;
        EXPECT_EQ(c.result, CompareVersion(CString(c.offered))) << c.current << " vs " << c.offered;
    }
}

TEST(EngineRegistry, Operations) {
    char key[64];
    sprintf(key, "Software\\ZorvetTest\\Registry%lu", GetCurrentProcessId());
    CRegistry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    EXPECT_EQ(0, reg.SetSubKey(NULL));
    reg.SetSubKey("\\\\\\");
    EXPECT_EQ(CString(""), reg.GetSubKey());
    reg.SetSubKey((std::string("\\\\") + key).c_str());
    EXPECT_EQ(CString(key), reg.GetSubKey());

    CString out("unchanged");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg.ReadString(out));  // missing key
    EXPECT_EQ(CString("unchanged"), out);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, reg.ReadBinary(NULL, NULL));

    reg.SetValueName("");
    ASSERT_EQ(ERROR_SUCCESS, reg.WriteString("C:\\Program Files\\目录"));
    EXPECT_EQ(ERROR_SUCCESS, reg.ReadString(out));
    EXPECT_EQ(CString("C:\\Program Files\\目录"), out);
    reg.SetValueName("empty");
    ASSERT_EQ(ERROR_SUCCESS, reg.WriteString(""));
    BYTE* data = NULL;
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, reg.ReadBinary(&data, &size));
    EXPECT_EQ(1u, size);
    free(data);
    reg.SetValueName("missing");
    out = "unchanged";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg.ReadString(out));
    EXPECT_EQ(CString("unchanged"), out);
    EXPECT_FALSE(reg.DeleteValue("missing"));
    EXPECT_TRUE(reg.DeleteValue("empty"));

    reg.SetValueName("dw");
    ASSERT_EQ(ERROR_SUCCESS, reg.WriteDword(0x1073008B));
    data = NULL;
    ASSERT_EQ(ERROR_SUCCESS, reg.ReadBinary(&data, &size));
    ASSERT_EQ(4u, size);
    EXPECT_EQ(0x8B, data[0]);
    EXPECT_EQ(0x10, data[3]);
    free(data);

    CStringArray subs;
    EXPECT_EQ(0, reg.EnumSubKeys(subs, ""));
    EXPECT_EQ(0, reg.EnumSubKeys(subs, (std::string(key) + "\\nope").c_str()));
    CRegistry deep;
    deep.SetRootKey(HKEY_CURRENT_USER);
    deep.SetSubKey((std::string(key) + "\\a\\b\\c").c_str());
    ASSERT_EQ(ERROR_SUCCESS, deep.WriteDword(1));
    deep.SetSubKey((std::string(key) + "\\a2").c_str());
    ASSERT_EQ(ERROR_SUCCESS, deep.WriteDword(1));
    EXPECT_EQ(2, reg.EnumSubKeys(subs, ""));
    EXPECT_EQ(1, reg.DeleteKey((std::string(key) + "\\never").c_str()));
    EXPECT_EQ(1, reg.DeleteKey(key));
    EXPECT_FALSE(reg.KeyExists(key, HKEY_CURRENT_USER));
    reg.DeleteKey("Software\\ZorvetTest");
}

TEST(EngineFolders, DeleteFolderTree) {
    std::string root = TempDir() + "zorvet_dft_" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(root.c_str(), NULL));
    EXPECT_EQ(1, DeleteFolderTree(root.c_str()));  // empty
    EXPECT_FALSE(IsFolder(root.c_str()));
    EXPECT_EQ(0, DeleteFolderTree(root.c_str()));  // gone

    ASSERT_TRUE(CreateDirectoryA(root.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((root + "\\sub").c_str(), NULL));
    WriteBytes(root + "\\sub\\ro.txt", "x");
    SetFileAttributesA((root + "\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteBytes(root + "\\a.txt", "y");
    EXPECT_EQ(1, DeleteFolderTree(root.c_str()));
    EXPECT_FALSE(PathExists(root.c_str()));

    // A file held open without delete sharing stops the cleaning.
    ASSERT_TRUE(CreateDirectoryA(root.c_str(), NULL));
    WriteBytes(root + "\\held.bin", "z");
    HANDLE h = CreateFileA((root + "\\held.bin").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(0, DeleteFolderTree(root.c_str()));
    EXPECT_TRUE(PathExists((root + "\\held.bin").c_str()));
    CloseHandle(h);
    EXPECT_EQ(1, DeleteFolderTree(root.c_str()));

    // MakeDirectoryPath creates the parents; an existing folder counts.
    std::string nested = root + "\\x\\y\\z";
    EXPECT_EQ(1, MakeDirectoryPath(nested.c_str()));
    EXPECT_EQ(1, MakeDirectoryPath(nested.c_str()));
    EXPECT_TRUE(IsFolder(nested.c_str()));
    EXPECT_EQ(1, DeleteFolderTree(root.c_str()));
    EXPECT_EQ(0, MakeDirectoryPath(""));
}

TEST(EngineExec, ShellExecuteTextsAndMissingFile) {
    for (UINT_PTR r : {0u, 2u, 3u, 5u, 8u, 11u, 26u, 27u, 28u, 29u, 30u, 31u, 32u}) {
        LPCSTR t = ShellExecuteErrorText(r);
        ASSERT_TRUE(t != NULL) << r;
        EXPECT_EQ(' ', t[0]);
        EXPECT_EQ(' ', t[strlen(t) - 1]);
    }
    EXPECT_EQ(NULL, ShellExecuteErrorText(4));
    EXPECT_STREQ(" The specified file was not found. ", ShellExecuteErrorText(2));

    DisplayScope scope;
    EXPECT_FALSE(ExecCmd("C:\\no\\such\\program.exe", "", TRUE, FALSE));
    ASSERT_FALSE(scope.display.status.empty());
    EXPECT_EQ(" The specified file was not found. ", scope.display.status.back());

    std::string doc = TempDir() + "zorvet_noassoc.zorvetnoassoc";
    WriteBytes(doc, "x");
    EXPECT_FALSE(ExecCmd(doc.c_str(), "", FALSE, FALSE));
    ASSERT_FALSE(scope.display.status.empty());
    EXPECT_EQ(ShellExecuteErrorText(SE_ERR_NOASSOC), scope.display.status.back());
    DeleteFileA(doc.c_str());
}

TEST(EngineEnv, SelfReplaceAndSplitPath) {
    g_strOwnPath = "C:\\Program Files\\ZORVET\\OVIK\\updater.exe";
    g_strOwnName = SplitPath(g_strOwnPath, &g_strOwnFolder);
    EXPECT_EQ(CString("updater.exe"), g_strOwnName);
    EXPECT_EQ(CString("C:\\Program Files\\ZORVET\\OVIK"), g_strOwnFolder);
    CString folder("x");
    EXPECT_EQ(CString("\\a"), SplitPath(CString("\\a"), &folder));
    EXPECT_TRUE(folder.IsEmpty());

    EXPECT_TRUE(IsOwnExe("c:\\program files\\zorvet\\ovik\\UPDATER.EXE"));
    EXPECT_FALSE(IsOwnExe("C:\\Program Files\\ZORVET\\OVIK\\_updater.exe"));
    EXPECT_FALSE(IsOwnExe(""));

    g_strBatchFile = "C:\\Program Files\\ZORVET\\OVIK\\download.bat";
    g_strBatchText.Empty();
    CString target("C:\\Program Files\\ZORVET\\OVIK\\updater.exe");
    CString r = PrepareSelfReplace(&target);
    EXPECT_EQ(CString("C:\\Program Files\\ZORVET\\OVIK\\_updater.exe"), r);
    EXPECT_EQ(r, target);
    CString batch = g_strBatchText;
    EXPECT_EQ(0, batch.Find("@echo off\n"));
    EXPECT_NE(-1, batch.Find("move /Y \"C:\\Program Files\\ZORVET\\OVIK\\_updater.exe\" "
                             "\"C:\\Program Files\\ZORVET\\OVIK\\updater.exe\" >nul 2>&1\n"));
    EXPECT_EQ(-1, batch.Find("fc "));  // never trusts fc to verify the copy
    EXPECT_NE(-1, batch.Find("del \"C:\\Program Files\\ZORVET\\OVIK\\download.bat\"\n"));
    g_strOwnName = "other.exe";
    PrepareSelfReplace(&target);
    EXPECT_EQ(batch, g_strBatchText);  // filled once
}

TEST(EngineLog, WriteLogFCutsAt2048WithoutSplittingACharacter) {
    remove("updater.log");
    std::string ascii(3000, 'a');
    WriteLogF(FALSE, "%s", ascii.c_str());
    std::string gbk = std::string(2047, 'b') + "更新";  // 更 straddles the 2048th byte
    WriteLogF(FALSE, "%s", gbk.c_str());
    FILE* f = fopen("updater.log", "rb");
    ASSERT_TRUE(f != NULL);
    char line[4096];
    ASSERT_TRUE(fgets(line, sizeof(line), f));
    EXPECT_EQ(2048u + 2, strlen(line));  // text, "\r\n"
    ASSERT_TRUE(fgets(line, sizeof(line), f));
    EXPECT_EQ(2047u + 2, strlen(line));
    fclose(f);
    remove("updater.log");
}

TEST(EngineDocument, ReadingRules) {
    ActionPrototypeMap.SetAt("probe", new CProbe);
    g_strAppFolder = "C:\\Apps\\A&B \"<x>\"";
    g_strCurrentVersion = "1.0.0.0";
    DisplayScope scope;
    {
        EngineView engine;
        const char* doc =
            "<?xml version=\"1.0\"?>\n"
            "<updateinfo version=\"1.2.0.0\">\n"
            " <other/>\n"
            " <package name=\"p1\">\n"
            "  <md5>ignored-without-url</md5>\n"
            "  <actions>\n"
            "   <note type=\"probe\" name=\"skipped\"/>\n"
            "   <action type=\" Probe \" name=\"first\" path=\"${app_path}\\bin\" file=\"${this_file}\"/>\n"
            "   <item type=\"probe\" name=\"second\"/>\n"
            "   <action type=\"nosuchtype\" name=\"x\"/>\n"
            "  </actions>\n"
            " </package>\n"
            " <package name=\"p2\"><url>http://127.0.0.1:1/p2.zip</url><md5>ABC</md5></package>\n"
            "</updateinfo>\n";
        ASSERT_TRUE(engine.ParseUpdateInfo(CString(doc)));
        EXPECT_EQ("1.2.0.0", scope.display.latest);
        ASSERT_EQ(2, engine.GetPackageCount());
        CUpdatePackage* p1 = engine.Package(0);
        EXPECT_EQ(CString("p1"), p1->GetName());
        EXPECT_TRUE(p1->GetMd5().IsEmpty());
        EXPECT_EQ(2, p1->GetActionCount());
        EXPECT_EQ(CString("ABC"), engine.Package(1)->GetMd5());
        g_executed.clear();
        EXPECT_EQ(1, p1->Run());
        ASSERT_EQ(2u, g_executed.size());
        // The folder arrives exactly, although it holds & " < >.
        EXPECT_EQ("first|C:\\Apps\\A&B \"<x>\"\\bin|", g_executed[0]);
        EXPECT_EQ("second||", g_executed[1]);
    }
    {
        EngineView engine;
        ASSERT_TRUE(engine.ParseUpdateInfo(CString("<updateinfo version=\"1.0.0.0\"><package/></updateinfo>")));
        EXPECT_EQ(0, engine.GetPackageCount());
        EXPECT_EQ("你使用的已经是最新版本", scope.display.status.back());
    }
    {
        EngineView engine;
        EXPECT_FALSE(engine.ParseUpdateInfo(CString("<info/>")));
        EXPECT_EQ("无法获取更新信息或更新信息出错", scope.display.status.back());
    }
    {
        EngineView engine;
        EXPECT_FALSE(engine.ParseUpdateInfo(CString("<updateinfo>\n<package></updateinfo>")));
        const std::string& line = scope.display.status.back();
        EXPECT_EQ(0u, line.find("Error in (Row: ")) << line;
        EXPECT_EQ('\n', line.back());
    }
    ClearActionPrototypes();
}
