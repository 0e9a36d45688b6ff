// Unpacks ZIP archives for the unzip action, on top of minizip's unzip interface.
#ifndef ZORVET_UPDATER_ZIP_READER_H
#define ZORVET_UPDATER_ZIP_READER_H

#include <windows.h>

typedef void* unzFile;

struct ZipEntryInfo {
    char name[260];  // as stored, "/" turned into "\\"
    char comment[255];
    DWORD versionMadeBy;
    DWORD versionNeeded;
    DWORD flag;
    DWORD compressionMethod;  // 0 stored, 8 deflated
    DWORD dosDate;            // date in the high 16 bits, time in the low 16
    DWORD crc;
    DWORD compressedSize;
    DWORD uncompressedSize;
    DWORD internalAttributes;
    DWORD externalAttributes;
    BYTE isFolder;  // MS-DOS folder attribute (0x10) set
};

class CZipReader {
public:
    explicit CZipReader(LPCSTR path = NULL);
    virtual ~CZipReader();

    BOOL Open(LPCSTR path);
    BOOL Close();
    int GetEntryCount();
    // ext (without its dot, any case) filters the entries; NULL or "" takes all.
    BOOL GotoFirstEntry(LPCSTR ext = NULL);
    BOOL GotoNextEntry(LPCSTR ext = NULL);
    // FALSE also for a name that does not fit the name buffer.
    BOOL GetEntryInfo(ZipEntryInfo& info);
    // Writes the current entry below folder (NULL: the default folder, "": the
    // current one). Entry names that would leave the folder are refused, and so
    // is an entry whose data fails its CRC check (the file written for it is
    // removed).
    BOOL ExtractEntry(LPCSTR folder, BOOL withoutPath);
    BOOL ExtractEntryTo(LPCSTR file);
    LPCSTR GetDefaultFolder() const { return m_szFolder; }

private:
    BOOL WriteCurrentEntry(LPCSTR target, const ZipEntryInfo& info);
    BOOL MatchesExtension(LPCSTR ext);
    // From the current entry on, the first that matches ext (NULL or "": this one).
    BOOL SkipToExtension(LPCSTR ext);

    unzFile m_hZip;
    char m_szFolder[MAX_PATH];
};

BOOL CreateFolderTree(LPCSTR path);
BOOL CreateParentFolders(LPCSTR path);
BOOL SetFileDosTime(LPCSTR path, DWORD dosDate);

#endif
