// The timer that takes skipped file changes again.
#include "capture/RetryTimer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Long enough that only a timer that never fires runs into it.
constexpr auto DEADLINE = 10s;
constexpr int NEVER_MS = 600000;

struct CALLS {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> slots;
    std::vector<std::thread::id> threads;

    void Add(int nSlot)
    {
        std::lock_guard<std::mutex> lock(mutex);
        slots.push_back(nSlot);
        threads.push_back(std::this_thread::get_id());
        changed.notify_all();
    }
    bool WaitForCount(size_t n)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, DEADLINE, [&] { return slots.size() >= n; });
    }
    std::vector<int> Slots()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return slots;
    }
};

}  // namespace

TEST(RetryTimer, CallsEachSlotOnceInTheOrderItFallsDueOnItsOwnThread)
{
    CALLS calls;
    CRetryTimer timer;
    ASSERT_TRUE(timer.Start([&](int nSlot) { calls.Add(nSlot); }));
    timer.Schedule(7, 300);
    timer.Schedule(2, 150);
    timer.Schedule(9, 0);
    ASSERT_TRUE(calls.WaitForCount(3));
    EXPECT_EQ((std::vector<int>{9, 2, 7}), calls.Slots());
    EXPECT_NE(std::this_thread::get_id(), calls.threads[0]);
    timer.Stop();
    EXPECT_EQ(3u, calls.Slots().size()) << "each retry is taken once";
}

TEST(RetryTimer, ALaterScheduleReplacesTheWaitingOneAndCancelForgetsIt)
{
    CALLS calls;
    CRetryTimer timer;
    ASSERT_TRUE(timer.Start([&](int nSlot) { calls.Add(nSlot); }));
    timer.Schedule(1, NEVER_MS);
    timer.Schedule(1, 0);
    ASSERT_TRUE(calls.WaitForCount(1));
    EXPECT_EQ(std::vector<int>{1}, calls.Slots());

    // Slot 3 falls due before slot 4: had it not been forgotten, it would come first.
    timer.Schedule(3, 50);
    timer.Cancel(3);
    timer.Cancel(5);
    timer.Schedule(4, 150);
    ASSERT_TRUE(calls.WaitForCount(2));
    EXPECT_EQ((std::vector<int>{1, 4}), calls.Slots());
}

TEST(RetryTimer, StopDropsWaitingRetriesAndLaterSchedulesAreIgnored)
{
    CALLS calls;
    CRetryTimer timer;
    timer.Schedule(1, 0);  // not running yet
    ASSERT_TRUE(timer.Start([&](int nSlot) { calls.Add(nSlot); }));
    timer.Schedule(2, NEVER_MS);
    timer.Stop();
    EXPECT_FALSE(timer.IsRunning());
    timer.Schedule(3, 0);
    timer.Stop();

    // Started again, it works as new.
    ASSERT_TRUE(timer.Start([&](int nSlot) { calls.Add(nSlot); }));
    timer.Schedule(4, 0);
    ASSERT_TRUE(calls.WaitForCount(1));
    timer.Stop();
    EXPECT_EQ(std::vector<int>{4}, calls.Slots());
}

// The handler may schedule its own slot again (a file still held by its writer).
TEST(RetryTimer, AHandlerCanScheduleAgain)
{
    CALLS calls;
    CRetryTimer timer;
    int rounds = 0;
    ASSERT_TRUE(timer.Start([&](int nSlot) {
        calls.Add(nSlot);
        if (++rounds < 3)
            timer.Schedule(nSlot, 5);
    }));
    timer.Schedule(6, 0);
    ASSERT_TRUE(calls.WaitForCount(3));
    timer.Stop();
    EXPECT_EQ((std::vector<int>{6, 6, 6}), calls.Slots());
}
