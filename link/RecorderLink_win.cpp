#include "link/RecorderLink.h"

#include "base/Trace.h"
#include "link/LinkCodec.h"
#include "net/AddressText.h"
#include "net/WinsockInit.h"

#include <algorithm>
#include <cstring>

namespace {
// A failed accept that is not a stop is tried again after this pause, for as long as capture runs.
const unsigned ACCEPT_RETRY_PAUSE_MS = 500;
// Receives take what is there up to this; the stream gathers whole messages.
const int LINK_RECEIVE_SIZE = 512;
}  // namespace

bool CRecorderLink::Start(int nSource, int nPort, const std::string& strPassword, CLinkQueue& queue,
                          const LINK_TIMING& timing)
{
    Stop();
    m_Timing = timing;
    m_nSource = nSource;
    m_nPort = nPort;
    m_strPassword = strPassword;
    m_pQueue = &queue;
    m_bEnd = false;
    m_hEndEvent.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (nPort < 1 || nPort > 65535) {
        Trace("[Tillvox] POS:%d has no valid TCP port\n", nSource);
        queue.ListenFailed();
        return false;
    }
    const bool bListening = OpenListener();
    if (!bListening) {
        Trace("[Tillvox] POS:%d cannot listen on TCP port %d, error %d; trying again every %u ms\n", nSource, nPort,
              m_Listen.ErrorCode(), LINK_LISTEN_RETRY_MS);
        queue.ListenFailed();
    }
    m_Thread = std::thread(&CRecorderLink::ThreadProc, this);
    return bListening;
}

bool CRecorderLink::OpenListener()
{
    std::lock_guard<std::mutex> lock(m_ListenMutex);
    if (m_bEnd)
        return false;
    if (m_Listen.Create(static_cast<unsigned short>(m_nPort)) && m_Listen.Listen(5))
        return true;
    m_Listen.Close();  // keeps its ErrorCode for the trace
    return false;
}

void CRecorderLink::CloseListener()
{
    std::lock_guard<std::mutex> lock(m_ListenMutex);
    m_Listen.Close();
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
    CloseListener();
    if (m_Thread.joinable())
        m_Thread.join();
    CloseListener();
    m_Conn.Close();
}

bool CRecorderLink::Pause(unsigned nMilliseconds)
{
    WaitForSingleObject(m_hEndEvent.Get(), nMilliseconds);
    return !m_bEnd;
}

void CRecorderLink::ThreadProc()
{
    CWinsockInit winsock;
    while (!m_bEnd) {
        if (m_Listen.IsEmpty()) {
            // The port was busy (another program, or a socket not yet let go):
            // it is tried again until it opens or capture stops.
            if (!Pause(LINK_LISTEN_RETRY_MS) || !OpenListener())
                continue;
            Trace("[Tillvox] POS:%d listens on TCP port %d now\n", m_nSource, m_nPort);
            m_pQueue->Listening();
            continue;
        }
        sockaddr_in peer = {};
        int nPeerLen = sizeof peer;
        if (!m_Listen.Accept(m_Conn, reinterpret_cast<sockaddr*>(&peer), &nPeerLen)) {
            if (m_bEnd)
                break;
            Trace("[Tillvox] POS:%d accept failed, error %d; trying again\n", m_nSource, m_Listen.ErrorCode());
            Pause(ACCEPT_RETRY_PAUSE_MS);
            continue;
        }
        const std::string strPeer = DottedIPv4(reinterpret_cast<const uint8_t*>(&peer.sin_addr)) + ":" +
            std::to_string(ntohs(peer.sin_port));
        m_pQueue->Connected(static_cast<uintptr_t>(m_Conn.Handle()), strPeer);
        LINK_DROP eReason = LINK_DROP::STOPPED;
        if (!m_bEnd)
            eReason = Serve();
        if (m_bEnd)
            eReason = LINK_DROP::STOPPED;
        // The queue lets go of the handle before it is closed, so no send can
        // be using it, or a new handle with its number, when it goes.
        m_pQueue->Dropped(eReason);
        m_Conn.Close();
    }
}

LINK_DROP CRecorderLink::Serve()
{
    CLinkStream stream(m_strPassword);
    bool bLoggedIn = false;
    // Only one connection is served at a time: one that does not log in soon
    // must not keep the recorder waiting behind it.
    const uint64_t nLoginDeadline = GetTickCount64() + m_Timing.nLoginTimeoutMs;
    uint8_t block[LINK_RECEIVE_SIZE];
    while (!m_bEnd) {
        unsigned nBound = m_Timing.nRecvTimeoutMs;
        if (!bLoggedIn) {
            const uint64_t nNow = GetTickCount64();
            if (nNow >= nLoginDeadline) {
                Trace("[Tillvox] POS:%d connection not logged in within %u ms, dropped\n", m_nSource,
                      m_Timing.nLoginTimeoutMs);
                m_pQueue->Refused(REFUSAL_REASON::JUNK);
                return LINK_DROP::NO_LOGIN;
            }
            nBound = static_cast<unsigned>(std::min<uint64_t>(nBound, nLoginDeadline - nNow));
        }
        m_Conn.ArmTimeout(nBound);
        const int n = m_Conn.Receive(block, static_cast<int>(sizeof block));
        m_Conn.DisarmTimeout();
        if (n <= 0) {
            if (n < 0 && !m_bEnd) {
                if (!bLoggedIn && m_Conn.ErrorCode() == WSAEINTR)
                    continue;  // the login deadline passed: reported and dropped above
                Trace("[Tillvox] POS:%d link receive failed, error %d\n", m_nSource, m_Conn.ErrorCode());
            }
            // Closed, reset, silent past the time-out, or stopped: the recorder
            // is dropped and the next one is accepted.
            if (n == 0)
                return LINK_DROP::CLOSED_BY_PEER;
            return m_Conn.ErrorCode() == WSAEINTR ? LINK_DROP::SILENT : LINK_DROP::RECEIVE_FAILED;
        }
        stream.Feed(block, static_cast<size_t>(n));
        LINK_MESSAGE message;
        LINK_DROP eReason = LINK_DROP::STOPPED;
        while (!m_bEnd && stream.Next(message))
            if (!Handle(message, bLoggedIn, eReason))
                return eReason;
    }
    return LINK_DROP::STOPPED;
}

bool CRecorderLink::Handle(const LINK_MESSAGE& message, bool& bLoggedIn, LINK_DROP& eReason)
{
    switch (message.eKind) {
    case LINK_MESSAGE_CHALLENGE:
        return Login(message, bLoggedIn, eReason);
    case LINK_MESSAGE_KEEPALIVE:
        if (!m_pQueue->SendMessage(reinterpret_cast<const uint8_t*>(LINK_KEEPALIVE_ANSWER),
                                   static_cast<int>(LINK_KEEPALIVE_ANSWER_SIZE))) {
            eReason = LINK_DROP::SEND_FAILED;
            return false;
        }
        Trace("[Tillvox] POS:%d, Send Keep Alive\n", m_nSource);
        return true;
    case LINK_MESSAGE_ACK:
        // Only the recorder that logged in may release the queued text.
        if (bLoggedIn)
            m_pQueue->Acknowledged();
        return true;
    }
    return true;
}

bool CRecorderLink::Login(const LINK_MESSAGE& message, bool& bLoggedIn, LINK_DROP& eReason)
{
    const LINK_CHALLENGE_RESULT& verdict = message.verdict;
    if (!verdict.bMatch) {
        uint8_t refusal[LINK_MSG_SIZE];
        BuildRefusal(refusal);
        if (!m_pQueue->SendMessage(refusal, static_cast<int>(sizeof refusal))) {
            eReason = LINK_DROP::SEND_FAILED;
            return false;
        }
        // A digest that is not the password's is a recorder set up with
        // another one; anything else of that size is junk, which no person
        // needs to be warned about in a box.
        const bool bWrongPassword = ChallengeCarriesADigest(message.challenge);
        m_pQueue->Refused(bWrongPassword ? REFUSAL_REASON::WRONG_PASSWORD : REFUSAL_REASON::JUNK);
        // Whoever does not know the password gives the connection up for the
        // recorder at once. A logged-in recorder proved it knows it; what
        // reads as a wrong challenge from it is noise and costs it nothing.
        if (!bLoggedIn) {
            Trace("[Tillvox] POS:%d wrong password offered, connection dropped\n", m_nSource);
            eReason = bWrongPassword ? LINK_DROP::WRONG_PASSWORD : LINK_DROP::JUNK;
            return false;
        }
        return true;
    }
    uint8_t reply[LINK_MSG_SIZE];
    BuildLoginReply(reply, verdict.nEchoA, verdict.nEchoB, m_Timing.nReplyPauseMs);
    if (m_bEnd)
        return false;
    // A recorder gone before it heard the answer is not logged in; the next one is accepted.
    if (!m_pQueue->SendMessage(reply, static_cast<int>(sizeof reply))) {
        eReason = LINK_DROP::SEND_FAILED;
        return false;
    }
    // Logging in again on the same connection changes nothing for the queue:
    // the chunk in flight went out on this connection and its acknowledgement
    // is still to come here. Sending it again would have the recorder
    // acknowledge it twice, and the second would release the next chunk unseen.
    if (bLoggedIn)
        return true;
    bLoggedIn = true;
    m_pQueue->LoggedIn();
    return true;
}
