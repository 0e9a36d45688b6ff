// Environment set-up, downloads, the update log and the path and text helpers.
#include "environment.h"

#include <wininet.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "content_length.h"
#include "registry.h"
#include "status_display.h"
#include "update_engine.h"
#include "update_text.h"
#include "utils.h"

CString g_strWindowsFolder;
CString g_strSystemFolder;
CString g_strTempFolder;
CString g_strAppFolder;
CString g_strCurrentVersion;
CString g_strDownloadFolder;
CString g_strUpdateUrl;
CString g_strOwnPath;
CString g_strOwnFolder;
CString g_strOwnName;
CString g_strBatchText;
CString g_strBatchFile;

const char kUpdateUrlTemplate[] = "http://update.zorvet.net/update/update.htm?v=%s&pid=%s";
const char kTestUpdateUrlTemplate[] = "http://127.0.0.1:18080/update/update.htm?v=%s&pid=%s";

namespace {

struct InternetHolder {
    HINTERNET h = NULL;
    ~InternetHolder() {
        if (h) InternetCloseHandle(h);
    }
};

struct FileHolder {
    HANDLE h = INVALID_HANDLE_VALUE;
    void Close() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
    }
    ~FileHolder() { Close(); }
};

// Reads a system folder; FALSE when it does not fit MAX_PATH.
template <typename Getter>
BOOL ReadFolder(Getter get, CString* out, const char* what) {
    char buffer[MAX_PATH + 1];
    UINT n = get(buffer, countof(buffer));
    if (n == 0 || n >= countof(buffer)) {
        WriteLogF(FALSE, "ENV: %s folder cannot be read (length %u)", what, n);
        out->Empty();
        return FALSE;
    }
    *out = buffer;
    return TRUE;
}

// Creates `path` (file mode target folder, download folder): CreateDirectory,
// and its parents when the path is not found.
void CreateFolderWithParents(const CString& path) {
    if (CreateDirectoryA(path, NULL) || GetLastError() != ERROR_PATH_NOT_FOUND) return;
    int slash = path.ReverseFind('\\');
    if (slash <= 0) return;
    if (MakeDirectoryPath(path.Left(slash)) == 1) CreateDirectoryA(path, NULL);
}

CString EscapeXml(const CString& text) {
    CString out(text);
    out.Replace("&", "&amp;");
    out.Replace("<", "&lt;");
    out.Replace(">", "&gt;");
    out.Replace("\"", "&quot;");
    out.Replace("'", "&apos;");
    return out;
}

void DownloadFailed(LPCSTR why, LPCSTR url) {
    WriteLogF(FALSE, "DOWNLOAD: %s: %s", why, url);
    WriteLog(CString("下载文件出错"), TRUE);
}

}  // namespace

// ---- environment ------------------------------------------------------------------

int InitEnvironment() {
    ReadFolder([](char* b, UINT n) { return GetWindowsDirectoryA(b, n); }, &g_strWindowsFolder, "Windows");
    ReadFolder([](char* b, UINT n) { return GetSystemDirectoryA(b, n); }, &g_strSystemFolder, "system");
    ReadFolder([](char* b, UINT n) { return (UINT)GetTempPathA(n, b); }, &g_strTempFolder, "temporary");

    CRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    reg.SetSubKey(g_strRegKey);

    if (g_bDaemonMode) {
        g_strAppFolder = g_strAppPathArg;
        g_strCurrentVersion = g_strVersionArg;
        if (g_strAppFolder.IsEmpty()) return 0;
        char name[MAX_PATH];
        if (!g_strTempFolder.IsEmpty() && GetTempFileNameA(g_strTempFolder, "qk", 0, name))
            g_strDownloadFolder = name;
        else
            g_strDownloadFolder.Format("%s\\qkd.tmp", (LPCSTR)g_strTempFolder);
    } else {
        g_strCurrentVersion = g_strVersionArg.IsEmpty() ? GetInstalledVersion() : g_strVersionArg;
        if (!g_strAppPathArg.IsEmpty()) {
            g_strAppFolder = g_strAppPathArg;
        } else {
            reg.SetValueName("");
            if (reg.ReadString(g_strAppFolder) != ERROR_SUCCESS) return 0;
        }
        if (g_strAppFolder.IsEmpty()) return 0;
        g_strDownloadFolder.Format("%s\\download", (LPCSTR)g_strAppFolder);
    }
    // Room for "<folder>\<package name>" and "<folder>.bat": a folder that leaves
    // no room is refused rather than cut into another path.
    if (g_strDownloadFolder.GetLength() + 16 >= MAX_PATH) {
        WriteLogF(FALSE, "ENV: application folder too long (%d characters): %s", g_strAppFolder.GetLength(),
                  (LPCSTR)g_strAppFolder);
        return 0;
    }

    if (!IsFolder(g_strDownloadFolder)) {
        if (PathExists(g_strDownloadFolder)) DeleteFileA(g_strDownloadFolder);
        CreateFolderWithParents(g_strDownloadFolder);
    }

    CString format(g_bTestServer ? kTestUpdateUrlTemplate : kUpdateUrlTemplate);
    format += g_bDaemonMode ? "&type=s" : "&type=c";
    format += "&os=win";
    format += "&st=";
    CString bitness = GetOsBitness();
    bitness.Replace("%", "%%");
    format += bitness;
    g_strUpdateUrl.Format(format, (LPCSTR)g_strCurrentVersion, (LPCSTR)g_strPartnerId);
    WriteLog("URL: " + g_strUpdateUrl, FALSE);

    g_strOwnPath = GetModulePath();
    g_strOwnName = SplitPath(g_strOwnPath, &g_strOwnFolder);

    g_strBatchText.Empty();
    g_strBatchFile.Format("%s.bat", (LPCSTR)g_strDownloadFolder);
    return 1;
}

// ---- downloads ----------------------------------------------------------------------

BOOL DownloadUrl(CString* url, CString* target, BOOL toFile, BOOL withProgress) {
    if (!toFile) target->Empty();
    if (url->GetLength() > kMaxUrlLength) {
        DownloadFailed("URL longer than 1023 characters refused", url->Left(200));
        return FALSE;
    }
    char canonical[1024];
    DWORD canonicalLength = countof(canonical);
    if (!InternetCanonicalizeUrlA(*url, canonical, &canonicalLength, ICU_BROWSER_MODE)) {
        WriteLogF(FALSE, "DOWNLOAD: URL cannot be canonicalised (error %lu)", GetLastError());
        DownloadFailed("URL refused", *url);
        return FALSE;
    }
    *url = canonical;

    FileHolder file;
    if (toFile) {
        if (target->GetLength() >= MAX_PATH) {
            WriteLogF(FALSE, "DOWNLOAD: local path too long (%d characters)", target->GetLength());
            WriteLog(CString("无法保存下载的文件"), TRUE);
            return FALSE;
        }
        int slash = target->ReverseFind('\\');
        if (slash > 0) CreateFolderWithParents(target->Left(slash));
        file.h = CreateFileA(*target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
        if (file.h == INVALID_HANDLE_VALUE) {
            WriteLog(CString("无法保存下载的文件"), TRUE);
            return FALSE;
        }
    }

    InternetHolder session, request;
    session.h = InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    if (session.h)
        request.h = InternetOpenUrlA(session.h, canonical, NULL, 0,
                                     INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE |
                                         INTERNET_FLAG_HYPERLINK | INTERNET_FLAG_NEED_FILE,
                                     0);
    if (!request.h) {
        DownloadFailed("URL cannot be opened", canonical);
        return FALSE;
    }

    // An error page is not the file: anything but 2xx fails the transfer.
    DWORD status = 0, statusSize = sizeof(status);
    if (!HttpQueryInfoA(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize, NULL) ||
        status < 200 || status > 299) {
        WriteLogF(FALSE, "DOWNLOAD: HTTP status %lu", status);
        DownloadFailed("server refused", canonical);
        if (toFile) {
            file.Close();
            DeleteFileA(*target);
        }
        return FALSE;
    }

    char lengthText[32];
    DWORD lengthSize = countof(lengthText);
    uint32_t expected = 0;
    BOOL lengthKnown = FALSE;
    if (HttpQueryInfoA(request.h, HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthSize, NULL) &&
        lengthSize < countof(lengthText)) {
        lengthText[lengthSize] = 0;
        lengthKnown = ParseContentLength(lengthText, 0xFFFFFFFFu, &expected);
    }
    if (!toFile && lengthKnown && expected > (uint32_t)kMaxDocumentBytes) {
        DownloadFailed("reply larger than the limit for texts", canonical);
        return FALSE;
    }
    IUpdateDisplay* display = GetUpdateDisplay();
    if (withProgress && display) display->SetFileProgress(0, lengthKnown ? (int)(expected > 0x7FFFFFFF ? 0x7FFFFFFF : expected) : 0);

    BOOL result = TRUE;
    unsigned long long total = 0;
    char block[4096 + 1];
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request.h, block, countof(block) - 1, &got)) {
            WriteLogF(FALSE, "DOWNLOAD: read failed (error %lu) after %llu bytes", GetLastError(), total);
            WriteLog(CString("下载文件出错"), TRUE);
            result = FALSE;
            break;
        }
        if (got == 0) break;
        total += got;
        if (withProgress && display) {
            display->SetFileProgress((int)(total > 0x7FFFFFFF ? 0x7FFFFFFF : total), 0);
            PumpOneMessage();
        }
        block[got] = 0;
        if (toFile) {
            DWORD written = 0;
            if (!WriteFile(file.h, block, got, &written, NULL) || written < got) {
                WriteLog(CString("保存下载文件出错"), TRUE);
                result = FALSE;
            }
        } else {
            if (total > (unsigned long long)kMaxDocumentBytes) {
                DownloadFailed("reply larger than the limit for texts", canonical);
                result = FALSE;
                break;
            }
            *target += CString(block, (int)got);
        }
    }
    // A connection that ends early looks like a normal end to the reads.
    if (result && lengthKnown && total != expected) {
        WriteLogF(FALSE, "DOWNLOAD: %llu of %u bytes received", total, (unsigned)expected);
        WriteLog(CString("下载文件出错"), TRUE);
        result = FALSE;
    }
    file.Close();

    if (!toFile && IsNotFoundPage(*target, target->GetLength())) {
        target->Empty();
        result = FALSE;
    }
    if (!toFile && !result) target->Empty();
    return result;
}

BOOL IsInternetConnected() {
    DWORD flags = 0;
    return InternetGetConnectedState(&flags, 0);
}

// ---- log ------------------------------------------------------------------------------

void WriteLog(const CString& text, BOOL toStatus) {
    IUpdateDisplay* display = GetUpdateDisplay();
    if (toStatus && display) display->SetStatusText(text);
    FILE* f = fopen("updater.log", "a+");
    if (!f) return;
    fprintf(f, "%s\n", (LPCSTR)text);
    fclose(f);
}

void WriteLogF(BOOL toStatus, LPCSTR format, ...) {
    char buffer[kMaxLogLine + 1];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, countof(buffer), format, args);
    va_end(args);
    if (n < 0) buffer[0] = 0;
    if (n > kMaxLogLine) {
        // Cut at 2048 characters, but never inside a double-byte character.
        int cut = 0;
        while (cut < kMaxLogLine) {
            int step = AfxIsLeadByte((unsigned char)buffer[cut]) ? 2 : 1;
            if (cut + step > kMaxLogLine) break;
            cut += step;
        }
        buffer[cut] = 0;
    }
    WriteLog(CString(buffer), toStatus);
}

void PumpOneMessage() {
    MSG msg;
    if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

CString GetOsBitness() {
    typedef void(WINAPI * NativeInfo)(LPSYSTEM_INFO);
    SYSTEM_INFO info;
    memset(&info, 0, sizeof(info));
    // Through void (*)(void), the one function type a cast may pass without a warning.
    NativeInfo get = reinterpret_cast<NativeInfo>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo")));
    // Before Windows XP there is no native view; such a system is 32-bit only.
    if (get)
        get(&info);
    else
        GetSystemInfo(&info);
    if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64) return CString("64");
    if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL) return CString("32");
    return CString("UNKNOWN");
}

// ---- paths -------------------------------------------------------------------------------

BOOL PathExists(LPCSTR path) { return path && *path && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

BOOL IsFolder(LPCSTR path) {
    if (!path || !*path) return FALSE;
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

int MakeDirectoryPath(LPCSTR path) {
    if (!path || !*path) return 0;
    if (CreateDirectoryA(path, NULL)) return 1;
    DWORD error = GetLastError();
    if (error != ERROR_PATH_NOT_FOUND) return error == ERROR_ALREADY_EXISTS ? 1 : 0;
    CString text(path);
    int slash = text.ReverseFind('\\');
    if (slash <= 0) return 0;
    if (MakeDirectoryPath(text.Left(slash)) != 1) return 0;
    return CreateDirectoryA(path, NULL) ? 1 : 0;
}

int SplitString(CStringArray* array, CString text, CString delimiters, CString trims) {
    array->RemoveAll();
    CString rest(text);
    rest.Trim(trims);
    for (;;) {
        int at = delimiters.IsEmpty() ? -1 : rest.FindOneOf(delimiters);
        CString piece;
        BOOL last = at < 0;
        if (last) {
            piece = rest;
            rest.Empty();
        } else {
            piece = rest.Left(at);
            rest = rest.Mid(at + 1);
            rest.Trim(trims);
        }
        piece.Trim(trims);
        array->Add(piece);
        if (last) break;
    }
    return array->GetSize();
}

int ParseHexBytes(CString value, BYTE** out) {
    if (value.Left(4).CompareNoCase("hex:") != 0) return 0;
    value.Remove('\\');
    value.Remove('\r');
    value.Remove('\n');
    value.Remove('\t');
    value.Remove(' ');
    value = value.Mid(4);
    CStringArray pieces;
    int count = SplitString(&pieces, value, CString(","), CString(" \t"));
    if (count <= 0) return 0;
    BYTE* bytes = static_cast<BYTE*>(malloc((size_t)count + 1));
    if (!bytes) return -1;
    for (int i = 0; i < count; ++i) bytes[i] = (BYTE)(strtol(pieces[i], NULL, 16) & 0xFF);
    bytes[count] = 0;
    *out = bytes;
    return count;
}

CString UrlFileName(CString url) {
    char name[MAX_PATH];
    if (!SafeUrlFileName(url, name, countof(name))) return CString();
    return CString(name);
}

CString ExpandPathVariables(CString text) {
    text.Replace("${app_path}", g_strAppFolder);
    text.Replace("${win_path}", g_strWindowsFolder);
    text.Replace("${sys32_path}", g_strSystemFolder);
    return text;
}

CString ExpandPathVariablesXml(CString text) {
    text.Replace("${app_path}", EscapeXml(g_strAppFolder));
    text.Replace("${win_path}", EscapeXml(g_strWindowsFolder));
    text.Replace("${sys32_path}", EscapeXml(g_strSystemFolder));
    return text;
}

CString GetModulePath() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, countof(path));
    if (n == 0 || n >= countof(path)) return CString();
    return CString(path);
}

BOOL IsOwnExe(LPCSTR path) {
    return path && *path && !g_strOwnPath.IsEmpty() && g_strOwnPath.CompareNoCase(path) == 0;
}

CString PrepareSelfReplace(CString* path) {
    CString result;
    result.Format("%s\\_%s", (LPCSTR)g_strOwnFolder, (LPCSTR)g_strOwnName);
    if (g_strBatchText.IsEmpty()) {
        // Moves the new file over the running updater once that has exited (a
        // second apart, at most 30 times). The move replaces the file in one step,
        // so "_updater.exe" goes away only together with its arrival: a failed
        // attempt leaves both files in place (fc cannot be trusted to verify a
        // copy: some systems' fc reports every pair as equal).
        g_strBatchText.Format(
            "@echo off\nset /a n=0\n:rc\nping -n 2 127.0.0.1 >nul 2>&1\nmove /Y \"%s\" \"%s\" >nul 2>&1\n"
            "if not exist \"%s\" goto done\nset /a n+=1\nif %%n%% lss 30 goto rc\n:done\ndel \"%s\"\n",
            (LPCSTR)result, (LPCSTR)g_strOwnPath, (LPCSTR)result, (LPCSTR)g_strBatchFile);
    }
    if (path) *path = result;
    return result;
}

CString SplitPath(CString path, CString* folder) {
    int slash = path.ReverseFind('\\');
    if (slash > 0) {
        if (folder) *folder = path.Left(slash);
        return path.Mid(slash + 1);
    }
    if (folder) folder->Empty();
    return path;
}
