#include "base/LogQueue.h"

#include <utility>

CLogQueue::CLogQueue(size_t nMaxLines, size_t nMaxBytes) : m_nMaxLines(nMaxLines), m_nMaxBytes(nMaxBytes)
{
}

bool CLogQueue::Push(std::string line)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_lines.size() >= m_nMaxLines || m_nBytes + line.size() > m_nMaxBytes) {
            ++m_nDropped;
            return false;
        }
        m_nBytes += line.size();
        m_lines.push_back(std::move(line));
    }
    m_cvChanged.notify_one();
    return true;
}

LOG_BATCH CLogQueue::Take(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_cvChanged.wait_for(lock, timeout, [this] { return m_bStopped || !m_lines.empty() || m_nDropped > 0; });
    LOG_BATCH batch;
    batch.lines.assign(std::make_move_iterator(m_lines.begin()), std::make_move_iterator(m_lines.end()));
    batch.nDropped = m_nDropped;
    m_lines.clear();
    m_nBytes = 0;
    m_nDropped = 0;
    return batch;
}

void CLogQueue::PutBack(LOG_BATCH batch)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_nDropped += batch.nDropped;
    for (auto it = batch.lines.rbegin(); it != batch.lines.rend(); ++it) {
        m_nBytes += it->size();
        m_lines.push_front(std::move(*it));
    }
    TrimToBounds();
}

void CLogQueue::TrimToBounds()
{
    while (!m_lines.empty() && (m_lines.size() > m_nMaxLines || m_nBytes > m_nMaxBytes)) {
        m_nBytes -= m_lines.back().size();
        m_lines.pop_back();
        ++m_nDropped;
    }
}

bool CLogQueue::WaitForStop(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_cvChanged.wait_for(lock, timeout, [this] { return m_bStopped; });
}

void CLogQueue::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bStopped = true;
    }
    m_cvChanged.notify_all();
}

bool CLogQueue::Stopped() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_bStopped;
}

size_t CLogQueue::Lines() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lines.size();
}
