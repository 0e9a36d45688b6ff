// What the engine shows while it works: the status line, the file and total
// progress bars and the latest version. The progress dialog implements it and
// registers itself for its lifetime; tests and headless runs use the console
// display. With no display registered, status lines go to the log file only.
#ifndef ZORVET_UPDATER_STATUS_DISPLAY_H
#define ZORVET_UPDATER_STATUS_DISPLAY_H

#include "afx.h"

class IUpdateDisplay {
public:
    virtual ~IUpdateDisplay() {}
    virtual void SetStatusText(LPCSTR text) = 0;
    // A range above 0 sets the range 0..range first; position 0 also shows the bar.
    virtual void SetFileProgress(int position, int range) = 0;
    virtual void SetTotalProgress(int position, int range) = 0;
    virtual void SetLatestVersion(LPCSTR version) = 0;
};

// NULL: none. The display must outlive its registration.
void SetUpdateDisplay(IUpdateDisplay* display);
IUpdateDisplay* GetUpdateDisplay();

// Writes one line per call to stdout: "STATUS <text>", "FILE <pos> <range>",
// "TOTAL <pos> <range>", "LATEST <version>" (texts as bytes, GBK).
class CConsoleDisplay : public IUpdateDisplay {
public:
    void SetStatusText(LPCSTR text) override;
    void SetFileProgress(int position, int range) override;
    void SetTotalProgress(int position, int range) override;
    void SetLatestVersion(LPCSTR version) override;
    int m_nFileCalls = 0;  // file progress updates seen (they come once per block)
};

#endif
