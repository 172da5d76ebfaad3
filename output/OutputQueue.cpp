#include "output/OutputQueue.h"

#include "base/Trace.h"
#include "output/NibbleSwap.h"

#include <algorithm>

COutputQueue::COutputQueue() : m_SwapBuf(new uint8_t[SWAP_BUF_SIZE]())
{
}

void COutputQueue::Deliver(const uint8_t* bytes, int count)
{
    if (bytes == nullptr || count <= 0)
        return;
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
        Trace("ZZZ Internet Stream%d queue full, piece of %d bytes dropped\n", m_nSource, count);
        return;
    }
    if (!ShouldSendLocked() || m_pDrain == nullptr) {
        Trace("ZZZ Internet Stream%d Wait Timeout, so store send data\n", m_nSource);
        return;
    }
    m_pDrain->OnPieceQueuedLocked(bWasWaiting);
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
}

void COutputQueue::AcknowledgeLocked()
{
    if (m_nInFlight <= 0)
        return;
    m_Buffer.RemoveFront(m_nInFlight);
    m_nInFlight = 0;
}

void COutputQueue::TakeFrontLocked(int count)
{
    m_Buffer.RemoveFront(count);
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
