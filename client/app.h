// ovik_acc: the one global state record, window messages and the functions the
// client's files call in one another. Each file holds one concern:
//   main.cpp (start-up, hidden window, exit), log.cpp + message_texts.cpp,
//   settings.cpp, tray.cpp, connection.cpp, layout.cpp, sprites.cpp,
//   dialog.cpp, pages.cpp, netcheck.cpp, dialog_record.cpp (test builds).
#ifndef OVIK_APP_H
#define OVIK_APP_H

#include <windows.h>
#include <stdint.h>

#include "resource.h"
#include "zorvet_core.h"

struct SkinLayout;

// Shared by the main, dialog and (later) network check threads without locks;
// each field has one writer at a time (ConnState only OnCoreState).
struct AppState {
    HWND MainWindow;         // hidden main window
    HINSTANCE Instance;      // module of the strings, icons and pictures
    HWND DialogWindow;       // main dialog, set by the dialog thread
    volatile LONG DialogCreated;  // 1 once the dialog exists
    volatile LONG DialogVisible;  // 1 at start; kept by WM_SHOWWINDOW
    SkinLayout* Layout;
    char InstallDir[260];    // ends in a backslash
    char UpdaterPath[260];   // InstallDir + "updater.exe"
    int RememberName, RememberPassword, Autorun, AutoConnect, ImportantOnly, LogToFile;
    // LoginInput block: these three are copied together for StartLogin.
    int16_t NoStoredCredentials;  // 1 when no complete account is stored
    char UserName[41];            // at most 40 characters; "cert" holds 20
    char Password[41];            // at most 40 characters; "cert" holds 20
    int16_t ServiceIndex;
    char RedirectServer[21];      // at most 20 characters
    volatile LONG ConnState;      // 1 idle, 2 connecting, 3 connected, 4 disconnecting
};
extern AppState g_app;

struct LoginInput {
    int16_t NoStoredCredentials;
    char UserName[41];
    char Password[41];
};

// ---- constants
constexpr uint32_t kClientVersion = 0x1073008B;  // 1.7.3.0139
constexpr int kPartnerId = 119;
constexpr char kRegName[] = "OVIK";
constexpr char kMainClass[] = "Zorvet_Acc";
constexpr char kMainTitle[] = "Zorvet Acc";
constexpr char kBoxTitle[] = "OVIK_ACC 提示信息";
constexpr char kUpdaterClass[] = "ZorvetUpdater";
constexpr char kUpdaterTitle[] = "Zorvet Acc Updater";
constexpr char kConfigKey[] = "Software\\ZORVET\\OVIK";

// Window messages. The first two are the program's interface to others.
constexpr UINT WM_SHOW_DIALOG = WM_USER + 100;   // to the hidden window: show the dialog
constexpr UINT WM_TRAY_NOTIFY = WM_USER + 110;   // tray icon mouse messages
constexpr UINT WM_APP_EXIT = WM_APP + 1;         // hidden window: ExitApplication(wParam) on its thread
constexpr UINT WM_APP_SHOW_PAGE = WM_APP + 2;    // dialog: ShowPage(wParam) on its thread
constexpr UINT WM_APP_CLOSE_DIALOG = WM_APP + 3; // dialog: destroy itself, end its thread
constexpr UINT WM_APP_CREDENTIALS = WM_APP + 4;  // dialog: fill the edits from g_app
constexpr UINT WM_APP_AUTOHIDE = WM_APP + 5;     // dialog: start AUTOHIDE_TIMER
constexpr UINT WM_APP_SHOW_DIALOG = WM_APP + 6;  // dialog: show and bring to the front, page kept
constexpr UINT IDM_TRAY_EXIT = 220;
constexpr UINT IDM_TRAY_OPEN = 221;

constexpr UINT_PTR STATUS_TIMER = 1905;
constexpr UINT_PTR PROGRESS_TIMER = 1906;
constexpr UINT_PTR AUTOHIDE_TIMER = 1908;
constexpr int PAGE_STATUS = 1901, PAGE_SETTINGS = 1902, PAGE_ABOUT = 1903;

// ---- MsgBox codes (log.cpp)
constexpr uint32_t LOG_LEVEL_MASK = 0xF;
constexpr uint32_t LOG_FATAL = 0x20;
constexpr uint32_t LOG_BOX = 0x2000;
constexpr uint32_t MSG_FATAL_WINDOW = 0x12020;
constexpr uint32_t MSG_FATAL_MODULE = 0x52020;
constexpr uint32_t MSG_INPUT_TOO_LONG = 0x32001;
constexpr uint32_t MSG_LESS_THAN_HOUR = 0x122003;
constexpr uint32_t MSG_EXPIRES_SOON = 0x132003;

extern int DebugLog;
extern volatile LONG BoxShowing;
extern volatile LONG LastCoreBoxCode;  // code of the last box CoreMessageSink showed
void MsgBox(uint32_t code, const char* format, ...) __attribute__((format(printf, 2, 3)));
void CoreMessageSink(uint32_t code, const char* text);  // LogCoreMessage, then ShowCoreMessageBox
void LogCoreMessage(uint32_t code, const char* text);
void ShowCoreMessageBox(uint32_t code);  // the box of a code with bit 0x200, if it has one
const char* AppMessageText(uint32_t code);
const char* CoreMessageText(uint32_t code);
// A string of the program's string table; empty when the table lacks it.
void LoadText(UINT id, char* buffer, int size);
void LogLine(const char* text);
void SetLogTarget(HWND* owner, int toFile, const char* path);
void OpenLogByOption();
void OpenLogFile(const char* path);
void CloseLog();
void CloseLogFile();
// Shows one of the program's boxes with BoxShowing set around it.
int ShowBox(HWND owner, const char* text, UINT flags);
// Brings the open box to the front; 1 when one was found.
int BringBoxToFront();

// ---- settings.cpp
int OpenConfigKey(HKEY* key);
int CloseRegKey(HKEY key);
int ReadCertBytes(HKEY key, void* destination, int offset, int length);
int WriteCertBytes(HKEY key, const void* source, int offset, int length);
int LoadConfig(AppState* state);
int SaveConfig(AppState* state);
int SaveCoreVersion(uint32_t version);
int ReadStoredUserName(char* out, size_t size);
int ReadStoredPassword(char* out, size_t size);
int ReadRedirectServer(char* out, size_t size);
int SaveRedirectServer(const char* text, size_t size);
int SetAutorun(int on, const char* installDir);
extern const char kDefaultRedirectServer[];

// ---- tray.cpp
void CreateTray(HINSTANCE module, HWND owner);
void UpdateTrayIcon(unsigned state, int add);
void ShowBalloon(HWND owner, const char* title, const char* text);
void OnTrayMouse(HWND owner, HWND dialog, UINT mouse, unsigned state);
void DeleteTrayIcon();
void SetDialogIcons(HINSTANCE module, HWND dialog);

// ---- connection.cpp
// Every request of the program to the core library goes through these, one at
// a time (the main and dialog threads share the library's one connection).
int CoreGetQueryData(QueryData* q);
uint32_t CoreGetServiceVersion();
void StartLogin(const LoginInput& input);
void StopSession();
void OnCredentials(const char* name, const char* password);
void OnCoreState(int state);
void OnCoreMessage(uint32_t code, const char* text);
int IsUpdaterRunning();
void StartUpdater();
int CoreInit(const InitConfig* config);
void CoreClear();
uint32_t CoreSetRegistryValue(uint32_t root, const char* subkey, const char* name, uint32_t op,
                              uint32_t type, const void* data, uint32_t length);

// ---- main.cpp
void ExitApplication(int quiet);
void LogVersions();
int IsMainThread();

// ---- dialog.cpp
void ShowMainDialog(HWND dialog);
int CloseMainDialog();  // 1 when the dialog thread has ended
void OnNetcheckStatus(int status);

// ---- pages.cpp
void ShowPage(int page);            // any thread: posted to the dialog
void ShowPageNow(int page, int fromShowWindow);  // dialog thread
void RefreshStatusData();           // dialog thread: one QueryData for this tick
void PaintStatusText(HWND control, const SkinLayout* layout);
void AnimateProgress(int reset, const SkinLayout* layout);
extern int CurrentPage;

// ---- netcheck.cpp
typedef void (*NetcheckCallbackFn)(int status);
void StartNetcheck(NetcheckCallbackFn callback, const char* host);
void StopNetcheck();

// ---- dialog_record.cpp: test builds only; nothing in the product
#ifdef ZORVET_DIALOG_RECORD
void RecordDialogEvent(const char* what);                  // dialog thread
void RecordDialogPage(HWND dialog, int page, LONG state);  // dialog thread, after a page change
#else
inline void RecordDialogEvent(const char*) {}
inline void RecordDialogPage(HWND, int, LONG) {}
#endif

#endif
