#include "output/OutputQueue.h"

#include "base/Trace.h"
#include "output/NibbleSwap.h"

#include <algorithm>
#include <ctime>

COutputQueue::COutputQueue() : m_SwapBuf(new uint8_t[SWAP_BUF_SIZE]())
{
}

void COutputQueue::Deliver(const uint8_t* bytes, int count)
{
    if (bytes == nullptr || count <= 0)
        return;
    m_Counters.AddCaptured(static_cast<uint64_t>(count), static_cast<int64_t>(std::time(nullptr)));
    KeepLastReceipt(bytes, count);
    // A caller may hand over more than the swap buffer holds: deliver it in
    // pieces that fit, in order, rather than overrun it or lose the rest.
    while (count > 0) {
        const int piece = std::min(count, DELIVER_PIECE_MAX);
        DeliverPiece(bytes, piece);
        bytes += piece;
        count -= piece;
    }
}

void COutputQueue::DeliverPiece(const uint8_t* bytes, int count)
{
    DROP_NOTE note;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        NibbleSwap(bytes, m_SwapBuf.get(), static_cast<size_t>(count));
        m_Buffer.SetLastChunkLen(count);
        const bool bWasWaiting = m_Buffer.UsedLen() > 0;
        if (!m_Buffer.Append(m_SwapBuf.get(), count)) {
            m_Counters.nBytesDropped += static_cast<uint64_t>(count);
            Trace("ZZZ Internet Stream%d queue full, piece of %d bytes dropped\n", m_nSource.load(), count);
            note.bFirst = m_nDropRunPieces == 0;
            note.nBytes = static_cast<uint64_t>(count);
            note.nQueued = m_Buffer.UsedLen();
            m_nDropRunBytes += static_cast<uint64_t>(count);
            ++m_nDropRunPieces;
        } else {
            SetQueuedGaugeLocked();
            if (m_nDropRunPieces > 0) {
                note.bRunOver = true;
                note.nBytes = m_nDropRunBytes;
                note.nPieces = m_nDropRunPieces;
                m_nDropRunBytes = 0;
                m_nDropRunPieces = 0;
            }
            if (m_pJournal)
                m_pJournal->Appended(m_SwapBuf.get(), static_cast<size_t>(count), m_Buffer.Data(),
                                     static_cast<size_t>(m_Buffer.UsedLen()));
            if (!ShouldSendLocked() || m_pDrain == nullptr)
                Trace("ZZZ Internet Stream%d Wait Timeout, so store send data\n", m_nSource.load());
            else
                m_pDrain->OnPieceQueuedLocked(bWasWaiting);
        }
    }
    ReportDrop(note);
}

// A full queue drops every piece until the output takes from it again: one
// line when the dropping starts and one with the total when it ends, however
// many pieces a flood brings in between.
void COutputQueue::ReportDrop(const DROP_NOTE& note)
{
    if (!m_pDiagnostics)
        return;
    if (note.bFirst)
        m_pDiagnostics->Note(LOG_LEVEL::LEVEL_WARNING, m_nSource, DIAG_KIND_QUEUE_FULL,
            "queue full (" + std::to_string(note.nQueued) + " bytes wait): a piece of " +
                std::to_string(note.nBytes) + " bytes was dropped");
    if (note.bRunOver)
        m_pDiagnostics->Note(LOG_LEVEL::LEVEL_INFO, m_nSource, nullptr,
            "queue takes text again; " + std::to_string(note.nBytes) + " bytes in " +
                std::to_string(note.nPieces) + (note.nPieces == 1 ? " piece were" : " pieces were") +
                " dropped while it was full");
}

void COutputQueue::KeepLastReceipt(const uint8_t* bytes, int count)
{
    const size_t nKept = std::min(static_cast<size_t>(count), LAST_RECEIPT_MAX);
    const char* pFrom = reinterpret_cast<const char*>(bytes) + (static_cast<size_t>(count) - nKept);
    std::lock_guard<std::mutex> lock(m_LastReceiptMutex);
    m_strLastReceipt.assign(pFrom, nKept);
}

std::string COutputQueue::LastReceipt() const
{
    std::lock_guard<std::mutex> lock(m_LastReceiptMutex);
    return m_strLastReceipt;
}

void COutputQueue::Attach(CQueueDrain* pDrain)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_pDrain = pDrain;
}

void COutputQueue::Clear()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Buffer.Clear();
        m_Buffer.SetLastChunkLen(0);
        m_nInFlight = 0;
        m_bReady = false;
        m_bFailed = false;
        m_strStoreKey.clear();
        m_nDropRunBytes = 0;
        m_nDropRunPieces = 0;
    }
    // Each of these locks is taken alone.
    m_Counters.Reset();
    m_bLoggedInBefore = false;
    std::lock_guard<std::mutex> lock(m_LastReceiptMutex);
    m_strLastReceipt.clear();
}

void COutputQueue::CountLogin(const std::string& strPeer)
{
    if (m_bLoggedInBefore.exchange(true))
        ++m_Counters.nRecorderReconnects;
    m_Counters.SetRecorderAddress(strPeer);
}

int COutputQueue::AcknowledgeLocked()
{
    if (m_nInFlight <= 0)
        return 0;
    const int nAcknowledged = std::min(m_nInFlight, m_Buffer.UsedLen());
    TakeFrontLocked(m_nInFlight);
    m_nInFlight = 0;
    m_Counters.AddAcknowledged(static_cast<uint64_t>(nAcknowledged), static_cast<int64_t>(std::time(nullptr)));
    return nAcknowledged;
}

void COutputQueue::TakeFrontLocked(int count)
{
    const int taken = std::clamp(count, 0, m_Buffer.UsedLen());
    m_Buffer.RemoveFront(taken);
    SetQueuedGaugeLocked();
    if (m_pJournal)
        m_pJournal->Consumed(static_cast<size_t>(taken), m_Buffer.Data(), static_cast<size_t>(m_Buffer.UsedLen()));
}

QUEUE_FILE_CONTENT COutputQueue::OpenStore(const std::string& strKey, std::unique_ptr<CQueueJournal> pJournal)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    QUEUE_FILE_CONTENT content;
    if (strKey == m_strStoreKey) {
        pJournal->Rewrite(m_Buffer.Data(), static_cast<size_t>(m_Buffer.UsedLen()));
    } else {
        content = pJournal->Open();
        m_Buffer.Clear();
        m_nInFlight = 0;
        if (!content.pending.empty())
            m_Buffer.Append(content.pending.data(), static_cast<int>(content.pending.size()));
        m_strStoreKey = strKey;
        SetQueuedGaugeLocked();
    }
    m_pJournal = std::move(pJournal);
    return content;
}

void COutputQueue::CloseStore()
{
    std::unique_ptr<CQueueJournal> pJournal;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        pJournal = std::move(m_pJournal);
        // What lived only in memory gets one last try at the disk.
        if (pJournal)
            pJournal->CatchUp(m_Buffer.Data(), static_cast<size_t>(m_Buffer.UsedLen()));
    }
    // The file's last flush happens here, outside the lock.
}

bool COutputQueue::HasStore()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_pJournal != nullptr;
}

bool COutputQueue::IsStoreWritable()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_pJournal && m_pJournal->IsWritable();
}

bool COutputQueue::IsWaitingForAck()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_nInFlight > 0;
}

int COutputQueue::QueuedLen()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Buffer.UsedLen();
}

int COutputQueue::InFlightLen()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_nInFlight;
}
