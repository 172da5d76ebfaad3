#pragma once
// The program's diagnostics: every line to the log file "Tillvox.log" in the
// data folder, and warnings and errors that carry a kind also to the Windows
// event log, through a thread of its own so that no caller waits for the
// event log service. Made first at program start and ended last, so that the
// start and the end of the program are in the file.
#include "base/EventReporter.h"
#include "base/LogFile.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CProgramLog {
public:
    // strFolder ends in a path separator; pEventLog may be null (no event log).
    CProgramLog(const std::string& strFolder, std::unique_ptr<CEventReporter> pEventLog,
        std::chrono::milliseconds dueEvery = std::chrono::seconds(15));
    ~CProgramLog();  // enters what waits, then writes what is queued
    CProgramLog(const CProgramLog&) = delete;
    CProgramLog& operator=(const CProgramLog&) = delete;

    // Any thread; never waits for the disk or the event log.
    void Write(LOG_LEVEL level, const std::string& strSource, const char* pszKind, const std::string& strText);

    // Entries waiting for the event log's thread at most; more are left out of
    // the event log (the log file still has them).
    static constexpr size_t EVENT_QUEUE_MAX = 256;

private:
    struct EVENT {
        LOG_LEVEL level;
        std::string strSource;
        std::string strKind;
        std::string strText;
    };
    void EventThreadProc();

    CLogFile m_LogFile;
    std::unique_ptr<CEventReporter> m_pEventLog;
    const std::chrono::milliseconds m_DueEvery;
    // m_EventMutex guards m_Events and m_bStop: any thread pushes, the event thread takes.
    std::mutex m_EventMutex;
    std::condition_variable m_EventChanged;
    std::deque<EVENT> m_Events;
    bool m_bStop = false;
    std::thread m_EventThread;  // last: started when everything it uses exists
};
