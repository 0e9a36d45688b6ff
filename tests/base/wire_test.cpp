#include "wire.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

using namespace wire;

namespace {

std::vector<uint8_t> Packet(int kind, uint32_t cmd, const std::string& payload, uint32_t value = 0,
                            uint32_t result = 0) {
    std::vector<uint8_t> out(PacketWireSize(kind, payload.size()));
    size_t n = BuildPacket(kind, cmd, value, result, payload.data(), payload.size(), out.data(), out.size());
    out.resize(n);
    return out;
}

}  // namespace

TEST(Wire, TcpRequestHasPrefixAndHeader) {
    auto p = Packet(KIND_TCP, CMD_INIT, std::string(52, 'x'));
    ASSERT_EQ(p.size(), 28u + 52u);
    EXPECT_EQ(GetU32(&p[0]), 24u + 52u);
    EXPECT_EQ(GetU32(&p[4]), kMagic);
    EXPECT_EQ(GetU32(&p[8]), 1001u);
    EXPECT_EQ(GetU32(&p[12]), (uint32_t)CMD_INIT);
    EXPECT_EQ(GetU32(&p[16]), 52u);
    EXPECT_EQ(p[28], 'x');
}

TEST(Wire, UdpRegistrationHasNoPrefixAndNoNul) {
    std::string text = "APP KEY:client-4242";
    auto p = Packet(KIND_UDP, CMD_REGISTER_UDP, text, 0, kRegisterResult);
    ASSERT_EQ(p.size(), 24u + text.size());
    EXPECT_EQ(GetU32(&p[0]), kMagic);
    EXPECT_EQ(GetU32(&p[20]), 0x1071024Bu);
    EXPECT_EQ(std::string(p.begin() + 24, p.end()), text);
}

TEST(Wire, BuildRefusesUnknownKindAndSmallBuffer) {
    uint8_t buf[30];
    EXPECT_EQ(BuildPacket(3, CMD_STOP, 0, 0, nullptr, 0, buf, sizeof buf), 0u);
    EXPECT_EQ(BuildPacket(KIND_TCP, CMD_STOP, 0, 0, "abc", 3, buf, 30), 0u);
    EXPECT_EQ(BuildPacket(KIND_TCP, CMD_STOP, 0, 0, "ab", 2, buf, 30), 30u);
}

TEST(Wire, ParseCases) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int valid;
        uint32_t command;  // header command after the parse
    };
    auto good = Packet(KIND_UDP, NTF_STATUS, std::string("\3\0\0\0", 4));
    auto badMagic = good;
    badMagic[0] ^= 1;
    auto lying = good;  // claims one byte more than arrived
    PutU32(&lying[12], 5);
    auto huge = Packet(KIND_UDP, NTF_MESSAGE, std::string(5100, 'a'));
    std::vector<Case> cases = {
        {"valid", good, 1, NTF_STATUS},
        {"short", std::vector<uint8_t>(good.begin(), good.begin() + 23), 0, 0},
        {"bad magic keeps words", badMagic, 0, NTF_STATUS},
        {"length beyond data", lying, 0, NTF_STATUS},
        {"payload over 5096", huge, 0, NTF_MESSAGE},
    };
    for (const auto& c : cases) {
        PacketHeader h;
        uint8_t payload[kReceiveBufferSize];
        uint32_t len = 99;
        EXPECT_EQ(ParsePacket(c.bytes.data(), c.bytes.size(), &h, payload, sizeof payload, &len), c.valid)
            << c.name;
        EXPECT_EQ(h.Command, c.command) << c.name;
    }
}

TEST(Wire, ParseTerminatesPayload) {
    auto p = Packet(KIND_UDP, NTF_MESSAGE, "hello");
    PacketHeader h;
    uint8_t payload[kReceiveBufferSize];
    memset(payload, 'z', sizeof payload);
    uint32_t len = 0;
    ASSERT_EQ(ParsePacket(p.data(), p.size(), &h, payload, sizeof payload, &len), 1);
    EXPECT_EQ(len, 5u);
    EXPECT_STREQ((const char*)payload, "hello");
    // A payload buffer too small for payload + NUL is refused, not overrun.
    EXPECT_EQ(ParsePacket(p.data(), p.size(), &h, payload, 5, &len), 0);
}

TEST(Wire, AssemblerSplitsJoinsAndResyncs) {
    auto a1 = Packet(KIND_UDP, CMD_ERRNO, "", 0, 7);
    auto a2 = Packet(KIND_UDP, CMD_GET_QUERY_DATA, std::string(64, 'q'));
    StreamAssembler as;
    AssemblerReset(&as);
    uint8_t out[kMaxRead];

    // Two packets in one read come out one by one.
    std::vector<uint8_t> joined(a1);
    joined.insert(joined.end(), a2.begin(), a2.end());
    ASSERT_TRUE(AssemblerFeed(&as, joined.data(), joined.size()));
    EXPECT_EQ(AssemblerNext(&as, out, sizeof out), a1.size());
    EXPECT_EQ(AssemblerNext(&as, out, sizeof out), a2.size());
    EXPECT_EQ(AssemblerNext(&as, out, sizeof out), 0u);

    // A packet split over reads waits for its rest.
    ASSERT_TRUE(AssemblerFeed(&as, a2.data(), 30));
    EXPECT_EQ(AssemblerNext(&as, out, sizeof out), 0u);
    ASSERT_TRUE(AssemblerFeed(&as, a2.data() + 30, a2.size() - 30));
    EXPECT_EQ(AssemblerNext(&as, out, sizeof out), a2.size());

    // A cut header in front of a good packet is handed out alone, then the packet.
    ASSERT_TRUE(AssemblerFeed(&as, a1.data(), 10));
    ASSERT_TRUE(AssemblerFeed(&as, a2.data(), a2.size()));
    EXPECT_EQ(AssemblerNext(&as, out, sizeof out), 10u);
    EXPECT_EQ(AssemblerNext(&as, out, sizeof out), a2.size());

    // Garbage without a magic is one piece.
    uint8_t junk[40] = {1, 2, 3};
    ASSERT_TRUE(AssemblerFeed(&as, junk, sizeof junk));
    EXPECT_EQ(AssemblerNext(&as, out, sizeof out), sizeof junk);
    EXPECT_FALSE(AssemblerPending(&as));
}
