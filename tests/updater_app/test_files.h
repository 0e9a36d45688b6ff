// Small file helpers shared by the updater's unit tests.
#ifndef ZORVET_TESTS_UPDATER_APP_TEST_FILES_H
#define ZORVET_TESTS_UPDATER_APP_TEST_FILES_H

#include <windows.h>
#include <stdio.h>

#include <string>

// The whole file, or "<missing>" when it does not open.
inline std::string ReadAll(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return "<missing>";
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

// A file or folder at path.
inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

#endif
