#pragma once
// The serial line output: writes of at most COM_WRITE_MAX bytes from the
// queue's front, by the delivering thread when the queue was empty, the rest
// by a writer thread of its own.
#include "base/WinHandle.h"
#include "output/Output.h"

#include <atomic>
#include <thread>

constexpr int COM_WRITE_MAX = 256;

class CSerialOutput : public COutput, private CQueueDrain {
public:
    explicit CSerialOutput(COutputQueue& queue) : m_Queue(queue) {}
    ~CSerialOutput() override;

    void Open(int nSource, const POS_SETTING_INFO& record, COutputEvents& events) override;
    void Close() override;
    void SetProbe(COutputProbe* pProbe) override { m_pProbe = pProbe; }

private:
    void OnPieceQueuedLocked(bool bWasWaiting) override;
    // Writes from the front and takes off what the port took; the caller holds the queue's lock.
    int WriteComLocked(bool bFromWriterThread);
    void WriterThreadProc();

    COutputQueue& m_Queue;
    int m_nSource = -1;
    COutputProbe* m_pProbe = nullptr;
    bool m_bOpen = false;
    // Used under the queue's lock by delivering threads and the writer.
    CHandle m_hComPort;
    std::thread m_ComWriterThread;
    CAutoEvent m_ComStopEvent;
    CAutoEvent m_ComDataEvent;
};
