// Notifications that the service pushes by UDP: checked, logged and turned into a
// callback, a popup note or the start of an upgrade.
#include "core.h"

#include <string.h>

#include "notes.h"

void (*g_textNoteEntry)(uint32_t, const char*, const char*, const char*, int, HINSTANCE,
                        const char*, int, const RECT*, const RECT*, const RECT*) = nw_ShowTextNote;
void (*g_imageNoteEntry)(uint32_t, const char*, const char*, int, HINSTANCE, const char*, int,
                         int, int, int, int) = nw_ShowImageNote2;

namespace {

constexpr uint32_t kTrace = 0x20000000;
constexpr uint32_t kNotice = 0x30000000;
constexpr uint32_t kCloseLinkCode = 0x401A0A05;
constexpr size_t kTextSize = 1024;      // each text of a notification, NUL included
constexpr int kTextNoteSkin = 1002;
constexpr int kImageNoteClose = 1001;
const char kNoteResourceType[] = "BINARY";

// One text of a notification, in a buffer of its own.
struct TextField {
    char text[kTextSize];
};

// Copies `length` bytes at `from` and a NUL behind them. A text that does not
// fit is refused (the whole notification is dropped), never cut.
bool TakeText(TextField* field, const uint8_t* from, uint32_t length) {
    if (length >= countof(field->text)) return false;
    memcpy(field->text, from, length);
    field->text[length] = 0;
    return true;
}

void OnStatus(const uint8_t* payload) {
    if (g_core.stateCallback == nullptr) return;
    uint32_t state = wire::GetU32(payload);
    ReportMessage(kTrace, "New Status: New=%u", state);
    g_core.stateCallback((int)state);
}

void OnMessage(const PacketHeader& header, const char* text) {
    if (header.Result == kCloseLinkCode) CloseDaemonSockets();
    // The service's own messages bypass the routing: no filter, no dedup, no note.
    NotifyMessageCallback(header.Result, text);
}

void OnAccount(const uint8_t* payload, uint32_t length) {
    if (g_core.credentialsCallback == nullptr || length < 8) return;
    uint32_t nameLength = wire::GetU32(payload);
    uint32_t passLength = wire::GetU32(payload + 4);
    // 64-bit sum: lengths from the service must not wrap around to the payload size.
    if (8 + (uint64_t)nameLength + passLength != length) return;
    TextField name, password;
    if (!TakeText(&name, payload + 8, nameLength) ||
        !TakeText(&password, payload + 8 + nameLength, passLength))
        return;
    g_core.credentialsCallback(name.text, password.text);
}

void OnTextNote(const uint8_t* payload, uint32_t length) {
    if (length <= 20) return;
    uint32_t regId = wire::GetU32(payload);
    uint32_t seconds = wire::GetU32(payload + 4);
    uint32_t titleLength = wire::GetU32(payload + 8);
    uint32_t textLength = wire::GetU32(payload + 12);
    uint32_t urlLength = wire::GetU32(payload + 16);
    if (20 + (uint64_t)titleLength + textLength + urlLength != length) return;
    TextField title, text, url;
    const uint8_t* p = payload + 20;
    if (!TakeText(&title, p, titleLength) || !TakeText(&text, p + titleLength, textLength) ||
        !TakeText(&url, p + titleLength + textLength, urlLength))
        return;
    ReportMessage(kTrace, "DLL: nw_ShowTextNote: reg_id=%d, title=%s message =%s url=%s",
                  (int)regId, title.text, text.text, url.text);
    g_textNoteEntry(regId, title.text, text.text, url.text, (int)seconds, g_core.moduleInstance,
                    kNoteResourceType, kTextNoteSkin, nullptr, nullptr, nullptr);
}

void OnImageNote(const uint8_t* payload, uint32_t length) {
    if (length <= 16) return;
    uint32_t regId = wire::GetU32(payload);
    uint32_t seconds = wire::GetU32(payload + 4);
    uint32_t imageLength = wire::GetU32(payload + 8);
    uint32_t urlLength = wire::GetU32(payload + 12);
    if (16 + (uint64_t)imageLength + urlLength != length) return;
    TextField image, url;
    if (!TakeText(&image, payload + 16, imageLength) ||
        !TakeText(&url, payload + 16 + imageLength, urlLength))
        return;
    ReportMessage(kTrace, "DLL: nw_ShowImageNote2: reg_id=%d image=%s url=%s", (int)regId,
                  image.text, url.text);
    g_imageNoteEntry(regId, image.text, url.text, (int)seconds, g_core.moduleInstance,
                     kNoteResourceType, kImageNoteClose, -1, -1, -1, -1);
}

void OnLatestVersion(const PacketHeader& header, const uint8_t* payload, uint32_t length) {
    if (length != sizeof(LatestVersionInfo)) return;
    g_core.clientIndex = (int)header.Value;
    memcpy(&g_core.latestVersion, payload, sizeof(LatestVersionInfo));
    char core[16], dll[16], gui[16];
    FormatVersion(g_core.latestVersion.CoreVersion, core);
    FormatVersion(g_core.latestVersion.DllVersion, dll);
    FormatVersion(g_core.latestVersion.GuiVersion, gui);
    ReportMessage(kNotice, "DLL: The latest version infomation: Core %s, DLL %s, GUI %s index %d",
                  core, dll, gui, (int)header.Value);
    if (g_core.clientIndex <= 0) g_core.clientIndex = 1;
    start_upgrade(&g_core.latestVersion);
}

}  // namespace

// Runs on the helper window's thread. A callback may pump messages (a message
// box) and so bring the next datagram in before it returns: every buffer here
// lives on this call's stack.
int DispatchNotification(const uint8_t* bytes, int count) {
    if (bytes == nullptr || count <= 0) return 0;
    uint8_t payload[wire::kReceiveBufferSize];
    memset(payload, 0, sizeof payload);
    PacketHeader header;
    uint32_t length = 0;
    if (!wire::ParsePacket(bytes, (size_t)count, &header, payload, sizeof payload, &length))
        return 0;
    const char* text = (const char*)payload;
    if (length > 0) ReportMessage(kTrace, "RECV: (%d) %s", (int)length, text);

    // Fixed fields read past a short payload see the zeroed rest of the buffer.
    switch (header.Command) {
    case wire::NTF_INFO:
    case wire::NTF_INFO2:
        ReportMessage(kTrace, "Info: [%u] %s", wire::GetU32(payload), text + 4);
        break;
    case wire::NTF_STATUS:
        OnStatus(payload);
        break;
    case wire::NTF_MESSAGE:
        OnMessage(header, text);
        break;
    case wire::NTF_ACCOUNT:
        OnAccount(payload, length);
        break;
    case wire::NTF_TEXT_NOTE:
        OnTextNote(payload, length);
        break;
    case wire::NTF_IMAGE_NOTE:
        OnImageNote(payload, length);
        break;
    case wire::NTF_LATEST_VERSION:
        OnLatestVersion(header, payload, length);
        break;
    default:
        break;
    }
    return 1;
}
