#include "net/TcpPort.h"

#include <gtest/gtest.h>

TEST(TcpPort, NumberFromEveryStoredForm)
{
    const struct { const char* text; int want; } cases[] = {
        {"4000", 4000}, {"TCP(4000)", 4000}, {"(TCP(4000", 4000}, {"TCP(4000", 4000},
        {"65535", 65535}, {"4000abc", 4000},
        {"", -1}, {"abc", -1}, {"0", -1}, {"65536", -1}, {"70000", -1}, {"TCP()", -1},
        {"99999999999999999999", -1}, {"-4000", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, ParseTcpPortNumber(c.text)) << c.text;
}
