// The updater's command line and the UpdateNotice payload cut.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "environment.h"
#include "updater_app.h"

namespace {

// Feeds the arguments as the framework does: "-" or "/" makes a switch.
void Parse(CUpdaterCommandLineInfo& info, std::vector<const char*> args) {
    for (size_t i = 0; i < args.size(); i++) {
        const char* a = args[i];
        BOOL flag = a[0] == '-' || a[0] == '/';
        info.ParseParam(flag ? a + 1 : a, flag, i + 1 == args.size());
    }
}

}  // namespace

TEST(CommandLine, Switches) {
    CUpdaterCommandLineInfo i;
    Parse(i, {"-auto", "-v= 1.7.3.139 ", "-pid=119", "-p=OVIK", "/test", "-cc=3"});
    EXPECT_TRUE(i.m_bAuto);
    EXPECT_TRUE(i.m_bTest);
    EXPECT_FALSE(i.m_bSu);
    EXPECT_FALSE(i.m_bHelp);
    EXPECT_TRUE(i.m_bPartnerGiven);
    EXPECT_TRUE(i.m_bVersionGiven);
    EXPECT_STREQ("1.7.3.139", i.m_strVersion);
    EXPECT_STREQ("119", i.m_strPid);
    EXPECT_STREQ("OVIK", i.m_strPartner);
    EXPECT_EQ(3, i.m_nPorts);

    // Case matters; unknown switches and plain words go to the default handling.
    CUpdaterCommandLineInfo c;
    Parse(c, {"-SU", "-Auto", "-Help", "auto", "-pidx", "-P=x"});
    EXPECT_FALSE(c.m_bSu);
    EXPECT_FALSE(c.m_bAuto);
    EXPECT_FALSE(c.m_bHelp);
    EXPECT_FALSE(c.m_bPartnerGiven);
    EXPECT_STREQ("auto", c.m_strFileName);

    struct PortCase {
        const char* arg;
        int ports;
    } ports[] = {{"-cc=0", 1},   {"-cc=-1", 1},   {"-cc=abc", 1},    {"-cc=", 1},
                 {"-cc=7x", 7},  {"-cc=1663", 1663}, {"-cc=1664", 1663}, {"-cc=99999999999", 1663}};
    for (const PortCase& p : ports) {
        CUpdaterCommandLineInfo info;
        Parse(info, {p.arg});
        EXPECT_EQ(p.ports, info.m_nPorts) << p.arg;
    }
    EXPECT_EQ(65535, kNoticeBasePort + kMaxNoticePorts);
}

TEST(CommandLine, AppliedGlobals) {
    struct Case {
        std::vector<const char*> args;  // empty: no command line at all
        const char* exe;
        bool daemon;
        const char* key;
        const char* appPath;
        int ports;
    } cases[] = {
        {{}, "updater", false, "SOFTWARE\\ZORVET\\ZORVET ACC", "", 1},
        {{}, "ZorvetDU", true, "SOFTWARE\\ZORVET\\ZORVET ACC", "C:\\inst", 1},
        {{"-auto"}, "zorvetdu", false, "SOFTWARE\\ZORVET\\ZORVET ACC", "", 1},
        {{"-su", "-cc=3"}, "updater", true, "SOFTWARE\\ZORVET\\ZORVET ACC", "C:\\inst", 3},
        {{"-p=acme"}, "updater", false, "SOFTWARE\\ZORVET\\ACME", "", 1},
        {{"-p= Ovik "}, "updater", false, "SOFTWARE\\ZORVET\\OVIK", "", 1},
        {{"-sp=C:\\Program Files\\Z\\ZorvetDaemon.exe"}, "updater", false, "SOFTWARE\\ZORVET\\ZORVET ACC",
         "C:\\Program Files\\Z", 1},
        {{"-sp=nobackslash"}, "updater", false, "SOFTWARE\\ZORVET\\ZORVET ACC", "", 1},
        {{"-sp=\\first"}, "updater", false, "SOFTWARE\\ZORVET\\ZORVET ACC", "", 1},
        {{"-su", "-sp=D:\\svc\\x.exe"}, "updater", true, "SOFTWARE\\ZORVET\\ZORVET ACC", "D:\\svc", 1},
    };
    for (const Case& c : cases) {
        CUpdaterCommandLineInfo info;
        Parse(info, c.args);
        EXPECT_TRUE(ApplyCommandLine(c.args.empty() ? NULL : &info, c.exe, "C:\\inst\\updater.exe"));
        EXPECT_EQ(c.daemon, g_bDaemonMode != 0) << c.exe;
        EXPECT_STREQ(c.key, g_strRegKey);
        EXPECT_STREQ(c.appPath, g_strAppPathArg) << (c.args.empty() ? "" : c.args[0]);
        EXPECT_EQ(c.ports, g_nNoticePorts);
    }
    CUpdaterCommandLineInfo help;
    Parse(help, {"-help"});
    EXPECT_FALSE(ApplyCommandLine(&help, "zorvetdu", "C:\\x\\zorvetdu.exe"));
    EXPECT_TRUE(g_bDaemonMode);  // by name: the usage box is skipped
    EXPECT_FALSE(ApplyCommandLine(&help, "updater", "C:\\x\\updater.exe"));
    EXPECT_FALSE(g_bDaemonMode);
}

TEST(UpdateNotice, PayloadCutKeepsWholeCharacters) {
    EXPECT_EQ(0, NoticePayloadLength(NULL));
    EXPECT_EQ(7, NoticePayloadLength("udpinit"));
    std::string ascii(2000, 'a');
    EXPECT_EQ(1023, NoticePayloadLength(ascii.c_str()));
    // 1022 ASCII bytes then a double-byte character: the character would end at
    // byte 1024, so the cut comes before it.
    std::string gbk(1022, 'a');
    gbk += "\xD5\xFD\xD4\xDA";
    EXPECT_EQ(1022, NoticePayloadLength(gbk.c_str()));
    std::string all;
    for (int i = 0; i < 600; i++)
        all += "\xD5\xFD";
    EXPECT_EQ(1022, NoticePayloadLength(all.c_str()));
    std::string odd(1021, 'a');
    odd += "\xD5\xFD";
    EXPECT_EQ(1023, NoticePayloadLength(odd.c_str()));
}
