// Texts and decisions of the client program that need no window: tray tips,
// connected time and traffic texts, account-type images and expiry notices.
// Portable (no windows.h) so they are also tested natively.
#ifndef ZORVET_CLIENT_TEXT_H
#define ZORVET_CLIENT_TEXT_H

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#include "zorvet_core.h"

// Bounded copy that never splits a GBK double-byte character: copies at most
// size - 1 bytes and drops a lead byte whose trail byte would not fit. Always
// terminated (size > 0). Returns the bytes copied.
size_t CopyTextGbk(char* destination, size_t size, const char* source);
// Appends source to the text in destination under the same rule.
size_t AppendTextGbk(char* destination, size_t size, const char* source);

// String-table texts the tray tip is built from (each as LoadString gave it).
struct TrayTipTexts {
    const char* connected;      // 1870 "\n已连接到: "
    const char* connecting;     // 1871
    const char* idle;           // 1872
    const char* disconnecting;  // 1873
    const char* connectTime;    // 1874
    const char* address;        // 1875 "\n分配地址: %s" (its %s is filled here, not used as a format)
};

// "OVIK_ACC" + the state's lines; state 3 adds the start time text and the
// address line when ip is not empty. Cut to size - 1 bytes (the tip field is
// 128) on a character boundary. Unknown states give "OVIK_ACC" alone.
void BuildTrayTip(char* out, size_t size, unsigned state, const TrayTipTexts& t,
                  const char* startText, const char* ip);

// Fills a text template's single "%s" with value, bounded; any other '%' is
// copied as it stands (template from the string table, value from the service).
void FillTemplate(char* out, size_t size, const char* templ, const char* value);

// "%d:%d:%d" (hours, minutes, seconds) without leading zeros.
void FormatConnectTime(char* out, size_t size, int32_t seconds);
// A KB/s rate of the service as FormatByteSize(rate * 1024, "bps"); NaN,
// negative and out-of-range values (from the wire) are clamped, never UB.
void FormatRate(char* out, size_t size, float kilobytesPerSecond);
// FormatByteSize(count, "B") into a bounded buffer.
void FormatBytes(char* out, size_t size, uint32_t count);

// Bounded copies of the two text fields of a QueryData (no NUL guaranteed).
void QueryDateText(char* out, size_t size, const QueryData& q);  // at most 11 chars
void QueryIpText(char* out, size_t size, const QueryData& q);    // at most 16 chars

// Account type (Status >> 10 & 7) when it counts (bit 0x10 or 0x20, not 0x08), else 0.
int AccountType(uint32_t status);
// Skin image of the account type: 1137, 1140, 1138, 1139, or 0 for types 4-7.
int AccountTypeImage(uint32_t status);
// Skin images of the status page's account view, 0 where none shows: the
// account type's, the service's (1136 for service index 1, else 1135) and the
// label before the account text (1133 end date for bit 0x10, else 1129
// remaining time for bit 0x20).
struct AccountViewImages {
    int type, service, dateLabel;
};
AccountViewImages AccountImagesFor(uint32_t status, int serviceIndex);
// The account text of the status page: 1 when it is drawn.
int AccountTextShown(uint32_t status, const char* ip);

enum ExpiryNotice { EXPIRY_NONE = 0, EXPIRY_END_DATE_SOON = 1, EXPIRY_LESS_THAN_HOUR = 2 };
// Decision of the connected handler; now is the current time, local time is
// used for the date's midnight.
ExpiryNotice DecideExpiryNotice(const QueryData& q, time_t now);

#endif
