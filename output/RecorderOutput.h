#pragma once
// The recorder link output: the recorder logs in on the source's TCP port and
// takes the queue in chunks, one in flight until it acknowledges it.
#include "base/WinHandle.h"
#include "link/LinkQueue.h"
#include "link/RecorderLink.h"
#include "net/TimeOutSocket.h"
#include "output/Output.h"

#include <atomic>
#include <string>

class CRecorderOutput : public COutput, private CLinkQueue, private CQueueDrain {
public:
    CRecorderOutput(COutputQueue& queue, const LINK_TIMING& timing) : m_Queue(queue), m_Timing(timing) {}
    ~CRecorderOutput() override;

    void Open(int nSource, const POS_SETTING_INFO& record, COutputEvents& events) override;
    void BeginClose() override;
    void Close() override;

private:
    // CLinkQueue, on the link thread.
    void Connected(uintptr_t hConnection, const std::string& strPeer) override;
    void LoggedIn() override;
    void Acknowledged() override;
    void Dropped(LINK_DROP eReason) override;
    bool SendMessage(const uint8_t* bytes, int count) override;
    void ListenFailed() override;
    void Listening() override;
    void Refused(REFUSAL_REASON eReason) override;

    void OnPieceQueuedLocked(bool bWasWaiting) override;
    // The caller holds the queue's lock.
    void SendNextChunkLocked();
    void Report(OUTPUT_STATUS eStatus);
    void Note(LOG_LEVEL level, const char* pszKind, const std::string& strText);

    COutputQueue& m_Queue;
    const LINK_TIMING m_Timing;
    int m_nSource = -1;
    COutputEvents* m_pEvents = nullptr;
    std::atomic<bool> m_bOpen{false};
    int m_nPort = 0;
    // The connection's peer and whether it logged in; link thread only.
    std::string m_strPeer;
    bool m_bLoggedIn = false;
    // A failed listen was reported; link thread (and Open) only.
    bool m_bListenFailed = false;
    // The link's connection as the sending side sees it (attached, never
    // owning); used under the queue's lock.
    CTimeOutSocket m_SendSocket;
    CRecorderLink m_Link;
};
