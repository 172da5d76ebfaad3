#pragma once
// The recorder link output: the recorder logs in on the source's TCP port and
// takes the queue in chunks, one in flight until it acknowledges it.
#include "base/WinHandle.h"
#include "link/LinkQueue.h"
#include "link/RecorderLink.h"
#include "net/TimeOutSocket.h"
#include "output/Output.h"

#include <atomic>

class CRecorderOutput : public COutput, private CLinkQueue, private CQueueDrain {
public:
    explicit CRecorderOutput(COutputQueue& queue) : m_Queue(queue) {}
    ~CRecorderOutput() override;

    void Open(int nSource, const POS_SETTING_INFO& record, COutputEvents& events) override;
    void BeginClose() override;
    void Close() override;

private:
    // CLinkQueue, on the link thread.
    void Connected(uintptr_t hConnection) override;
    void LoggedIn() override;
    void Acknowledged() override;
    void Dropped() override;
    bool SendMessage(const uint8_t* bytes, int count) override;
    void ListenFailed() override;
    void Listening() override;
    void WrongPassword() override;

    void OnPieceQueuedLocked(bool bWasWaiting) override;
    // The caller holds the queue's lock.
    void SendNextChunkLocked();
    void Report(OUTPUT_STATUS eStatus);

    COutputQueue& m_Queue;
    int m_nSource = -1;
    COutputEvents* m_pEvents = nullptr;
    std::atomic<bool> m_bOpen{false};
    // The link's connection as the sending side sees it (attached, never
    // owning); used under the queue's lock.
    CTimeOutSocket m_SendSocket;
    CRecorderLink m_Link;
};
