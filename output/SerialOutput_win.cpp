#include "output/SerialOutput.h"

#include "base/Trace.h"
#include "output/SerialLine.h"

#include <algorithm>
#include <string>

namespace {
// "COM7" for "\\\\.\\COM7".
std::string ComDisplayName(const std::string& device)
{
    const size_t slash = device.find_last_of('\\');
    return slash == std::string::npos ? device : device.substr(slash + 1);
}

const DWORD COM_IN_QUEUE = 2048;
const DWORD COM_OUT_QUEUE = 1024;
// A writer whose port took nothing tries again after this pause rather than spinning.
const DWORD COM_STALL_RETRY_MS = 1000;
}  // namespace

CSerialOutput::~CSerialOutput()
{
    Close();
}

void CSerialOutput::Open(int nSource, const POS_SETTING_INFO& record, COutputEvents& events)
{
    Close();
    m_nSource = nSource;
    m_bOpen = true;
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    const std::string definition = ComDefinition(record.strBaudRate, record.strDataBits, record.strParity, record.strStopBits);
    const bool bDefinitionOk = BuildCommDCBA(definition.c_str(), &dcb) != FALSE;

    const std::string device = ComDeviceName(record.strPort);
    HANDLE hPort = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD dwOpenError = GetLastError();
    OUTPUT_STATUS eStatus = OUTPUT_STATUS::ComReady;
    {
        auto lock = m_Queue.Lock();
        m_hComPort.Reset(hPort == INVALID_HANDLE_VALUE ? nullptr : hPort);
    }
    if (!m_hComPort.IsValid()) {
        Trace("[Tillvox] POS:%d cannot open %s (definition %s), error %lu\n", m_nSource, device.c_str(),
              definition.c_str(), dwOpenError);
        eStatus = OUTPUT_STATUS::ComFailed;
        events.Note(LOG_LEVEL::LEVEL_ERROR, nSource, DIAG_KIND_OUTPUT_FAILED,
            "cannot open " + ComDisplayName(device) + " (error " + std::to_string(dwOpenError) + ")");
    } else {
        const bool bStateOk = bDefinitionOk && SetCommState(m_hComPort.Get(), &dcb) != FALSE;
        SetupComm(m_hComPort.Get(), COM_IN_QUEUE, COM_OUT_QUEUE);
        const COM_WRITE_TIMEOUTS writeTimeouts = ComWriteTimeouts(record.strBaudRate);
        COMMTIMEOUTS timeouts = {};
        timeouts.ReadTotalTimeoutConstant = 500;
        timeouts.WriteTotalTimeoutMultiplier = writeTimeouts.nPerByteMs;
        timeouts.WriteTotalTimeoutConstant = writeTimeouts.nConstantMs;
        SetCommTimeouts(m_hComPort.Get(), &timeouts);
        if (!bStateOk) {
            Trace("[Tillvox] POS:%d %s refused the line settings %s, error %lu\n", m_nSource, device.c_str(),
                  definition.c_str(), GetLastError());
            eStatus = OUTPUT_STATUS::ComSettingFailed;
            events.Note(LOG_LEVEL::LEVEL_ERROR, nSource, DIAG_KIND_OUTPUT_FAILED,
                ComDisplayName(device) + " refused the line settings " + definition);
        } else {
            events.Note(LOG_LEVEL::LEVEL_INFO, nSource, nullptr, ComDisplayName(device) + " open, " + definition);
        }
    }
    // A wake-up left from the last run must not reach the next writer.
    ResetEvent(m_ComDataEvent.Get());
    ResetEvent(m_ComStopEvent.Get());
    bool bWaiting = false;
    {
        auto lock = m_Queue.Lock();
        m_Queue.SetReadyLocked(m_hComPort.IsValid());
        m_Queue.SetFailed(!m_hComPort.IsValid());
        bWaiting = m_Queue.UsedLenLocked() > 0;
    }
    m_Queue.Attach(this);
    events.OnOutputStatus(nSource, eStatus);
    m_ComWriterThread = std::thread(&CSerialOutput::WriterThreadProc, this);
    // What waited from before goes out now, ahead of anything new.
    if (bWaiting && m_hComPort.IsValid())
        m_ComDataEvent.Signal();
}

void CSerialOutput::Close()
{
    if (!m_bOpen)
        return;
    m_bOpen = false;
    m_Queue.Attach(nullptr);
    // The writer must be gone before the port handle it writes to is closed.
    m_ComStopEvent.Signal();
    if (m_ComWriterThread.joinable()) {
        if (m_pProbe)
            m_pProbe->OnWriterAwaited(m_nSource);
        m_ComWriterThread.join();
    }
    auto lock = m_Queue.Lock();
    m_Queue.SetReadyLocked(false);
    m_Queue.SetFailed(false);
    m_hComPort.Close();
}

void CSerialOutput::OnPieceQueuedLocked(bool bWasWaiting)
{
    // While bytes wait the writer thread is already draining: write one block here and leave the rest to it.
    WriteComLocked(false);
    if (!bWasWaiting && m_Queue.UsedLenLocked() > 0) {
        m_ComDataEvent.Signal();
        if (m_pProbe)
            m_pProbe->OnComDataSignalled(m_nSource);
    }
}

int CSerialOutput::WriteComLocked(bool bFromWriterThread)
{
    const int w = std::min(m_Queue.UsedLenLocked(), COM_WRITE_MAX);
    const uint8_t* front = m_Queue.FrontLocked();
    DWORD written = 0;
    const BOOL ok = WriteFile(m_hComPort.Get(), front, static_cast<DWORD>(w), &written, nullptr);
    if (m_pProbe)
        m_pProbe->OnComWrite(m_nSource, w, bFromWriterThread);
    if (!bFromWriterThread)
        Trace("ZZZ TCPMonitorThreadProc kassimo%d Serial send byte number=%d real send byte number=%lu send content = "
              "%.*s Success = %d\n",
              m_nSource, w, static_cast<unsigned long>(written), static_cast<int>(written),
              reinterpret_cast<const char*>(front), ok ? 1 : 0);
    const int taken = static_cast<int>(std::min<DWORD>(written, static_cast<DWORD>(w)));
    m_Queue.Counters().nBytesSent += static_cast<uint64_t>(taken);
    m_Queue.TakeFrontLocked(taken);
    return taken;
}

void CSerialOutput::WriterThreadProc()
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
            auto lock = m_Queue.Lock();
            if (m_Queue.UsedLenLocked() <= 0 || !m_hComPort.IsValid())
                break;
            if (WriteComLocked(true) == 0) {
                bStalled = true;  // the port took nothing: try again later, nothing is dropped
                break;
            }
        }
    }
}
