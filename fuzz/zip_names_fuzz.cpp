// ZIP entry names from a downloaded package. Every name the check accepts is
// walked here component by component, as the file system would resolve it below
// the extraction folder: it must never climb above that folder, start at a root,
// name a drive or stream, or name a device. Names are GBK; where a lead byte is
// followed by a byte that is no trail byte, converters differ (some take the pair,
// some only the lead byte), so both readings must stay inside.
#include <stdint.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "zip_names.h"
#include "oracle.h"

namespace {

using oracle::Check;
using oracle::IsLead;
using oracle::IsTrail;
using oracle::NamesDevice;

bool IsSlash(unsigned char c) { return c == '/' || c == '\\'; }

// Dots and blanks only: "." stays, two dots or more may end up as "..".
enum Kind { kName, kStay, kUp };
Kind Classify(const std::string& component) {
    int dots = 0;
    for (char c : component) {
        if (c == '.')
            dots++;
        else if (c != ' ')
            return kName;
    }
    return dots >= 2 ? kUp : kStay;
}

// True when the name, read with lone lead bytes (pairAny false) or with a lead
// byte always taking the next byte (pairAny true), stays below the folder.
bool StaysInside(const std::string& name, bool pairAny) {
    if (name.empty() || IsSlash((unsigned char)name[0])) return false;
    int depth = 0;
    std::string component;
    for (size_t i = 0; i <= name.size();) {
        unsigned char c = i < name.size() ? (unsigned char)name[i] : 0;
        if (c == 0 || IsSlash(c)) {
            switch (Classify(component)) {
            case kUp:
                if (--depth < 0) return false;
                break;
            case kName:
                if (NamesDevice(component)) return false;
                depth++;
                break;
            case kStay:
                break;
            }
            component.clear();
            i++;
            continue;
        }
        if (c == ':') return false;
        if (IsLead(c) && i + 1 < name.size() && (pairAny || IsTrail((unsigned char)name[i + 1]))) {
            component += name.substr(i, 2);
            i += 2;
            continue;
        }
        component += (char)c;
        i++;
    }
    return true;
}

// Letters, digits, '_' and '-' in each component, with dots only inside them:
// nothing a folder could object to, so such names must pass.
bool IsPlainPath(const std::string& name) {
    if (name.empty()) return false;
    size_t start = 0;
    for (;;) {
        size_t end = name.find('/', start);
        std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part[0] == '.' || part.back() == '.' || NamesDevice(part)) return false;
        for (char c : part)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
                  c == '.'))
                return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

void CheckName(const std::string& name) {
    int r = CheckZipEntryName(name.c_str());
    if (r == kZipNameOk) {
        Check(StaysInside(name, false));
        Check(StaysInside(name, true));
    }
    if (IsPlainPath(name)) Check(r == kZipNameOk);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string name((const char*)data, strnlen((const char*)data, size));
    CheckName(name);
    // The reader turns every '/' into '\\' before it checks a name.
    for (char& c : name)
        if (c == '/') c = '\\';
    CheckName(name);
    return 0;
}
