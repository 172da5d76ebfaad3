// Diagnostic lines as a debug output viewer reads them from a running program.
#include "base/Trace.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// The viewer's side of the system's debug output buffer: while it is open,
// each line a program writes lands in the shared buffer, after the writer's
// process id. Lines are taken as soon as they come, as a viewer does: writers
// of every process wait for the buffer while a line sits in it.
class CDebugOutputViewer {
public:
    CDebugOutputViewer()
        : m_hMutex(CreateMutexA(nullptr, FALSE, "DBWinMutex")),
          m_hBufferReady(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY")),
          m_hDataReady(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY")),
          m_hMapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, BUFFER_SIZE, "DBWIN_BUFFER")),
          m_pView(static_cast<const char*>(MapViewOfFile(m_hMapping, FILE_MAP_READ, 0, 0, BUFFER_SIZE)))
    {
        if (IsOpen())
            m_Reader = std::thread([this] { ReadLines(); });
    }
    ~CDebugOutputViewer()
    {
        m_bEnd = true;
        if (m_Reader.joinable())
            m_Reader.join();
        if (m_pView) UnmapViewOfFile(m_pView);
        for (HANDLE h : {m_hMapping, m_hDataReady, m_hBufferReady, m_hMutex})
            if (h) CloseHandle(h);
    }
    bool IsOpen() const { return m_pView != nullptr && m_hDataReady != nullptr && m_hBufferReady != nullptr; }

    // True when this process wrote exactly the line within the time.
    bool WaitForLine(const std::string& line, DWORD timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_LinesMutex);
        return m_cvLine.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return std::find(m_Lines.begin(), m_Lines.end(), line) != m_Lines.end();
        });
    }

private:
    void ReadLines()
    {
        SetEvent(m_hBufferReady);
        while (!m_bEnd) {
            if (WaitForSingleObject(m_hDataReady, 50) != WAIT_OBJECT_0)
                continue;
            DWORD pid = 0;
            memcpy(&pid, m_pView, sizeof pid);
            const std::string line(m_pView + sizeof pid, strnlen(m_pView + sizeof pid, BUFFER_SIZE - sizeof pid));
            SetEvent(m_hBufferReady);
            if (pid != GetCurrentProcessId())
                continue;
            std::lock_guard<std::mutex> lock(m_LinesMutex);
            m_Lines.push_back(line);
            m_cvLine.notify_all();
        }
    }

    static const DWORD BUFFER_SIZE = 4096;
    HANDLE m_hMutex;
    HANDLE m_hBufferReady;
    HANDLE m_hDataReady;
    HANDLE m_hMapping;
    const char* m_pView;
    std::atomic<bool> m_bEnd{false};
    std::thread m_Reader;
    // m_LinesMutex guards m_Lines, filled by the reader thread.
    std::mutex m_LinesMutex;
    std::condition_variable m_cvLine;
    std::vector<std::string> m_Lines;
};

}  // namespace

TEST(Trace, AViewerOpenedWhileTheProgramRunsReadsItsLinesWhole)
{
    // Lines written while nobody reads go nowhere, and writing them costs nothing.
    Trace("ZZZ Internet Stream%d BF Send\n", 3);
    CDebugOutputViewer viewer;
    ASSERT_TRUE(viewer.IsOpen());
    // A viewer is noticed within a second.
    Sleep(1200);
    Trace("ZZZ TCPMonitorThreadProc kassimo%d TCP send byte number=%d\n", 3, 501);
    EXPECT_TRUE(viewer.WaitForLine("ZZZ TCPMonitorThreadProc kassimo3 TCP send byte number=501\n", 5000));
    Trace("kassimo This file is append mode\n");
    EXPECT_TRUE(viewer.WaitForLine("kassimo This file is append mode\n", 5000));
}
