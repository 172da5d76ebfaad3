#pragma once
// The capture engine: the source records, one queue and one output per
// source and the inputs, started and stopped together. It turns what outputs and inputs
// report into row texts for the window. The window owns one engine.
//
// Each source's queue is written through to a file of its own in the queue
// folder (when one is set), named by the source's queue id so that it follows
// the source when rows shift. The queue outlives Stop and Start and a change
// of output; it goes only with its source.
//
// Start: every queue's file, then every output in list order, then the inputs, the Infogenesis
// connections last. Stop: the Infogenesis connections first (their library
// calls back on its own threads), then every other input, then every output;
// the queues keep what waits.
// m_ListUpdateMutex is never held together with another lock.
#include "base/MetricsText.h"
#include "capture/DeliverySink.h"
#include "capture/FileInput.h"
#include "capture/InfogenesisInput.h"
#include "capture/InputEvents.h"
#include "capture/NetworkMonitor.h"
#include "config/PosSettingInfo.h"
#include "config/SettingsFile.h"
#include "net/WinsockInit.h"
#include "output/OutputEvents.h"
#include "output/Output.h"
#include "output/OutputQueue.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

constexpr UINT WM_LIST_CELL = 10000;
constexpr UINT WM_INFOGENESIS_STATUS = 2000;
constexpr UINT TIMER_INFOGENESIS_BASE = 10000;

// What the engine needs from the window that shows it (and from tests).
class CEngineCallback {
public:
    virtual ~CEngineCallback() = default;
    // A worker filled mailbox slot `slot`; the window posts WM_LIST_CELL for it.
    virtual void OnListCellPosted(int slot) = 0;
    // A warning for the user about source nSource; returns at once (the box is
    // shown elsewhere), and at most one per source is open at a time.
    virtual void CautionBox(int nSource, const std::string& text) = 0;
    // The text of an IDS_ key in the current language, in UTF-8 (the window
    // turns it into UTF-16; settings-file texts in row texts stay ANSI).
    virtual std::string GetString(const char* key) = 0;
    // An Infogenesis status for source nSource; any thread. The window posts
    // WM_INFOGENESIS_STATUS and shows InfogenesisRowText(nSource, nStatus).
    virtual void OnInfogenesisStatus(int nSource, int nStatus) = 0;
    // Infogenesis connection object nObject was lost; any thread. In 5000 ms
    // the window's timer TIMER_INFOGENESIS_BASE + nObject calls RestartInfogenesis.
    virtual void ArmInfogenesisRetry(int nObject) = 0;
};

struct LIST_CELL_UPDATE {
    int nRow = -1;
    int nColumn = -1;
    std::string strText;
};

class CProgramLog;

class CCaptureEngine : public CDeliverySink,
                       private COutputEvents,
                       private CInputEvents,
                       private CInfogenesisEvents,
                       private CNetworkEvents {
public:
    explicit CCaptureEngine(CEngineCallback& callback);
    ~CCaptureEngine() override;
    CCaptureEngine(const CCaptureEngine&) = delete;
    CCaptureEngine& operator=(const CCaptureEngine&) = delete;

    // Where the queue files live; empty (the default) keeps queues in memory only.
    void SetQueueFolder(const std::string& strFolder) { m_strQueueFolder = strFolder; }
    // How recorder links pause and wait, from the next Start; the program keeps the defaults.
    void SetLinkTiming(const LINK_TIMING& timing) { m_LinkTiming = timing; }
    std::string QueueFilePath(int i) const;
    // Where an append-mode file source remembers how far it captured (in the same folder, by the same id).
    std::string PositionFilePath(int i) const;

    // Where the engine and everything it runs write their diagnostics (null: nowhere); set before LoadSettings.
    void SetProgramLog(CProgramLog* pLog) { m_pLog = pLog; }
    // A line about source nSource (DIAG_PROGRAM: the program) for the log; any thread.
    void Log(LOG_LEVEL level, int nSource, const char* pszKind, const std::string& strText);
    // Every source's counters and states for the metrics, named; any thread.
    std::vector<METRICS_SOURCE> MetricsSources();

    // Language texts the engine shows; call before LoadSettings.
    void LoadTexts();
    void SetRightToLeft(bool bRightToLeft) { m_bRightToLeft = bRightToLeft; }

    // Settings file: fills the records and start-time snapshots, returns each row's texts.
    std::vector<SOURCE_ROW_TEXT> LoadSettings(const std::string& path);
    // Saves the sources whole: the file's other sections stay as they were,
    // and the new file replaces the old one in one step, on the disk first, so
    // that a crash or power cut during a save leaves the old sources or the
    // new ones, never a mixture. bRowDeleted: the section after the last
    // source, left over from the deleted row, goes too. False (and logged)
    // when it could not be saved; the old file then stays as it was.
    bool SaveSettings(const std::string& path, bool bRowDeleted = false);
    int SourceCount() const { return static_cast<int>(m_PosSettingArray.size()); }
    POS_SETTING_INFO& Source(int i) { return *m_PosSettingArray[static_cast<size_t>(i)]; }
    void AddSource(std::unique_ptr<POS_SETTING_INFO> record);
    void DeleteSource(int i);

    // True when a source's kind or receipt type differs from what was loaded:
    // the change takes effect only after a restart of the program.
    bool NeedsRestart() const;

    // The start and stop sequences, on the user-interface thread.
    void Start();
    void Stop();
    bool IsRunning() const { return m_bRunning != 0; }

    // The adapter library's exports, when it was loaded; without both no
    // Infogenesis source connects.
    void SetInfogenesisLibrary(const INFOGENESIS_LIBRARY& library) { m_InfogenesisLibrary = library; }
    bool HasInfogenesisLibrary() const
    {
        return m_InfogenesisLibrary.pfnCreatePtr && m_InfogenesisLibrary.pfnDeletePtr;
    }
    // The retry timer of connection object nObject fired (user-interface thread).
    void RestartInfogenesis(int nObject);
    // The Source column of row nSource for an Infogenesis status; empty when
    // the row is not to change (not running, or not an Infogenesis source).
    std::string InfogenesisRowText(int nSource, int nStatus);
    const CInfogenesisInput& Infogenesis() const { return m_Infogenesis; }

    // The one hand-over from every input to source i's output.
    void Deliver(int i, const uint8_t* bytes, int count) override;

    // List-cell mailbox: workers post, the user-interface thread takes.
    void PostListCell(int row, int column, const std::string& text);
    bool TakeListCell(int slot, LIST_CELL_UPDATE& update);
    void ClearListCells();

    void SetOutputProbe(COutputProbe* pProbe);

    // Read-only views for the window and for tests.
    COutputQueue& Queue(int i) { return *m_Queues[i]; }
    const FILE_STATE& FileState(int i) const { return m_FileInput.State(i); }
    int FindFileSource(const std::string& strPath) const { return m_FileInput.FindFileSource(strPath); }

    std::string m_strReconnect;
    std::string m_strConnected;
    std::string m_strWaitConnect;

    int m_StartKind[MAX_SOURCES];
    int m_StartReceiptType[MAX_SOURCES];
    std::atomic<int> m_bRunning{0};
    int m_bStoppedByUser = 0;

private:
    void OnOutputStatus(int nSource, OUTPUT_STATUS eStatus) override;
    void OnWrongPassword(int nSource) override;
    void OnInputStatus(int nSource, INPUT_STATUS eStatus) override;
    void OnInfogenesisStatus(int nSource, int nStatus) override;
    void OnInfogenesisLost(int nObject) override;
    void Note(LOG_LEVEL level, int nSource, const char* pszKind, const std::string& strText) override;
    void OnTillRefused(int nSource, const std::string& strPeer, unsigned short nPort) override;
    // Takes the sources' names anew after the list or a record changed (user-interface thread).
    void RefreshSourceNames() const;
    std::string StatusText(OUTPUT_STATUS eStatus);
    std::string RowStatusText(int nSource, OUTPUT_STATUS eStatus);
    void OpenQueueStores();
    void OnQueueStoreState(int nSource, bool bWritable);
    void GiveQueueIds();

    CEngineCallback& m_Callback;
    bool m_bRightToLeft = false;
    CWinsockInit m_Winsock;

    // Records: changed only on the user-interface thread while capture is stopped;
    // workers read them while it runs.
    std::vector<std::unique_ptr<POS_SETTING_INFO>> m_PosSettingArray;

    // m_ListUpdateMutex guards m_ListUpdates and m_LastOutputStatus (workers
    // write, the user-interface thread reads).
    std::mutex m_ListUpdateMutex;
    LIST_CELL_UPDATE m_ListUpdates[MAX_SOURCES];
    std::string m_LastOutputStatus[MAX_SOURCES];
    int m_LastOutputState[MAX_SOURCES];  // an OUTPUT_STATUS, -1 when none since the start

    // Each source's queue, kept in row order; its output exists while capture runs.
    std::unique_ptr<COutputQueue> m_Queues[MAX_SOURCES];
    std::unique_ptr<COutput> m_Outputs[MAX_SOURCES];
    COutputProbe* m_pOutputProbe = nullptr;
    std::string m_strQueueFolder;
    LINK_TIMING m_LinkTiming;  // UI thread (set before Start, read by Start)
    CFileInput m_FileInput;
    // Started and stopped on the user-interface thread; its readers deliver here.
    CNetworkMonitor m_NetworkMonitor{*this, this};

    CProgramLog* m_pLog = nullptr;
    // m_ViewMutex guards m_SourceNames and the order of m_Queues against the
    // metrics thread: taken by the user-interface thread while it changes
    // them and by readers of the views; nothing but the counters' own lock
    // is taken inside it.
    mutable std::mutex m_ViewMutex;
    mutable std::vector<std::string> m_SourceNames;
    INFOGENESIS_LIBRARY m_InfogenesisLibrary;
    CInfogenesisInput m_Infogenesis;
};
