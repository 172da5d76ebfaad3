#include "capture/RetryTimer.h"

#include <algorithm>
#include <system_error>
#include <utility>

bool CRetryTimer::Start(HANDLER handler)
{
    Stop();
    m_Handler = std::move(handler);
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bEnd = false;
        m_Retries.clear();
        m_nWaiting = 0;
    }
    try {
        m_Thread = std::thread(&CRetryTimer::Run, this);
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bEnd = true;
        return false;
    }
    return true;
}

void CRetryTimer::Schedule(int nSlot, int nDelayMs)
{
    const CLOCK::time_point due = CLOCK::now() + std::chrono::milliseconds(std::max(nDelayMs, 0));
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_bEnd)
            return;
        auto it = std::find_if(m_Retries.begin(), m_Retries.end(), [&](const RETRY& r) { return r.nSlot == nSlot; });
        if (it != m_Retries.end())
            it->due = due;
        else
            m_Retries.push_back(RETRY{nSlot, due});
        m_nWaiting = static_cast<int>(m_Retries.size());
    }
    m_cvChanged.notify_one();
}

void CRetryTimer::Cancel(int nSlot)
{
    if (m_nWaiting == 0)
        return;
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto isSlot = [&](const RETRY& r) { return r.nSlot == nSlot; };
    m_Retries.erase(std::remove_if(m_Retries.begin(), m_Retries.end(), isSlot), m_Retries.end());
    m_nWaiting = static_cast<int>(m_Retries.size());
}

void CRetryTimer::Stop()
{
    if (!m_Thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bEnd = true;
        m_Retries.clear();
        m_nWaiting = 0;
    }
    m_cvChanged.notify_one();
    m_Thread.join();
}

void CRetryTimer::Run()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    while (!m_bEnd) {
        if (m_Retries.empty()) {
            m_cvChanged.wait(lock);
            continue;
        }
        auto first = std::min_element(m_Retries.begin(), m_Retries.end(),
                                      [](const RETRY& a, const RETRY& b) { return a.due < b.due; });
        if (first->due > CLOCK::now()) {
            m_cvChanged.wait_until(lock, first->due);
            continue;
        }
        const int nSlot = first->nSlot;
        m_Retries.erase(first);
        m_nWaiting = static_cast<int>(m_Retries.size());
        lock.unlock();
        m_Handler(nSlot);
        lock.lock();
    }
}
