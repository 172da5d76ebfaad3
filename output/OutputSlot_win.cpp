#include "output/OutputSlot.h"

#include "base/Trace.h"
#include "link/LinkCodec.h"
#include "net/TcpPort.h"
#include "output/NibbleSwap.h"
#include "output/SerialLine.h"

#include <algorithm>
#include <cstring>

namespace {
const DWORD COM_IN_QUEUE = 2048;
const DWORD COM_OUT_QUEUE = 1024;
// A writer whose port took nothing tries again after this pause rather than spinning.
const DWORD COM_STALL_RETRY_MS = 1000;
}  // namespace

COutputSlot::COutputSlot() : m_SwapBuf(new uint8_t[SWAP_BUF_SIZE]())
{
}

COutputSlot::~COutputSlot()
{
    Close();
}

void COutputSlot::Report(OUTPUT_STATUS eStatus)
{
    if (m_pEvents)
        m_pEvents->OnOutputStatus(m_nSource, eStatus);
}

void COutputSlot::Open(int nSource, const POS_SETTING_INFO& record, COutputEvents& events)
{
    Close();
    m_nSource = nSource;
    m_eType = record.ePrinterType;
    m_pEvents = &events;
    m_bOpen = true;
    if (m_eType == PRINTER_TYPE::Serial) {
        OpenSerial(record);
        return;
    }
    // The row says waiting before the link can report anything else.
    Report(OUTPUT_STATUS::WaitingForRecorder);
    m_Link.Start(nSource, ParseTcpPortNumber(record.strPort), record.strPassword, *this);
}

void COutputSlot::Close()
{
    if (!m_bOpen.exchange(false))
        return;
    if (m_eType == PRINTER_TYPE::Serial)
        CloseSerial();
    else
        m_Link.Stop();
    m_bReady = false;
}

void COutputSlot::BeginClose()
{
    if (m_bOpen && m_eType == PRINTER_TYPE::Tcp)
        m_Link.BeginStop();
}

void COutputSlot::Reset()
{
    std::lock_guard<std::mutex> lock(m_ReservedBufMutex);
    m_ReservedBuf.Clear();
    m_ReservedBuf.SetLastChunkLen(0);
    m_nInFlight = 0;
    m_bReady = false;
    m_bFailed = false;
    // A wake-up left from the last run must not reach the next writer.
    ResetEvent(m_ComDataEvent.Get());
    ResetEvent(m_ComStopEvent.Get());
}

bool COutputSlot::IsWaitingForAck()
{
    std::lock_guard<std::mutex> lock(m_ReservedBufMutex);
    return m_nInFlight > 0;
}

int COutputSlot::QueuedLen()
{
    std::lock_guard<std::mutex> lock(m_ReservedBufMutex);
    return m_ReservedBuf.UsedLen();
}

int COutputSlot::InFlightLen()
{
    std::lock_guard<std::mutex> lock(m_ReservedBufMutex);
    return m_nInFlight;
}

void COutputSlot::Deliver(const uint8_t* bytes, int count)
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

void COutputSlot::DeliverPiece(const uint8_t* bytes, int count)
{
    std::lock_guard<std::mutex> lock(m_ReservedBufMutex);
    NibbleSwap(bytes, m_SwapBuf.get(), static_cast<size_t>(count));
    m_ReservedBuf.SetLastChunkLen(count);
    const bool bWaiting = m_ReservedBuf.UsedLen() > 0;
    if (!m_ReservedBuf.Append(m_SwapBuf.get(), count)) {
        Trace("ZZZ Internet Stream%d queue full, piece of %d bytes dropped\n", m_nSource, count);
        return;
    }
    if (!m_bReady || m_nInFlight > 0) {
        Trace("ZZZ Internet Stream%d Wait Timeout, so store send data\n", m_nSource);
        return;
    }
    if (m_eType == PRINTER_TYPE::Tcp) {
        SendNextChunkLocked();
        return;
    }
    // While bytes wait the writer thread is already draining: write one block here and leave the rest to it.
    WriteComLocked(false);
    if (!bWaiting && m_ReservedBuf.UsedLen() > 0) {
        m_ComDataEvent.Signal();
        if (m_pProbe)
            m_pProbe->OnComDataSignalled(m_nSource);
    }
}

// ---- TCP output: one chunk in flight until the recorder acknowledges it ----

void COutputSlot::SendNextChunkLocked()
{
    if (!m_bReady || m_nInFlight > 0 || m_ReservedBuf.UsedLen() <= 0)
        return;
    const int w = static_cast<int>(LinkChunkSize(static_cast<size_t>(m_ReservedBuf.UsedLen())));
    Trace("ZZZ Internet Stream%d BF Send\n", m_nSource);
    // Bounded: a recorder that stops reading must not hold a delivering thread for ever.
    m_SendSocket.ArmTimeout(LINK_RECV_TIMEOUT_MS);
    const int sent = m_SendSocket.Send(m_ReservedBuf.Data(), w);
    m_SendSocket.DisarmTimeout();
    Trace("ZZZ TCPMonitorThreadProc kassimo%d TCP send byte number=%d\n", m_nSource, sent);
    if (sent == w) {
        m_nInFlight = w;
        Trace("ZZZ Internet Stream%d AF Send\n", m_nSource);
        return;
    }
    // Part of the chunk may have gone out: the connection cannot carry the
    // rest in order any more. The chunk stays at the front for the next
    // recorder, and the link is made to drop this one.
    m_bReady = false;
    m_SendSocket.Shutdown();
}

void COutputSlot::Connected(uintptr_t hConnection)
{
    std::lock_guard<std::mutex> lock(m_ReservedBufMutex);
    m_SendSocket.Detach();
    m_SendSocket.Attach(static_cast<SOCKET>(hConnection));
}

void COutputSlot::LoggedIn()
{
    {
        std::lock_guard<std::mutex> lock(m_ReservedBufMutex);
        m_bReady = true;
        // Whatever was in flight on an earlier connection goes out again first,
        // and what waited goes out now rather than with the next receipt.
        m_nInFlight = 0;
        SendNextChunkLocked();
    }
    Report(OUTPUT_STATUS::RecorderConnected);
}

void COutputSlot::Acknowledged()
{
    std::lock_guard<std::mutex> lock(m_ReservedBufMutex);
    if (m_nInFlight > 0) {
        m_ReservedBuf.RemoveFront(m_nInFlight);
        m_nInFlight = 0;
    }
    if (m_ReservedBuf.UsedLen() <= 0)
        return;
    Sleep(LINK_ACK_PAUSE_MS);
    SendNextChunkLocked();
}

void COutputSlot::Dropped()
{
    {
        std::lock_guard<std::mutex> lock(m_ReservedBufMutex);
        m_bReady = false;
        m_nInFlight = 0;
        m_SendSocket.Detach();
    }
    if (m_bOpen)
        Report(OUTPUT_STATUS::WaitingForRecorder);
}

bool COutputSlot::SendMessage(const uint8_t* bytes, int count)
{
    std::lock_guard<std::mutex> lock(m_ReservedBufMutex);
    m_SendSocket.ArmTimeout(LINK_RECV_TIMEOUT_MS);
    const int sent = m_SendSocket.Send(bytes, count);
    m_SendSocket.DisarmTimeout();
    return sent == count;
}

void COutputSlot::ListenFailed()
{
    Report(OUTPUT_STATUS::ListenFailed);
}

void COutputSlot::Listening()
{
    if (m_bOpen)
        Report(OUTPUT_STATUS::WaitingForRecorder);
}

void COutputSlot::WrongPassword()
{
    if (m_pEvents)
        m_pEvents->OnWrongPassword(m_nSource);
}

// ---- Serial output: writes of at most 256 bytes, the rest by the writer thread ----

// Writes up to COM_WRITE_MAX bytes from the front of the queue and removes
// what the port took. The caller holds the lock.
int COutputSlot::WriteComLocked(bool bFromWriterThread)
{
    const int w = std::min(m_ReservedBuf.UsedLen(), COM_WRITE_MAX);
    DWORD written = 0;
    const BOOL ok = WriteFile(m_hComPort.Get(), m_ReservedBuf.Data(), static_cast<DWORD>(w), &written, nullptr);
    if (m_pProbe)
        m_pProbe->OnComWrite(m_nSource, w, bFromWriterThread);
    if (!bFromWriterThread)
        Trace("ZZZ TCPMonitorThreadProc kassimo%d Serial send byte number=%d real send byte number=%lu send content = "
              "%.*s Success = %d\n",
              m_nSource, w, static_cast<unsigned long>(written), static_cast<int>(written),
              reinterpret_cast<const char*>(m_ReservedBuf.Data()), ok ? 1 : 0);
    const int taken = static_cast<int>(std::min<DWORD>(written, static_cast<DWORD>(w)));
    m_ReservedBuf.RemoveFront(taken);
    return taken;
}

void COutputSlot::OpenSerial(const POS_SETTING_INFO& record)
{
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    const std::string definition = ComDefinition(record.strBaudRate, record.strDataBits, record.strParity, record.strStopBits);
    const bool bDefinitionOk = BuildCommDCBA(definition.c_str(), &dcb) != FALSE;

    const std::string device = ComDeviceName(record.strPort);
    HANDLE hPort = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    m_hComPort.Reset(hPort == INVALID_HANDLE_VALUE ? nullptr : hPort);
    if (!m_hComPort.IsValid()) {
        Trace("[Tillvox] POS:%d cannot open %s (definition %s), error %lu\n", m_nSource, device.c_str(),
              definition.c_str(), GetLastError());
        m_bFailed = true;
        m_bReady = false;
        Report(OUTPUT_STATUS::ComFailed);
    } else {
        const bool bStateOk = bDefinitionOk && SetCommState(m_hComPort.Get(), &dcb) != FALSE;
        SetupComm(m_hComPort.Get(), COM_IN_QUEUE, COM_OUT_QUEUE);
        const COM_WRITE_TIMEOUTS writeTimeouts = ComWriteTimeouts(record.strBaudRate);
        COMMTIMEOUTS timeouts = {};
        timeouts.ReadTotalTimeoutConstant = 500;
        timeouts.WriteTotalTimeoutMultiplier = writeTimeouts.nPerByteMs;
        timeouts.WriteTotalTimeoutConstant = writeTimeouts.nConstantMs;
        SetCommTimeouts(m_hComPort.Get(), &timeouts);
        m_bReady = true;
        if (!bStateOk) {
            Trace("[Tillvox] POS:%d %s refused the line settings %s, error %lu\n", m_nSource, device.c_str(),
                  definition.c_str(), GetLastError());
            Report(OUTPUT_STATUS::ComSettingFailed);
        } else {
            Report(OUTPUT_STATUS::ComReady);
        }
    }
    m_ComWriterThread = std::thread(&COutputSlot::WriterThreadProc, this);
}

void COutputSlot::WriterThreadProc()
{
    const HANDLE events[2] = {m_ComDataEvent.Get(), m_ComStopEvent.Get()};
    bool bStalled = false;
    for (;;) {
        const DWORD result = WaitForMultipleObjects(2, events, FALSE, bStalled ? COM_STALL_RETRY_MS : INFINITE);
        if (result == WAIT_OBJECT_0 + 1)
            return;
        if (result != WAIT_OBJECT_0 && result != WAIT_TIMEOUT)
            continue;
        if (m_pProbe)
            m_pProbe->OnWriterWake(m_nSource);
        bStalled = false;
        for (;;) {
            std::lock_guard<std::mutex> lock(m_ReservedBufMutex);
            if (m_ReservedBuf.UsedLen() <= 0 || !m_hComPort.IsValid())
                break;
            if (WriteComLocked(true) == 0) {
                bStalled = true;  // the port took nothing: try again later, nothing is dropped
                break;
            }
        }
    }
}

void COutputSlot::CloseSerial()
{
    // The writer must be gone before the port handle it writes to is closed.
    m_ComStopEvent.Signal();
    if (m_ComWriterThread.joinable()) {
        if (m_pProbe)
            m_pProbe->OnWriterAwaited(m_nSource);
        m_ComWriterThread.join();
    }
    std::lock_guard<std::mutex> lock(m_ReservedBufMutex);
    m_hComPort.Close();
}
