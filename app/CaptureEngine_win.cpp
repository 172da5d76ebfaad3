#include "app/CaptureEngine.h"

#include "config/IniProfile.h"

CCaptureEngine* g_pEngine = nullptr;

CCaptureEngine::CCaptureEngine(CEngineCallback& callback) : m_Callback(callback)
{
    for (int i = 0; i < MAX_SOURCES; ++i) {
        m_StartKind[i] = -1;
        m_StartReceiptType[i] = -1;
        m_WaitAck[i] = 0;
        m_OutputReady[i] = 0;
        m_OutputFailed[i] = -1;
        End_TCP_Thread_Event[i] = 0;
        m_RecvCopyBuf[i].reset(new uint8_t[RECV_COPY_BUF_SIZE]());
        m_ScratchBuf[i].reset(new uint8_t[SCRATCH_BUF_SIZE]());
        m_SwapBuf[i].reset(new uint8_t[SWAP_BUF_SIZE]());
    }
    g_pEngine = this;
}

CCaptureEngine::~CCaptureEngine()
{
    if (m_bRunning)
        CloseOutputs();
    if (g_pEngine == this)
        g_pEngine = nullptr;
}

void CCaptureEngine::LoadTexts()
{
    m_strPrinterSerial = m_Callback.GetString("IDS_PTS_PRINTER_SERIAL");
    m_strPrinterTcp = m_Callback.GetString("IDS_PTS_PRINTER_TCP");
    m_strReconnect = m_Callback.GetString("IDS_RECONNECT");
    m_strConnected = m_Callback.GetString("IDS_PTS_CONNECTED");
    m_strWaitConnect = m_Callback.GetString("IDS_PTS_WAIT_CONNECT");
}

std::vector<SOURCE_ROW_TEXT> CCaptureEngine::LoadSettings(const std::string& path)
{
    CIniProfile profile(path);
    LOADED_SETTINGS loaded = LoadSettingsFrom(profile, m_bRightToLeft);
    m_PosSettingArray.clear();
    std::vector<SOURCE_ROW_TEXT> rows;
    for (auto& source : loaded.sources) {
        const int i = static_cast<int>(m_PosSettingArray.size());
        m_StartKind[i] = source.pRecord->nMonitorType;
        m_StartReceiptType[i] = source.pRecord->nReceiptType;
        m_PosSettingArray.push_back(std::move(source.pRecord));
        rows.push_back(source.row);
    }
    return rows;
}

void CCaptureEngine::SaveSettings(const std::string& path) const
{
    CIniProfile profile(path);
    std::vector<const POS_SETTING_INFO*> records;
    for (const auto& record : m_PosSettingArray)
        records.push_back(record.get());
    SaveSettingsTo(profile, records, m_bRightToLeft);
}

void CCaptureEngine::AddSource(std::unique_ptr<POS_SETTING_INFO> record)
{
    if (m_PosSettingArray.size() >= static_cast<size_t>(MAX_SOURCES))
        return;
    const int i = SourceCount();
    m_StartKind[i] = record->nMonitorType;
    m_StartReceiptType[i] = record->nReceiptType;
    m_PosSettingArray.push_back(std::move(record));
}

void CCaptureEngine::DeleteSource(int i)
{
    if (i < 0 || i >= SourceCount())
        return;
    m_PosSettingArray.erase(m_PosSettingArray.begin() + i);
    for (int k = i; k < MAX_SOURCES - 1; ++k) {
        m_StartKind[k] = m_StartKind[k + 1];
        m_StartReceiptType[k] = m_StartReceiptType[k + 1];
    }
    m_StartKind[MAX_SOURCES - 1] = -1;
    m_StartReceiptType[MAX_SOURCES - 1] = -1;
}

bool CCaptureEngine::NeedsRestart() const
{
    for (size_t i = 0; i < m_PosSettingArray.size(); ++i) {
        const POS_SETTING_INFO& record = *m_PosSettingArray[i];
        if (record.nReceiptType != m_StartReceiptType[i] || record.nMonitorType != m_StartKind[i])
            return true;
    }
    return false;
}

void CCaptureEngine::PostListCell(int row, int column, const std::string& text)
{
    if (row < 0 || row >= MAX_SOURCES)
        return;
    {
        std::lock_guard<std::mutex> lock(m_ListUpdateMutex);
        m_ListUpdates[row] = LIST_CELL_UPDATE{row, column, text};
    }
    m_Callback.OnListCellPosted(row);
}

bool CCaptureEngine::TakeListCell(int slot, LIST_CELL_UPDATE& update)
{
    if (slot < 0 || slot >= MAX_SOURCES)
        return false;
    std::lock_guard<std::mutex> lock(m_ListUpdateMutex);
    update = m_ListUpdates[slot];
    return update.nRow >= 0;
}

void CCaptureEngine::ClearListCells()
{
    std::lock_guard<std::mutex> lock(m_ListUpdateMutex);
    for (auto& update : m_ListUpdates)
        update = LIST_CELL_UPDATE{};
}

int CCaptureEngine::ReservedLen(int i)
{
    std::lock_guard<std::mutex> lock(m_ReservedBufMutex[i]);
    return m_ReservedBuf[i].UsedLen();
}

void CCaptureEngine::OpenOutputs()
{
    m_bRunning = 1;
    for (int i = 0; i < SourceCount(); ++i) {
        if (IsSerialOutput(i))
            OpenSerialOutput(i);
        else if (IsTcpOutput(i))
            OpenTcpOutput(i);
    }
}

void CCaptureEngine::CloseOutputs()
{
    // Every link learns first that it is to end, so none starts serving anew
    // while the others are being closed; its sockets are closed before any
    // watcher is waited for, since a watcher's capture may be blocked sending
    // to a recorder that does not read.
    for (int i = 0; i < SourceCount(); ++i) {
        if (IsTcpOutput(i)) {
            End_TCP_Thread_Event[i] = 1;
            m_OutputReady[i] = 0;
            CancelTcpOutput(i);
        }
    }
    // The network readers end before the outputs they deliver to are torn down.
    m_NetworkMonitor.Stop();
    for (int i = 0; i < SourceCount(); ++i) {
        StopFileInput(i);
        {
            // What was still queued is discarded; under the lock, since a writer may be draining.
            std::lock_guard<std::mutex> lock(m_ReservedBufMutex[i]);
            m_ReservedBuf[i].Clear();
        }
        if (IsSerialOutput(i))
            CloseSerialOutput(i);
        else if (IsTcpOutput(i))
            CloseTcpOutput(i);
        PostListCell(i, 0, m_strWaitConnect);
    }
    ResetSlots();
    m_bRunning = 0;
}

void CCaptureEngine::StartNetworkInputs()
{
    std::vector<const POS_SETTING_INFO*> records;
    for (const auto& record : m_PosSettingArray)
        records.push_back(record.get());
    m_NetworkMonitor.Start(NetworkSourcesOf(records));
}

void CCaptureEngine::ResetSlots()
{
    for (int i = 0; i < MAX_SOURCES; ++i) {
        std::lock_guard<std::mutex> lock(m_ReservedBufMutex[i]);
        m_OutputReady[i] = 0;
        m_OutputFailed[i] = -1;
        m_WaitAck[i] = 0;
        m_ReservedBuf[i].SetLastChunkLen(0);
        m_LinkHandles[i] = LINK_HANDLES{};
        m_SendSocketAttached[i] = 0;
        End_TCP_Thread_Event[i] = 0;
    }
}
