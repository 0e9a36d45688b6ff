// The updater's shared services: the environment that InitEnvironment sets up
// once (folders, versions, the update URL, the running program's path), HTTP
// downloads over WinINet, the update log "updater.log" with its status-line
// mirror, and small path and text helpers. Everything runs on the UI thread.
#ifndef ZORVET_UPDATER_ENVIRONMENT_H
#define ZORVET_UPDATER_ENVIRONMENT_H

#include "afx.h"

// Command-line globals (defined with the command line, set before InitEnvironment).
extern BOOL g_bDaemonMode;
extern BOOL g_bTestServer;
extern CString g_strRegKey;
extern CString g_strAppPathArg;
extern CString g_strPartnerId;
extern CString g_strVersionArg;

// Set by InitEnvironment.
extern CString g_strWindowsFolder;   // ${win_path}
extern CString g_strSystemFolder;    // ${sys32_path}
extern CString g_strTempFolder;      // ends with a backslash
extern CString g_strAppFolder;       // ${app_path}
extern CString g_strCurrentVersion;  // sent as v=, compared with the offered version
extern CString g_strDownloadFolder;  // removed at the end of an update run
extern CString g_strUpdateUrl;       // first-step update URL
extern CString g_strOwnPath;
extern CString g_strOwnFolder;
extern CString g_strOwnName;
extern CString g_strBatchText;       // self-replacement batch; empty: none
extern CString g_strBatchFile;       // "<download folder>.bat"

// The two update servers; the test server ("-test") is a local one.
extern const char kUpdateUrlTemplate[];
extern const char kTestUpdateUrlTemplate[];
const int kTestUpdatePort = 18080;

const int kMaxUrlLength = 1023;        // longer URLs are refused, never cut
const int kMaxLogLine = 2048;          // WriteLogF cuts its text here
const int kMaxDocumentBytes = 4 << 20; // string-mode downloads (reply, document)
const char kUserAgent[] = "Zorvet_AutoUpdate_Agent";

int InitEnvironment();

// File mode: target is the local path (the file is created anew). String mode:
// target receives the body. A transfer counts only when the URL opens, the HTTP
// status is 2xx, every read succeeds and, when the server sent a
// Content-Length, that many bytes arrived. *url is replaced by its canonical form.
BOOL DownloadUrl(CString* url, CString* target, BOOL toFile, BOOL withProgress);
BOOL IsInternetConnected();

void WriteLog(const CString& text, BOOL toStatus);
void WriteLogF(BOOL toStatus, LPCSTR format, ...) __attribute__((format(printf, 2, 3)));
void PumpOneMessage();
CString GetOsBitness();

BOOL PathExists(LPCSTR path);
BOOL IsFolder(LPCSTR path);
int MakeDirectoryPath(LPCSTR path);
int SplitString(CStringArray* array, CString text, CString delimiters, CString trims);
// Number of bytes (out gets a malloc'ed array of count + 1 for the caller to
// free); 0 when the value is not a "hex:" list; -1 when memory runs out.
int ParseHexBytes(CString value, BYTE** out);
// Name part of the URL, made safe for the download folder; empty when no safe
// name is left (see SafeUrlFileName).
CString UrlFileName(CString url);
CString ExpandPathVariables(CString text);
// The same, with the inserted folders escaped for XML, for text about to be parsed.
CString ExpandPathVariablesXml(CString text);
CString GetModulePath();
BOOL IsOwnExe(LPCSTR path);
CString PrepareSelfReplace(CString* path);
CString SplitPath(CString path, CString* folder);

#endif
