#pragma once
// The Infogenesis sources: one connection object per distinct server and
// ports, each with an adapter object of the library, its terminal map and the
// event handler the library calls on its own threads. Data goes to the
// delivery sink; statuses go to CInfogenesisEvents.
//
// Threads: Start, Stop and Restart run on the start/stop thread; OnPosEvent on
// the library's threads. Each connection's m_Gate is held shared by every
// event handler and exclusively by whoever changes the connection's settings
// or waits for handlers to leave; m_bAccepting says whether events count.
#include "capture/DeliverySink.h"
#include "capture/InfogenesisAbi.h"
#include "capture/InfogenesisMap.h"

#include <atomic>
#include <climits>
#include <shared_mutex>
#include <vector>

// Status given for a source whose connection has no adapter object (no
// library, or CreatePtr gave nothing): the row shows it failed.
constexpr int INFOGENESIS_STATUS_NO_ADAPTER = -2;
// Status given for every source when capture stops: the row shows its description again.
constexpr int INFOGENESIS_STATUS_STOPPED = INT_MIN;

class CInfogenesisEvents {
public:
    // nStatus: -1 waiting, 0 connected, 6 reconnecting, INFOGENESIS_STATUS_STOPPED,
    // anything else failed. Any thread.
    virtual void OnInfogenesisStatus(int nSource, int nStatus) = 0;
    // Connection object nObject was lost: restart it in 5 seconds. Any thread.
    virtual void OnInfogenesisLost(int nObject) = 0;

protected:
    ~CInfogenesisEvents() = default;
};

class CInfogenesisInput {
public:
    CInfogenesisInput();
    ~CInfogenesisInput() { Stop(); }
    CInfogenesisInput(const CInfogenesisInput&) = delete;
    CInfogenesisInput& operator=(const CInfogenesisInput&) = delete;

    // Builds the connection objects for the sources (in list order) and starts
    // each; slotOfSource[i] receives the object of sources[i].
    void Start(const std::vector<INFOGENESIS_SOURCE>& sources, const INFOGENESIS_LIBRARY& library,
               CDeliverySink& sink, CInfogenesisEvents& events, std::vector<int>& slotOfSource);
    // Stops every object, waits for handlers still running, releases the
    // adapters. No event reaches the sink or the events after it returns.
    void Stop();
    // Stops object nObject and starts it again (the retry after a lost connection).
    void Restart(int nObject);

    int ConnectionCount() const { return m_nCount; }
    const INFOGENESIS_CONNECTION& Connection(int nObject) const { return m_Connections[nObject].m_Settings; }
    bool IsStarted(int nObject) const { return m_Connections[nObject].m_bStarted; }
    bool HasAdapter(int nObject) const { return m_Connections[nObject].m_pAdapter != nullptr; }

private:
    class CConnection final : public PosCallback {
    public:
        void INFOGENESIS_THISCALL OnPosEvent(const char* pData, int32_t nLength, int32_t nType,
                                             int32_t nTerminalID) override;

        CInfogenesisInput* m_pOwner = nullptr;
        int m_nIndex = 0;
        CInfogenesisAdapter* m_pAdapter = nullptr;  // start/stop thread only
        INFOGENESIS_CONNECTION m_Settings;          // written under m_Gate held exclusively
        bool m_bStarted = false;                    // start/stop thread only
        std::atomic<int> m_nLastStatus{-1};
        std::atomic<int> m_nPosted[MAX_SOURCES];    // last status given per source
        std::atomic<bool> m_bAccepting{false};
        std::shared_mutex m_Gate;
    };

    bool StartConnection(CConnection& connection);
    void StopConnection(CConnection& connection);
    void ReleaseConnection(CConnection& connection);
    void OnEvent(CConnection& connection, const char* pData, int32_t nLength, int32_t nType, int32_t nTerminalID);
    void Post(CConnection& connection, int nSource, int nStatus);
    void PostAll(CConnection& connection, int nStatus);

    CConnection m_Connections[MAX_SOURCES];
    int m_nCount = 0;
    INFOGENESIS_LIBRARY m_Library;
    CDeliverySink* m_pSink = nullptr;
    CInfogenesisEvents* m_pEvents = nullptr;
};
