#include "app/ProgramLog.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct REPORTED {
    LOG_LEVEL level;
    std::string strSource, strKind, strText;
};

// Stands in for the event log; can be made to hang as a stuck event log service would.
class CRecordingReporter : public CEventReporter {
public:
    struct SHARED {
        std::mutex lock;
        std::condition_variable changed;
        std::vector<REPORTED> reported;
        bool bHang = false;
        std::atomic<int> nDue{0};
        std::atomic<int> nDueAtEnd{0};
    };
    explicit CRecordingReporter(SHARED& shared) : m_shared(shared) {}
    bool Report(LOG_LEVEL level, const std::string& strSource, const std::string& strKind,
        const std::string& strText) override
    {
        std::unique_lock<std::mutex> lock(m_shared.lock);
        m_shared.changed.wait(lock, [this] { return !m_shared.bHang; });
        m_shared.reported.push_back(REPORTED{level, strSource, strKind, strText});
        return true;
    }
    int ReportDue(bool bAtEnd) override
    {
        if (bAtEnd)
            ++m_shared.nDueAtEnd;
        ++m_shared.nDue;
        return 0;
    }

private:
    SHARED& m_shared;
};

size_t CountLines(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace

// Every line goes to the file; only warnings and errors that name a kind go
// to the event log as well.
TEST(ProgramLog, WarningsAndErrorsWithAKindAlsoGoToTheEventLog)
{
    CScratchFolder folder;
    CRecordingReporter::SHARED shared;
    {
        CProgramLog log(folder.Path(), std::make_unique<CRecordingReporter>(shared));
        log.Write(LOG_LEVEL::LEVEL_INFO, "POS1", nullptr, "recorder logged in from 10.0.0.5:50000");
        log.Write(LOG_LEVEL::LEVEL_INFO, "POS1", "queue full", "information never goes there");
        log.Write(LOG_LEVEL::LEVEL_WARNING, "POS1", "wrong password", "wrong password from 10.0.0.9:1");
        log.Write(LOG_LEVEL::LEVEL_WARNING, "Tillvox", nullptr, "settings file names 3 sources; 2 were read");
        log.Write(LOG_LEVEL::LEVEL_ERROR, "POS2", "output failed", "cannot open COM6 (error 2)");
    }
    ASSERT_EQ(2u, shared.reported.size());
    EXPECT_EQ(LOG_LEVEL::LEVEL_WARNING, shared.reported[0].level);
    EXPECT_EQ("POS1", shared.reported[0].strSource);
    EXPECT_EQ("wrong password", shared.reported[0].strKind);
    EXPECT_EQ("wrong password from 10.0.0.9:1", shared.reported[0].strText);
    EXPECT_EQ(LOG_LEVEL::LEVEL_ERROR, shared.reported[1].level);
    EXPECT_EQ("POS2", shared.reported[1].strSource);
    EXPECT_GE(shared.nDue.load(), 1) << "the held-back counts are entered at the end";
    const std::string text = ReadFileBytes(folder.File("Tillvox.log"));
    EXPECT_EQ(5u, CountLines(text, "\r\n")) << text;
    EXPECT_EQ(1u, CountLines(text, " warning Tillvox: settings file names 3 sources; 2 were read\r\n")) << text;
    EXPECT_EQ(1u, CountLines(text, " error POS2: cannot open COM6 (error 2)\r\n")) << text;
}

// A stuck event log must not hold up whoever reports: the file still gets
// every line, and the event log what fits its bounded queue.
TEST(ProgramLog, AStuckEventLogHoldsUpNobody)
{
    CScratchFolder folder;
    CRecordingReporter::SHARED shared;
    shared.bHang = true;
    const int nLines = 1000;
    {
        CProgramLog log(folder.Path(), std::make_unique<CRecordingReporter>(shared));
        for (int i = 0; i < nLines; ++i)
            log.Write(LOG_LEVEL::LEVEL_WARNING, "POS1", "queue full", "queue full " + std::to_string(i));
        {
            std::lock_guard<std::mutex> lock(shared.lock);
            shared.bHang = false;
        }
        shared.changed.notify_all();
    }
    EXPECT_LE(shared.reported.size(), CProgramLog::EVENT_QUEUE_MAX + 1);
    EXPECT_GE(shared.reported.size(), CProgramLog::EVENT_QUEUE_MAX);
    EXPECT_EQ("queue full 0", shared.reported.front().strText) << "the first ones are kept, in order";
    const std::string text = ReadFileBytes(folder.File("Tillvox.log"));
    EXPECT_EQ(static_cast<size_t>(nLines), CountLines(text, " warning POS1: queue full "));
}

TEST(ProgramLog, HeldBackCountsAreEnteredNowAndThen)
{
    CScratchFolder folder;
    CRecordingReporter::SHARED shared;
    CProgramLog log(folder.Path(), std::make_unique<CRecordingReporter>(shared), std::chrono::milliseconds(20));
    for (int k = 0; k < 500 && shared.nDue < 3; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(shared.nDue.load(), 3) << "without any new event";
    EXPECT_EQ(0, shared.nDueAtEnd.load()) << "only counts whose minute is over, while the program runs";
}

TEST(ProgramLog, EveryCountStillHeldBackIsEnteredAtTheEnd)
{
    CScratchFolder folder;
    CRecordingReporter::SHARED shared;
    {
        CProgramLog log(folder.Path(), std::make_unique<CRecordingReporter>(shared), std::chrono::hours(1));
    }
    EXPECT_EQ(1, shared.nDueAtEnd.load());
}
