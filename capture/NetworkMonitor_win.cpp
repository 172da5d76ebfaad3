#include "capture/NetworkMonitor.h"

#include "base/Trace.h"
#include "net/AddressText.h"

#include <cstring>

CNetworkMonitor::CNetworkMonitor(CDeliverySink& sink, CNetworkEvents* pEvents) : m_Sink(sink), m_pEvents(pEvents) {}

void CNetworkMonitor::Note(LOG_LEVEL level, int nSource, const char* pszKind, const std::string& strText)
{
    if (m_pEvents)
        m_pEvents->Note(level, nSource, pszKind, strText);
}

CNetworkMonitor::~CNetworkMonitor()
{
    Stop();
}

bool CNetworkMonitor::Start(const std::vector<NETWORK_SOURCE>& sources)
{
    if (m_bRunning)
        return false;
    m_Sources = sources;
    m_bStopMonitor = false;
    ResetEvent(m_hStopEvent.Get());
    const std::vector<unsigned short> ports = DistinctPorts(m_Sources);
    for (unsigned short nPort : ports) {
        auto pListener = std::make_unique<LISTENER>();
        pListener->nPort = nPort;
        if (!pListener->socket.Create(nPort) || !pListener->socket.Listen(MONITOR_BACKLOG)) {
            const int nError = pListener->socket.ErrorCode();
            Trace("ZZZ Internet Monitor cannot listen on port %u, error %d\n", nPort, nError);
            Note(LOG_LEVEL::LEVEL_ERROR, FirstSourceOnPort(m_Sources, nPort), DIAG_KIND_INPUT_FAILED,
                "cannot listen on TCP port " + std::to_string(nPort) + " for tills (error " + std::to_string(nError) +
                    ")");
            pListener->socket.Close();
            continue;
        }
        m_Listeners.push_back(std::move(pListener));
    }
    for (auto& pListener : m_Listeners)
        pListener->thread = std::thread(&CNetworkMonitor::AcceptThreadProc, this, pListener.get());
    m_bRunning = true;
    return !ports.empty();
}

void CNetworkMonitor::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_ReaderMutex);
        m_bStopMonitor = true;
    }
    SetEvent(m_hStopEvent.Get());
    // Closing a listener cancels its thread's Accept. An accept thread that is
    // handing a connection over finishes that first; the readers are ended
    // only after every accept thread, so none is started behind our back.
    for (auto& pListener : m_Listeners)
        pListener->socket.Close();
    for (auto& pListener : m_Listeners) {
        if (pListener->thread.joinable())
            pListener->thread.join();
    }
    m_Listeners.clear();
    for (int s = 0; s < MAX_SOURCES; ++s) {
        std::unique_ptr<READER> pReader;
        {
            std::lock_guard<std::mutex> lock(m_ReaderMutex);
            pReader = std::move(m_pReader[s]);
        }
        if (pReader)
            EndReader(*pReader, 0);
    }
    m_Sources.clear();
    m_bRunning = false;
}

std::vector<unsigned short> CNetworkMonitor::ListeningPorts() const
{
    std::vector<unsigned short> ports;
    for (const auto& pListener : m_Listeners)
        ports.push_back(pListener->nPort);
    return ports;
}

int CNetworkMonitor::ConnectedCount()
{
    std::lock_guard<std::mutex> lock(m_ReaderMutex);
    int n = 0;
    for (const auto& pReader : m_pReader) {
        if (pReader && WaitForSingleObject(pReader->hEnded.Get(), 0) != WAIT_OBJECT_0)
            ++n;
    }
    return n;
}

int CNetworkMonitor::ThreadCount()
{
    int n = 0;
    for (const auto& pListener : m_Listeners)
        n += pListener->thread.joinable() ? 1 : 0;
    std::lock_guard<std::mutex> lock(m_ReaderMutex);
    for (const auto& pReader : m_pReader)
        n += pReader && pReader->thread.joinable() ? 1 : 0;
    return n;
}

void CNetworkMonitor::AcceptThreadProc(LISTENER* pListener)
{
    CWinsockInit winsock;
    // No limit on how many connections a listener serves: every client may
    // reconnect as often as it likes for as long as capture runs.
    while (!m_bStopMonitor) {
        auto pClient = std::make_unique<CTimeOutSocket>();
        sockaddr_in addr = {};
        int nAddrLen = sizeof addr;
        if (!pListener->socket.Accept(*pClient, reinterpret_cast<sockaddr*>(&addr), &nAddrLen)) {
            if (m_bStopMonitor)
                break;
            Trace("ZZZ Internet Monitor accept failed on port %u, error %d\n", pListener->nPort,
                  pListener->socket.ErrorCode());
            WaitForSingleObject(m_hStopEvent.Get(), MONITOR_ACCEPT_RETRY_MS);
            continue;
        }
        uint8_t ip[4];
        std::memcpy(ip, &addr.sin_addr, sizeof ip);
        const std::string peer = DottedIPv4(ip);
        const int nSource = MatchNetworkSource(m_Sources, peer, pListener->nPort);
        Trace("ZZZ AF Accept Internet Monitor%d\n", nSource);
        if (nSource < 0) {
            // A peer that is no source's client gets nothing and keeps nothing.
            Trace("ZZZ Internet Monitor closes %s on port %u: no source has this client\n", peer.c_str(),
                  pListener->nPort);
            pClient->Close();
            if (m_pEvents)
                m_pEvents->OnTillRefused(FirstSourceOnPort(m_Sources, pListener->nPort), peer, pListener->nPort);
            continue;
        }
        HandOver(nSource, std::move(pClient), peer);
    }
}

// A source is served by one connection at a time, its client's newest: an
// earlier one still open is ended first (a client that reconnects has
// usually lost the old connection, or its peer has already closed it).
void CNetworkMonitor::HandOver(int nSource, std::unique_ptr<CTimeOutSocket> pClient, const std::string& strPeer)
{
    std::unique_ptr<READER> pOld;
    {
        std::lock_guard<std::mutex> lock(m_ReaderMutex);
        pOld = std::move(m_pReader[nSource]);
    }
    if (pOld)
        EndReader(*pOld, MONITOR_DRAIN_MS);

    auto pReader = std::make_unique<READER>();
    pReader->pSocket = std::move(pClient);
    std::lock_guard<std::mutex> lock(m_ReaderMutex);
    if (m_bStopMonitor) {
        pReader->pSocket->Close();
        return;
    }
    READER* p = pReader.get();
    Note(LOG_LEVEL::LEVEL_INFO, nSource, nullptr, "till connected from " + strPeer);
    pReader->thread = std::thread(&CNetworkMonitor::ReaderThreadProc, this, nSource, p, strPeer);
    m_pReader[nSource] = std::move(pReader);
}

void CNetworkMonitor::EndReader(READER& reader, unsigned long nDrainMs)
{
    if (nDrainMs > 0) {
        const HANDLE handles[2] = {reader.hEnded.Get(), m_hStopEvent.Get()};
        WaitForMultipleObjects(2, handles, FALSE, nDrainMs);
    }
    reader.pSocket->Close();
    if (reader.thread.joinable())
        reader.thread.join();
}

void CNetworkMonitor::ReaderThreadProc(int nSource, READER* pReader, std::string strPeer)
{
    CWinsockInit winsock;
    std::unique_ptr<uint8_t[]> pBuf(new uint8_t[MONITOR_RECV_MAX]);
    for (;;) {
        const int n = pReader->pSocket->Receive(pBuf.get(), MONITOR_RECV_MAX);
        if (n < 1) {
            Trace("ZZZ Connect Disconnect\n");
            break;
        }
        m_Sink.Deliver(nSource, pBuf.get(), n);
    }
    // The connection is of no more use: give its handle back now rather than
    // at the client's next connection or at stop.
    pReader->pSocket->Close();
    SetEvent(pReader->hEnded.Get());
    Note(LOG_LEVEL::LEVEL_INFO, nSource, nullptr, "till connection from " + strPeer + " ended");
}
