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

void CRecorderOutput::Open(int nSource, const POS_SETTING_INFO& record, COutputEvents& events)
{
    Close();
    m_nSource = nSource;
    m_pEvents = &events;
    m_bOpen = true;
    m_Queue.Attach(this);
    // The row says waiting before the link can report anything else.
    Report(OUTPUT_STATUS::WaitingForRecorder);
    m_Link.Start(nSource, ParseTcpPortNumber(record.strPort), record.strPassword, *this);
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
    auto lock = m_Queue.Lock();
    m_Queue.SetReadyLocked(false);
    m_Queue.ForgetInFlightLocked();
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

void CRecorderOutput::Connected(uintptr_t hConnection)
{
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

void CRecorderOutput::Dropped()
{
    {
        auto lock = m_Queue.Lock();
        m_Queue.SetReadyLocked(false);
        m_Queue.ForgetInFlightLocked();
        m_SendSocket.Detach();
    }
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
    Report(OUTPUT_STATUS::ListenFailed);
}

void CRecorderOutput::Listening()
{
    if (m_bOpen)
        Report(OUTPUT_STATUS::WaitingForRecorder);
}

void CRecorderOutput::WrongPassword()
{
    if (m_pEvents)
        m_pEvents->OnWrongPassword(m_nSource);
}
