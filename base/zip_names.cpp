#include "zip_names.h"

#include "update_text.h"

namespace {

bool IsSeparator(unsigned char c) { return c == '/' || c == '\\'; }

// A component of only dots and blanks with two dots or more: Windows drops
// trailing dots and blanks, so ".. " and "..." may end up as "..".
bool IsParentLike(const unsigned char* start, const unsigned char* end) {
    int dots = 0;
    for (const unsigned char* p = start; p < end; p++) {
        if (*p == '.')
            dots++;
        else if (*p != ' ')
            return false;
    }
    return dots >= 2;
}

}  // namespace

int CheckZipEntryName(const char* name) {
    if (!name || !name[0])
        return kZipNameEmpty;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
    if (IsSeparator(p[0]))
        return kZipNameAbsolute;
    const unsigned char* component = p;
    for (;;) {
        unsigned char c = *p;
        if (c == 0 || IsSeparator(c)) {
            if (IsParentLike(component, p))
                return kZipNameParent;
            // Any component may become the last one of a path made on the way.
            if (IsDeviceName(reinterpret_cast<const char*>(component), (size_t)(p - component)))
                return kZipNameDevice;
            if (c == 0)
                return kZipNameOk;
            component = ++p;
            continue;
        }
        if (c < 0x20 || c == 0x7F)
            return kZipNameControl;
        if (c == ':')
            return kZipNameDrive;
        // A double-byte character: its trail byte is never a separator or ':'.
        p += (IsGbkLeadByte(c) && IsGbkTrailByte(p[1])) ? 2 : 1;
    }
}
