// Directory-change watcher on real folders and files.
#include "capture/ReadDirChange.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Long enough that only a watcher that is stuck or deaf runs into it.
constexpr auto DEADLINE = 10s;

struct CALL {
    uint32_t dwAction;
    std::string strPath;
};

// Keeps every report; can hold the watcher's thread inside a report until released.
class CRecorder : public CRDCCallback {
public:
    int32_t OnDirChange(uint32_t dwAction, const std::string& strPath, uint32_t dwReserved) override
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Calls.push_back({dwAction, strPath});
        m_bNonZeroReserved = m_bNonZeroReserved || dwReserved != 0;
        ++m_nInside;
        m_Changed.notify_all();
        m_Changed.wait(lock, [&] { return !m_bHold; });
        --m_nInside;
        return 0;
    }

    // Waits until pred holds over the reports; false when the deadline passed first.
    bool WaitUntil(const std::function<bool(const std::vector<CALL>&)>& pred,
                   std::chrono::milliseconds timeout = DEADLINE)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Changed.wait_for(lock, timeout, [&] { return pred(m_Calls); });
    }
    bool WaitForCall(uint32_t dwAction, const std::string& strPath)
    {
        return WaitUntil([&](const std::vector<CALL>& calls) {
            for (const auto& c : calls)
                if (c.dwAction == dwAction && c.strPath == strPath)
                    return true;
            return false;
        });
    }
    bool WaitUntilHeldInside()
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Changed.wait_for(lock, DEADLINE, [&] { return m_nInside > 0; });
    }
    void Hold()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bHold = true;
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bHold = false;
        m_Changed.notify_all();
    }
    std::vector<CALL> Calls()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Calls;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Calls.clear();
    }
    bool SawNonZeroReserved()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_bNonZeroReserved;
    }

private:
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::vector<CALL> m_Calls;
    bool m_bHold = false;
    bool m_bNonZeroReserved = false;
    int m_nInside = 0;
};

// A StopWatch that does not return would leave a thread that uses the watcher:
// report and end the process instead of hanging the run.
int StopWithinDeadline(CReadDirChange& watcher)
{
    auto stopped = std::async(std::launch::async, [&] { return watcher.StopWatch(); });
    if (stopped.wait_for(DEADLINE) != std::future_status::ready) {
        std::fprintf(stderr, "StopWatch did not return\n");
        std::fflush(stderr);
        std::_Exit(3);
    }
    return stopped.get();
}

bool IsRegularFile(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Replaces target by a fresh file through a rename: the watcher sees the new name.
void RenameOnto(const std::string& folder, const std::string& name, const std::string& content)
{
    const std::string source = folder + "incoming.tmp";
    WriteWholeFile(source, content);
    ASSERT_TRUE(MoveFileExA(source.c_str(), (folder + name).c_str(), MOVEFILE_REPLACE_EXISTING))
        << GetLastError();
}

bool AllCallsFor(const std::vector<CALL>& calls, const std::string& path)
{
    for (const auto& c : calls)
        if (c.strPath != path)
            return false;
    return true;
}

struct WatchFixture : ::testing::Test {
    // Folders on the drive that maps the Linux root, where POS drivers' files live
    // under Wine; the system's own temporary folder when there is no such drive.
    static void SetUpTestSuite()
    {
        if (GetFileAttributesA("Z:\\tmp\\") != INVALID_FILE_ATTRIBUTES) {
            SetEnvironmentVariableA("TMP", "Z:\\tmp\\");
            SetEnvironmentVariableA("TEMP", "Z:\\tmp\\");
        }
    }

    CTempFolder temp;
    std::string folder = temp.Path();
    CRecorder recorder;
    CReadDirChange watcher;

    void Start(const std::string& name, CReadDirChange& w, CRecorder& r, int slot = 0)
    {
        w.SetCallback(&r);
        w.StartWatch(folder, name, slot);
    }
    // The worker may not wait yet when StartWatch returns: touch the file until a
    // report shows that it does, then forget the reports.
    bool Prime(const std::string& diskName, CRecorder& r)
    {
        const std::string path = folder + diskName;
        const auto giveUp = std::chrono::steady_clock::now() + DEADLINE;
        while (std::chrono::steady_clock::now() < giveUp) {
            AppendToFile(path, ".");
            if (r.WaitUntil([&](const std::vector<CALL>& calls) { return !calls.empty(); }, 200ms)) {
                const bool bRightPath = r.WaitForCall(FILE_ACTION_MODIFIED, path);
                r.Clear();
                return bRightPath;
            }
        }
        return false;
    }
    void TearDown() override { StopWithinDeadline(watcher); }
};

// ---------------------------------------------------------------------------

TEST_F(WatchFixture, ChangeToTheWatchedFileCallsBackWithFolderAndName)
{
    WriteWholeFile(folder + "Receipt.txt", "first receipt\r\n");
    Start("Receipt.txt", watcher, recorder);
    ASSERT_TRUE(Prime("Receipt.txt", recorder));

    AppendToFile(folder + "Receipt.txt", "second receipt\r\n");
    EXPECT_TRUE(recorder.WaitForCall(FILE_ACTION_MODIFIED, folder + "Receipt.txt"));
    EXPECT_TRUE(AllCallsFor(recorder.Calls(), folder + "Receipt.txt"));
    EXPECT_FALSE(recorder.SawNonZeroReserved());
}

TEST_F(WatchFixture, NameInOtherLetterCaseIsMatchedAndReportedAsTheSystemSpellsIt)
{
    const struct {
        const char* szWatched;
        const char* szOnDisk;
    } cases[] = {
        {"Receipt.TXT", "receipt.txt"},
        {"till.log", "TILL.LOG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szWatched);
        CRecorder r;
        CReadDirChange w;
        WriteWholeFile(folder + c.szOnDisk, "receipt\r\n");
        Start(c.szWatched, w, r);
        EXPECT_TRUE(Prime(c.szOnDisk, r));
        AppendToFile(folder + c.szOnDisk, "more\r\n");
        EXPECT_TRUE(r.WaitForCall(FILE_ACTION_MODIFIED, folder + c.szOnDisk));
        EXPECT_EQ(1, StopWithinDeadline(w));
        EXPECT_TRUE(AllCallsFor(r.Calls(), folder + c.szOnDisk));
    }
}

TEST_F(WatchFixture, RenameOntoTheWatchedNameReportsTheNewName)
{
    WriteWholeFile(folder + "Receipt.txt", "old\r\n");
    Start("Receipt.txt", watcher, recorder);
    ASSERT_TRUE(Prime("Receipt.txt", recorder));

    RenameOnto(folder, "Receipt.txt", "replacing an existing file\r\n");
    EXPECT_TRUE(recorder.WaitForCall(FILE_ACTION_RENAMED_NEW_NAME, folder + "Receipt.txt"));

    ASSERT_TRUE(DeleteFileA((folder + "Receipt.txt").c_str()));
    RenameOnto(folder, "Receipt.txt", "onto a free name\r\n");
    EXPECT_TRUE(recorder.WaitUntil([&](const std::vector<CALL>& calls) {
        int renames = 0;
        for (const auto& c : calls)
            renames += c.dwAction == FILE_ACTION_RENAMED_NEW_NAME && c.strPath == folder + "Receipt.txt";
        return renames >= 2;
    }));
    EXPECT_TRUE(AllCallsFor(recorder.Calls(), folder + "Receipt.txt")) << "the old name incoming.tmp is not watched";
}

TEST_F(WatchFixture, ChangesToOtherFilesAndToTheSameNameInASubFolderAreNotReported)
{
    ASSERT_TRUE(CreateDirectoryA((folder + "sub").c_str(), nullptr));
    WriteWholeFile(folder + "Receipt.txt", "receipt\r\n");
    WriteWholeFile(folder + "other.txt", "other\r\n");
    WriteWholeFile(folder + "sub\\Receipt.txt", "nested\r\n");
    Start("Receipt.txt", watcher, recorder);
    ASSERT_TRUE(Prime("Receipt.txt", recorder));

    AppendToFile(folder + "other.txt", "more\r\n");
    AppendToFile(folder + "sub\\Receipt.txt", "more\r\n");
    WriteWholeFile(folder + "Receipt.txt.bak", "near miss\r\n");
    // Reports come in order: once this rename is reported, the changes above were seen.
    RenameOnto(folder, "Receipt.txt", "marker\r\n");
    ASSERT_TRUE(recorder.WaitForCall(FILE_ACTION_RENAMED_NEW_NAME, folder + "Receipt.txt"));
    EXPECT_TRUE(AllCallsFor(recorder.Calls(), folder + "Receipt.txt"));
}

TEST_F(WatchFixture, TwoWatchersOnOneFolderEachReportOnlyTheirOwnFile)
{
    CRecorder otherRecorder;
    CReadDirChange otherWatcher;
    WriteWholeFile(folder + "a.txt", "a\r\n");
    WriteWholeFile(folder + "b.txt", "b\r\n");
    Start("a.txt", watcher, recorder, 0);
    Start("b.txt", otherWatcher, otherRecorder, 1);
    ASSERT_TRUE(Prime("a.txt", recorder));
    ASSERT_TRUE(Prime("b.txt", otherRecorder));
    recorder.Clear();

    AppendToFile(folder + "a.txt", "for a\r\n");
    AppendToFile(folder + "b.txt", "for b\r\n");
    RenameOnto(folder, "a.txt", "marker a\r\n");
    RenameOnto(folder, "b.txt", "marker b\r\n");
    ASSERT_TRUE(recorder.WaitForCall(FILE_ACTION_RENAMED_NEW_NAME, folder + "a.txt"));
    ASSERT_TRUE(otherRecorder.WaitForCall(FILE_ACTION_RENAMED_NEW_NAME, folder + "b.txt"));
    EXPECT_TRUE(recorder.WaitForCall(FILE_ACTION_MODIFIED, folder + "a.txt"));
    EXPECT_TRUE(otherRecorder.WaitForCall(FILE_ACTION_MODIFIED, folder + "b.txt"));
    EXPECT_TRUE(AllCallsFor(recorder.Calls(), folder + "a.txt"));
    EXPECT_TRUE(AllCallsFor(otherRecorder.Calls(), folder + "b.txt"));
    EXPECT_EQ(1, StopWithinDeadline(otherWatcher));
}

TEST_F(WatchFixture, DeletedFileIsReportedAndItsSuccessorStillWatched)
{
    WriteWholeFile(folder + "Receipt.txt", "receipt\r\n");
    Start("Receipt.txt", watcher, recorder);
    ASSERT_TRUE(Prime("Receipt.txt", recorder));

    ASSERT_TRUE(DeleteFileA((folder + "Receipt.txt").c_str()));
    EXPECT_TRUE(recorder.WaitForCall(FILE_ACTION_REMOVED, folder + "Receipt.txt"));
    WriteWholeFile(folder + "Receipt.txt", "new day\r\n");
    EXPECT_TRUE(recorder.WaitForCall(FILE_ACTION_ADDED, folder + "Receipt.txt"));
    recorder.Clear();
    AppendToFile(folder + "Receipt.txt", "first receipt\r\n");
    EXPECT_TRUE(recorder.WaitForCall(FILE_ACTION_MODIFIED, folder + "Receipt.txt"));
}

TEST_F(WatchFixture, OverflowedBatchReportsTheWatchedFileAsModified)
{
    WriteWholeFile(folder + "Receipt.txt", "receipt\r\n");
    Start("Receipt.txt", watcher, recorder);
    ASSERT_TRUE(Prime("Receipt.txt", recorder));

    // Hold the worker in a report while far more records pile up than its buffer
    // holds; the watched file's change is among them.
    recorder.Hold();
    AppendToFile(folder + "Receipt.txt", "held\r\n");
    ASSERT_TRUE(recorder.WaitUntilHeldInside());
    recorder.Clear();
    for (int i = 0; i < 60; ++i)
        WriteWholeFile(folder + "a-rather-long-name-for-a-spool-file-" + std::to_string(i) + ".tmp", "x");
    AppendToFile(folder + "Receipt.txt", "lost in the crowd\r\n");
    for (int i = 60; i < 120; ++i)
        WriteWholeFile(folder + "a-rather-long-name-for-a-spool-file-" + std::to_string(i) + ".tmp", "x");
    recorder.Release();
    EXPECT_TRUE(recorder.WaitForCall(FILE_ACTION_MODIFIED, folder + "Receipt.txt"));
}

// An overflowed batch names no file: a watched file that did not change is
// not reported (a refresh-mode source would send it again), one that did is.
TEST_F(WatchFixture, OverflowedBatchReportsOnlyTheWatchedFilesThatChanged)
{
    WriteWholeFile(folder + "Receipt.txt", "receipt\r\n");
    WriteWholeFile(folder + "Other.txt", "other till\r\n");
    watcher.SetCallback(&recorder);
    watcher.StartWatch(folder, std::vector<WATCHED_NAME>{{"Receipt.txt", 0}, {"Other.txt", 1}});
    ASSERT_TRUE(Prime("Receipt.txt", recorder));
    ASSERT_TRUE(Prime("Other.txt", recorder));

    recorder.Hold();
    AppendToFile(folder + "Other.txt", "held\r\n");
    ASSERT_TRUE(recorder.WaitUntilHeldInside());
    recorder.Clear();
    for (int i = 0; i < 60; ++i)
        WriteWholeFile(folder + "a-rather-long-name-for-a-spool-file-" + std::to_string(i) + ".tmp", "x");
    AppendToFile(folder + "Other.txt", "lost in the crowd\r\n");
    for (int i = 60; i < 120; ++i)
        WriteWholeFile(folder + "a-rather-long-name-for-a-spool-file-" + std::to_string(i) + ".tmp", "x");
    recorder.Release();
    // Files are looked at in slot order: had the unchanged one been reported,
    // it would be reported by now.
    EXPECT_TRUE(recorder.WaitForCall(FILE_ACTION_MODIFIED, folder + "Other.txt"));
    EXPECT_TRUE(AllCallsFor(recorder.Calls(), folder + "Other.txt"));
}

// ---------------------------------------------------------------------------
// Stopping

TEST_F(WatchFixture, StopWatchAlwaysEndsAndLeavesNoWakeUpFile)
{
    enum class WHEN { Quiet, ReadOnlyFolder, WakeUpFileBlocked, FolderRemoved, FolderMissingAtStart, ReportRunning };
    const struct {
        const char* szName;
        WHEN eWhen;
    } cases[] = {
        {"quiet folder", WHEN::Quiet},
        {"read-only folder", WHEN::ReadOnlyFolder},
        {"wake-up file cannot be created", WHEN::WakeUpFileBlocked},
        {"folder removed while watched", WHEN::FolderRemoved},
        {"folder missing at start", WHEN::FolderMissingAtStart},
        {"a report runs and another change waits behind it", WHEN::ReportRunning},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        const std::string watched = folder + "w" + std::to_string(n++) + "\\";
        const std::string wakeUp = watched + "RDC_temp.dat";
        CRecorder r;
        CReadDirChange w;
        w.SetCallback(&r);
        if (c.eWhen != WHEN::FolderMissingAtStart) {
            ASSERT_TRUE(CreateDirectoryA(watched.c_str(), nullptr));
            WriteWholeFile(watched + "Receipt.txt", "receipt\r\n");
        }
        if (c.eWhen == WHEN::WakeUpFileBlocked) {
            ASSERT_TRUE(CreateDirectoryA(wakeUp.c_str(), nullptr));
        }
        w.StartWatch(watched, "Receipt.txt", 3);

        if (c.eWhen != WHEN::FolderMissingAtStart) {
            const auto giveUp = std::chrono::steady_clock::now() + DEADLINE;
            bool primed = false;
            while (!primed && std::chrono::steady_clock::now() < giveUp) {
                AppendToFile(watched + "Receipt.txt", ".");
                primed = r.WaitUntil([](const std::vector<CALL>& calls) { return !calls.empty(); }, 200ms);
            }
            ASSERT_TRUE(primed);
        }
        std::future<int> stopping;
        switch (c.eWhen) {
        case WHEN::ReadOnlyFolder:
            ASSERT_TRUE(SetFileAttributesA(watched.c_str(), FILE_ATTRIBUTE_READONLY));
            break;
        case WHEN::FolderRemoved:
            ASSERT_TRUE(DeleteFileA((watched + "Receipt.txt").c_str()));
            ASSERT_TRUE(RemoveDirectoryA(watched.c_str())) << GetLastError();
            break;
        case WHEN::ReportRunning:
            r.Hold();
            AppendToFile(watched + "Receipt.txt", "held\r\n");
            ASSERT_TRUE(r.WaitUntilHeldInside());
            AppendToFile(watched + "Receipt.txt", "waiting behind\r\n");
            stopping = std::async(std::launch::async, [&] { return StopWithinDeadline(w); });
            // Release the report only once the stop is under way.
            for (auto giveUp = std::chrono::steady_clock::now() + DEADLINE;
                 !IsRegularFile(wakeUp) && std::chrono::steady_clock::now() < giveUp;)
                Sleep(5);
            r.Release();
            break;
        default:
            break;
        }

        const int stopped = stopping.valid() ? stopping.get() : StopWithinDeadline(w);
        EXPECT_EQ(1, stopped);
        EXPECT_FALSE(IsRegularFile(wakeUp));
        if (c.eWhen == WHEN::WakeUpFileBlocked) {
            EXPECT_TRUE(IsFolder(wakeUp)) << "what was there before stays";
        }
        if (c.eWhen == WHEN::FolderMissingAtStart) {
            EXPECT_FALSE(IsFolder(watched)) << "stop creates no folder";
        }
        EXPECT_EQ(0, StopWithinDeadline(w)) << "the second stop finds no worker";
        SetFileAttributesA(watched.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(WatchFixture, WatcherWithoutWorkerDoesNotStartOrStop)
{
    const struct {
        const char* szName;
        bool bCallback;
        int nSlot;
    } cases[] = {
        {"no callback", false, 0},
        {"slot below the table", true, -1},
        {"slot beyond the table", true, RDC_TABLE_SIZE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        CReadDirChange w;
        EXPECT_EQ(0, w.StopWatch()) << "idle";
        if (c.bCallback) {
            EXPECT_EQ(1, w.SetCallback(&recorder));
        }
        EXPECT_EQ(0, w.StartWatch(folder, "Receipt.txt", c.nSlot));
        EXPECT_EQ(-1, w.FindWatchedFile("Receipt.txt"));
        EXPECT_EQ(0, StopWithinDeadline(w)) << "nothing was started";
    }
}

TEST_F(WatchFixture, FindWatchedFileIgnoresLetterCaseOnly)
{
    Start("Receipt.TXT", watcher, recorder, 5);
    const struct {
        const char* szName;
        int nSlot;
    } cases[] = {
        {"Receipt.TXT", 5}, {"receipt.txt", 5}, {"RECEIPT.TXT", 5},
        {"Receipt.TXT.bak", -1}, {"sub\\Receipt.TXT", -1}, {"RDC_temp.dat", -1}, {"", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.nSlot, watcher.FindWatchedFile(c.szName)) << c.szName;
    }
}

TEST_F(WatchFixture, StartIsIgnoredWhileAWorkerExistsAndWorksAgainAfterStop)
{
    const std::string later = folder + "later\\";
    WriteWholeFile(folder + "first.txt", "one\r\n");
    watcher.SetCallback(&recorder);
    // The folder is not there yet: the worker ends by itself, and until the stop a
    // second start changes nothing.
    watcher.StartWatch(later, "second.txt", 0);
    watcher.StartWatch(folder, "first.txt", 0);
    EXPECT_EQ(1, StopWithinDeadline(watcher));

    watcher.StartWatch(folder, "first.txt", 0);
    ASSERT_TRUE(Prime("first.txt", recorder));
    EXPECT_EQ(1, StopWithinDeadline(watcher));

    ASSERT_TRUE(CreateDirectoryA(later.c_str(), nullptr));
    WriteWholeFile(later + "second.txt", "two\r\n");
    watcher.StartWatch(later, "second.txt", 0);
    watcher.StartWatch(folder, "first.txt", 0);
    const auto giveUp = std::chrono::steady_clock::now() + DEADLINE;
    bool seen = false;
    while (!seen && std::chrono::steady_clock::now() < giveUp) {
        AppendToFile(folder + "first.txt", ".");
        AppendToFile(later + "second.txt", ".");
        seen = recorder.WaitUntil([](const std::vector<CALL>& calls) { return !calls.empty(); }, 200ms);
    }
    ASSERT_TRUE(seen);
    EXPECT_EQ(1, StopWithinDeadline(watcher));
    EXPECT_TRUE(AllCallsFor(recorder.Calls(), later + "second.txt"));
}

// Writes to a watched file through a hard link in another folder: a write the
// watcher never hears of, as a dropped notification looks to it.
class CUnreportedWriter {
public:
    explicit CUnreportedWriter(const std::string& strPath) : m_strLink(m_Elsewhere.Path() + "link.txt")
    {
        m_bLinked = CreateHardLinkA(m_strLink.c_str(), strPath.c_str(), nullptr) != FALSE;
    }
    ~CUnreportedWriter() { DeleteFileA(m_strLink.c_str()); }
    CUnreportedWriter(const CUnreportedWriter&) = delete;
    CUnreportedWriter& operator=(const CUnreportedWriter&) = delete;

    bool IsLinked() const { return m_bLinked; }
    void Append(const std::string& text) { AppendToFile(m_strLink, text); }

private:
    CTempFolder m_Elsewhere;
    std::string m_strLink;
    bool m_bLinked = false;
};

}  // namespace

// A write the system does not report (here one through a hard link in
// another folder, as a dropped notification looks to the watcher) is still
// reported: at the folder's next change, and by the watcher's own sweep when
// nothing else changes.
TEST_F(WatchFixture, AWriteTheSystemDidNotReportIsReportedAnyway)
{
    WriteWholeFile(folder + "Receipt.txt", "first receipt\r\n");
    WriteWholeFile(folder + "other.txt", "other\r\n");
    CUnreportedWriter unreported(folder + "Receipt.txt");
    ASSERT_TRUE(unreported.IsLinked());
    Start("Receipt.txt", watcher, recorder);
    ASSERT_TRUE(Prime("Receipt.txt", recorder));

    unreported.Append("second receipt\r\n");
    ASSERT_EQ("first receipt\r\n.second receipt\r\n", ReadWholeFile(folder + "Receipt.txt").substr(0, 34));
    // A folder that keeps changing is looked at once in a while, not at every change.
    Sleep(RDC_BUSY_SWEEP_MS + 100);
    AppendToFile(folder + "other.txt", "more\r\n");
    EXPECT_TRUE(recorder.WaitUntil(
        [&](const std::vector<CALL>& calls) { return !calls.empty(); }, std::chrono::milliseconds(RDC_SWEEP_MS / 2)))
        << "at the folder's next change";
    EXPECT_TRUE(AllCallsFor(recorder.Calls(), folder + "Receipt.txt"));
    recorder.Clear();

    unreported.Append("third receipt\r\n");
    EXPECT_TRUE(recorder.WaitForCall(FILE_ACTION_MODIFIED, folder + "Receipt.txt")) << "by the sweep";
    StopWithinDeadline(watcher);
}

// The last write of a burst has no later change to show it: when the system
// drops its notification, the watcher finds it by itself soon after the folder
// has gone quiet, not at its idle sweep. The unreported write here comes while
// the watcher is inside its report of the burst's reported one.
TEST_F(WatchFixture, AnUnreportedLastWriteOfABurstIsReportedSoonAfterTheFolderGoesQuiet)
{
    WriteWholeFile(folder + "Receipt.txt", "first receipt\r\n");
    CUnreportedWriter unreported(folder + "Receipt.txt");
    ASSERT_TRUE(unreported.IsLinked());
    Start("Receipt.txt", watcher, recorder);
    ASSERT_TRUE(Prime("Receipt.txt", recorder));

    recorder.Hold();
    AppendToFile(folder + "Receipt.txt", "second receipt\r\n");
    ASSERT_TRUE(recorder.WaitUntilHeldInside());
    unreported.Append("third receipt\r\n");
    recorder.Clear();
    recorder.Release();
    EXPECT_TRUE(recorder.WaitUntil(
        [&](const std::vector<CALL>& calls) { return !calls.empty(); }, std::chrono::milliseconds(RDC_SWEEP_MS / 2)));
    EXPECT_TRUE(AllCallsFor(recorder.Calls(), folder + "Receipt.txt"));
    StopWithinDeadline(watcher);
}

// A change the watcher found by looking, not by a record, is reported with the
// name as the system spells it, as a record would have it.
TEST_F(WatchFixture, AChangeFoundByLookingIsReportedAsTheSystemSpellsTheName)
{
    WriteWholeFile(folder + "receipt.txt", "first receipt\r\n");
    CUnreportedWriter unreported(folder + "receipt.txt");
    ASSERT_TRUE(unreported.IsLinked());
    Start("Receipt.TXT", watcher, recorder);
    ASSERT_TRUE(Prime("receipt.txt", recorder));

    unreported.Append("second receipt\r\n");
    EXPECT_TRUE(recorder.WaitForCall(FILE_ACTION_MODIFIED, folder + "receipt.txt"));
    EXPECT_TRUE(AllCallsFor(recorder.Calls(), folder + "receipt.txt"));
    StopWithinDeadline(watcher);
}
