/*
 * Control channel of the stand-in: TCP 127.0.0.1:63899 (option -control PORT,
 * 0 turns it off), one text command per line, one answer line per command
 * ("OK ..." or "ERR reason"). A scenario file (-scenario FILE) holds the same
 * commands, one per line, run before the service listens; '#' starts a comment.
 * Numbers are decimal or 0x hex; HEX is a byte string like 07bf0900.
 *
 *   ping                      OK pong
 *   on CMD [result=N] [value=N] [payload=HEX] [delay=MS] [fault=F] [other=CMD] [times=N]
 *                             answer request CMD this way (replaces an earlier rule for CMD).
 *                             Fields not given keep the default reply. A rule makes a reply
 *                             even for 2002/2017, which get none by default. It changes what
 *                             is sent, not what the service does (a 2006 still connects).
 *                             F: none | silence (no reply) | short (first 10 bytes) |
 *                             magic (wrong magic) | other (a packet of command `other`,
 *                             default 2012, first, the reply 100 ms later) | close | reset
 *                             (RST) | split (two pieces 100 ms apart). delay holds the reply
 *                             back; times=N serves N requests, then the rule is gone.
 *   off [CMD]                 drop the rule of CMD, or every rule
 *   push CMD [value=N] [result=N] [payload=HEX]
 *                             send notification CMD now to the registered UDP address
 *                             (ERR before a client registered, so not in a scenario)
 *   state [N]                 OK <state>; with N set it (no notification)
 *   gap MS                    time between the two state steps of a connect or a stop
 *   procs N                   number of conflicting programs listed (0..8)
 *   log                       OK <count> <proto>:<hex> ... every packet received, oldest
 *                             first (TCP requests with their length prefix)
 *   log clear                 forget them
 *   udp                       OK <port> of the registered UDP address, or OK none
 *   stop                      end the service (as SERVICE_CONTROL_STOP does)
 */
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <sstream>

#include "standin.h"
#include "utils.h"

namespace standin {

static bool ParseNumber(const std::string& text, uint32_t* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    unsigned long v = strtoul(text.c_str(), &end, 0);
    if (*end != 0) return false;
    *out = (uint32_t)v;
    return true;
}

static bool ParseHex(const std::string& text, std::vector<uint8_t>* out) {
    out->clear();
    if (text.size() % 2 || text.size() / 2 > wire::kMaxPayload) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        char pair[3] = {text[i], text[i + 1], 0};
        char* end = nullptr;
        unsigned long v = strtoul(pair, &end, 16);
        if (*end != 0 || !isxdigit((unsigned char)pair[0])) return false;
        out->push_back((uint8_t)v);
    }
    return true;
}

static std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    }
    return s;
}

static bool ParseFault(const std::string& text, Fault* out) {
    static const struct {
        const char* name;
        Fault fault;
    } kFaults[] = {{"none", FAULT_NONE},   {"silence", FAULT_SILENCE}, {"short", FAULT_SHORT},
                   {"magic", FAULT_MAGIC}, {"other", FAULT_OTHER},     {"close", FAULT_CLOSE},
                   {"reset", FAULT_RESET}, {"split", FAULT_SPLIT}};
    for (const auto& f : kFaults)
        if (text == f.name) {
            *out = f.fault;
            return true;
        }
    return false;
}

static Rule* RuleSlot(Daemon* d, uint32_t command) {
    Rule* free = nullptr;
    for (Rule& r : d->rules) {
        if (r.used && r.command == command) return &r;
        if (!r.used && !free) free = &r;
    }
    return free;
}

static std::string SetRule(Daemon* d, std::istringstream& in) {
    std::string word;
    uint32_t command;
    if (!(in >> word) || !ParseNumber(word, &command)) return "ERR on needs a command code";
    Rule rule = {};
    rule.command = command;
    rule.other = wire::CMD_GET_RED_INFO;
    rule.times = -1;
    while (in >> word) {
        size_t eq = word.find('=');
        if (eq == std::string::npos) return "ERR expected key=value: " + word;
        std::string key = word.substr(0, eq), value = word.substr(eq + 1);
        uint32_t n = 0;
        bool ok;
        if (key == "payload") ok = rule.hasPayload = ParseHex(value, &rule.payload);
        else if (key == "fault") ok = ParseFault(value, &rule.fault);
        else if (!(ok = ParseNumber(value, &n))) {
        } else if (key == "result") rule.result = n, rule.hasResult = true;
        else if (key == "value") rule.value = n, rule.hasValue = true;
        else if (key == "delay") rule.delayMs = n;
        else if (key == "other") rule.other = n;
        else if (key == "times") rule.times = n > 0 ? (int)n : 1;
        else return "ERR unknown key " + key;
        if (!ok) return "ERR bad value for " + key;
    }
    Rule* slot = RuleSlot(d, command);
    if (!slot) return "ERR too many rules";
    rule.used = true;
    *slot = rule;
    return "OK";
}

static std::string Push(Daemon* d, std::istringstream& in) {
    std::string word;
    uint32_t command, value = 0, result = 0;
    std::vector<uint8_t> payload;
    if (!(in >> word) || !ParseNumber(word, &command)) return "ERR push needs a command code";
    while (in >> word) {
        size_t eq = word.find('=');
        std::string key = word.substr(0, eq), text = eq == std::string::npos ? "" : word.substr(eq + 1);
        bool ok = key == "payload" ? ParseHex(text, &payload)
                  : key == "value" ? ParseNumber(text, &value)
                  : key == "result" ? ParseNumber(text, &result)
                  : false;
        if (!ok) return "ERR bad field " + word;
    }
    if (!d->udpRegistered) return "ERR no UDP registration";
    return Notify(d, command, value, result, payload.data(), payload.size()) ? "OK" : "ERR send failed";
}

std::string RunControlCommand(Daemon* d, const std::string& line) {
    std::string text = line;
    size_t hash = text.find('#');
    if (hash != std::string::npos) text.erase(hash);
    std::istringstream in(text);
    std::string cmd, arg;
    if (!(in >> cmd)) return "OK";
    uint32_t n;
    if (cmd == "ping") return "OK pong";
    if (cmd == "on") return SetRule(d, in);
    if (cmd == "off") {
        if (!(in >> arg)) {
            for (Rule& r : d->rules) r.used = false;
            return "OK";
        }
        if (!ParseNumber(arg, &n)) return "ERR bad command code";
        for (Rule& r : d->rules)
            if (r.used && r.command == n) r.used = false;
        return "OK";
    }
    if (cmd == "push") return Push(d, in);
    if (cmd == "state") {
        if (in >> arg) {
            if (!ParseNumber(arg, &n) || n < 1 || n > 4) return "ERR state is 1..4";
            d->state = n;
            d->connectStart = n == 3 ? time(nullptr) : 0;
        }
        return "OK " + std::to_string(d->state);
    }
    if (cmd == "gap") {
        if (!(in >> arg) || !ParseNumber(arg, &n)) return "ERR gap needs milliseconds";
        d->opt.gapMs = n;
        return "OK";
    }
    if (cmd == "procs") {
        if (!(in >> arg) || !ParseNumber(arg, &n) || n > (uint32_t)kMaxProcs) return "ERR procs is 0..8";
        d->procCount = n;
        return "OK";
    }
    if (cmd == "log") {
        if (in >> arg) {
            if (arg != "clear") return "ERR log or log clear";
            d->log.clear();
            return "OK";
        }
        std::string out = "OK " + std::to_string(d->log.size());
        for (const LogEntry& e : d->log) out += std::string(" ") + e.proto + ":" + Hex(e.bytes);
        return out;
    }
    if (cmd == "udp")
        return d->udpRegistered ? "OK " + std::to_string(ntohs(d->udpPeer.sin_port)) : "OK none";
    if (cmd == "stop") {
        InterlockedExchange(&d->stopRequested, 1);
        return "OK";
    }
    return "ERR unknown command " + cmd;
}

bool RunScenario(Daemon* d, const char* path) {
    FILE* f = fopen(path, "r");
    if (!f) {
        Log("scenario %s cannot be opened", path);
        return false;
    }
    char line[12 * 1024];  // a full payload in hex fits
    bool ok = true;
    while (fgets(line, sizeof line, f)) {
        line[strcspn(line, "\r\n")] = 0;
        std::string answer = RunControlCommand(d, line);
        if (answer.compare(0, 2, "OK") != 0) {
            Log("scenario: %s -> %s", line, answer.c_str());
            ok = false;
        }
    }
    fclose(f);
    return ok;
}

}  // namespace standin
