// Drives the updater engine headless for the Python tests:
//   engine_runner run [--regkey K] [--sp DIR] [--v VER] [--pid ID] [--test] [--daemon] [--url URL]
//       InitEnvironment, then one RunUpdate with the console display; prints
//       "INIT n", "ENV name=value", the display's lines, "RESULT n", "FOLDER n",
//       "CERT <hex>", "DISPLAYVERSION <text>"; --cert HEX writes "cert" first and
//       --reset-display-version deletes "DisplayVersion" first.
//   engine_runner init ...                 the same options, InitEnvironment only
//   engine_runner download URL FILE|-      one DownloadUrl ("-": string mode)
//   engine_runner md5 FILE...              Md5OfFile of each ("-" when there is none)
// Test action type "probe" (attributes description, name, fail, file): prints
// "ACTION <name> <file> <exists>" and fails when fail is 1.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "action.h"
#include "environment.h"
#include "md5.h"
#include "registry.h"
#include "status_display.h"
#include "update_engine.h"

namespace {

class CProbeAction : public CUpdateAction {
public:
    CProbeAction() : CUpdateAction("probe") { InitAttributes(); }
    CProbeAction(const CProbeAction& source) : CUpdateAction(source) { InitAttributes(); }
    void InitAttributes() override {
        CUpdateAction::InitAttributes();
        SetAttributeLists("description,name,fail,file", ",,0,");
    }
    BOOL Execute() override {
        LogDescription();
        CString file = GetAttribute("file");
        printf("ACTION %s %s %d\n", (LPCSTR)GetAttribute("name"), file.IsEmpty() ? "-" : (LPCSTR)file,
               PathExists(file) ? 1 : 0);
        fflush(stdout);
        WriteLog("ACTION " + GetAttribute("name"), FALSE);
        return GetAttribute("fail") == "1" ? m_bSkipErr : TRUE;
    }
    CUpdateAction* Clone() override {
        CProbeAction* a = new CProbeAction(*this);
        a->ApplyAttributes();
        return a;
    }
};

void PrintEnv() {
    struct {
        const char* name;
        CString* value;
    } vars[] = {
        {"app", &g_strAppFolder},       {"version", &g_strCurrentVersion}, {"download", &g_strDownloadFolder},
        {"url", &g_strUpdateUrl},       {"own", &g_strOwnPath},            {"ownfolder", &g_strOwnFolder},
        {"ownname", &g_strOwnName},     {"batch", &g_strBatchFile},        {"windows", &g_strWindowsFolder},
        {"system", &g_strSystemFolder}, {"temp", &g_strTempFolder},
    };
    for (auto& v : vars) printf("ENV %s=%s\n", v.name, (LPCSTR)*v.value);
}

CRegistry CertPlace() {
    CRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    reg.SetSubKey(g_strRegKey);
    reg.SetValueName("cert");
    return reg;
}

void WriteCert(const char* hex) {
    BYTE bytes[512];
    int n = 0;
    for (; hex[0] && hex[1] && n < (int)sizeof(bytes); hex += 2) {
        char pair[3] = {hex[0], hex[1], 0};
        bytes[n++] = (BYTE)strtoul(pair, NULL, 16);
    }
    CertPlace().WriteBinary(bytes, n);
}

void PrintRegistry() {
    BYTE* data = NULL;
    DWORD size = 0;
    printf("CERT ");
    if (CertPlace().ReadBinary(&data, &size) == ERROR_SUCCESS)
        for (DWORD i = 0; i < size; ++i) printf("%02x", data[i]);
    printf("\n");
    free(data);
    CRegistry uninstall;
    uninstall.SetRootKey(HKEY_LOCAL_MACHINE);
    uninstall.SetSubKey(kUninstallKey);
    uninstall.SetValueName("DisplayVersion");
    CString text("-");
    uninstall.ReadString(text);
    printf("DISPLAYVERSION %s\n", (LPCSTR)text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const char* command = argv[1];
    if (strcmp(command, "md5") == 0) {
        for (int i = 2; i < argc; ++i) {
            const char* d = Md5OfFile(argv[i]);
            printf("MD5 %s\n", d ? d : "-");
        }
        return 0;
    }
    if (strcmp(command, "download") == 0 && argc >= 4) {
        CString url(argv[2]), target(argv[3]);
        BOOL toFile = strcmp(argv[3], "-") != 0;
        if (!toFile) target.Empty();
        CConsoleDisplay display;
        SetUpdateDisplay(&display);
        BOOL ok = DownloadUrl(&url, &target, toFile, TRUE);
        printf("RESULT %d\nURL %s\nLENGTH %d\nPROGRESS %d\n", ok, (LPCSTR)url, toFile ? -1 : target.GetLength(),
               display.m_nFileCalls);
        SetUpdateDisplay(NULL);
        return 0;
    }

    CString url;
    const char* cert = NULL;
    BOOL resetDisplayVersion = FALSE;
    g_strRegKey = "SOFTWARE\\ZORVET\\OVIK";
    for (int i = 2; i < argc; ++i) {
        CString a(argv[i]);
        const char* next = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--regkey") g_strRegKey = next, ++i;
        else if (a == "--sp") g_strAppPathArg = next, ++i;
        else if (a == "--v") g_strVersionArg = next, ++i;
        else if (a == "--pid") g_strPartnerId = next, ++i;
        else if (a == "--url") url = next, ++i;
        else if (a == "--test") g_bTestServer = TRUE;
        else if (a == "--daemon") g_bDaemonMode = TRUE;
        else if (a == "--cert") cert = next, ++i;
        else if (a == "--reset-display-version") resetDisplayVersion = TRUE;
    }
    if (cert) WriteCert(cert);
    if (resetDisplayVersion) {
        CRegistry uninstall;
        uninstall.SetRootKey(HKEY_LOCAL_MACHINE);
        uninstall.SetSubKey(kUninstallKey);
        uninstall.DeleteValue("DisplayVersion");
    }
    int init = InitEnvironment();
    printf("INIT %d\n", init);
    PrintEnv();
    fflush(stdout);
    if (!init || strcmp(command, "run") != 0) return 0;

    ActionPrototypeMap.SetAt("probe", new CProbeAction);
    CConsoleDisplay display;
    SetUpdateDisplay(&display);
    BOOL result;
    {
        CUpdateEngine engine;
        CString info;
        result = engine.RunUpdate(url.IsEmpty() ? g_strUpdateUrl : url, &info);
        printf("PACKAGES %d\n", engine.GetPackageCount());
    }
    SetUpdateDisplay(NULL);
    ClearActionPrototypes();
    printf("RESULT %d\nFOLDER %d\n", result, IsFolder(g_strDownloadFolder) ? 1 : 0);
    PrintRegistry();
    return 0;
}
