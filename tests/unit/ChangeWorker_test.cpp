// The per-source worker that a shared folder watcher hands changes to.
#include "capture/ChangeWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct SEEN {
    std::mutex mutex;
    std::vector<std::string> changes;
    std::thread::id thread;
    void Add(uint32_t action, const std::string& path)
    {
        std::lock_guard<std::mutex> lock(mutex);
        changes.push_back(std::to_string(action) + ":" + path);
        thread = std::this_thread::get_id();
    }
};

}  // namespace

TEST(ChangeWorker, HandlesEveryChangeOnItsOwnThreadInTheOrderPostedAndStopDrainsTheRest)
{
    SEEN seen;
    std::atomic<bool> slow{true};
    CChangeWorker worker;
    ASSERT_TRUE(worker.Start([&](uint32_t action, const std::string& path) {
        // A slow first change lets the later ones queue up behind it.
        if (slow.exchange(false))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        seen.Add(action, path);
    }));
    std::vector<std::string> expected;
    for (int k = 0; k < 200; ++k) {
        const uint32_t action = k % 7 == 0 ? 5u : 3u;
        const std::string path = "C:\\tills\\pos" + std::to_string(k % 3) + ".txt";
        worker.Post(action, path);
        expected.push_back(std::to_string(action) + ":" + path);
    }
    worker.Stop();
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(expected, seen.changes) << "every change handled once, in order, before Stop returned";
    EXPECT_NE(std::this_thread::get_id(), seen.thread);

    // A change posted to a stopped worker is not handled; a new start handles new ones.
    worker.Post(3, "late");
    ASSERT_TRUE(worker.Start([&](uint32_t action, const std::string& path) { seen.Add(action, path); }));
    worker.Post(3, "again");
    worker.Stop();
    EXPECT_EQ("3:again", seen.changes.back());
    EXPECT_EQ(expected.size() + 1, seen.changes.size());
}

TEST(ChangeWorker, StopWithoutStartAndTwiceIsHarmless)
{
    CChangeWorker worker;
    worker.Stop();
    worker.Post(3, "nobody handles this");
    EXPECT_FALSE(worker.IsRunning());
    ASSERT_TRUE(worker.Start([](uint32_t, const std::string&) {}));
    worker.Stop();
    worker.Stop();
    EXPECT_FALSE(worker.IsRunning());
}
