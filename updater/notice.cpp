// UpdateNotice datagrams: plain text to 127.0.0.1, ports 63872+1 .. 63872+count.
#include <winsock2.h>

#include "updater_app.h"

namespace {
SOCKET g_noticeSocket = INVALID_SOCKET;
}

int NoticePayloadLength(LPCSTR text) {
    if (!text)
        return 0;
    // Walk whole characters so that a cut never leaves half a GBK character.
    int n = 0;
    for (;;) {
        unsigned char c = (unsigned char)text[n];
        if (c == 0)
            return n;
        int width = (IsDBCSLeadByte(c) && text[n + 1] != 0) ? 2 : 1;
        if (n + width > kMaxNoticeBytes)
            return n;
        n += width;
    }
}

BOOL OpenNoticeSocket(CUpdaterDlg* dialog) {
    if (g_noticeSocket != INVALID_SOCKET)
        return TRUE;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return FALSE;
    if (wsa.wVersion != MAKEWORD(2, 2)) {
        WSACleanup();
        return FALSE;
    }
    g_noticeSocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (g_noticeSocket == INVALID_SOCKET) {
        WSACleanup();
        return FALSE;
    }
    SendUpdateNotice(dialog, "udpinit");
    return TRUE;
}

void SendUpdateNotice(CUpdaterDlg* dialog, LPCSTR text) {
    if (g_noticeSocket == INVALID_SOCKET)
        return;
    CString status;
    if (!text) {
        if (!dialog)
            return;
        status = dialog->GetStatusText();
        text = status;
    }
    if (g_nNoticePorts <= 0)
        g_nNoticePorts = 1;
    int ports = g_nNoticePorts > kMaxNoticePorts ? kMaxNoticePorts : g_nNoticePorts;
    int length = NoticePayloadLength(text);
    for (int i = 1; i <= ports; i++) {
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons((u_short)(kNoticeBasePort + i));
        sendto(g_noticeSocket, text, length, 0, (const sockaddr*)&to, sizeof(to));
    }
}

// Winsock is cleaned up only when this socket started it: WinINet's own use
// of it must not lose a reference.
void CloseNoticeSocket() {
    if (g_noticeSocket != INVALID_SOCKET) {
        closesocket(g_noticeSocket);
        g_noticeSocket = INVALID_SOCKET;
        WSACleanup();
    }
}
