// Test builds only (ZORVET_DIALOG_RECORD): the dialog's states as they happen,
// one line each with its tick, appended to the file that the variable of the
// same name gives. The end-to-end tests read what the dialog showed from it
// instead of looking in time: the dialog hides itself 5 s after connecting,
// and a look from outside takes seconds under emulation. The product build
// compiles none of this.
#ifdef ZORVET_DIALOG_RECORD
#include <string.h>

#include "app.h"
#include "utils.h"

namespace {

void AppendLine(const char* text) {
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("ZORVET_DIALOG_RECORD", path, countof(path));
    if (n == 0 || n >= countof(path)) return;
    // Opened for each line, so that the tests read every line as soon as it is written.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char line[512];
    FormatText(line, sizeof line, "%lu %s\n", (unsigned long)GetTickCount(), text);
    DWORD written;
    WriteFile(file, line, (DWORD)strlen(line), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

void RecordDialogEvent(const char* what) { AppendLine(what); }

// "page P state S controls ID...": the page just shown, the state it shows and
// the controls it left visible (their own style: the dialog itself may be
// becoming visible only now).
void RecordDialogPage(HWND dialog, int page, LONG state) {
    char text[400];
    FormatText(text, sizeof text, "page %d state %ld controls", page, (long)state);
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!(GetWindowLongA(c, GWL_STYLE) & WS_VISIBLE)) continue;
        size_t used = strlen(text);
        FormatText(text + used, sizeof text - used, " %d", GetDlgCtrlID(c));
    }
    AppendLine(text);
}
#endif
