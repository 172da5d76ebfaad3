#include "base/RateLimiter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct STEP {
    int64_t nAtMs;
    const char* source;
    const char* kind;
    bool bLetThrough;
    uint64_t nSuppressed;
};

void Play(CRateLimiter& limiter, const std::vector<STEP>& steps)
{
    for (const STEP& step : steps) {
        const CRateLimiter::VERDICT verdict = limiter.Check(step.source, step.kind, step.nAtMs);
        EXPECT_EQ(step.bLetThrough, verdict.bLetThrough) << step.source << "/" << step.kind << " at " << step.nAtMs;
        EXPECT_EQ(step.nSuppressed, verdict.nSuppressed) << step.source << "/" << step.kind << " at " << step.nAtMs;
    }
}

}  // namespace

TEST(RateLimiter, AFloodMakesOneEntryAMinuteWithTheCount)
{
    CRateLimiter limiter;  // one minute
    Play(limiter, {
        {0, "POS1", "wrong password", true, 0},
        {100, "POS1", "wrong password", false, 0},
        {30000, "POS1", "wrong password", false, 0},
        {59999, "POS1", "wrong password", false, 0},
        {60000, "POS1", "wrong password", true, 3},
        {60001, "POS1", "wrong password", false, 0},
        {119999, "POS1", "wrong password", false, 0},
        {120000, "POS1", "wrong password", true, 2},
        {500000, "POS1", "wrong password", true, 0},  // quiet in between: nothing held back
    });
}

TEST(RateLimiter, SourcesAndKindsAreLimitedApart)
{
    CRateLimiter limiter(1000);
    Play(limiter, {
        {0, "POS1", "wrong password", true, 0},
        {10, "POS2", "wrong password", true, 0},
        {20, "POS1", "refused till", true, 0},
        {30, "POS1", "wrong password", false, 0},
        {40, "POS2", "wrong password", false, 0},
        {50, "POS2", "wrong password", false, 0},
        {1000, "POS1", "wrong password", true, 1},
        {1010, "POS2", "wrong password", true, 2},
        {1015, "POS1", "refused till", false, 0},
        {1020, "POS1", "refused till", true, 1},
    });
}

TEST(RateLimiter, DueReportsTheCountOfAFloodThatStopped)
{
    CRateLimiter limiter(1000);
    Play(limiter, {
        {0, "POS1", "queue full", true, 0},
        {1, "POS1", "queue full", false, 0},
        {2, "POS1", "queue full", false, 0},
        {0, "POS2", "queue full", true, 0},
    });
    EXPECT_TRUE(limiter.Due(999).empty()) << "the interval has not passed";
    const std::vector<CRateLimiter::SUMMARY> due = limiter.Due(1000);
    ASSERT_EQ(1u, due.size()) << "POS2 held nothing back";
    EXPECT_EQ("POS1", due[0].strSource);
    EXPECT_EQ("queue full", due[0].strKind);
    EXPECT_EQ(2u, due[0].nSuppressed);
    EXPECT_TRUE(limiter.Due(1999).empty()) << "each count is reported once";

    // The summary counted as an entry: an event right after it waits its interval.
    Play(limiter, {{1500, "POS1", "queue full", false, 0}});
    const std::vector<CRateLimiter::SUMMARY> later = limiter.Due(2000);
    ASSERT_EQ(1u, later.size());
    EXPECT_EQ(1u, later[0].nSuppressed);
    EXPECT_TRUE(limiter.Due(9000).empty());
    Play(limiter, {{9001, "POS1", "queue full", true, 0}});
}

TEST(RateLimiter, ASummaryIsAnEntryOfItsOwn)
{
    CRateLimiter limiter(1000);
    Play(limiter, {
        {0, "POS1", "junk", true, 0},
        {5, "POS1", "junk", false, 0},
    });
    ASSERT_EQ(1u, limiter.Due(1200).size());
    Play(limiter, {
        {1300, "POS1", "junk", false, 0},
        {2200, "POS1", "junk", true, 1},
    });
}

TEST(RateLimiter, AtTheEndEveryHeldBackCountIsHandedOutWithinItsInterval)
{
    CRateLimiter limiter(60000);
    Play(limiter, {
        {0, "POS1", "wrong password", true, 0},
        {10, "POS1", "wrong password", false, 0},
        {20, "POS1", "wrong password", false, 0},
        {30, "POS2", "junk", true, 0},
    });
    EXPECT_TRUE(limiter.Due(100).empty()) << "the minute has not passed";
    const std::vector<CRateLimiter::SUMMARY> last = limiter.Due(100, true);
    ASSERT_EQ(1u, last.size()) << "POS2 held nothing back";
    EXPECT_EQ("POS1", last[0].strSource);
    EXPECT_EQ(2u, last[0].nSuppressed);
    EXPECT_TRUE(limiter.Due(200, true).empty()) << "each count is handed out once";
}
