#include "app/ProgramLog.h"

#include <chrono>

CProgramLog::CProgramLog(const std::string& strFolder, std::unique_ptr<CEventReporter> pEventLog,
    std::chrono::milliseconds dueEvery)
    : m_LogFile(strFolder), m_pEventLog(std::move(pEventLog)), m_DueEvery(dueEvery)
{
    if (m_pEventLog)
        m_EventThread = std::thread(&CProgramLog::EventThreadProc, this);
}

CProgramLog::~CProgramLog()
{
    {
        std::lock_guard<std::mutex> lock(m_EventMutex);
        m_bStop = true;
    }
    m_EventChanged.notify_all();
    if (m_EventThread.joinable())
        m_EventThread.join();
}

void CProgramLog::Write(LOG_LEVEL level, const std::string& strSource, const char* pszKind, const std::string& strText)
{
    m_LogFile.Write(level, strSource, strText);
    if (!m_pEventLog || level == LOG_LEVEL::LEVEL_INFO || pszKind == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(m_EventMutex);
        if (m_bStop || m_Events.size() >= EVENT_QUEUE_MAX)
            return;
        m_Events.push_back(EVENT{level, strSource, pszKind, strText});
    }
    m_EventChanged.notify_one();
}

void CProgramLog::EventThreadProc()
{
    // The counts of floods that stopped are entered now and then, not only
    // when the next event of their kind comes.
    auto nextDue = std::chrono::steady_clock::now() + m_DueEvery;
    std::unique_lock<std::mutex> lock(m_EventMutex);
    for (;;) {
        m_EventChanged.wait_until(lock, nextDue, [this] { return m_bStop || !m_Events.empty(); });
        while (!m_Events.empty()) {
            EVENT event = std::move(m_Events.front());
            m_Events.pop_front();
            lock.unlock();
            m_pEventLog->Report(event.level, event.strSource, event.strKind, event.strText);
            lock.lock();
        }
        if (m_bStop)
            break;
        if (std::chrono::steady_clock::now() >= nextDue) {
            lock.unlock();
            m_pEventLog->ReportDue(false);
            lock.lock();
            nextDue = std::chrono::steady_clock::now() + m_DueEvery;
        }
    }
    lock.unlock();
    m_pEventLog->ReportDue(true);
}
