#include "base/EventLog.h"

#include "base/EventLogText.h"
#include "base/Trace.h"

#include <windows.h>

#include <chrono>

namespace {

std::wstring WideFromUtf8(const std::string& strText)
{
    if (strText.empty())
        return std::wstring();
    const int nChars = MultiByteToWideChar(CP_UTF8, 0, strText.data(), static_cast<int>(strText.size()), nullptr, 0);
    if (nChars <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(nChars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, strText.data(), static_cast<int>(strText.size()), &wide[0], nChars);
    return wide;
}

WORD EventType(LOG_LEVEL level)
{
    switch (level) {
    case LOG_LEVEL::LEVEL_WARNING: return EVENTLOG_WARNING_TYPE;
    case LOG_LEVEL::LEVEL_ERROR: return EVENTLOG_ERROR_TYPE;
    case LOG_LEVEL::LEVEL_INFO: break;
    }
    return EVENTLOG_INFORMATION_TYPE;
}

int64_t SteadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

CEventLog::CEventLog(const std::wstring& strEventSource, CLOCK_MS clock, int64_t nIntervalMs)
    : m_hEventSource(RegisterEventSourceW(nullptr, strEventSource.c_str())),
      m_clock(clock ? std::move(clock) : CLOCK_MS(SteadyMilliseconds)),
      m_limiter(nIntervalMs)
{
    if (!m_hEventSource)
        Trace("Tillvox: the event source could not be registered (error %lu)\n", GetLastError());
}

CEventLog::~CEventLog()
{
    if (m_hEventSource)
        DeregisterEventSource(m_hEventSource);
}

bool CEventLog::Report(LOG_LEVEL level, const std::string& strSource, const std::string& strKind,
    const std::string& strText)
{
    if (level == LOG_LEVEL::LEVEL_INFO)
        return false;
    const CRateLimiter::VERDICT verdict = m_limiter.Check(strSource, strKind, m_clock());
    if (!verdict.bLetThrough)
        return false;
    return Enter(level, EventLogText(strSource, strText, verdict.nSuppressed));
}

int CEventLog::ReportDue(bool bAtEnd)
{
    int nEntered = 0;
    for (const CRateLimiter::SUMMARY& summary : m_limiter.Due(m_clock(), bAtEnd)) {
        if (Enter(LOG_LEVEL::LEVEL_WARNING,
                EventLogSummaryText(summary.strSource, summary.strKind, summary.nSuppressed)))
            ++nEntered;
    }
    return nEntered;
}

bool CEventLog::Enter(LOG_LEVEL level, const std::string& strText)
{
    if (!m_hEventSource)
        return false;
    const std::wstring wide = WideFromUtf8(strText);
    LPCWSTR strings[] = {wide.c_str()};
    if (!ReportEventW(m_hEventSource, EventType(level), 0, EventIdForLevel(level), nullptr, 1, 0, strings, nullptr)) {
        Trace("Tillvox: an event log entry could not be written (error %lu)\n", GetLastError());
        return false;
    }
    return true;
}
