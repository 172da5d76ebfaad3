#pragma once
// One source's queue of nibble-swapped text waiting for its output, the lock
// that guards it, and the decision whether a piece handed over is sent at once
// or stored. The queue outlives the output that drains it: a stop, a start or
// a change of output keeps what waits.
//
// Lock: m_Mutex guards m_Buffer, m_nInFlight, the swap buffer and the drain.
// The output holds it across every serial write and every send to the
// recorder (calls ending in Locked), so that nothing lands inside a chunk. It
// is never held while a status is reported. Lock order, outermost first: a
// file source's capture lock, then this lock, then the recorder socket's.
#include "base/Diagnostics.h"
#include "base/SourceCounters.h"
#include "output/QueueJournal.h"
#include "output/ReservedBuffer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

constexpr int SWAP_BUF_SIZE = 102404;
constexpr int DELIVER_PIECE_MAX = 102400;
constexpr size_t LAST_RECEIPT_MAX = 65536;

// The output draining a queue. Called with the queue's lock held.
class CQueueDrain {
public:
    // A piece was queued while the output is ready and nothing is in flight;
    // bWasWaiting: other bytes were queued before it.
    virtual void OnPieceQueuedLocked(bool bWasWaiting) = 0;

protected:
    ~CQueueDrain() = default;
};

class COutputQueue {
public:
    COutputQueue();
    COutputQueue(const COutputQueue&) = delete;
    COutputQueue& operator=(const COutputQueue&) = delete;

    void SetSource(int nSource) { m_nSource = nSource; }
    int Source() const { return m_nSource; }
    // Where queue-full drops are reported; set before capture starts (null: nowhere).
    void SetDiagnostics(CDiagnostics* pDiagnostics) { m_pDiagnostics = pDiagnostics; }

    // The hand-over from every input: nibble-swaps and queues the bytes, and
    // lets the drain send them when it can. Any thread; any size (split into
    // pieces that fit the swap buffer, in order).
    void Deliver(const uint8_t* bytes, int count);

    // The output that takes from the front from now on (null: none). Takes the lock.
    void Attach(CQueueDrain* pDrain);
    // Back to a new queue: emptied, no flag left, no file taken over (the file
    // itself is left to its owner), counted from zero.
    void Clear();

    // Writes the queue through to a file from now on. A queue never written
    // to strKey before takes what the file holds; one that was (it lived on in
    // memory since) writes what it holds to the file. Returns what was read.
    QUEUE_FILE_CONTENT OpenStore(const std::string& strKey, std::unique_ptr<CQueueJournal> pJournal);
    // Stops writing through, after one last try to write a queue that lived
    // in memory (the file out of step); the file then stays as it is.
    void CloseStore();
    const std::string& StoreKey() const { return m_strStoreKey; }
    bool HasStore();
    // False when there is no file or its writes fail: what waits is in memory only.
    bool IsStoreWritable();

    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(m_Mutex); }
    // With the lock held.
    const uint8_t* FrontLocked() const { return m_Buffer.Data(); }
    int UsedLenLocked() const { return m_Buffer.UsedLen(); }
    int InFlightLocked() const { return m_nInFlight; }
    // Bytes at the front went out and wait for an acknowledgement.
    void SetInFlightLocked(int count) { m_nInFlight = count; }
    // The bytes in flight were acknowledged: they leave the queue. Returns how many.
    int AcknowledgeLocked();
    // The connection went: what was in flight goes out again first.
    void ForgetInFlightLocked() { m_nInFlight = 0; }
    // Bytes at the front were written where no acknowledgement comes (a serial line).
    void TakeFrontLocked(int count);
    // Ready: the output can take bytes now (port open, recorder logged in).
    void SetReadyLocked(bool bReady) { m_bReady = bReady; }
    // Whether a piece just queued goes out now or waits.
    bool ShouldSendLocked() const { return m_bReady && m_nInFlight == 0; }

    // Views; they take the lock (ready and failed are read without it).
    bool IsReady() const { return m_bReady; }
    bool IsFailed() const { return m_bFailed; }
    void SetFailed(bool bFailed) { m_bFailed = bFailed; }
    bool IsWaitingForAck();
    int QueuedLen();
    int InFlightLen();

    // What this source did since the program started; any thread.
    SOURCE_COUNTERS& Counters() { return m_Counters; }
    const SOURCE_COUNTERS& Counters() const { return m_Counters; }
    // A recorder logged in: counts a reconnect when one had logged in before
    // (since the program started, or since the source was made).
    void CountLogin(const std::string& strPeer);
    // The last receipt as an input handed it over (before the swap), cut to
    // its last LAST_RECEIPT_MAX bytes; any thread.
    std::string LastReceipt() const;

private:
    // What a piece did to a run of drops; reported after the lock is let go.
    struct DROP_NOTE {
        bool bFirst = false;       // the queue was full and dropped its first piece
        bool bRunOver = false;     // it took a piece again after a run of drops
        uint64_t nBytes = 0;       // first: the piece dropped; run over: all bytes dropped in the run
        uint64_t nPieces = 0;
        int nQueued = 0;
    };
    void DeliverPiece(const uint8_t* bytes, int count);
    void ReportDrop(const DROP_NOTE& note);
    void SetQueuedGaugeLocked() { m_Counters.nBytesQueued = static_cast<uint64_t>(m_Buffer.UsedLen()); }
    void KeepLastReceipt(const uint8_t* bytes, int count);

    std::atomic<int> m_nSource{-1};
    std::mutex m_Mutex;
    CReservedBuffer m_Buffer;
    std::unique_ptr<uint8_t[]> m_SwapBuf;
    // Bytes at the front sent to the recorder and not yet acknowledged; they
    // leave the queue only with the acknowledgement.
    int m_nInFlight = 0;
    CQueueDrain* m_pDrain = nullptr;
    // Written through before a piece can be sent and as the front moves.
    std::unique_ptr<CQueueJournal> m_pJournal;
    // The file whose content this queue took over; changed on the start/stop thread only.
    std::string m_strStoreKey;
    // Serial: port open. TCP: a recorder is logged in. Read without the lock for views.
    std::atomic<bool> m_bReady{false};
    // Serial only: the port could not be opened (no input is started for the source).
    std::atomic<bool> m_bFailed{false};

    SOURCE_COUNTERS m_Counters;
    std::atomic<bool> m_bLoggedInBefore{false};
    // The run of pieces dropped since the queue was last able to take one; under m_Mutex.
    uint64_t m_nDropRunBytes = 0;
    uint64_t m_nDropRunPieces = 0;
    CDiagnostics* m_pDiagnostics = nullptr;
    // m_LastReceiptMutex guards m_strLastReceipt only; taken alone, never nested.
    mutable std::mutex m_LastReceiptMutex;
    std::string m_strLastReceipt;
};
