// The video-server link of a TCP output: accepts the recorder, answers its
// login challenge and keep-alive checks, and releases queued text chunk by
// chunk on its acknowledgements.
#include "app/CaptureEngine.h"
#include "capture/Trace.h"
#include "link/LinkCodec.h"

#include <algorithm>
#include <cstring>

void CCaptureEngine::LinkThreadProc(int i)
{
    CWinsockInit winsock;
    Trace("kassimo%d listen_socket's handle=%d  send_socket's handle=%d\n", i,
          static_cast<int>(m_LinkListenSocket[i].Handle()), static_cast<int>(m_LinkConnSocket[i].Handle()));
    while (!End_TCP_Thread_Event[i]) {
        if (!m_LinkListenSocket[i].Accept(m_LinkConnSocket[i]))
            break;  // stop closed the listening socket, or it never listened
        {
            std::lock_guard<std::mutex> lock(m_ReservedBufMutex[i]);
            m_LinkHandles[i].hSend = m_LinkConnSocket[i].Handle();
        }
        const bool bAcceptNext = ServeLinkConnection(i, Source(i).strPassword);
        DropLinkConnection(i);
        if (!bAcceptNext)
            break;
    }
}

// Receive cycles on one connection; false when the link is to end.
bool CCaptureEngine::ServeLinkConnection(int i, const std::string& password)
{
    CTimeOutSocket& conn = m_LinkConnSocket[i];
    uint8_t block[LINK_MSG_SIZE];
    for (;;) {
        if (End_TCP_Thread_Event[i])
            return false;
        std::memset(block, 0, sizeof block);
        conn.ArmTimeout(LINK_RECV_TIMEOUT_MS);
        const int n = conn.Receive(block, static_cast<int>(sizeof block));
        conn.DisarmTimeout();

        if (n < 0) {
            m_OutputReady[i] = 0;
            m_WaitAck[i] = 0;
            if (End_TCP_Thread_Event[i])
                return false;
            // Reset, abort, silence past the time-out, or any other failure of
            // this connection: drop it and wait for the recorder to come back.
            Trace("[Tillvox] POS:%d link receive failed, error %d\n", i, conn.ErrorCode());
            return true;
        }
        if (n == 0) {
            m_OutputReady[i] = 0;
            return true;
        }
        switch (ClassifyLinkBlock(block, n)) {
        case LINK_BLOCK_CHALLENGE: {
            bool bKeepConnection = true;
            LinkLogin(i, password, block, bKeepConnection);
            if (!bKeepConnection)
                return true;
            break;
        }
        case LINK_BLOCK_KEEPALIVE:
            conn.Send(LINK_KEEPALIVE_ANSWER, static_cast<int>(LINK_KEEPALIVE_ANSWER_SIZE));
            Trace("[Tillvox] POS:%d, Send Keep Alive\n", i);
            break;
        case LINK_BLOCK_ACK:
            LinkAcknowledged(i);
            break;
        case LINK_BLOCK_IGNORED:
            break;
        }
    }
}

void CCaptureEngine::LinkLogin(int i, const std::string& password, const uint8_t* challenge, bool& bKeepConnection)
{
    CTimeOutSocket& conn = m_LinkConnSocket[i];
    const LINK_CHALLENGE_RESULT result = VerifyChallenge(password, challenge);
    if (!result.bMatch) {
        uint8_t refusal[LINK_MSG_SIZE];
        BuildRefusal(refusal);
        conn.Send(refusal, static_cast<int>(sizeof refusal));
        m_Callback.CautionBox(m_Callback.GetString("IDS_PTS_WARNING_WRONG_PASSWORD"));
        return;
    }
    if (End_TCP_Thread_Event[i])
        return;
    uint8_t reply[LINK_MSG_SIZE];
    BuildLoginReply(reply, result.nEchoA, result.nEchoB);
    if (End_TCP_Thread_Event[i])
        return;
    if (conn.Send(reply, static_cast<int>(sizeof reply)) < 0) {
        // The recorder is gone before it heard the answer: the row must not
        // claim a connection, and the next recorder is accepted.
        m_OutputReady[i] = 0;
        bKeepConnection = false;
        return;
    }
    m_OutputReady[i] = 1;
    PostListCell(i, 0, m_strConnected);
}

void CCaptureEngine::LinkAcknowledged(int i)
{
    std::lock_guard<std::mutex> lock(m_ReservedBufMutex[i]);
    if (m_ReservedBuf[i].UsedLen() <= 0) {
        m_WaitAck[i] = 0;
        return;
    }
    Sleep(LINK_ACK_PAUSE_MS);
    const int w = static_cast<int>(LinkChunkSize(static_cast<size_t>(m_ReservedBuf[i].UsedLen())));
    m_LinkConnSocket[i].ArmTimeout(LINK_RECV_TIMEOUT_MS);
    const int sent = m_LinkConnSocket[i].Send(m_ReservedBuf[i].Data(), w);
    m_LinkConnSocket[i].DisarmTimeout();
    // A chunk that did not go out stays queued for the next connection.
    m_ReservedBuf[i].RemoveFront(std::max(sent, 0));
}

void CCaptureEngine::DropLinkConnection(int i)
{
    {
        std::lock_guard<std::mutex> lock(m_ReservedBufMutex[i]);
        m_OutputReady[i] = 0;
        if (m_SendSocketAttached[i]) {
            std::lock_guard<std::mutex> attach(m_SocketAttachMutex);
            m_SendSocket[i].Detach();
            m_SendSocketAttached[i] = 0;
        }
        m_LinkHandles[i].hSend = INVALID_SOCKET;
    }
    m_LinkConnSocket[i].Close();
    if (!End_TCP_Thread_Event[i])
        PostListCell(i, 0, m_strWaitConnect);
}
