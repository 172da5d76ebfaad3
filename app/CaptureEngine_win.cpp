#include "app/CaptureEngine.h"

#include "app/ProgramLog.h"
#include "app/QueueIds.h"
#include "app/SourceName.h"
#include "base/AtomicFile.h"
#include "base/IniProfile.h"
#include "base/IniText.h"
#include "base/WinHandle.h"
#include "base/Trace.h"
#include "output/QueueFile.h"

#include <cstdio>

namespace {

// The whole of a file that other programs may have open; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    CHandle hFile(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile.IsValid())
        return false;
    bytes.clear();
    char buffer[16384];
    DWORD dwRead = 0;
    while (ReadFile(hFile.Get(), buffer, sizeof buffer, &dwRead, nullptr)) {
        if (dwRead == 0)
            return true;
        bytes.append(buffer, dwRead);
    }
    return false;
}

}  // namespace

CCaptureEngine::CCaptureEngine(CEngineCallback& callback) : m_Callback(callback)
{
    for (int i = 0; i < MAX_SOURCES; ++i) {
        m_StartKind[i] = -1;
        m_StartReceiptType[i] = -1;
        m_Queues[i] = std::make_unique<COutputQueue>();
        m_Queues[i]->SetSource(i);
        m_Queues[i]->SetDiagnostics(static_cast<COutputEvents*>(this));
        m_LastOutputState[i] = -1;
    }
}

CCaptureEngine::~CCaptureEngine()
{
    if (m_bRunning)
        Stop();
    // Each file's last flush; its thread reports nothing after this.
    for (auto& queue : m_Queues)
        queue->CloseStore();
}

void CCaptureEngine::GiveQueueIds()
{
    std::vector<int> ids;
    for (const auto& record : m_PosSettingArray)
        ids.push_back(record->nQueueId);
    AssignQueueIds(ids);
    for (size_t k = 0; k < ids.size(); ++k)
        m_PosSettingArray[k]->nQueueId = ids[k];
}

std::string CCaptureEngine::QueueFilePath(int i) const
{
    if (m_strQueueFolder.empty() || i < 0 || i >= SourceCount())
        return std::string();
    return m_strQueueFolder + QueueFileName(m_PosSettingArray[static_cast<size_t>(i)]->nQueueId);
}

std::string CCaptureEngine::PositionFilePath(int i) const
{
    if (m_strQueueFolder.empty() || i < 0 || i >= SourceCount())
        return std::string();
    return m_strQueueFolder + PositionFileName(m_PosSettingArray[static_cast<size_t>(i)]->nQueueId);
}

void CCaptureEngine::OpenQueueStores()
{
    if (m_strQueueFolder.empty())
        return;
    CreateDirectoryA(m_strQueueFolder.c_str(), nullptr);
    for (int i = 0; i < SourceCount(); ++i) {
        COutputQueue& queue = *m_Queues[i];
        const std::string path = QueueFilePath(i);
        if (queue.StoreKey() == path && queue.HasStore() && queue.IsStoreWritable())
            continue;
        queue.CloseStore();
        COutputQueue* pQueue = &queue;
        auto pFile = std::make_unique<CQueueFile>(
            path, [this, pQueue](bool bWritable) { OnQueueStoreState(pQueue->Source(), bWritable); });
        const QUEUE_FILE_CONTENT content = queue.OpenStore(path, std::make_unique<CQueueJournal>(std::move(pFile)));
        if (content.eState == QUEUE_FILE_STATE::Empty || content.eState == QUEUE_FILE_STATE::Intact) {
            if (!content.pending.empty())
                Trace("[Tillvox] POS:%d %u queued bytes read back from %s\n", i,
                      static_cast<unsigned>(content.pending.size()), path.c_str());
            continue;
        }
        if (content.eState == QUEUE_FILE_STATE::Unreadable) {
            Log(LOG_LEVEL::LEVEL_ERROR, i, DIAG_KIND_QUEUE_FILE,
                "queue file " + path + " cannot be read: left as it is for the next start; this run's queue is kept "
                "in memory only");
            continue;
        }
        Trace("[Tillvox] POS:%d queue file %s damaged (state %d): %u bytes read back, %u bytes dropped\n", i,
              path.c_str(), static_cast<int>(content.eState), static_cast<unsigned>(content.pending.size()),
              static_cast<unsigned>(content.nDroppedLen));
        Log(LOG_LEVEL::LEVEL_ERROR, i, DIAG_KIND_QUEUE_FILE,
            "queue file " + path + " damaged: kept aside, " + std::to_string(content.pending.size()) +
                " bytes read back, " + std::to_string(content.nDroppedLen) + " bytes lost");
        m_Callback.CautionBox(i, m_Callback.GetString("IDS_PTS_QUEUE_DAMAGED"));
    }
}

void CCaptureEngine::OnQueueStoreState(int nSource, bool bWritable)
{
    if (nSource < 0 || nSource >= MAX_SOURCES)
        return;
    if (bWritable)
        Log(LOG_LEVEL::LEVEL_INFO, nSource, nullptr, "queue file can be written again");
    else
        Log(LOG_LEVEL::LEVEL_ERROR, nSource, DIAG_KIND_QUEUE_FILE,
            "queue file cannot be written: what waits is kept in memory only");
    if (!m_bRunning)
        return;
    int state = -1;
    {
        std::lock_guard<std::mutex> lock(m_ListUpdateMutex);
        state = m_LastOutputState[nSource];
    }
    if (state >= 0)
        OnOutputStatus(nSource, static_cast<OUTPUT_STATUS>(state));
}

void CCaptureEngine::LoadTexts()
{
    m_strReconnect = m_Callback.GetString("IDS_RECONNECT");
    m_strConnected = m_Callback.GetString("IDS_PTS_CONNECTED");
    m_strWaitConnect = m_Callback.GetString("IDS_PTS_WAIT_CONNECT");
}

std::vector<SOURCE_ROW_TEXT> CCaptureEngine::LoadSettings(const std::string& path)
{
    CIniProfile profile(path);
    LOADED_SETTINGS loaded = LoadSettingsFrom(profile, m_bRightToLeft);
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        Log(LOG_LEVEL::LEVEL_INFO, DIAG_PROGRAM, nullptr, "no settings file " + path + " yet: no sources");
    else if (loaded.nFileNumber != static_cast<int>(loaded.sources.size()))
        Log(LOG_LEVEL::LEVEL_WARNING, DIAG_PROGRAM, nullptr,
            "settings file " + path + " names " + std::to_string(loaded.nFileNumber) + " sources; " +
                std::to_string(loaded.sources.size()) + " were read");
    m_PosSettingArray.clear();
    std::vector<SOURCE_ROW_TEXT> rows;
    for (auto& source : loaded.sources) {
        const int i = static_cast<int>(m_PosSettingArray.size());
        m_StartKind[i] = source.pRecord->nMonitorType;
        m_StartReceiptType[i] = source.pRecord->nReceiptType;
        m_PosSettingArray.push_back(std::move(source.pRecord));
        rows.push_back(source.row);
    }
    GiveQueueIds();
    RefreshSourceNames();
    return rows;
}

bool CCaptureEngine::SaveSettings(const std::string& path, bool bRowDeleted)
{
    // Saved after every edit: a changed POS index renames the source from now on.
    RefreshSourceNames();
    std::string strOld;
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES && !ReadWholeFile(path, strOld)) {
        // Its other sections (the metrics folder, the window) would be lost with it.
        Log(LOG_LEVEL::LEVEL_ERROR, DIAG_PROGRAM, nullptr,
            "the settings could not be saved: " + path + " cannot be read, error " + std::to_string(GetLastError()));
        return false;
    }
    CIniText file(strOld);
    std::vector<const POS_SETTING_INFO*> records;
    for (const auto& record : m_PosSettingArray)
        records.push_back(record.get());
    SaveSettingsTo(file, records, m_bRightToLeft);
    if (bRowDeleted)
        file.DeleteSection(SetupSectionName(SourceCount()));
    if (!WriteFileAtomically(path, file.Text(), true)) {
        Log(LOG_LEVEL::LEVEL_ERROR, DIAG_PROGRAM, nullptr,
            "the settings could not be saved to " + path + ", error " + std::to_string(GetLastError()) +
                ": the file keeps the sources it had");
        return false;
    }
    return true;
}

void CCaptureEngine::AddSource(std::unique_ptr<POS_SETTING_INFO> record)
{
    if (m_PosSettingArray.size() >= static_cast<size_t>(MAX_SOURCES))
        return;
    const int i = SourceCount();
    m_StartKind[i] = record->nMonitorType;
    m_StartReceiptType[i] = record->nReceiptType;
    m_PosSettingArray.push_back(std::move(record));
    GiveQueueIds();
    RefreshSourceNames();
    // A file left under the new source's name (a settings file edited by hand) is not its queue.
    const std::string path = QueueFilePath(i);
    if (!path.empty()) {
        DeleteFileA(path.c_str());
        DeleteFileA(PositionFilePath(i).c_str());
    }
}

void CCaptureEngine::DeleteSource(int i)
{
    if (i < 0 || i >= SourceCount())
        return;
    // The source's queue goes with it: nothing of it may reach the source that takes its row.
    m_Queues[i]->CloseStore();
    const std::string path = QueueFilePath(i);
    if (!path.empty()) {
        DeleteFileA(path.c_str());
        DeleteFileA((path + ".damaged").c_str());
        DeleteFileA(PositionFilePath(i).c_str());
    }
    m_PosSettingArray.erase(m_PosSettingArray.begin() + i);
    for (int k = i; k < MAX_SOURCES - 1; ++k) {
        m_StartKind[k] = m_StartKind[k + 1];
        m_StartReceiptType[k] = m_StartReceiptType[k + 1];
    }
    m_StartKind[MAX_SOURCES - 1] = -1;
    m_StartReceiptType[MAX_SOURCES - 1] = -1;
    // The queues follow their sources up the list; the deleted one's goes last, emptied.
    m_Queues[i]->Clear();
    {
        std::lock_guard<std::mutex> lock(m_ViewMutex);
        std::unique_ptr<COutputQueue> deleted = std::move(m_Queues[i]);
        for (int k = i; k < MAX_SOURCES - 1; ++k) {
            m_Queues[k] = std::move(m_Queues[k + 1]);
            m_Queues[k]->SetSource(k);
        }
        deleted->SetSource(MAX_SOURCES - 1);
        m_Queues[MAX_SOURCES - 1] = std::move(deleted);
    }
    RefreshSourceNames();
}

void CCaptureEngine::RefreshSourceNames() const
{
    std::vector<std::string> names;
    for (size_t i = 0; i < m_PosSettingArray.size(); ++i)
        names.push_back(SourceLogName(*m_PosSettingArray[i], static_cast<int>(i)));
    std::lock_guard<std::mutex> lock(m_ViewMutex);
    m_SourceNames = std::move(names);
}

void CCaptureEngine::Log(LOG_LEVEL level, int nSource, const char* pszKind, const std::string& strText)
{
    if (!m_pLog)
        return;
    std::string strName = LOG_PROGRAM_NAME;
    if (nSource >= 0) {
        std::lock_guard<std::mutex> lock(m_ViewMutex);
        strName = static_cast<size_t>(nSource) < m_SourceNames.size() ? m_SourceNames[static_cast<size_t>(nSource)]
                                                                     : "row " + std::to_string(nSource + 1);
    }
    m_pLog->Write(level, strName, pszKind, strText);
}

void CCaptureEngine::Note(LOG_LEVEL level, int nSource, const char* pszKind, const std::string& strText)
{
    Log(level, nSource, pszKind, strText);
}

void CCaptureEngine::OnTillRefused(int nSource, const std::string& strPeer, unsigned short nPort)
{
    if (nSource >= 0 && nSource < MAX_SOURCES)
        m_Queues[nSource]->Counters().AddRefused(REFUSAL_REASON::UNKNOWN_TILL);
    Log(LOG_LEVEL::LEVEL_WARNING, nSource, DIAG_KIND_REFUSED_TILL,
        "till connection from " + strPeer + " on TCP port " + std::to_string(nPort) +
            " refused: no source has this address");
}

std::vector<METRICS_SOURCE> CCaptureEngine::MetricsSources()
{
    int states[MAX_SOURCES];
    {
        std::lock_guard<std::mutex> lock(m_ListUpdateMutex);
        for (int i = 0; i < MAX_SOURCES; ++i)
            states[i] = m_LastOutputState[i];
    }
    std::vector<METRICS_SOURCE> sources;
    std::lock_guard<std::mutex> lock(m_ViewMutex);
    for (size_t i = 0; i < m_SourceNames.size() && i < static_cast<size_t>(MAX_SOURCES); ++i) {
        METRICS_SOURCE source;
        source.strName = m_SourceNames[i];
        source.counters = m_Queues[i]->Counters().Snapshot();
        const int state = states[i];
        // A port whose line settings were refused is open all the same, and written to.
        source.bOutputConnected = state == static_cast<int>(OUTPUT_STATUS::ComReady) ||
            state == static_cast<int>(OUTPUT_STATUS::ComSettingFailed) ||
            state == static_cast<int>(OUTPUT_STATUS::WaitingForRecorder) ||
            state == static_cast<int>(OUTPUT_STATUS::RecorderConnected);
        source.bRecorderLoggedIn =
            state == static_cast<int>(OUTPUT_STATUS::RecorderConnected) && m_Queues[i]->IsReady();
        sources.push_back(std::move(source));
    }
    return sources;
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

void CCaptureEngine::SetOutputProbe(COutputProbe* pProbe)
{
    m_pOutputProbe = pProbe;
    for (auto& output : m_Outputs)
        if (output)
            output->SetProbe(pProbe);
}

void CCaptureEngine::Start()
{
    if (m_bRunning)
        return;
    m_bRunning = 1;
    RefreshSourceNames();
    Log(LOG_LEVEL::LEVEL_INFO, DIAG_PROGRAM, nullptr,
        "capture starts with " + std::to_string(SourceCount()) + " sources");
    OpenQueueStores();
    for (int i = 0; i < SourceCount(); ++i) {
        m_Outputs[i] = MakeOutput(Source(i), *m_Queues[i], m_LinkTiming);
        m_Outputs[i]->SetProbe(m_pOutputProbe);
        m_Outputs[i]->Open(i, Source(i), *this);
    }

    std::vector<FILE_SOURCE> files;
    for (int i = 0; i < SourceCount(); ++i) {
        if (Source(i).nMonitorType != KIND_FILE)
            continue;
        files.push_back(FILE_SOURCE{i, Source(i).strFilePath, m_StartReceiptType[i], !m_Queues[i]->IsFailed(),
                                    PositionFilePath(i)});
    }
    m_FileInput.Start(files, *this, *this);

    std::vector<const POS_SETTING_INFO*> records;
    for (const auto& record : m_PosSettingArray)
        records.push_back(record.get());
    m_NetworkMonitor.Start(NetworkSourcesOf(records));

    std::vector<INFOGENESIS_SOURCE> infogenesis;
    for (int i = 0; i < SourceCount(); ++i) {
        const POS_SETTING_INFO& record = Source(i);
        if (record.nMonitorType == KIND_INFOGENESIS)
            infogenesis.push_back(INFOGENESIS_SOURCE{i, record.infogenesis.szIP, record.infogenesis.nSendPort,
                                                     record.infogenesis.nRecvPort, record.infogenesis.szTerminalIDs});
    }
    std::vector<int> slots;
    m_Infogenesis.Start(infogenesis, m_InfogenesisLibrary, *this, *this, slots);
    for (size_t k = 0; k < infogenesis.size(); ++k)
        Source(infogenesis[k].nSource).infogenesis.nSlot = slots[k];
}

void CCaptureEngine::Stop()
{
    if (!m_bRunning)
        return;
    // The library is stopped and its handlers waited for before anything they
    // may reach goes; every input ends before any output closes, so nothing is
    // delivered into an output that is already gone.
    m_Infogenesis.Stop();
    m_FileInput.Stop();
    m_NetworkMonitor.Stop();
    for (auto& output : m_Outputs)
        if (output)
            output->BeginClose();
    for (auto& output : m_Outputs)
        if (output) {
            output->Close();
            output.reset();
        }
    for (int i = 0; i < SourceCount(); ++i)
        PostListCell(i, 0, m_strWaitConnect);
    // What waits stays queued (and in its file) for the next start.
    {
        std::lock_guard<std::mutex> lock(m_ListUpdateMutex);
        for (auto& status : m_LastOutputStatus)
            status.clear();
        for (int& state : m_LastOutputState)
            state = -1;
    }
    m_bRunning = 0;
    Log(LOG_LEVEL::LEVEL_INFO, DIAG_PROGRAM, nullptr, "capture stopped");
}

void CCaptureEngine::Deliver(int i, const uint8_t* bytes, int count)
{
    if (i < 0 || i >= MAX_SOURCES)
        return;
    m_Queues[i]->Deliver(bytes, count);
}

std::string CCaptureEngine::StatusText(OUTPUT_STATUS eStatus)
{
    switch (eStatus) {
    case OUTPUT_STATUS::ComReady:
        return m_Callback.GetString("IDS_PTS_COM_SETTING_DONE");
    case OUTPUT_STATUS::ComFailed:
    case OUTPUT_STATUS::ComSettingFailed:
        return m_Callback.GetString("IDS_PTS_COM_SETTING_FAIL");
    case OUTPUT_STATUS::WaitingForRecorder:
        return m_strWaitConnect;
    case OUTPUT_STATUS::RecorderConnected:
        return m_strConnected;
    case OUTPUT_STATUS::ListenFailed:
        return m_Callback.GetString("IDS_PTS_LISTEN_FAIL");
    }
    return std::string();
}

std::string CCaptureEngine::RowStatusText(int nSource, OUTPUT_STATUS eStatus)
{
    std::string text = StatusText(eStatus);
    if (!m_strQueueFolder.empty() && !m_Queues[nSource]->IsStoreWritable())
        text += " (" + m_Callback.GetString("IDS_PTS_QUEUE_IN_MEMORY") + ")";
    return text;
}

void CCaptureEngine::OnOutputStatus(int nSource, OUTPUT_STATUS eStatus)
{
    const std::string text = RowStatusText(nSource, eStatus);
    {
        std::lock_guard<std::mutex> lock(m_ListUpdateMutex);
        m_LastOutputStatus[nSource] = text;
        m_LastOutputState[nSource] = static_cast<int>(eStatus);
    }
    PostListCell(nSource, 0, text);
}

void CCaptureEngine::OnInputStatus(int nSource, INPUT_STATUS eStatus)
{
    if (eStatus == INPUT_STATUS::FolderMissing) {
        Log(LOG_LEVEL::LEVEL_WARNING, nSource, DIAG_KIND_INPUT_FAILED, "the watched file's folder is missing");
        PostListCell(nSource, 0, m_Callback.GetString("IDS_PTS_FOLDER_MISSING"));
        return;
    }
    Log(LOG_LEVEL::LEVEL_INFO, nSource, nullptr, "the watched file's folder is there again");
    std::string text;
    {
        std::lock_guard<std::mutex> lock(m_ListUpdateMutex);
        text = m_LastOutputStatus[nSource];
    }
    PostListCell(nSource, 0, text);
}

void CCaptureEngine::OnInfogenesisStatus(int nSource, int nStatus)
{
    if (nStatus != INFOGENESIS_STATUS_STOPPED) {
        const std::string strEvent = " (status " + std::to_string(nStatus) + ")";
        switch (RowStateOf(nStatus)) {
        case INFOGENESIS_ROW_STATE::Waiting:
            Log(LOG_LEVEL::LEVEL_INFO, nSource, nullptr, "Infogenesis connection waits" + strEvent);
            break;
        case INFOGENESIS_ROW_STATE::Connected:
            Log(LOG_LEVEL::LEVEL_INFO, nSource, nullptr, "Infogenesis connected" + strEvent);
            break;
        case INFOGENESIS_ROW_STATE::Reconnecting:
            Log(LOG_LEVEL::LEVEL_WARNING, nSource, DIAG_KIND_INPUT_FAILED,
                "Infogenesis connection lost, reconnecting" + strEvent);
            break;
        case INFOGENESIS_ROW_STATE::Failed:
            Log(LOG_LEVEL::LEVEL_ERROR, nSource, DIAG_KIND_INPUT_FAILED, "Infogenesis connection failed" + strEvent);
            break;
        }
    }
    m_Callback.OnInfogenesisStatus(nSource, nStatus);
}

void CCaptureEngine::OnInfogenesisLost(int nObject)
{
    m_Callback.ArmInfogenesisRetry(nObject);
}

void CCaptureEngine::RestartInfogenesis(int nObject)
{
    if (m_bRunning)
        m_Infogenesis.Restart(nObject);
}

std::string CCaptureEngine::InfogenesisRowText(int nSource, int nStatus)
{
    if (nSource < 0 || nSource >= SourceCount() || Source(nSource).nMonitorType != KIND_INFOGENESIS)
        return std::string();
    const INFOGENESIS_SETTING& setting = Source(nSource).infogenesis;
    char description[2 * INFOGENESIS_TEXT_SIZE + 64];
    std::snprintf(description, sizeof description, "Infogenesis: %s, %d, %d, %s", setting.szIP, setting.nSendPort,
                  setting.nRecvPort, setting.szTerminalIDs);
    if (nStatus == INFOGENESIS_STATUS_STOPPED)
        return description;
    if (!m_bRunning)
        return std::string();
    const std::string text = std::string(description) + " ";
    switch (RowStateOf(nStatus)) {
    case INFOGENESIS_ROW_STATE::Waiting:
        return text + "(" + m_strWaitConnect + ")";
    case INFOGENESIS_ROW_STATE::Connected:
        return text + "(" + m_strConnected + ")";
    case INFOGENESIS_ROW_STATE::Reconnecting:
        return text + " (" + m_strReconnect + ")";
    case INFOGENESIS_ROW_STATE::Failed:
        break;
    }
    return text + " (Failed)";
}

void CCaptureEngine::OnWrongPassword(int nSource)
{
    m_Callback.CautionBox(nSource, m_Callback.GetString("IDS_PTS_WARNING_WRONG_PASSWORD"));
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
