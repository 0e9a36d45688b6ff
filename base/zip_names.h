// Checks on the names of ZIP entries before they are joined to an extraction
// folder. Portable (no windows.h): entry names are GBK bytes with "/" or "\\"
// between folders, and a GBK trail byte may itself be 0x5C.
#ifndef ZORVET_ZIP_NAMES_H
#define ZORVET_ZIP_NAMES_H

enum ZipNameCheck {
    kZipNameOk = 0,
    kZipNameEmpty,     // no name at all
    kZipNameAbsolute,  // begins with a folder separator (root or UNC path)
    kZipNameDrive,     // holds ":" (drive letter, alternate data stream)
    kZipNameParent,    // a component of dots (and blanks), "..", "...", ".. "
    kZipNameControl,   // a control character
    kZipNameDevice,    // a component names a device (CON, NUL, COM1, ...)
};

// kZipNameOk when the name, joined to a folder, names a place inside it.
int CheckZipEntryName(const char* name);

#endif
