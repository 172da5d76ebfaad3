#include "link/RecorderLink.h"

#include "base/Trace.h"
#include "link/LinkCodec.h"
#include "net/WinsockInit.h"

#include <cstring>

namespace {
// A failed accept that is not a stop is tried again after this pause, for as long as capture runs.
const DWORD ACCEPT_RETRY_PAUSE_MS = 500;
}  // namespace

bool CRecorderLink::Start(int nSource, int nPort, const std::string& strPassword, CLinkQueue& queue)
{
    Stop();
    m_nSource = nSource;
    m_strPassword = strPassword;
    m_pQueue = &queue;
    m_bEnd = false;
    m_hEndEvent.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (nPort < 1 || nPort > 65535) {
        Trace("[Tillvox] POS:%d has no valid TCP port\n", nSource);
        queue.ListenFailed();
        return false;
    }
    if (!m_Listen.Create(static_cast<unsigned short>(nPort)) || !m_Listen.Listen(5)) {
        Trace("[Tillvox] POS:%d cannot listen on TCP port %d, error %d\n", nSource, nPort, m_Listen.ErrorCode());
        m_Listen.Close();
        queue.ListenFailed();
        return false;
    }
    m_Thread = std::thread(&CRecorderLink::ThreadProc, this);
    return true;
}

void CRecorderLink::BeginStop()
{
    m_bEnd = true;
    if (m_hEndEvent.IsValid())
        SetEvent(m_hEndEvent.Get());
    m_Conn.Shutdown();
}

void CRecorderLink::Stop()
{
    BeginStop();
    m_Listen.Close();
    if (m_Thread.joinable())
        m_Thread.join();
    m_Conn.Close();
}

void CRecorderLink::PauseBeforeNextAccept()
{
    WaitForSingleObject(m_hEndEvent.Get(), ACCEPT_RETRY_PAUSE_MS);
}

void CRecorderLink::ThreadProc()
{
    CWinsockInit winsock;
    while (!m_bEnd) {
        if (!m_Listen.Accept(m_Conn)) {
            if (m_bEnd || m_Listen.IsEmpty())
                break;
            Trace("[Tillvox] POS:%d accept failed, error %d; trying again\n", m_nSource, m_Listen.ErrorCode());
            PauseBeforeNextAccept();
            continue;
        }
        m_pQueue->Connected(static_cast<uintptr_t>(m_Conn.Handle()));
        if (!m_bEnd)
            Serve();
        // The queue lets go of the handle before it is closed, so no send can
        // be using it, or a new handle with its number, when it goes.
        m_pQueue->Dropped();
        m_Conn.Close();
    }
}

void CRecorderLink::Serve()
{
    bool bLoggedIn = false;
    uint8_t block[LINK_MSG_SIZE];
    while (!m_bEnd) {
        std::memset(block, 0, sizeof block);
        m_Conn.ArmTimeout(LINK_RECV_TIMEOUT_MS);
        const int n = m_Conn.Receive(block, static_cast<int>(sizeof block));
        m_Conn.DisarmTimeout();
        if (n <= 0) {
            // Closed, reset, silent past the time-out, or stopped: the recorder
            // is dropped and the next one is accepted.
            if (n < 0 && !m_bEnd)
                Trace("[Tillvox] POS:%d link receive failed, error %d\n", m_nSource, m_Conn.ErrorCode());
            return;
        }
        switch (ClassifyLinkBlock(block, n)) {
        case LINK_BLOCK_CHALLENGE:
            if (!Login(block, bLoggedIn))
                return;
            break;
        case LINK_BLOCK_KEEPALIVE:
            if (!m_pQueue->SendMessage(reinterpret_cast<const uint8_t*>(LINK_KEEPALIVE_ANSWER),
                                       static_cast<int>(LINK_KEEPALIVE_ANSWER_SIZE)))
                return;
            Trace("[Tillvox] POS:%d, Send Keep Alive\n", m_nSource);
            break;
        case LINK_BLOCK_ACK:
            // Only the recorder that logged in may release the queued text.
            if (bLoggedIn)
                m_pQueue->Acknowledged();
            break;
        case LINK_BLOCK_IGNORED:
            break;
        }
    }
}

bool CRecorderLink::Login(const uint8_t* challenge, bool& bLoggedIn)
{
    const LINK_CHALLENGE_RESULT result = VerifyChallenge(m_strPassword, challenge);
    if (!result.bMatch) {
        uint8_t refusal[LINK_MSG_SIZE];
        BuildRefusal(refusal);
        if (!m_pQueue->SendMessage(refusal, static_cast<int>(sizeof refusal)))
            return false;
        m_pQueue->WrongPassword();
        return true;
    }
    uint8_t reply[LINK_MSG_SIZE];
    BuildLoginReply(reply, result.nEchoA, result.nEchoB);
    if (m_bEnd)
        return false;
    // A recorder gone before it heard the answer is not logged in; the next one is accepted.
    if (!m_pQueue->SendMessage(reply, static_cast<int>(sizeof reply)))
        return false;
    bLoggedIn = true;
    m_pQueue->LoggedIn();
    return true;
}
