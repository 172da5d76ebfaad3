#include "output/RecorderOutput.h"

#include "base/Trace.h"
#include "link/LinkCodec.h"
#include "net/TcpPort.h"

CRecorderOutput::~CRecorderOutput()
{
    Close();
}

void CRecorderOutput::Report(OUTPUT_STATUS eStatus)
{
    if (m_pEvents)
        m_pEvents->OnOutputStatus(m_nSource, eStatus);
}

void CRecorderOutput::Note(LOG_LEVEL level, const char* pszKind, const std::string& strText)
{
    if (m_pEvents)
        m_pEvents->Note(level, m_nSource, pszKind, strText);
}

void CRecorderOutput::Open(int nSource, const POS_SETTING_INFO& record, COutputEvents& events)
{
    Close();
    m_nSource = nSource;
    m_pEvents = &events;
    m_bOpen = true;
    m_nPort = ParseTcpPortNumber(record.strPort);
    m_bListenFailed = false;
    m_Queue.Attach(this);
    // The row says waiting before the link can report anything else.
    Report(OUTPUT_STATUS::WaitingForRecorder);
    if (m_Link.Start(nSource, m_nPort, record.strPassword, *this, m_Timing))
        Note(LOG_LEVEL::LEVEL_INFO, nullptr, "waits for the recorder on TCP port " + std::to_string(m_nPort));
}

void CRecorderOutput::BeginClose()
{
    if (m_bOpen)
        m_Link.BeginStop();
}

void CRecorderOutput::Close()
{
    if (!m_bOpen.exchange(false))
        return;
    m_Link.Stop();
    m_Queue.Attach(nullptr);
    {
        auto lock = m_Queue.Lock();
        m_Queue.SetReadyLocked(false);
        m_Queue.ForgetInFlightLocked();
    }
    m_Queue.Counters().SetRecorderAddress(std::string());
}

void CRecorderOutput::OnPieceQueuedLocked(bool)
{
    SendNextChunkLocked();
}

void CRecorderOutput::SendNextChunkLocked()
{
    const int used = m_Queue.UsedLenLocked();
    if (!m_Queue.ShouldSendLocked() || used <= 0)
        return;
    const int w = static_cast<int>(LinkChunkSize(static_cast<size_t>(used)));
    Trace("ZZZ Internet Stream%d BF Send\n", m_nSource);
    // Bounded: a recorder that stops reading must not hold a delivering thread for ever.
    m_SendSocket.ArmTimeout(LINK_RECV_TIMEOUT_MS);
    const int sent = m_SendSocket.Send(m_Queue.FrontLocked(), w);
    m_SendSocket.DisarmTimeout();
    Trace("ZZZ TCPMonitorThreadProc kassimo%d TCP send byte number=%d\n", m_nSource, sent);
    if (sent > 0)
        m_Queue.Counters().nBytesSent += static_cast<uint64_t>(sent);
    if (sent == w) {
        m_Queue.SetInFlightLocked(w);
        Trace("ZZZ Internet Stream%d AF Send\n", m_nSource);
        return;
    }
    // Part of the chunk may have gone out: the connection cannot carry the
    // rest in order any more. The chunk stays at the front for the next
    // recorder, and the link is made to drop this one.
    m_Queue.SetReadyLocked(false);
    m_SendSocket.Shutdown();
}

void CRecorderOutput::Connected(uintptr_t hConnection, const std::string& strPeer)
{
    m_strPeer = strPeer;
    m_bLoggedIn = false;
    auto lock = m_Queue.Lock();
    m_SendSocket.Detach();
    m_SendSocket.Attach(static_cast<SOCKET>(hConnection));
}

void CRecorderOutput::LoggedIn()
{
    {
        auto lock = m_Queue.Lock();
        m_Queue.SetReadyLocked(true);
        // Whatever was in flight on an earlier connection goes out again first,
        // and what waited goes out now rather than with the next receipt.
        m_Queue.ForgetInFlightLocked();
        SendNextChunkLocked();
    }
    m_bLoggedIn = true;
    m_Queue.CountLogin(m_strPeer);
    Note(LOG_LEVEL::LEVEL_INFO, nullptr, "recorder logged in from " + m_strPeer);
    Report(OUTPUT_STATUS::RecorderConnected);
}

void CRecorderOutput::Acknowledged()
{
    auto lock = m_Queue.Lock();
    m_Queue.AcknowledgeLocked();
    if (m_Queue.UsedLenLocked() <= 0)
        return;
    Sleep(LINK_ACK_PAUSE_MS);
    SendNextChunkLocked();
}

void CRecorderOutput::Dropped(LINK_DROP eReason)
{
    {
        auto lock = m_Queue.Lock();
        m_Queue.SetReadyLocked(false);
        m_Queue.ForgetInFlightLocked();
        m_SendSocket.Detach();
    }
    if (m_bLoggedIn) {
        m_Queue.Counters().SetRecorderAddress(std::string());
        Note(LOG_LEVEL::LEVEL_INFO, nullptr,
            "recorder connection from " + m_strPeer + " dropped: " + LinkDropText(eReason));
    } else if (eReason != LINK_DROP::WRONG_PASSWORD && eReason != LINK_DROP::JUNK &&
               eReason != LINK_DROP::NO_LOGIN) {
        // A refusal was reported as such already.
        Note(LOG_LEVEL::LEVEL_INFO, nullptr,
            "connection from " + m_strPeer + " without a login dropped: " + LinkDropText(eReason));
    }
    m_bLoggedIn = false;
    if (m_bOpen)
        Report(OUTPUT_STATUS::WaitingForRecorder);
}

bool CRecorderOutput::SendMessage(const uint8_t* bytes, int count)
{
    auto lock = m_Queue.Lock();
    m_SendSocket.ArmTimeout(LINK_RECV_TIMEOUT_MS);
    const int sent = m_SendSocket.Send(bytes, count);
    m_SendSocket.DisarmTimeout();
    return sent == count;
}

void CRecorderOutput::ListenFailed()
{
    m_bListenFailed = true;
    Note(LOG_LEVEL::LEVEL_ERROR, DIAG_KIND_OUTPUT_FAILED,
        m_nPort < 1 || m_nPort > 65535
            ? std::string("no valid TCP port for the recorder")
            : "cannot listen on TCP port " + std::to_string(m_nPort) + " for the recorder; tried again every 3 s");
    Report(OUTPUT_STATUS::ListenFailed);
}

void CRecorderOutput::Listening()
{
    if (m_bListenFailed) {
        m_bListenFailed = false;
        Note(LOG_LEVEL::LEVEL_INFO, nullptr,
            "listens on TCP port " + std::to_string(m_nPort) + " for the recorder now");
    }
    if (m_bOpen)
        Report(OUTPUT_STATUS::WaitingForRecorder);
}

void CRecorderOutput::Refused(REFUSAL_REASON eReason)
{
    m_Queue.Counters().AddRefused(eReason);
    switch (eReason) {
    case REFUSAL_REASON::WRONG_PASSWORD:
        Note(LOG_LEVEL::LEVEL_WARNING, DIAG_KIND_WRONG_PASSWORD,
            "wrong password from " + m_strPeer + " on TCP port " + std::to_string(m_nPort) + ": refused");
        if (m_pEvents)
            m_pEvents->OnWrongPassword(m_nSource);
        break;
    case REFUSAL_REASON::JUNK:
        Note(LOG_LEVEL::LEVEL_WARNING, DIAG_KIND_JUNK,
            "connection from " + m_strPeer + " on TCP port " + std::to_string(m_nPort) +
                (m_bLoggedIn ? " sent something that is no login" : " refused: it sent no login"));
        break;
    case REFUSAL_REASON::UNKNOWN_TILL:
        break;
    }
}
