#include "app/QueueIds.h"

#include <gtest/gtest.h>

TEST(QueueIds, EverySourceGetsAnIdOfItsOwnAndKeptIdsStay)
{
    const struct { std::vector<int> in, want; } cases[] = {
        {{}, {}},
        {{0, 0, 0}, {1, 2, 3}},
        {{2, 0, 0}, {2, 1, 3}},
        {{5, 3, 9}, {5, 3, 9}},
        {{4, 4, 0}, {4, 1, 2}},
        {{-7, 1, 0}, {2, 1, 3}},
    };
    for (const auto& c : cases) {
        std::vector<int> ids = c.in;
        AssignQueueIds(ids);
        EXPECT_EQ(c.want, ids) << testing::PrintToString(c.in);
    }
}
