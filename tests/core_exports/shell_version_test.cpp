// GetShellVersion: minor version in the upper half, major in the lower; 0 when
// the library, its entry or the call fails. Zorvet_Init refuses a major below 5.
#include <gtest/gtest.h>

#include "core.h"

namespace {

TEST(ShellVersion, PacksMinorAboveMajor) {
    const struct {
        const char* library;
        uint32_t packed;
    } cases[] = {
        {"fake_shell_4_71.dll", (71u << 16) | 4},
        {"fake_shell_5_0.dll", 5},
        {"fake_shell_6_0.dll", 6},
        {"fake_shell_fails.dll", 0},
        {"kernel32.dll", 0},              // no DllGetVersion
        {"no_such_library.dll", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.packed, GetShellVersion(c.library)) << c.library;
    EXPECT_GE(GetShellVersion("shell32.dll") & 0xFFFF, 5u);
}

}  // namespace
