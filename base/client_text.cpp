#include "client_text.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "utils.h"

size_t CopyTextGbk(char* destination, size_t size, const char* source) {
    if (size == 0) return 0;
    destination[0] = 0;
    return AppendTextGbk(destination, size, source);
}

size_t AppendTextGbk(char* destination, size_t size, const char* source) {
    if (size == 0 || !source) return 0;
    size_t used = strnlen(destination, size - 1);
    size_t i = 0;
    while (source[i] != 0) {
        size_t n = (IsGbkLeadByte((unsigned char)source[i]) && source[i + 1] != 0) ? 2 : 1;
        if (used + n > size - 1) break;
        memcpy(destination + used, source + i, n);
        used += n;
        i += n;
    }
    destination[used] = 0;
    return i;
}

void FillTemplate(char* out, size_t size, const char* templ, const char* value) {
    if (size == 0) return;
    out[0] = 0;
    const char* p = templ ? strstr(templ, "%s") : nullptr;
    if (!p) {
        AppendTextGbk(out, size, templ);
        return;
    }
    char head[1024];
    size_t n = (size_t)(p - templ);
    if (n >= sizeof head) n = sizeof head - 1;
    memcpy(head, templ, n);
    head[n] = 0;
    AppendTextGbk(out, size, head);
    AppendTextGbk(out, size, value);
    AppendTextGbk(out, size, p + 2);
}

void BuildTrayTip(char* out, size_t size, unsigned state, const TrayTipTexts& t,
                  const char* startText, const char* ip) {
    // Built in 200 bytes as the tip always was, then cut to the field.
    char tip[200];
    CopyTextGbk(tip, sizeof tip, "OVIK_ACC");
    switch (state) {
    case 1:
        AppendTextGbk(tip, sizeof tip, t.idle);
        break;
    case 2:
        AppendTextGbk(tip, sizeof tip, t.connecting);
        AppendTextGbk(tip, sizeof tip, "ovik_acc");
        break;
    case 4:
        AppendTextGbk(tip, sizeof tip, t.disconnecting);
        AppendTextGbk(tip, sizeof tip, "ovik_acc");
        break;
    case 3:
        AppendTextGbk(tip, sizeof tip, t.connected);
        AppendTextGbk(tip, sizeof tip, "ovik_acc");
        AppendTextGbk(tip, sizeof tip, t.connectTime);
        AppendTextGbk(tip, sizeof tip, startText);
        if (ip && ip[0]) {
            char line[100];
            FillTemplate(line, sizeof line, t.address, ip);
            AppendTextGbk(tip, sizeof tip, line);
        }
        break;
    default:
        break;
    }
    CopyTextGbk(out, size, tip);
}

void FormatConnectTime(char* out, size_t size, int32_t s) {
    FormatText(out, size, "%d:%d:%d", s / 3600, (s / 60) % 60, s % 60);
}

void FormatRate(char* out, size_t size, float rate) {
    double v = (double)rate * 1024.0;
    uint64_t count = 0;
    if (!isnan(v) && v > 0) count = v >= 1.8e19 ? UINT64_MAX : (uint64_t)v;
    char text[64];
    FormatByteSize(text, count, "bps");
    CopyTextN(out, text, size);
}

void FormatBytes(char* out, size_t size, uint32_t count) {
    char text[64];
    FormatByteSize(text, count, "B");
    CopyTextN(out, text, size);
}

static void FieldText(char* out, size_t size, const char* field, size_t fieldSize, size_t max) {
    if (size == 0) return;
    size_t n = strnlen(field, fieldSize);
    if (n > max) n = max;
    if (n > size - 1) n = size - 1;
    memcpy(out, field, n);
    out[n] = 0;
}

void QueryDateText(char* out, size_t size, const QueryData& q) {
    FieldText(out, size, q.Date, sizeof q.Date, 11);
}

void QueryIpText(char* out, size_t size, const QueryData& q) {
    FieldText(out, size, q.IP, sizeof q.IP, 16);
}

int AccountType(uint32_t status) {
    if ((status & 0x08) || !(status & 0x30)) return 0;
    return (int)((status >> 10) & 7);
}

int AccountTypeImage(uint32_t status) {
    static const int images[4] = {1137, 1140, 1138, 1139};
    int type = AccountType(status);
    return type < 4 ? images[type] : 0;
}

AccountViewImages AccountImagesFor(uint32_t status, int serviceIndex) {
    AccountViewImages v;
    v.type = AccountTypeImage(status);
    v.service = serviceIndex == 1 ? 1136 : 1135;
    v.dateLabel = (status & 0x10) ? 1133 : (status & 0x20) ? 1129 : 0;
    return v;
}

int AccountTextShown(uint32_t status, const char* ip) {
    return ip && ip[0] && !(status & 0x08) && (status & 0xB0) > 0x80;
}

ExpiryNotice DecideExpiryNotice(const QueryData& q, time_t now) {
    uint32_t type = (q.Status >> 10) & 7;
    if (type == 0 || (q.Status & 0x08) || (type >= 3 && (q.Status & 0xB0) == 0x80)) return EXPIRY_NONE;
    if (q.Status & 0x10) {
        char date[12];
        QueryDateText(date, sizeof date, q);
        unsigned y = 0, m = 0, d = 0;
        if (sscanf(date, "%u-%u-%u", &y, &m, &d) != 3) return EXPIRY_NONE;
        if (y < 1970 || y > 3000 || m < 1 || m > 12 || d < 1 || d > 31) return EXPIRY_NONE;
        struct tm t;
        memset(&t, 0, sizeof t);
        t.tm_year = (int)y - 1900;
        t.tm_mon = (int)m - 1;
        t.tm_mday = (int)d;
        t.tm_isdst = -1;
        time_t midnight = mktime(&t);
        if (midnight == (time_t)-1 || midnight < now) return EXPIRY_NONE;
        return (midnight - now) / 86400 < 2 ? EXPIRY_END_DATE_SOON : EXPIRY_NONE;
    }
    if ((q.Status & 0x20) && q.Time <= 59) return EXPIRY_LESS_THAN_HOUR;
    return EXPIRY_NONE;
}
