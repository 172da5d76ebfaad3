#pragma once
// One source's output towards the recorder: the queue of text waiting for it,
// the lock that guards that queue, and the serial port or recorder link that
// takes the text. Every rule about the source's lock lives in this class.
//
// Lock: m_ReservedBufMutex guards m_ReservedBuf, m_nInFlight, m_bReady, the
// swap buffer and m_SendSocket; it is held across every serial write and
// every send to the recorder, so that nothing lands inside a chunk. It is
// never held while a status is reported.
#include "base/WinHandle.h"
#include "config/PosSettingInfo.h"
#include "link/LinkQueue.h"
#include "link/RecorderLink.h"
#include "net/TimeOutSocket.h"
#include "output/OutputEvents.h"
#include "output/ReservedBuffer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

constexpr int SWAP_BUF_SIZE = 102404;
constexpr int DELIVER_PIECE_MAX = 102400;
constexpr int COM_WRITE_MAX = 256;

class COutputSlot : private CLinkQueue {
public:
    COutputSlot();
    ~COutputSlot();
    COutputSlot(const COutputSlot&) = delete;
    COutputSlot& operator=(const COutputSlot&) = delete;

    // Opens the output the record names (serial port and its writer, or the
    // recorder link) for source nSource; reports the first status.
    void Open(int nSource, const POS_SETTING_INFO& record, COutputEvents& events);
    // Ends the writer or the link and closes the port; the queue is kept until Reset.
    void Close();
    // Asks the output to end without waiting (the recorder link's calls are
    // cut short), so that many outputs end together; Close then waits.
    void BeginClose();
    // Back to the state of a new slot: the queue emptied, no flag left over.
    void Reset();

    // The hand-over from every input: nibble-swaps the bytes and queues or
    // sends them. Any thread; any size (split into pieces that fit).
    void Deliver(const uint8_t* bytes, int count);

    void SetProbe(COutputProbe* pProbe) { m_pProbe = pProbe; }
    bool IsFailed() const { return m_bFailed; }
    bool IsReady() const { return m_bReady; }
    bool IsWaitingForAck();
    int QueuedLen();
    int InFlightLen();

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

    void DeliverPiece(const uint8_t* bytes, int count);
    // The caller holds m_ReservedBufMutex for all of these.
    void SendNextChunkLocked();
    int WriteComLocked(bool bFromWriterThread);
    void OpenSerial(const POS_SETTING_INFO& record);
    void CloseSerial();
    void WriterThreadProc();
    void Report(OUTPUT_STATUS eStatus);

    int m_nSource = -1;
    PRINTER_TYPE m_eType = PRINTER_TYPE::Serial;
    COutputEvents* m_pEvents = nullptr;
    COutputProbe* m_pProbe = nullptr;
    std::atomic<bool> m_bOpen{false};

    std::mutex m_ReservedBufMutex;
    CReservedBuffer m_ReservedBuf;
    std::unique_ptr<uint8_t[]> m_SwapBuf;
    // TCP: bytes at the front of the queue sent to the recorder and not yet
    // acknowledged; they leave the queue only with the acknowledgement.
    int m_nInFlight = 0;
    // Serial: port open. TCP: a recorder is logged in. Read without the lock for views.
    std::atomic<bool> m_bReady{false};
    // Serial only: the port could not be opened (no input is started for the source).
    std::atomic<bool> m_bFailed{false};

    // TCP: the link's connection as the sending side sees it (attached, never owning).
    CTimeOutSocket m_SendSocket;
    CRecorderLink m_Link;

    // Serial: the port, used under the lock by delivering threads and the writer.
    CHandle m_hComPort;
    std::thread m_ComWriterThread;
    CAutoEvent m_ComStopEvent;
    CAutoEvent m_ComDataEvent;
};
