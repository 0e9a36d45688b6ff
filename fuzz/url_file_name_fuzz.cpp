// The local file name a download takes from its URL. An accepted name is joined
// to the download folder, so it must be one plain component there: no folder
// separator or ':' under either GBK reading (a lead byte before a byte that is no
// trail byte is taken as a pair by some converters and alone by others), not "."
// or "..", not dots and blanks only, and never a device name. It is a piece of the
// URL, fits the caller's buffer, and a plain name at the end of a plain URL is
// given back as it is.
#include <stdint.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

#include "update_text.h"
#include "oracle.h"

namespace {

using oracle::Check;
using oracle::IsLead;
using oracle::IsTrail;
using oracle::NamesDevice;


// No byte that stands for itself is a separator or ':' in this reading.
bool SingleComponent(const std::string& name, bool pairAny) {
    for (size_t i = 0; i < name.size();) {
        unsigned char c = (unsigned char)name[i];
        if (IsLead(c) && i + 1 < name.size() && (pairAny || IsTrail((unsigned char)name[i + 1]))) {
            i += 2;
            continue;
        }
        if (c == '/' || c == '\\' || c == ':') return false;
        i++;
    }
    return true;
}

bool OnlyDotsAndBlanks(const std::string& name) { return name.find_first_not_of(". ") == std::string::npos; }

// The text after the last '/' of a 7-bit URL, when it is a plain file name.
bool PlainTail(const std::string& url, std::string* tail) {
    for (char c : url)
        if ((unsigned char)c >= 0x80) return false;
    size_t slash = url.rfind('/');
    *tail = url.substr(slash == std::string::npos ? 0 : slash + 1);
    if (tail->empty() || (*tail)[0] == '.' || NamesDevice(*tail)) return false;
    for (char c : *tail)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
              c == '.'))
            return false;
    return true;
}

void CheckUrl(const std::string& url, size_t size) {
    std::vector<char> out(size);  // exactly the size given: an overrun is seen
    int ok = SafeUrlFileName(url.c_str(), out.data(), size);
    Check(out[0] == 0 || ok);
    if (!ok) return;
    Check(memchr(out.data(), 0, size) != nullptr);
    std::string name(out.data());
    Check(!name.empty() && url.find(name) != std::string::npos);
    Check(SingleComponent(name, false) && SingleComponent(name, true));
    Check(!OnlyDotsAndBlanks(name));
    Check(!NamesDevice(name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string url((const char*)data, strnlen((const char*)data, size));
    CheckUrl(url, 260);
    CheckUrl(url, 1 + (size ? data[size - 1] % 24 : 0));
    std::string tail;
    if (PlainTail(url, &tail) && tail.size() < 260) {
        char out[260];
        Check(SafeUrlFileName(url.c_str(), out, sizeof out) == 1 && tail == out);
    }
    return 0;
}
