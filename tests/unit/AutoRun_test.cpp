// The command that the Run value holds.
#include "app/AutoRun.h"

#include <gtest/gtest.h>

TEST(AutoRun, CommandQuotesThePathAndAsksForMonitorMode)
{
    EXPECT_EQ("\"C:\\Program Files\\Orvane\\Tillvox.exe\" -\"Monitor\"",
              AutoRunCommand("C:\\Program Files\\Orvane\\Tillvox.exe"));
    EXPECT_EQ("\"\" -\"Monitor\"", AutoRunCommand(""));
    EXPECT_STREQ("1", AutoRunSettingText(true));
    EXPECT_STREQ("0", AutoRunSettingText(false));
}
