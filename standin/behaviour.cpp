// What the stand-in answers: a demo account, the connection state machine
// (1 idle -> 2 connecting -> 3 connected -> 4 disconnecting -> 1, announced by
// NTF_STATUS), advancing QueryData, a list of conflicting programs and real
// registry writes. Control rules (control.cpp) change what is sent, never what
// the service does.
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "standin.h"
#include "utils.h"
#include "zorvet_core.h"

namespace standin {

static const char kDemoUser[] = "demo_user";
static const char kDemoPass[] = "demo_pass";
static const char kDemoAddress[] = "10.8.0.6";
static const uint32_t kAccountId = 10001;
static const uint32_t kPaidMinutes = 30 * 24 * 60;

static const struct {
    uint32_t pid;
    const char* path;
} kDemoProcs[kMaxProcs] = {
    {3120, "C:\\Program Files\\FastNet\\fastnet.exe"},
    {3288, "C:\\Tools\\SpeedBox\\speedbox.exe"},
    {3412, "C:\\Program Files\\NetBoost\\nbooster.exe"},
    {3536, "C:\\Program Files\\GameLink\\glink.exe"},
    {3660, "C:\\Tools\\LagFix\\lagfix.exe"},
    {3784, "C:\\Program Files\\PingPlus\\pingplus.exe"},
    {3908, "C:\\Tools\\RouteX\\routex.exe"},
    {4032, "C:\\Program Files\\TurboNet\\turbonet.exe"},
};

void ResetDemo(Daemon* d) {
    d->state = ZORVET_STATE_IDLE;
    d->lastError = 0;
    d->connectStart = 0;
    d->procCount = 2;
    d->autoAccount = false;
}

struct Reply {
    bool send;
    uint32_t value, result;
    std::vector<uint8_t> payload;
};

static void PutU32(std::vector<uint8_t>* v, uint32_t x) {
    uint8_t b[4];
    wire::PutU32(b, x);
    v->insert(v->end(), b, b + 4);
}

static void AccountPayload(std::vector<uint8_t>* v) {
    PutU32(v, (uint32_t)strlen(kDemoUser));
    PutU32(v, (uint32_t)strlen(kDemoPass));
    v->insert(v->end(), kDemoUser, kDemoUser + strlen(kDemoUser));
    v->insert(v->end(), kDemoPass, kDemoPass + strlen(kDemoPass));
}

void EnterState(Daemon* d, uint32_t state) {
    d->state = state;
    if (state == ZORVET_STATE_CONNECTED) d->connectStart = time(nullptr);
    if (state == ZORVET_STATE_IDLE) d->connectStart = 0;
    uint8_t p[4];
    wire::PutU32(p, state);
    Log("state %u", state);
    Notify(d, wire::NTF_STATUS, 0, 0, p, sizeof p);
}

static void CancelStateSteps(Daemon* d) {
    for (size_t i = 0; i < d->pending.size();)
        if (d->pending[i].kind == PEND_STATE) d->pending.erase(d->pending.begin() + i);
        else ++i;
}

static void ScheduleStates(Daemon* d, uint32_t first, uint32_t second) {
    CancelStateSteps(d);
    Pending p = {};
    p.kind = PEND_STATE;
    p.state = first;
    Schedule(d, 50, p);
    p.state = second;
    Schedule(d, 50 + d->opt.gapMs, p);
}

static void StopConnection(Daemon* d) {
    bool connecting = d->state == ZORVET_STATE_CONNECTING || d->state == ZORVET_STATE_CONNECTED;
    for (const Pending& p : d->pending)  // a connect whose first step is still to come
        if (p.kind == PEND_STATE && p.state == ZORVET_STATE_CONNECTING) connecting = true;
    if (connecting) ScheduleStates(d, ZORVET_STATE_DISCONNECTING, ZORVET_STATE_IDLE);
}

static void FillQueryData(Daemon* d, QueryData* q) {
    memset(q, 0, sizeof *q);
    time_t now = time(nullptr);
    uint32_t secs = d->connectStart ? (uint32_t)(now - d->connectStart) : 0;
    q->ID = kAccountId;
    q->Status = 0x80 | 0x10 | (1u << 10);  // paid (its end date is shown), by end date, type 1
    q->Time = kPaidMinutes > secs / 60 ? kPaidMinutes - secs / 60 : 0;
    time_t end = now + 30 * 86400;
    struct tm* t = localtime(&end);
    if (t) FormatText(q->Date, countof(q->Date), "%04d-%02d-%02d", t->tm_year + 1900, t->tm_mon + 1,
                      t->tm_mday);
    if (d->state == ZORVET_STATE_CONNECTED) {
        CopyText(q->IP, kDemoAddress);
        q->Start = (uint32_t)d->connectStart;
        q->ConnectTime = secs;
        // Counters move on every read, not just once a second.
        DWORD ms = secs * 1000 + GetTickCount() % 1000;
        q->Recv = ms * 2 + ms / 3;   // ~2.3 KB/s up
        q->Out = ms * 7;             // ~7 KB/s down
        q->RecvRate = 2.3f;
        q->OutRate = 7.0f;
    }
}

static uint32_t RegistryOperation(const uint8_t* p, uint32_t length) {
    if (length < 544) return ERROR_INVALID_PARAMETER;
    uint32_t root = wire::GetU32(p), operation = wire::GetU32(p + 8), type = wire::GetU32(p + 12);
    uint32_t n = wire::GetU32(p + 16);
    if (n > length - 544) return ERROR_INVALID_PARAMETER;
    char subkey[261], name[261];
    CopyTextN(subkey, (const char*)p + 20, countof(subkey));
    CopyTextN(name, (const char*)p + 281, countof(name));
    if (root < 0x80000000u || root > 0x80000006u) return ERROR_INVALID_PARAMETER;
    HKEY rootKey = (HKEY)(ULONG_PTR)root;
    HKEY key;
    LONG rc;
    if (operation == 0) {
        rc = RegCreateKeyExA(rootKey, subkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        if (rc == ERROR_SUCCESS) {
            rc = RegSetValueExA(key, name, 0, type, p + 542, n);
            RegCloseKey(key);
        }
    } else {
        rc = RegOpenKeyExA(rootKey, subkey, 0, KEY_SET_VALUE, &key);
        if (rc == ERROR_SUCCESS) {
            rc = RegDeleteValueA(key, name);
            RegCloseKey(key);
        }
    }
    Log("registry %s 0x%08X\\%s \"%s\" type %u, %u bytes -> %ld", operation == 0 ? "set" : "delete",
        root, subkey, name, type, n, rc);
    return (uint32_t)rc;
}

// A record's text field, which may fill all its bytes without a NUL, as text.
template <size_t N>
struct FieldText {
    char text[N + 1];
    explicit FieldText(const char (&field)[N]) {
        memcpy(text, field, N);
        text[N] = 0;
    }
};

// The client program sends the stored name behind its partner prefix "qx.".
static bool IsDemoUser(const char* name) {
    if (strncmp(name, "qx.", 3) == 0) name += 3;
    return strcmp(name, kDemoUser) == 0;
}

static uint32_t Login(Daemon* d, const uint8_t* payload, uint32_t length) {
    if (length < sizeof(LoginRecord)) return ERROR_INVALID_PARAMETER;
    LoginRecord login;
    memcpy(&login, payload, sizeof login);
    FieldText user(login.UserName);
    FieldText pass(login.Password);
    Log("login \"%s\" auto=%u mask=0x%X", user.text, login.AutoAccount, login.ServiceMask);
    if (d->state != ZORVET_STATE_IDLE) return 0;  // already on the way
    if (login.AutoAccount) {
        std::vector<uint8_t> account;
        AccountPayload(&account);
        Pending p = {};
        p.kind = PEND_NOTIFY;
        p.bytes = MakePacket(wire::NTF_ACCOUNT, 0, 0, account.data(), account.size());
        Schedule(d, 20, p);  // behind the 2006 reply
    } else if (!IsDemoUser(user.text) || strcmp(pass.text, kDemoPass) != 0) {
        static const char kText[] = "AUTH: wrong name or password";
        d->lastError = kBadLogin;
        Pending p = {};
        p.kind = PEND_NOTIFY;
        p.bytes = MakePacket(wire::NTF_MESSAGE, 0, kBadLogin, kText, strlen(kText));
        Schedule(d, 20, p);  // behind the 2006 reply
        return kBadLogin;
    }
    d->lastError = 0;
    d->autoAccount = login.AutoAccount != 0;
    ScheduleStates(d, ZORVET_STATE_CONNECTING, ZORVET_STATE_CONNECTED);
    return 0;
}

static Reply DefaultReply(Daemon* d, const PacketHeader& h, const uint8_t* payload) {
    Reply r = {true, 0, 0, {}};
    switch (h.Command) {
    case wire::CMD_REGISTER:
        Log("tcp registration \"%s\" result 0x%08X", (const char*)payload, h.Result);
        r.send = false;
        break;
    case wire::CMD_KEEP_ALIVE:
        Log("keep-alive");
        r.send = false;
        break;
    case wire::CMD_INIT:
        if (h.Length != sizeof(InitConfig)) {
            r.result = ERROR_INVALID_PARAMETER;
            break;
        }
        {
            InitConfig c;
            memcpy(&c, payload, sizeof c);
            FieldText host(c.Hostname);
            FieldText reg(c.Regname);
            Log("init host \"%s\" regname \"%s\" version 0x%08X partner %u", host.text, reg.text,
                c.Version, c.PartnerID);
        }
        r.result = d->state;
        break;
    case wire::CMD_START:
        r.result = Login(d, payload, h.Length);
        break;
    case wire::CMD_STOP:
    case wire::CMD_CLEAR:
        StopConnection(d);
        break;
    case wire::CMD_ERRNO:
        r.result = d->lastError;
        break;
    case wire::CMD_GET_CORE_VERSION:
        r.result = kServiceVersion;
        break;
    case wire::CMD_GET_QUERY_DATA: {
        QueryData q;
        FillQueryData(d, &q);
        r.payload.assign((const uint8_t*)&q, (const uint8_t*)&q + sizeof q);
        break;
    }
    case wire::CMD_GET_RED_INFO:
    case wire::CMD_GET_REMOTE_INFO:
    case wire::CMD_SET_TRANS_BAND:
        PutU32(&r.payload, 0x0100007F);  // 127.0.0.1 as the library reads it
        PutU32(&r.payload, 3724);
        break;
    case wire::CMD_PROC_GET_COUNT:
        r.result = d->procCount;
        break;
    case wire::CMD_PROC_GET_INFO:
        for (uint32_t i = 0; i < d->procCount && i < (uint32_t)kMaxProcs; ++i) {
            ProcInfo p;
            memset(&p, 0, sizeof p);
            p.Pid = kDemoProcs[i].pid;
            CopyText(p.Path, kDemoProcs[i].path);
            const char* slash = strrchr(kDemoProcs[i].path, '\\');
            CopyText(p.Name, slash ? slash + 1 : kDemoProcs[i].path);
            r.payload.insert(r.payload.end(), (const uint8_t*)&p, (const uint8_t*)&p + sizeof p);
        }
        break;
    case wire::CMD_PROC_KILL:
        Log("closing %u conflicting programs", d->procCount);
        d->procCount = 0;
        break;
    case wire::CMD_SET_REGISTRY_VALUE:
        r.result = RegistryOperation(payload, h.Length);
        break;
    case wire::CMD_GET_USER_PASS:
        AccountPayload(&r.payload);
        break;
    case wire::CMD_GET_CERT_INFO: {
        static const char kCert[] = "demo certificate";
        r.payload.assign(kCert, kCert + strlen(kCert));
        break;
    }
    case wire::CMD_GET_SERVICE_INDEX:
        r.result = 1;
        break;
    case wire::CMD_SET_TRANS_DATA:
    case wire::CMD_INIT_QUERY:
        break;
    default:
        Log("unknown request %u", h.Command);
        r.result = ERROR_INVALID_FUNCTION;
    }
    return r;
}

static Rule* TakeRule(Daemon* d, uint32_t command) {
    for (Rule& r : d->rules) {
        if (!r.used || r.command != command) continue;
        // The last use frees the slot; its contents stay valid until the next rule is set.
        if (r.times > 0 && --r.times == 0) r.used = false;
        return &r;
    }
    return nullptr;
}

void HandleRequest(Daemon* d, uint32_t clientId, const PacketHeader& h, const uint8_t* payload) {
    Log("request %u value=%u result=0x%08X (%u bytes)", h.Command, h.Value, h.Result, h.Length);
    Reply r = DefaultReply(d, h, payload);
    Rule* rule = TakeRule(d, h.Command);
    Fault fault = FAULT_NONE;
    DWORD delay = 0;
    if (rule) {
        r.send = true;
        if (rule->hasResult) r.result = rule->result;
        if (rule->hasValue) r.value = rule->value;
        if (rule->hasPayload) r.payload = rule->payload;
        fault = rule->fault;
        delay = rule->delayMs;
    }
    if (!r.send || fault == FAULT_SILENCE) return;
    uint32_t magic = fault == FAULT_MAGIC ? wire::kMagic + 1 : wire::kMagic;
    Pending p = {};
    p.kind = PEND_SEND;
    p.clientId = clientId;
    p.bytes = MakePacket(h.Command, r.value, r.result, r.payload.data(), r.payload.size(), magic);
    p.fault = fault == FAULT_MAGIC ? FAULT_NONE : fault;
    if (fault == FAULT_OTHER) {
        uint8_t two[8];
        wire::PutU32(two, 1);
        wire::PutU32(two + 4, 2);
        Pending first = p;
        first.bytes = MakePacket(rule->other, 0, 0, two, sizeof two);
        first.fault = FAULT_NONE;
        p.fault = FAULT_NONE;
        if (delay) Schedule(d, delay, first);
        else SendToClient(d, clientId, first.bytes, FAULT_NONE);
        Schedule(d, delay + 100, p);  // a read of its own on the other side
        return;
    }
    if (delay) Schedule(d, delay, p);
    else SendToClient(d, clientId, p.bytes, p.fault);
}

void HandleDatagram(Daemon* d, const sockaddr_in& from, const PacketHeader& h, const uint8_t* payload) {
    if (h.Command != wire::CMD_REGISTER_UDP) {
        Log("datagram %u ignored", h.Command);
        return;
    }
    d->udpPeer = from;
    d->udpRegistered = true;
    Log("udp registration \"%s\" from port %u result 0x%08X", (const char*)payload,
        ntohs(from.sin_port), h.Result);
}

}  // namespace standin
