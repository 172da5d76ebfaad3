#include "base/EventLogText.h"

#include <gtest/gtest.h>

TEST(EventLogText, NamesTheSourceAndTheHeldBackCount)
{
    const struct { uint64_t n; const char* text; } cases[] = {
        {0, "POS3: wrong password from 10.0.0.9"},
        {1, "POS3: wrong password from 10.0.0.9 (1 more like it was not entered since the previous entry)"},
        {28, "POS3: wrong password from 10.0.0.9 (28 more like it were not entered since the previous entry)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, EventLogText("POS3", "wrong password from 10.0.0.9", c.n)) << c.n;
    EXPECT_EQ("POS3: queue full happened 1 more time since the previous entry",
        EventLogSummaryText("POS3", "queue full", 1));
    EXPECT_EQ("Bar: wrong password happened 137 more times since the previous entry",
        EventLogSummaryText("Bar", "wrong password", 137));
}

TEST(EventLogText, EachLevelHasItsMessage)
{
    EXPECT_EQ(1u, EventIdForLevel(LOG_LEVEL::LEVEL_INFO));
    EXPECT_EQ(2u, EventIdForLevel(LOG_LEVEL::LEVEL_WARNING));
    EXPECT_EQ(3u, EventIdForLevel(LOG_LEVEL::LEVEL_ERROR));
}
