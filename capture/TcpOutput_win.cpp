// TCP printer output: the listening port a recorder connects to, and the sends
// of the delivery stage on that connection, paced by the acknowledgement flag.
#include "app/CaptureEngine.h"
#include "capture/TcpPort.h"
#include "capture/Trace.h"
#include "link/LinkCodec.h"

#include <algorithm>

void CCaptureEngine::OpenTcpOutput(int i)
{
    const int port = ParseTcpPortNumber(Source(i).strPort);
    CTimeOutSocket& listener = m_LinkListenSocket[i];
    if (port < 0) {
        Trace("[Tillvox] POS:%d has no valid TCP port in \"%s\"\n", i, Source(i).strPort.c_str());
    } else if (!listener.Create(static_cast<unsigned short>(port)) || !listener.Listen(5)) {
        Trace("[Tillvox] POS:%d cannot listen on TCP port %d, error %d\n", i, port, listener.ErrorCode());
        listener.Close();
    }
    {
        std::lock_guard<std::mutex> lock(m_ReservedBufMutex[i]);
        m_LinkHandles[i] = LINK_HANDLES{i, listener.Handle(), INVALID_SOCKET};
    }
    End_TCP_Thread_Event[i] = 0;
    m_LinkThread[i] = std::thread(&CCaptureEngine::LinkThreadProc, this, i);
    PostListCell(i, 0, m_strWaitConnect);
}

// Runs with m_ReservedBufMutex[i] held, only while a recorder is logged in and no acknowledgement is awaited.
void CCaptureEngine::DeliverTcp(int i, int count)
{
    Trace("ZZZ Internet Stream%d BF Send\n", i);
    if (!m_SendSocketAttached[i]) {
        std::lock_guard<std::mutex> attach(m_SocketAttachMutex);
        m_SendSocket[i].Attach(m_LinkHandles[i].hSend);
        m_SendSocketAttached[i] = 1;
    }
    Trace("m_ReservedBufUsedLen[index]=%d\n", m_ReservedBuf[i].UsedLen());
    m_ReservedBuf[i].SetLastChunkLen(count);
    const bool bWaiting = m_ReservedBuf[i].UsedLen() > 0;
    if (m_ReservedBuf[i].Append(m_SwapBuf[i].get(), count)) {
        const int w = static_cast<int>(LinkChunkSize(static_cast<size_t>(m_ReservedBuf[i].UsedLen())));
        // Bounded: a recorder that stops reading must not hold the capture thread for ever.
        m_SendSocket[i].ArmTimeout(LINK_RECV_TIMEOUT_MS);
        const int sent = m_SendSocket[i].Send(m_ReservedBuf[i].Data(), w);
        m_SendSocket[i].DisarmTimeout();
        if (!bWaiting)
            Trace("ZZZ TCPMonitorThreadProc kassimo%d TCP send byte number=%d\n", i, sent);
        // What did not go out stays at the front for the next logged-in connection.
        m_ReservedBuf[i].RemoveFront(std::max(sent, 0));
    }
    m_WaitAck[i] = 1;
    Trace("ZZZ Internet Stream%d AF Send\n", i);
}

void CCaptureEngine::CancelTcpOutput(int i)
{
    // Closing cancels the link's blocking Accept or Receive and waits for it to
    // return; a capture thread's send on the same connection then fails too.
    m_LinkListenSocket[i].Close();
    m_LinkConnSocket[i].Close();
}

void CCaptureEngine::CloseTcpOutput(int i)
{
    if (m_LinkThread[i].joinable())
        m_LinkThread[i].join();
    Trace("kassimo%d pass End_TCP_Thread_Event\n", i);
    std::lock_guard<std::mutex> lock(m_ReservedBufMutex[i]);
    if (m_SendSocketAttached[i]) {
        std::lock_guard<std::mutex> attach(m_SocketAttachMutex);
        m_SendSocket[i].Detach();
        m_SendSocketAttached[i] = 0;
    }
    m_LinkHandles[i] = LINK_HANDLES{};
}
