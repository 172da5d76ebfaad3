// The delivery stage: every capture kind hands its bytes to a source's output here.
#include "app/CaptureEngine.h"
#include "capture/NibbleSwap.h"
#include "capture/Trace.h"

#include <algorithm>
#include <cstring>

void CCaptureEngine::Deliver(int i, const uint8_t* bytes, int count)
{
    if (i < 0 || i >= MAX_SOURCES || bytes == nullptr || count <= 0)
        return;
    // A caller may hand over more than the copy buffers hold: deliver it in
    // pieces that fit, in order, rather than overrun them or lose the rest.
    while (count > 0) {
        const int piece = std::min(count, DELIVER_PIECE_MAX);
        DeliverPiece(i, bytes, piece);
        bytes += piece;
        count -= piece;
    }
}

void CCaptureEngine::DeliverPiece(int i, const uint8_t* bytes, int count)
{
    std::lock_guard<std::mutex> lock(m_ReservedBufMutex[i]);
    std::memset(m_RecvCopyBuf[i].get(), 0, RECV_COPY_BUF_SIZE);
    std::memset(m_SwapBuf[i].get(), 0, SWAP_BUF_SIZE);
    std::memset(m_ScratchBuf[i].get(), 0, SCRATCH_BUF_SIZE);
    std::memcpy(m_RecvCopyBuf[i].get(), bytes, static_cast<size_t>(count));
    NibbleSwap(m_RecvCopyBuf[i].get(), m_SwapBuf[i].get(), static_cast<size_t>(count));

    if (m_OutputReady[i] == 0 || m_WaitAck[i] == 1) {
        StorePiece(i, count);
        return;
    }
    if (IsSerialOutput(i))
        DeliverSerial(i, count);
    else if (IsTcpOutput(i))
        DeliverTcp(i, count);
}

void CCaptureEngine::StorePiece(int i, int count)
{
    m_WaitAck[i] = 0;
    Trace("ZZZ Internet Stream%d Wait Timeout, so store send data\n", i);
    m_ReservedBuf[i].Append(m_SwapBuf[i].get(), count);
}
