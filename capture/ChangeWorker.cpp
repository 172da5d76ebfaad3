#include "capture/ChangeWorker.h"

#include <system_error>
#include <utility>

bool CChangeWorker::Start(HANDLER handler)
{
    Stop();
    m_Handler = std::move(handler);
    {
        std::lock_guard<std::mutex> lock(m_QueueMutex);
        m_bEnd = false;
        m_Queue.clear();
    }
    try {
        m_Thread = std::thread(&CChangeWorker::Run, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CChangeWorker::Post(uint32_t dwAction, const std::string& strPath)
{
    {
        std::lock_guard<std::mutex> lock(m_QueueMutex);
        if (m_bEnd || !m_Thread.joinable())
            return;
        m_Queue.push_back(CHANGE{dwAction, strPath});
    }
    m_cvQueued.notify_one();
}

void CChangeWorker::Stop()
{
    if (!m_Thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_QueueMutex);
        m_bEnd = true;
    }
    m_cvQueued.notify_one();
    m_Thread.join();
}

void CChangeWorker::Run()
{
    std::vector<CHANGE> batch;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_QueueMutex);
            m_cvQueued.wait(lock, [&] { return m_bEnd || !m_Queue.empty(); });
            if (m_Queue.empty())
                return;  // ended, and nothing is left to handle
            batch.swap(m_Queue);
        }
        for (const CHANGE& change : batch) m_Handler(change.dwAction, change.strPath);
        batch.clear();
    }
}
