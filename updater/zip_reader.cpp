// ZIP extraction: walks the archive with minizip and writes entries to disk with
// their modification times.
#include "zip_reader.h"

#include <minizip/unzip.h>
#include <string.h>

#include "utils.h"
#include "zip_names.h"

namespace {

const int kCopyBlock = 2048;  // bytes asked of minizip per read

// Last backslash, stepping over double-byte characters (a GBK trail byte may
// be 0x5C). The C runtime's multi-byte code page need not be the ANSI one.
const char* LastBackslash(const char* path) {
    const char* last = NULL;
    for (const char* p = path; *p; p++) {
        if (IsDBCSLeadByte((BYTE)*p) && p[1])
            p++;
        else if (*p == '\\')
            last = p;
    }
    return last;
}
char* LastBackslash(char* path) { return const_cast<char*>(LastBackslash((const char*)path)); }

BOOL JoinPath(char* out, size_t size, LPCSTR folder, LPCSTR name) {
    size_t n = strlen(folder);
    // A folder that ends in a backslash (not a trail byte) takes no second one.
    const char* last = LastBackslash(folder);
    bool ends = n > 0 && last == folder + n - 1;
    int written = FormatText(out, size, "%s%s%s", folder, (ends || n == 0) ? "" : "\\", name);
    return written >= 0 && (size_t)written < size;
}

BOOL SetHandleDosTime(HANDLE file, DWORD dosDate) {
    FILETIME local, utc;
    if (!DosDateTimeToFileTime(HIWORD(dosDate), LOWORD(dosDate), &local))
        return FALSE;
    if (!LocalFileTimeToFileTime(&local, &utc))
        return FALSE;
    return SetFileTime(file, &utc, NULL, &utc);
}

}  // namespace

CZipReader::CZipReader(LPCSTR path) : m_hZip(NULL) {
    m_szFolder[0] = 0;
    if (path)
        Open(path);
}

CZipReader::~CZipReader() { Close(); }

BOOL CZipReader::Open(LPCSTR path) {
    Close();
    if (!path || !path[0])
        return FALSE;
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(path, countof(full), full, NULL);
    if (n == 0 || n >= countof(full))
        return FALSE;
    m_hZip = unzOpen(full);
    if (!m_hZip)
        return FALSE;
    // Default folder: the archive's path without its extension.
    CopyText(m_szFolder, full);
    char* slash = LastBackslash(m_szFolder);
    char* dot = strrchr(slash ? slash : m_szFolder, '.');
    if (dot)
        *dot = 0;
    return TRUE;
}

BOOL CZipReader::Close() {
    int r = UNZ_OK;
    if (m_hZip) {
        unzCloseCurrentFile(m_hZip);
        r = unzClose(m_hZip);
    } else {
        r = UNZ_PARAMERROR;
    }
    m_hZip = NULL;
    m_szFolder[0] = 0;
    return r == UNZ_OK;
}

int CZipReader::GetEntryCount() {
    if (!m_hZip)
        return 0;
    unz_global_info gi;
    if (unzGetGlobalInfo(m_hZip, &gi) != UNZ_OK)
        return 0;
    return (int)gi.number_entry;
}

BOOL CZipReader::MatchesExtension(LPCSTR ext) {
    ZipEntryInfo info;
    if (!GetEntryInfo(info))
        return -1;
    const char* slash = LastBackslash(info.name);
    const char* base = slash ? slash + 1 : info.name;
    const char* dot = strrchr(base, '.');
    return lstrcmpiA(dot ? dot + 1 : "", ext) == 0;
}

BOOL CZipReader::GotoFirstEntry(LPCSTR ext) {
    if (!m_hZip)
        return FALSE;
    if (unzGoToFirstFile(m_hZip) != UNZ_OK)
        return FALSE;
    return SkipToExtension(ext);
}

BOOL CZipReader::GotoNextEntry(LPCSTR ext) {
    if (!m_hZip)
        return FALSE;
    if (unzGoToNextFile(m_hZip) != UNZ_OK)
        return FALSE;
    return SkipToExtension(ext);
}

BOOL CZipReader::SkipToExtension(LPCSTR ext) {
    if (!ext || !ext[0])
        return TRUE;
    for (;;) {
        int m = MatchesExtension(ext);
        if (m < 0)
            return FALSE;
        if (m)
            return TRUE;
        if (unzGoToNextFile(m_hZip) != UNZ_OK)
            return FALSE;
    }
}

BOOL CZipReader::GetEntryInfo(ZipEntryInfo& info) {
    memset(&info, 0, sizeof(info));
    if (!m_hZip)
        return FALSE;
    unz_file_info fi;
    // One byte of each buffer stays NUL.
    if (unzGetCurrentFileInfo(m_hZip, &fi, info.name, sizeof(info.name) - 1, NULL, 0, info.comment,
                              sizeof(info.comment) - 1) != UNZ_OK)
        return FALSE;
    if (fi.size_filename >= sizeof(info.name)) {
        // A cut name would name another file: refused.
        memset(&info, 0, sizeof(info));
        return FALSE;
    }
    // '/' is never a GBK trail byte, so a plain replacement is safe.
    for (char* p = info.name; *p; p++)
        if (*p == '/')
            *p = '\\';
    info.versionMadeBy = fi.version;
    info.versionNeeded = fi.version_needed;
    info.flag = fi.flag;
    info.compressionMethod = fi.compression_method;
    info.dosDate = fi.dosDate;
    info.crc = fi.crc;
    info.compressedSize = fi.compressed_size;
    info.uncompressedSize = fi.uncompressed_size;
    info.internalAttributes = fi.internal_fa;
    info.externalAttributes = fi.external_fa;
    info.isFolder = (fi.external_fa & 0x10) ? 1 : 0;
    return TRUE;
}

BOOL CZipReader::ExtractEntry(LPCSTR folder, BOOL withoutPath) {
    if (!m_hZip)
        return FALSE;
    if (!folder)
        folder = m_szFolder;
    else if (!folder[0])
        folder = ".";  // the current folder, so that every target has a parent
    if (!CreateFolderTree(folder))
        return FALSE;
    ZipEntryInfo info;
    if (!GetEntryInfo(info))
        return FALSE;
    if (CheckZipEntryName(info.name) != kZipNameOk)
        return FALSE;
    char target[MAX_PATH];
    if (info.isFolder) {
        if (!JoinPath(target, countof(target), folder, info.name))
            return FALSE;
        return CreateFolderTree(target);
    }
    const char* name = info.name;
    if (withoutPath) {
        const char* slash = LastBackslash(info.name);
        if (slash)
            name = slash + 1;
    }
    if (!JoinPath(target, countof(target), folder, name))
        return FALSE;
    if (!CreateParentFolders(target))
        return FALSE;
    return WriteCurrentEntry(target, info);
}

BOOL CZipReader::ExtractEntryTo(LPCSTR file) {
    if (!m_hZip || !file)
        return FALSE;
    if (!CreateParentFolders(file))
        return FALSE;
    ZipEntryInfo info;
    if (!GetEntryInfo(info))
        return FALSE;
    return WriteCurrentEntry(file, info);
}

BOOL CZipReader::WriteCurrentEntry(LPCSTR target, const ZipEntryInfo& info) {
    // Only stored and deflated data can be read back: minizip opens a bzip2
    // entry without a decoder for it and would hand out the compressed bytes.
    if (info.compressionMethod != 0 && info.compressionMethod != Z_DEFLATED)
        return FALSE;
    // The entry's data is opened before the target is created, so an entry
    // that can't be read leaves a file already there as it was.
    if (unzOpenCurrentFile(m_hZip) != UNZ_OK)
        return FALSE;
    HANDLE file = CreateFileA(target, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        unzCloseCurrentFile(m_hZip);
        return FALSE;
    }
    char block[kCopyBlock];
    BOOL ok = TRUE;
    while (ok) {
        int got = unzReadCurrentFile(m_hZip, block, countof(block));
        if (got == 0)
            break;
        if (got < 0) {
            ok = FALSE;
            break;
        }
        DWORD written = 0;
        if (!WriteFile(file, block, (DWORD)got, &written, NULL) || written != (DWORD)got)
            ok = FALSE;
    }
    // The CRC is checked when the entry's data is closed after its last byte.
    if (unzCloseCurrentFile(m_hZip) != UNZ_OK)
        ok = FALSE;
    if (ok)
        SetHandleDosTime(file, info.dosDate);
    CloseHandle(file);
    if (!ok)
        DeleteFileA(target);
    return ok;
}

BOOL CreateFolderTree(LPCSTR path) {
    if (!path || !path[0])
        return TRUE;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    char parent[MAX_PATH];
    if (strlen(path) >= countof(parent))
        return FALSE;
    CopyText(parent, path);
    char* slash = LastBackslash(parent);
    if (slash) {
        bool trailing = slash[1] == 0;
        *slash = 0;
        if (trailing)  // "a\\b\\" names the folder a\\b
            return CreateFolderTree(parent);
        // "C:" is a drive, not a folder to create.
        if (parent[0] && !(strlen(parent) == 2 && parent[1] == ':') && !CreateFolderTree(parent))
            return FALSE;
    }
    CreateDirectoryA(path, NULL);
    attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL CreateParentFolders(LPCSTR path) {
    char parent[MAX_PATH];
    if (!path || strlen(path) >= countof(parent))
        return FALSE;
    CopyText(parent, path);
    char* slash = LastBackslash(parent);
    if (!slash)
        return FALSE;
    *slash = 0;
    return CreateFolderTree(parent);
}

BOOL SetFileDosTime(LPCSTR path, DWORD dosDate) {
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL ok = SetHandleDosTime(file, dosDate);
    CloseHandle(file);
    return ok;
}
