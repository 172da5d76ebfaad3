#include "base/LogFile.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

// The lines of a log file without their time stamps (the first 24 characters).
std::vector<std::string> Entries(const std::string& path)
{
    std::vector<std::string> entries;
    const std::string bytes = ReadFileBytes(path);
    size_t nStart = 0;
    while (nStart < bytes.size()) {
        const size_t nEnd = bytes.find("\r\n", nStart);
        const std::string line = bytes.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
        entries.push_back(line.size() > 24 ? line.substr(24) : line);
        if (nEnd == std::string::npos)
            break;
        nStart = nEnd + 2;
    }
    return entries;
}

// Bounded wait for a condition another thread brings about.
template <typename Condition>
bool WaitFor(Condition condition)
{
    for (int i = 0; i < 2000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

}  // namespace

TEST(LogFile, WritesEveryLineInOrder)
{
    CScratchFolder folder;
    {
        CLogFile log(folder.Path());
        log.Write(LOG_LEVEL::LEVEL_INFO, "Tillvox", "started");
        log.Write(LOG_LEVEL::LEVEL_WARNING, "POS3", "wrong password from 127.0.0.5");
        log.Write(LOG_LEVEL::LEVEL_ERROR, "POS4", "COM6 could not be opened");
    }
    EXPECT_EQ((std::vector<std::string>{"info Tillvox: started", "warning POS3: wrong password from 127.0.0.5",
                  "error POS4: COM6 could not be opened"}),
        Entries(folder.File("Tillvox.log")));
}

TEST(LogFile, AppendsToTheFileOfTheLastRun)
{
    CScratchFolder folder;
    WriteFileBytes(folder.File("Tillvox.log"), "2026-01-01 00:00:00.000 info Tillvox: earlier\r\n");
    {
        CLogFile log(folder.Path());
        log.Write(LOG_LEVEL::LEVEL_INFO, "Tillvox", "later");
    }
    EXPECT_EQ((std::vector<std::string>{"info Tillvox: earlier", "info Tillvox: later"}),
        Entries(folder.File("Tillvox.log")));
}

TEST(LogFile, RotatesAtTheLimitAndKeepsFiveFiles)
{
    CScratchFolder folder;
    LOG_FILE_OPTIONS options;
    options.nRotateBytes = 200;  // each line is 24 + 18 + 2 = 44 bytes: four lines a file
    {
        CLogFile log(folder.Path(), options);
        for (int i = 0; i < 30; ++i) {
            char text[16];
            std::snprintf(text, sizeof text, "line %02d", i);
            log.Write(LOG_LEVEL::LEVEL_INFO, "POS1", text);
        }
    }
    EXPECT_EQ((std::vector<std::string>{"Tillvox.1.log", "Tillvox.2.log", "Tillvox.3.log", "Tillvox.4.log",
                  "Tillvox.log"}),
        FolderEntries(folder.Path()));
    // 30 lines, four a file: the current file holds 28 and 29, the older ones
    // four each back to line 12; lines 00 to 11 are gone.
    EXPECT_EQ((std::vector<std::string>{"info POS1: line 28", "info POS1: line 29"}),
        Entries(folder.File("Tillvox.log")));
    EXPECT_EQ((std::vector<std::string>{"info POS1: line 24", "info POS1: line 25", "info POS1: line 26",
                  "info POS1: line 27"}),
        Entries(folder.File("Tillvox.1.log")));
    EXPECT_EQ((std::vector<std::string>{"info POS1: line 12", "info POS1: line 13", "info POS1: line 14",
                  "info POS1: line 15"}),
        Entries(folder.File("Tillvox.4.log")));
    for (const std::string& name : FolderEntries(folder.Path()))
        EXPECT_LE(std::filesystem::file_size(folder.File(name)), 200u) << name;
}

// Lines from several threads at once: each thread's lines arrive whole and in
// the order it wrote them.
TEST(LogFile, LinesFromManyThreadsArriveWholeAndInOrder)
{
    CScratchFolder folder;
    const int nThreads = 4;
    const int nEach = 500;
    {
        CLogFile log(folder.Path());
        std::vector<std::thread> threads;
        for (int t = 0; t < nThreads; ++t)
            threads.emplace_back([&log, t] {
                for (int i = 0; i < nEach; ++i)
                    log.Write(LOG_LEVEL::LEVEL_INFO, "POS" + std::to_string(t), std::to_string(i));
            });
        for (auto& thread : threads)
            thread.join();
    }
    std::vector<int> next(nThreads, 0);
    for (const std::string& entry : Entries(folder.File("Tillvox.log"))) {
        int nThread = -1;
        int nLine = -1;
        ASSERT_EQ(2, std::sscanf(entry.c_str(), "info POS%d: %d", &nThread, &nLine)) << entry;
        ASSERT_TRUE(nThread >= 0 && nThread < nThreads) << entry;
        EXPECT_EQ(next[nThread], nLine) << entry;
        next[nThread] = nLine + 1;
    }
    for (int t = 0; t < nThreads; ++t)
        EXPECT_EQ(nEach, next[t]) << "thread " << t;
}

// A folder that cannot hold files (here a path that is a file, which stops
// the super-user too): the program goes on, the caller never waits, and
// ending the log does not hang.
TEST(LogFile, AnUnwritableFolderFailsQuietly)
{
    CScratchFolder folder;
    WriteFileBytes(folder.File("blocker"), "x");
    LOG_FILE_OPTIONS options;
    options.nQueueLines = 8;
    {
        CLogFile log(folder.File("blocker") + "/", options);
        for (int i = 0; i < 100; ++i)
            log.Write(LOG_LEVEL::LEVEL_ERROR, "POS1", "cannot be written");
        EXPECT_TRUE(WaitFor([&log] { return log.FailedWrites() > 0; }));
    }
    EXPECT_EQ("x", ReadFileBytes(folder.File("blocker")));
    EXPECT_EQ((std::vector<std::string>{"blocker"}), FolderEntries(folder.Path()));
}

// The file could not be written for a while (the folder was missing): the
// lines waited in the queue, those beyond its bound were counted, and all of
// it reaches the file once writing works.
TEST(LogFile, KeepsQueuedLinesUntilTheFileCanBeWritten)
{
    CScratchFolder folder;
    const std::string strLater = folder.File("later") + "/";
    LOG_FILE_OPTIONS options;
    options.nQueueLines = 3;
    options.retryAfter = std::chrono::milliseconds(20);
    {
        CLogFile log(strLater, options);
        log.Write(LOG_LEVEL::LEVEL_INFO, "POS1", "one");
        ASSERT_TRUE(WaitFor([&log] { return log.FailedWrites() > 0; }));
        log.Write(LOG_LEVEL::LEVEL_INFO, "POS1", "two");
        log.Write(LOG_LEVEL::LEVEL_INFO, "POS1", "three");
        log.Write(LOG_LEVEL::LEVEL_INFO, "POS1", "four");  // beyond the bound of three
        log.Write(LOG_LEVEL::LEVEL_INFO, "POS1", "five");
        std::filesystem::create_directory(folder.File("later"));
        ASSERT_TRUE(WaitFor([&] { return FileExists(strLater + "Tillvox.log"); }));
    }
    const std::vector<std::string> entries = Entries(strLater + "Tillvox.log");
    ASSERT_EQ(4u, entries.size());
    EXPECT_EQ("warning Tillvox: 2 log lines were dropped: the log file could not keep up",
        entries[0]);
    EXPECT_EQ("info POS1: one", entries[1]);
    EXPECT_EQ("info POS1: two", entries[2]);
    EXPECT_EQ("info POS1: three", entries[3]);
}

TEST(LogFile, LocalTimeIsAPlausibleDate)
{
    const LOG_TIME t = LocalLogTimeNow();
    EXPECT_GE(t.nYear, 2024);
    EXPECT_TRUE(t.nMonth >= 1 && t.nMonth <= 12);
    EXPECT_TRUE(t.nDay >= 1 && t.nDay <= 31);
    EXPECT_TRUE(t.nHour >= 0 && t.nHour <= 23);
    EXPECT_TRUE(t.nMillisecond >= 0 && t.nMillisecond <= 999);
}
