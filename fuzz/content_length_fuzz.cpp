// Content-Length values as a server may send them. The parser must accept
// exactly the plain decimal texts (digits only: no sign, blank or prefix) whose
// value is within the cap, give that value, and leave the output alone otherwise.
// The reference here compares digit strings, so it needs no arithmetic of its own
// that could overflow the same way.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "content_length.h"
#include "oracle.h"

namespace {

using oracle::Check;

// -1, 0 or 1 as the decimal digit string a is below, equal to or above b.
int CompareDecimal(std::string a, std::string b) {
    a.erase(0, a.find_first_not_of('0'));
    b.erase(0, b.find_first_not_of('0'));
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool AllDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

void CheckCap(const std::string& text, uint32_t cap) {
    char capText[16];
    snprintf(capText, sizeof capText, "%u", cap);
    bool expected = AllDigits(text) && CompareDecimal(text, capText) <= 0;
    const uint32_t kUntouched = 0xA5A5A5A5u;
    uint32_t value = kUntouched;
    int ok = ParseContentLength(text.c_str(), cap, &value);
    Check(ok == (expected ? 1 : 0));
    if (ok) {
        char valueText[16];
        snprintf(valueText, sizeof valueText, "%u", value);
        Check(CompareDecimal(text, valueText) == 0);
    } else {
        Check(value == kUntouched);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text((const char*)data, strnlen((const char*)data, size));
    static const uint32_t kCaps[] = {0, 1, 999, 65536, 0x7FFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu};
    for (uint32_t cap : kCaps) CheckCap(text, cap);
    // Caps at the value itself and one either side of it.
    if (AllDigits(text) && CompareDecimal(text, "4294967295") <= 0) {
        uint32_t v = (uint32_t)strtoull(text.c_str(), nullptr, 10);
        CheckCap(text, v);
        if (v > 0) CheckCap(text, v - 1);
        if (v < 0xFFFFFFFFu) CheckCap(text, v + 1);
    }
    return 0;
}
