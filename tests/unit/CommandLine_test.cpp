#include "app/CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, LastArgumentDecidesMonitorMode)
{
    const struct { std::vector<std::string> args; bool monitor; } cases[] = {
        {{}, false},
        {{"-Monitor"}, true},            // the Run key's -"Monitor" once quotes are gone
        {{"/Service", "/Monitor"}, true},  // the relaunch arguments
        {{"/Monitor", "/Service"}, false},
        {{"/monitor"}, false},           // letter case matters
        {{"/xMonitorx"}, true},
        {{"/Monitor", "other"}, false},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        EXPECT_EQ(c.monitor, ParseMonitorFlag(c.args)) << joined;
    }
}

TEST(CommandLine, ServiceAnywhereInTheTail)
{
    EXPECT_TRUE(IsStartedAsService("/Service /Monitor"));
    EXPECT_TRUE(IsStartedAsService("/Monitor /Service"));
    EXPECT_FALSE(IsStartedAsService("/service"));
    EXPECT_FALSE(IsStartedAsService(""));
}
