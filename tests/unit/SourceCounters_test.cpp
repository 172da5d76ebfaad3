#include "base/SourceCounters.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

TEST(SourceCounters, SnapshotCopiesEveryField)
{
    SOURCE_COUNTERS counters;
    counters.AddCaptured(120, 1765400000);
    counters.AddCaptured(30, 1765400005);
    counters.nBytesSent += 140;
    counters.AddAcknowledged(100, 1765400007);
    counters.nBytesQueued = 50;
    counters.nBytesDropped += 7;
    counters.nRecorderReconnects += 2;
    counters.AddRefused(REFUSAL_REASON::WRONG_PASSWORD);
    counters.AddRefused(REFUSAL_REASON::WRONG_PASSWORD);
    counters.AddRefused(REFUSAL_REASON::UNKNOWN_TILL);
    counters.SetRecorderAddress("192.168.1.20:50021");

    const SOURCE_COUNTERS_SNAPSHOT snap = counters.Snapshot();
    EXPECT_EQ(150u, snap.nBytesCaptured);
    EXPECT_EQ(2u, snap.nReceiptsCaptured);
    EXPECT_EQ(140u, snap.nBytesSent);
    EXPECT_EQ(100u, snap.nBytesAcknowledged);
    EXPECT_EQ(50u, snap.nBytesQueued);
    EXPECT_EQ(7u, snap.nBytesDropped);
    EXPECT_EQ(2u, snap.nRecorderReconnects);
    EXPECT_EQ(2u, snap.nRefused[static_cast<int>(REFUSAL_REASON::WRONG_PASSWORD)]);
    EXPECT_EQ(0u, snap.nRefused[static_cast<int>(REFUSAL_REASON::JUNK)]);
    EXPECT_EQ(1u, snap.nRefused[static_cast<int>(REFUSAL_REASON::UNKNOWN_TILL)]);
    EXPECT_EQ(1765400005, snap.nLastReceiptTime);
    EXPECT_EQ(1765400007, snap.nLastAckTime);
    EXPECT_EQ("192.168.1.20:50021", snap.strRecorderAddress);

    counters.SetRecorderAddress("");
    EXPECT_EQ("", counters.Snapshot().strRecorderAddress);
    EXPECT_EQ("192.168.1.20:50021", snap.strRecorderAddress) << "a snapshot is a copy";
}

TEST(SourceCounters, CountsEveryEventFromManyThreads)
{
    SOURCE_COUNTERS counters;
    const int nThreads = 4;
    const int nEach = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < nThreads; ++t) {
        threads.emplace_back([&counters, t] {
            for (int i = 0; i < nEach; ++i) {
                counters.AddCaptured(3, 1000 + i);
                counters.AddRefused(REFUSAL_REASON::JUNK);
                if (i % 1000 == 0)
                    counters.SetRecorderAddress("10.0.0." + std::to_string(t));
                if (i % 500 == 0)
                    (void)counters.Snapshot();
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    const SOURCE_COUNTERS_SNAPSHOT snap = counters.Snapshot();
    EXPECT_EQ(uint64_t{nThreads} * nEach * 3, snap.nBytesCaptured);
    EXPECT_EQ(uint64_t{nThreads} * nEach, snap.nReceiptsCaptured);
    EXPECT_EQ(uint64_t{nThreads} * nEach, snap.nRefused[static_cast<int>(REFUSAL_REASON::JUNK)]);
    EXPECT_EQ(0, snap.strRecorderAddress.rfind("10.0.0.", 0));
}
