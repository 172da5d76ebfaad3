#include "capture/InfogenesisInput.h"

#include <mutex>

CInfogenesisInput::CInfogenesisInput()
{
    for (int k = 0; k < MAX_SOURCES; ++k) {
        m_Connections[k].m_pOwner = this;
        m_Connections[k].m_nIndex = k;
        for (auto& posted : m_Connections[k].m_nPosted)
            posted = INFOGENESIS_STATUS_STOPPED;
    }
}

void CInfogenesisInput::Start(const std::vector<INFOGENESIS_SOURCE>& sources, const INFOGENESIS_LIBRARY& library,
                              CDeliverySink& sink, CInfogenesisEvents& events, std::vector<int>& slotOfSource)
{
    Stop();
    m_Library = library;
    m_pSink = &sink;
    m_pEvents = &events;
    std::vector<INFOGENESIS_CONNECTION> connections = GroupConnections(sources, slotOfSource);
    m_nCount = static_cast<int>(connections.size());
    for (int k = 0; k < m_nCount; ++k) {
        std::unique_lock<std::shared_mutex> gate(m_Connections[k].m_Gate);
        m_Connections[k].m_Settings = std::move(connections[static_cast<size_t>(k)]);
    }
    for (int k = 0; k < m_nCount; ++k)
        StartConnection(m_Connections[k]);
}

void CInfogenesisInput::Stop()
{
    // Each library is stopped, and its handlers still running are waited for,
    // before anything they may touch goes away.
    for (int k = 0; k < m_nCount; ++k) {
        StopConnection(m_Connections[k]);
        ReleaseConnection(m_Connections[k]);
    }
    if (m_pEvents) {
        for (int k = 0; k < m_nCount; ++k) {
            for (int nSource : m_Connections[k].m_Settings.sources)
                m_pEvents->OnInfogenesisStatus(nSource, INFOGENESIS_STATUS_STOPPED);
        }
    }
    m_nCount = 0;
}

void CInfogenesisInput::Restart(int nObject)
{
    if (nObject < 0 || nObject >= m_nCount)
        return;
    CConnection& connection = m_Connections[nObject];
    if (connection.m_bStarted)
        StopConnection(connection);
    if (!connection.m_bStarted)
        StartConnection(connection);
}

bool CInfogenesisInput::StartConnection(CConnection& connection)
{
    if (!connection.m_pAdapter && m_Library.pfnCreatePtr && m_Library.pfnDeletePtr)
        connection.m_pAdapter = m_Library.pfnCreatePtr();
    if (!connection.m_pAdapter) {
        // Nothing will ever report on these sources: say so on their rows.
        PostAll(connection, INFOGENESIS_STATUS_NO_ADAPTER);
        return false;
    }
    connection.m_bStarted = true;
    connection.m_nLastStatus = -1;
    connection.m_bAccepting = true;
    connection.m_pAdapter->RegisterCallback(&connection);
    const INFOGENESIS_CONNECT_RECORD record = BuildConnectRecord(connection.m_Settings);
    PostAll(connection, -1);
    return connection.m_pAdapter->Start(record);
}

void CInfogenesisInput::StopConnection(CConnection& connection)
{
    connection.m_bAccepting = false;
    if (connection.m_pAdapter) {
        connection.m_bStarted = false;
        connection.m_pAdapter->Stop();
    }
    // A handler that entered before the flag went down finishes first.
    std::unique_lock<std::shared_mutex> gate(connection.m_Gate);
}

void CInfogenesisInput::ReleaseConnection(CConnection& connection)
{
    if (connection.m_pAdapter && m_Library.pfnDeletePtr) {
        m_Library.pfnDeletePtr(connection.m_pAdapter);
        connection.m_pAdapter = nullptr;
    }
    std::unique_lock<std::shared_mutex> gate(connection.m_Gate);
    connection.m_Settings.terminals.clear();
}

void INFOGENESIS_THISCALL CInfogenesisInput::CConnection::OnPosEvent(const char* pData, int32_t nLength,
                                                                     int32_t nType, int32_t nTerminalID)
{
    std::shared_lock<std::shared_mutex> gate(m_Gate);
    if (!m_bAccepting)
        return;
    m_pOwner->OnEvent(*this, pData, nLength, nType, nTerminalID);
}

void CInfogenesisInput::OnEvent(CConnection& connection, const char* pData, int32_t nLength, int32_t nType,
                                int32_t nTerminalID)
{
    switch (nType) {
    case INFOGENESIS_EVENT_DATA: {
        const int nSource = SourceOfTerminal(connection.m_Settings.terminals, nTerminalID);
        if (nSource < 0)
            return;
        Post(connection, nSource, 0);
        connection.m_nLastStatus = 0;
        if (pData && nLength > 0)
            m_pSink->Deliver(nSource, reinterpret_cast<const uint8_t*>(pData), nLength);
        return;
    }
    case INFOGENESIS_EVENT_TERMINAL_FAILED: {
        const int nSource = SourceOfTerminal(connection.m_Settings.terminals, nTerminalID);
        if (nSource >= 0)
            Post(connection, nSource, INFOGENESIS_EVENT_TERMINAL_FAILED);
        return;
    }
    case INFOGENESIS_EVENT_LOST:
        connection.m_nLastStatus = INFOGENESIS_EVENT_LOST;
        PostAll(connection, INFOGENESIS_EVENT_LOST);
        m_pEvents->OnInfogenesisLost(connection.m_nIndex);
        return;
    case INFOGENESIS_EVENT_RESTORED:
        PostAll(connection, 0);
        connection.m_nLastStatus = 0;
        return;
    default:
        connection.m_nLastStatus = nType;
        // Whatever the library says, it never reads as "stopped".
        PostAll(connection, nType == INFOGENESIS_STATUS_STOPPED ? 1 : nType);
        return;
    }
}

void CInfogenesisInput::Post(CConnection& connection, int nSource, int nStatus)
{
    if (nSource < 0 || nSource >= MAX_SOURCES)
        return;
    // Each source's row changes once per change, not once per receipt.
    if (connection.m_nPosted[nSource].exchange(nStatus) == nStatus && nStatus == 0)
        return;
    m_pEvents->OnInfogenesisStatus(nSource, nStatus);
}

void CInfogenesisInput::PostAll(CConnection& connection, int nStatus)
{
    for (int nSource : connection.m_Settings.sources)
        Post(connection, nSource, nStatus);
}
