// Version texts (the client's "%u.%u.%u.%04u", the updater's "%u.%u.%u.%u") and
// dotted IPv4 texts. Each packed value formats to the text a reference reading
// here expects and parses back to itself; each canonical text (plain decimal
// numbers within their fields, nothing else) parses and formats back to itself;
// two versions compare as their numbers do; a short IPv4 text gives 0 or a
// prefix mask. The first eight input bytes are two 32-bit values, the whole
// input is also taken as a text.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "update_text.h"
#include "utils.h"
#include "oracle.h"

namespace {

using oracle::Check;

// Splits "n.n.n.n" of plain decimal numbers (no sign, blank or other byte);
// minDigits is the least number of digits of each part (leading zeros only up
// to it), per part.
bool ReadDotted(const std::string& text, const int minDigits[4], uint64_t parts[4]) {
    size_t at = 0;
    for (int i = 0; i < 4; i++) {
        if (i > 0) {
            if (at >= text.size() || text[at] != '.') return false;
            at++;
        }
        size_t start = at;
        uint64_t v = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 12) v = v * 10 + (text[at++] - '0');
        size_t digits = at - start;
        if (digits == 0 || (at < text.size() && text[at] >= '0' && text[at] <= '9')) return false;
        // No zero in front beyond what the width asks for.
        if (digits > (size_t)minDigits[i] && text[start] == '0') return false;
        if ((int)digits < minDigits[i]) return false;
        parts[i] = v;
    }
    return at == text.size();
}

const int kPlain[4] = {1, 1, 1, 1};
const int kBuildWidth[4] = {1, 1, 1, 4};
const uint64_t kVersionLimits[4] = {15, 255, 15, 65535};

bool WithinVersionFields(const uint64_t parts[4]) {
    for (int i = 0; i < 4; i++)
        if (parts[i] > kVersionLimits[i]) return false;
    return true;
}

uint32_t Fields(uint32_t v, int i) {
    switch (i) {
    case 0: return v >> 28;
    case 1: return (v >> 20) & 0xFF;
    case 2: return (v >> 16) & 0xF;
    default: return v & 0xFFFF;
    }
}

uint32_t Swap(uint32_t a) { return (a >> 24) | ((a >> 8) & 0xFF00) | ((a << 8) & 0xFF0000) | (a << 24); }

void CheckPackedVersion(uint32_t v) {
    uint64_t parts[4];
    char client[16];
    FormatVersion(v, client);
    Check(strlen(client) <= 15 && ReadDotted(client, kBuildWidth, parts));
    for (int i = 0; i < 4; i++) Check(parts[i] == Fields(v, i));
    Check(PackVersionText(client) == v);

    char updater[24];
    FormatUpdaterVersion(v, updater, sizeof updater);
    Check(ReadDotted(updater, kPlain, parts));
    for (int i = 0; i < 4; i++) Check(parts[i] == Fields(v, i));
    Check(PackVersionText(updater) == v);
}

void CheckAddress(uint32_t a) {
    char text[16];
    FormatIPv4(a, text);
    uint64_t parts[4];
    Check(ReadDotted(text, kPlain, parts));
    for (int i = 0; i < 4; i++) Check(parts[i] == ((a >> (8 * i)) & 0xFF));
    // Printed lowest byte first, read highest first.
    Check(ParseIPv4(text) == Swap(a));
}

void CheckCompare(uint32_t current, uint32_t offered) {
    char a[24], b[24];
    FormatUpdaterVersion(current, a, sizeof a);
    FormatUpdaterVersion(offered, b, sizeof b);
    // Packing keeps the order of the four numbers, first number highest.
    int expected = offered > current ? 1 : offered < current ? -1 : 0;
    Check(CompareVersionTexts(a, b) == expected);
}

void CheckText(const std::string& text) {
    uint64_t parts[4];
    if (ReadDotted(text, kPlain, parts) && WithinVersionFields(parts)) {
        unsigned numbers[4];
        Check(ParseVersionText(text.c_str(), numbers) == 4);
        for (int i = 0; i < 4; i++) Check(numbers[i] == parts[i]);
        char back[24];
        FormatUpdaterVersion(PackVersionText(text.c_str()), back, sizeof back);
        Check(text == back);
    }
    if (ReadDotted(text, kPlain, parts) && parts[0] <= 255 && parts[1] <= 255 && parts[2] <= 255 && parts[3] <= 255) {
        uint32_t a = ParseIPv4(text.c_str());
        Check(a == (uint32_t)(parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3]));
        char back[16];
        FormatIPv4(Swap(a), back);
        Check(text == back);
    }
    if (text.size() < 3) {
        uint32_t mask = ParseIPv4(text.c_str());
        // Ones from the top, then zeros only.
        Check(((~mask) & (~mask + 1)) == 0);
        bool number = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos && text[0] != '0';
        int bits = number ? atoi(text.c_str()) : 0;
        if (bits >= 1 && bits <= 32) Check(mask == (bits == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> bits)));
    }
}

uint32_t Word(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 8) {
        uint32_t first = Word(data), second = Word(data + 4);
        CheckPackedVersion(first);
        CheckPackedVersion(second);
        CheckAddress(first);
        CheckCompare(first, second);
    }
    CheckText(std::string((const char*)data, strnlen((const char*)data, size)));
    return 0;
}
