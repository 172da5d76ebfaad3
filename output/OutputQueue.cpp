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
    std::lock_guard<std::mutex> lock(m_Mutex);
    NibbleSwap(bytes, m_SwapBuf.get(), static_cast<size_t>(count));
    m_Buffer.SetLastChunkLen(count);
    const bool bWasWaiting = m_Buffer.UsedLen() > 0;
    if (!m_Buffer.Append(m_SwapBuf.get(), count)) {
        m_Counters.nBytesDropped += static_cast<uint64_t>(count);
        Trace("ZZZ Internet Stream%d queue full, piece of %d bytes dropped\n", m_nSource.load(), count);
        return;
    }
    if (m_pJournal)
        m_pJournal->Appended(m_SwapBuf.get(), static_cast<size_t>(count));
    if (!ShouldSendLocked() || m_pDrain == nullptr) {
        Trace("ZZZ Internet Stream%d Wait Timeout, so store send data\n", m_nSource.load());
        return;
    }
    m_pDrain->OnPieceQueuedLocked(bWasWaiting);
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
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Buffer.Clear();
    m_Buffer.SetLastChunkLen(0);
    m_nInFlight = 0;
    m_bReady = false;
    m_bFailed = false;
    m_strStoreKey.clear();
}

void COutputQueue::AcknowledgeLocked()
{
    if (m_nInFlight <= 0)
        return;
    TakeFrontLocked(m_nInFlight);
    m_nInFlight = 0;
}

void COutputQueue::TakeFrontLocked(int count)
{
    const int taken = std::clamp(count, 0, m_Buffer.UsedLen());
    m_Buffer.RemoveFront(taken);
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
