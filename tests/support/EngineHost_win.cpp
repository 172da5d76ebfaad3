#include "tests/support/EngineHost.h"

void CEngineHost::OnListCellPosted(int slot)
{
    LIST_CELL_UPDATE update;
    if (!pEngine || !pEngine->TakeListCell(slot, update) || update.nColumn != 0)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_status[update.nRow] = update.strText;
    m_changed.notify_all();
}

void CEngineHost::CautionBox(int, const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cautions.push_back(text);
    m_changed.notify_all();
}

std::string CEngineHost::GetString(const char* key)
{
    return HostText(key);
}

std::string CEngineHost::StatusOf(int row)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_status[row];
}

bool CEngineHost::WaitForStatus(int row, const std::string& text, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_status[row] == text; });
}

std::vector<std::string> CEngineHost::Cautions()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cautions;
}

bool CEngineHost::WaitForCautions(size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_cautions.size() >= count; });
}

void CEngineHost::OnInfogenesisStatus(int nSource, int nStatus)
{
    if (!pEngine || nSource < 0 || nSource >= MAX_SOURCES)
        return;
    const std::string text = pEngine->InfogenesisRowText(nSource, nStatus);
    if (text.empty())
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sourceText[nSource] = text;
    m_changed.notify_all();
}

void CEngineHost::ArmInfogenesisRetry(int nObject)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_retries.push_back(nObject);
    m_changed.notify_all();
}

std::string CEngineHost::SourceTextOf(int row)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sourceText[row];
}

bool CEngineHost::WaitForSourceText(int row, const std::string& text, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_sourceText[row] == text; });
}

std::vector<int> CEngineHost::RetryRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_retries;
}

CHostedEngine::CHostedEngine(CEngineHost& host) : CCaptureEngine(host)
{
    host.pEngine = this;
    LoadTexts();
}

CHostedEngine::~CHostedEngine()
{
    if (m_bRunning)
        Stop();
}

LINK_TIMING QuickLinkTiming()
{
    LINK_TIMING timing;
    timing.nReplyPauseMs = 20;
    timing.nRecvTimeoutMs = 5000;
    timing.nLoginTimeoutMs = 3000;
    return timing;
}
