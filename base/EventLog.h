#pragma once
#include "base/EventReporter.h"
#include "base/LogLine.h"
#include "base/RateLimiter.h"

#include <cstdint>
#include <functional>
#include <string>

// Errors and warnings for the Windows Application event log under the source
// "Tillvox" (the setup program registers it with Tillvox.exe as its message
// file). A flood of one event (per source and kind) makes at most one entry
// a minute; the entry after it says how many were held back. Information is
// not entered: it belongs in the log file. Failures are ignored: the event
// log is a convenience, never a reason to stop.
// Any thread; ReportEventW may be called concurrently.
class CEventLog : public CEventReporter {
public:
    using CLOCK_MS = std::function<int64_t()>;  // a steady clock in milliseconds

    explicit CEventLog(const std::wstring& strEventSource = L"Tillvox", CLOCK_MS clock = nullptr,
        int64_t nIntervalMs = 60 * 1000);
    ~CEventLog() override;
    CEventLog(const CEventLog&) = delete;
    CEventLog& operator=(const CEventLog&) = delete;

    // strKind names the event for the rate limit ("wrong password", "queue full").
    // Returns true when an entry was written.
    bool Report(LOG_LEVEL level, const std::string& strSource, const std::string& strKind,
        const std::string& strText) override;

    // Enters the counts of floods that stopped (call it now and then, e.g.
    // with the metrics); returns how many entries were written.
    int ReportDue(bool bAtEnd = false) override;

private:
    bool Enter(LOG_LEVEL level, const std::string& strText);

    void* m_hEventSource = nullptr;  // HANDLE from RegisterEventSourceW, or null
    CLOCK_MS m_clock;
    CRateLimiter m_limiter;
};
