#include "base/LogQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using std::chrono::milliseconds;

TEST(LogQueue, CountsLinesBeyondTheLineBound)
{
    CLogQueue queue(3, 1000);
    EXPECT_TRUE(queue.Push("a"));
    EXPECT_TRUE(queue.Push("b"));
    EXPECT_TRUE(queue.Push("c"));
    EXPECT_FALSE(queue.Push("d"));
    EXPECT_FALSE(queue.Push("e"));
    LOG_BATCH batch = queue.Take(milliseconds(0));
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), batch.lines);
    EXPECT_EQ(2u, batch.nDropped);

    batch = queue.Take(milliseconds(0));
    EXPECT_TRUE(batch.lines.empty());
    EXPECT_EQ(0u, batch.nDropped) << "a drop is reported once";
    EXPECT_TRUE(queue.Push("f")) << "room again after the take";
}

TEST(LogQueue, CountsLinesBeyondTheByteBound)
{
    CLogQueue queue(100, 10);
    EXPECT_TRUE(queue.Push("12345"));
    EXPECT_FALSE(queue.Push("123456"));
    EXPECT_TRUE(queue.Push("12345"));
    EXPECT_FALSE(queue.Push("1"));
    const LOG_BATCH batch = queue.Take(milliseconds(0));
    EXPECT_EQ(2u, batch.lines.size());
    EXPECT_EQ(2u, batch.nDropped);
}

TEST(LogQueue, PutBackKeepsOrderAndDropsTheNewestBeyondTheBounds)
{
    CLogQueue queue(4, 1000);
    queue.Push("1");
    queue.Push("2");
    queue.Push("3");
    LOG_BATCH failed = queue.Take(milliseconds(0));
    queue.Push("4");
    queue.Push("5");
    queue.PutBack(std::move(failed));  // 1 2 3 4 5 is one too many: 5 goes
    const LOG_BATCH batch = queue.Take(milliseconds(0));
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3", "4"}), batch.lines);
    EXPECT_EQ(1u, batch.nDropped);
}

TEST(LogQueue, PutBackKeepsTheDropCount)
{
    CLogQueue queue(1, 1000);
    queue.Push("1");
    queue.Push("2");
    LOG_BATCH failed = queue.Take(milliseconds(0));
    ASSERT_EQ(1u, failed.nDropped);
    queue.PutBack(std::move(failed));
    const LOG_BATCH batch = queue.Take(milliseconds(0));
    EXPECT_EQ((std::vector<std::string>{"1"}), batch.lines);
    EXPECT_EQ(1u, batch.nDropped);
}

TEST(LogQueue, StopWakesAWaitingWriter)
{
    CLogQueue queue(10, 1000);
    std::thread stopper([&queue] { queue.Stop(); });
    // Without the wake-up these would wait an hour each and the test would time out.
    const LOG_BATCH batch = queue.Take(std::chrono::hours(1));
    EXPECT_TRUE(batch.lines.empty());
    EXPECT_TRUE(queue.WaitForStop(std::chrono::hours(1)));
    stopper.join();
    EXPECT_TRUE(queue.Stopped());
}

TEST(LogQueue, EveryLineFromManyThreadsIsTakenOrCounted)
{
    CLogQueue queue(50, 100000);
    const int nThreads = 4;
    const int nEach = 5000;
    std::vector<std::thread> threads;
    for (int t = 0; t < nThreads; ++t)
        threads.emplace_back([&queue] {
            for (int i = 0; i < nEach; ++i)
                queue.Push("line");
        });
    uint64_t nTaken = 0;
    uint64_t nDropped = 0;
    for (auto& thread : threads)
        thread.join();
    for (int i = 0; i < 3; ++i) {
        const LOG_BATCH batch = queue.Take(milliseconds(0));
        nTaken += batch.lines.size();
        nDropped += batch.nDropped;
    }
    EXPECT_EQ(uint64_t{nThreads} * nEach, nTaken + nDropped);
    EXPECT_EQ(50u, nTaken);
}
