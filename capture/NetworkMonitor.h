#pragma once
// Network sources: POS clients connect to this program and stream their
// receipt text. One listener and accept thread per distinct port, one reader
// per connected source; what a reader receives goes to the delivery sink.
#include "base/Diagnostics.h"
#include "capture/DeliverySink.h"
#include "capture/NetworkSources.h"
#include "net/TimeOutSocket.h"
#include "base/WinHandle.h"
#include "net/WinsockInit.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The most a reader takes from its connection in one receive, and so the
// largest piece it delivers.
constexpr int MONITOR_RECV_MAX = 3072;
// Connections a listener lets wait for its accept: one per source at most.
constexpr int MONITOR_BACKLOG = MAX_SOURCES;
// When a client connects again while its earlier connection is still being
// read, the old reader gets this long to read what the client sent on the old
// connection before closing it, and ends at once once the peer has closed it.
constexpr unsigned long MONITOR_DRAIN_MS = 1000;
// Pause after an accept that failed for another reason than stop, so that a
// broken listener does not spin.
constexpr unsigned long MONITOR_ACCEPT_RETRY_MS = 100;

// What the monitor reports besides the bytes; called on its accept and reader threads.
class CNetworkEvents : public CDiagnostics {
public:
    // A connection from strPeer (dotted address) on nPort matched no source
    // and was closed; nSource is the first source listening on that port.
    virtual void OnTillRefused(int nSource, const std::string& strPeer, unsigned short nPort) = 0;

protected:
    ~CNetworkEvents() = default;
};

class CNetworkMonitor {
public:
    explicit CNetworkMonitor(CDeliverySink& sink, CNetworkEvents* pEvents = nullptr);
    ~CNetworkMonitor();
    CNetworkMonitor(const CNetworkMonitor&) = delete;
    CNetworkMonitor& operator=(const CNetworkMonitor&) = delete;

    // Listens on every distinct port of the sources and starts one accept
    // thread per port that could be opened (a port that cannot be opened is
    // traced and left out). True when the sources name at least one port.
    // Call only while stopped.
    bool Start(const std::vector<NETWORK_SOURCE>& sources);
    // Closes the listeners, ends the accept threads, then closes every client
    // connection and ends its reader. Returns when every thread has ended.
    // A second Stop does nothing.
    void Stop();

    // Views for the engine and for tests.
    bool IsRunning() const { return m_bRunning; }
    std::vector<unsigned short> ListeningPorts() const;
    // Sources whose reader still serves a connection.
    int ConnectedCount();
    // Threads started and not yet waited for (accept threads and readers).
    int ThreadCount();

private:
    struct LISTENER {
        unsigned short nPort = 0;
        CTimeOutSocket socket;
        std::thread thread;
    };
    struct READER {
        std::unique_ptr<CTimeOutSocket> pSocket;
        std::thread thread;
        CHandle hEnded{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    };

    void AcceptThreadProc(LISTENER* pListener);
    void HandOver(int nSource, std::unique_ptr<CTimeOutSocket> pClient, const std::string& strPeer);
    void ReaderThreadProc(int nSource, READER* pReader, std::string strPeer);
    void Note(LOG_LEVEL level, int nSource, const char* pszKind, const std::string& strText);
    // Waits up to nDrainMs for the reader to end by itself (stop cuts the
    // wait short), then closes its connection and waits for the thread.
    void EndReader(READER& reader, unsigned long nDrainMs);

    CDeliverySink& m_Sink;
    CNetworkEvents* m_pEvents;
    CWinsockInit m_Winsock;

    // Written by Start and Stop on the user-interface thread while no accept
    // thread runs; read by the accept threads.
    std::vector<NETWORK_SOURCE> m_Sources;
    std::vector<std::unique_ptr<LISTENER>> m_Listeners;
    bool m_bRunning = false;

    // Set by Stop (under m_ReaderMutex, so that no reader starts after it);
    // read by the accept threads. The event wakes their pauses.
    std::atomic<bool> m_bStopMonitor{false};
    CHandle m_hStopEvent{CreateEventA(nullptr, TRUE, FALSE, nullptr)};

    // m_ReaderMutex guards the m_pReader slots: the accept thread of the
    // source's port replaces a slot, Stop empties them all. A reader's socket
    // is closed by the reader itself when its peer ends, or by whoever takes
    // it out of its slot; CTimeOutSocket makes that close happen once.
    std::mutex m_ReaderMutex;
    std::unique_ptr<READER> m_pReader[MAX_SOURCES];
};
