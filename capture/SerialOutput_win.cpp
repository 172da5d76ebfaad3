// Serial printer output: the COM port towards the video server and its writer thread.
#include "app/CaptureEngine.h"
#include "capture/SerialLine.h"
#include "capture/Trace.h"

#include <algorithm>

namespace {
const DWORD COM_IN_QUEUE = 2048;
const DWORD COM_OUT_QUEUE = 1024;
const DWORD COM_WRITE_TIMEOUT_MS = 500;
}  // namespace

// Writes up to COM_WRITE_MAX bytes from the front of the queue and removes them,
// whatever the port reported. The caller holds m_ReservedBufMutex[i].
int CCaptureEngine::WriteCom(int i, int count, bool fromWriterThread)
{
    const int w = std::min(count, COM_WRITE_MAX);
    DWORD written = 0;
    const BOOL ok = WriteFile(m_hComPort[i].Get(), m_ReservedBuf[i].Data(), static_cast<DWORD>(w), &written, nullptr);
    if (m_pProbe)
        m_pProbe->OnComWrite(i, w, fromWriterThread);
    if (!fromWriterThread)
        Trace("ZZZ TCPMonitorThreadProc kassimo%d Serial send byte number=%d real send byte number=%lu send content = "
              "%.*s Success = %d\n",
              i, w, static_cast<unsigned long>(written), w, reinterpret_cast<const char*>(m_ReservedBuf[i].Data()),
              ok ? 1 : 0);
    m_ReservedBuf[i].RemoveFront(w);
    return w;
}

void CCaptureEngine::DeliverSerial(int i, int count)
{
    m_ReservedBuf[i].SetLastChunkLen(count);
    const bool bWaiting = m_ReservedBuf[i].UsedLen() > 0;
    if (!m_ReservedBuf[i].Append(m_SwapBuf[i].get(), count))
        return;
    // While bytes wait the writer thread is already draining: write one block here and leave the rest to it.
    WriteCom(i, m_ReservedBuf[i].UsedLen(), false);
    if (!bWaiting && m_ReservedBuf[i].UsedLen() > 0) {
        m_ComDataEvent[i].Signal();
        if (m_pProbe)
            m_pProbe->OnComDataSignalled(i);
    }
}

void CCaptureEngine::OpenSerialOutput(int i)
{
    const POS_SETTING_INFO& record = Source(i);
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    const std::string definition = ComDefinition(record.strBaudRate, record.strDataBits, record.strParity, record.strStopBits);
    BuildCommDCBA(definition.c_str(), &dcb);

    const std::string device = ComDeviceName(record.strPort);
    HANDLE hPort = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    m_hComPort[i].Reset(hPort == INVALID_HANDLE_VALUE ? nullptr : hPort);
    if (!m_hComPort[i].IsValid()) {
        Trace("[Tillvox] POS:%d cannot open %s (definition %s), error %lu\n", i, device.c_str(), definition.c_str(),
              GetLastError());
        m_OutputFailed[i] = i;
        m_OutputReady[i] = 0;
        PostListCell(i, 0, m_Callback.GetString("IDS_PTS_COM_SETTING_FAIL"));
    } else {
        m_OutputReady[i] = 1;
        PostListCell(i, 0, m_Callback.GetString("IDS_PTS_COM_SETTING_DONE"));
        SetCommState(m_hComPort[i].Get(), &dcb);
        SetupComm(m_hComPort[i].Get(), COM_IN_QUEUE, COM_OUT_QUEUE);
        COMMTIMEOUTS timeouts = {};
        timeouts.ReadTotalTimeoutConstant = 500;
        timeouts.WriteTotalTimeoutConstant = COM_WRITE_TIMEOUT_MS;
        SetCommTimeouts(m_hComPort[i].Get(), &timeouts);
    }
    m_ComWriterThread[i] = std::thread(&CCaptureEngine::ComWriterThreadProc, this, i);
}

void CCaptureEngine::ComWriterThreadProc(int i)
{
    const HANDLE events[2] = {m_ComDataEvent[i].Get(), m_ComStopEvent[i].Get()};
    for (;;) {
        const DWORD result = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (result == WAIT_OBJECT_0 + 1)
            return;
        if (result != WAIT_OBJECT_0)
            continue;
        if (m_pProbe)
            m_pProbe->OnWriterWake(i);
        for (;;) {
            std::lock_guard<std::mutex> lock(m_ReservedBufMutex[i]);
            if (m_ReservedBuf[i].UsedLen() <= 0)
                break;
            WriteCom(i, m_ReservedBuf[i].UsedLen(), true);
        }
    }
}

void CCaptureEngine::CloseSerialOutput(int i)
{
    // The writer must be gone before the port handle it writes to is closed.
    m_ComStopEvent[i].Signal();
    if (m_ComWriterThread[i].joinable())
        m_ComWriterThread[i].join();
    m_hComPort[i].Close();
}
