#pragma once
// The per-source runtime table and the capture/output machinery around it.
// The main window owns one engine and only displays what it reports; worker
// threads reach it through g_pEngine.
//
// Lock order: m_ReservedBufMutex[i] first, then m_SocketAttachMutex.
// m_ListUpdateMutex is never held together with another lock.
#include "capture/DeliverySink.h"
#include "capture/FileCapture.h"
#include "capture/NetworkMonitor.h"
#include "capture/ReadDirChange.h"
#include "capture/ReservedBuffer.h"
#include "capture/TimeOutSocket.h"
#include "capture/WinsockInit.h"
#include "capture/WinHandle.h"
#include "config/PosSettingInfo.h"
#include "config/SettingsFile.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

constexpr UINT WM_LIST_CELL = 10000;
constexpr UINT WM_INFOGENESIS_STATUS = 2000;
constexpr UINT TIMER_INFOGENESIS_BASE = 10000;

constexpr int RECV_COPY_BUF_SIZE = 102400;
constexpr int SCRATCH_BUF_SIZE = 40960;
constexpr int SWAP_BUF_SIZE = 102404;
constexpr int DELIVER_PIECE_MAX = 102400;
constexpr int COM_WRITE_MAX = 256;

// What the engine needs from the window that shows it (and from tests).
class CEngineCallback {
public:
    virtual ~CEngineCallback() = default;
    // A worker filled mailbox slot `slot`; the window posts WM_LIST_CELL for it.
    virtual void OnListCellPosted(int slot) = 0;
    // A warning the user must acknowledge; returns when the box is closed.
    virtual void CautionBox(const std::string& text) = 0;
    // The text of an IDS_ key in the current language.
    virtual std::string GetString(const char* key) = 0;
};

// Lets tests watch the serial output at the points where its timing matters.
class COutputProbe {
public:
    virtual ~COutputProbe() = default;
    virtual void OnComWrite(int /*slot*/, int /*count*/, bool /*fromWriterThread*/) {}
    virtual void OnComDataSignalled(int /*slot*/) {}
    // Called by a serial writer when it wakes for data, before it takes the buffer mutex.
    virtual void OnWriterWake(int /*slot*/) {}
};

// Raw socket handles of a source's TCP output, kept for the send side and for traces.
struct LINK_HANDLES {
    int nIndex = -1;
    SOCKET hListen = INVALID_SOCKET;
    SOCKET hSend = INVALID_SOCKET;
};

struct LIST_CELL_UPDATE {
    int nRow = -1;
    int nColumn = -1;
    std::string strText;
};

class CCaptureEngine : public CRDCCallback, public CDeliverySink {
public:
    explicit CCaptureEngine(CEngineCallback& callback);
    ~CCaptureEngine();
    CCaptureEngine(const CCaptureEngine&) = delete;
    CCaptureEngine& operator=(const CCaptureEngine&) = delete;

    // Language texts the engine shows or compares with; call before LoadSettings.
    void LoadTexts();
    void SetRightToLeft(bool bRightToLeft) { m_bRightToLeft = bRightToLeft; }

    // Settings file: fills the records and start-time snapshots, returns each row's texts.
    std::vector<SOURCE_ROW_TEXT> LoadSettings(const std::string& path);
    void SaveSettings(const std::string& path) const;
    int SourceCount() const { return static_cast<int>(m_PosSettingArray.size()); }
    POS_SETTING_INFO& Source(int i) { return *m_PosSettingArray[static_cast<size_t>(i)]; }
    void AddSource(std::unique_ptr<POS_SETTING_INFO> record);
    void DeleteSource(int i);
    bool IsSerialOutput(int i) const { return m_PosSettingArray[static_cast<size_t>(i)]->ePrinterType == PRINTER_TYPE::Serial; }
    bool IsTcpOutput(int i) const { return m_PosSettingArray[static_cast<size_t>(i)]->ePrinterType == PRINTER_TYPE::Tcp; }

    // True when a source's kind or receipt type differs from what was loaded:
    // the change takes effect only after a restart of the program.
    bool NeedsRestart() const;

    // Outputs, opened and closed by the start and stop sequences on the user-interface thread.
    void OpenOutputs();
    void CloseOutputs();

    // File sources: the start snapshot of every file source, then a watcher for
    // each one whose output did not fail. Call after OpenOutputs.
    void StartFileInputs();
    // Network sources: the listeners and their accept threads. Call after
    // StartFileInputs; CloseOutputs ends them.
    void StartNetworkInputs();
    // The file capture, on the watcher's thread.
    int32_t OnDirChange(uint32_t dwAction, const std::string& strPath, uint32_t dwReserved) override;
    // First file source whose path equals strPath, ignoring letter case; -1 when none.
    int FindFileSource(const std::string& strPath) const;
    const FILE_STATE& FileState(int i) const { return m_FileCapture[i].State(); }

    // The one hand-over from every capture kind to source i's output.
    void Deliver(int i, const uint8_t* bytes, int count) override;

    // List-cell mailbox: workers post, the user-interface thread takes.
    void PostListCell(int row, int column, const std::string& text);
    bool TakeListCell(int slot, LIST_CELL_UPDATE& update);
    void ClearListCells();

    void SetOutputProbe(COutputProbe* pProbe) { m_pProbe = pProbe; }

    // Read-only views for the window and for tests.
    int ReservedLen(int i);
    bool IsOutputReady(int i) const { return m_OutputReady[i] != 0; }
    int OutputFailed(int i) const { return m_OutputFailed[i]; }
    bool IsWaitingForAck(int i) const { return m_WaitAck[i] != 0; }

    std::string m_strPrinterSerial;
    std::string m_strPrinterTcp;
    std::string m_strReconnect;
    std::string m_strConnected;
    std::string m_strWaitConnect;

    int m_StartKind[MAX_SOURCES];
    int m_StartReceiptType[MAX_SOURCES];
    std::atomic<int> m_bRunning{0};
    int m_bStoppedByUser = 0;

private:
    void DeliverPiece(int i, const uint8_t* bytes, int count);
    void DeliverSerial(int i, int count);
    void StorePiece(int i, int count);
    int WriteCom(int i, int count, bool fromWriterThread);
    void OpenSerialOutput(int i);
    void CloseSerialOutput(int i);
    void ComWriterThreadProc(int i);
    void ResetSlots();
    void DeliverTcp(int i, int count);
    void StopFileInput(int i);
    void OpenTcpOutput(int i);
    void CancelTcpOutput(int i);
    void CloseTcpOutput(int i);
    void LinkThreadProc(int i);
    bool ServeLinkConnection(int i, const std::string& password);
    void LinkLogin(int i, const std::string& password, const uint8_t* challenge, bool& bKeepConnection);
    void LinkAcknowledged(int i);
    void DropLinkConnection(int i);

    CEngineCallback& m_Callback;
    COutputProbe* m_pProbe = nullptr;
    bool m_bRightToLeft = false;

    // Records: changed only on the user-interface thread while capture is stopped;
    // workers read them while it runs.
    std::vector<std::unique_ptr<POS_SETTING_INFO>> m_PosSettingArray;

    // m_ListUpdateMutex guards m_ListUpdates (workers write, the user-interface thread reads).
    std::mutex m_ListUpdateMutex;
    LIST_CELL_UPDATE m_ListUpdates[MAX_SOURCES];

    // m_ReservedBufMutex[i] guards m_ReservedBuf[i], m_WaitAck[i] and the three copy
    // buffers of source i, and is held across every serial write or TCP send of it.
    std::mutex m_ReservedBufMutex[MAX_SOURCES];
    CReservedBuffer m_ReservedBuf[MAX_SOURCES];
    std::atomic<uint8_t> m_WaitAck[MAX_SOURCES];
    std::unique_ptr<uint8_t[]> m_RecvCopyBuf[MAX_SOURCES];
    std::unique_ptr<uint8_t[]> m_ScratchBuf[MAX_SOURCES];
    std::unique_ptr<uint8_t[]> m_SwapBuf[MAX_SOURCES];

    // Written by the user-interface thread at start and stop and by the link thread; read by capture threads.
    std::atomic<int> m_OutputReady[MAX_SOURCES];
    std::atomic<int> m_OutputFailed[MAX_SOURCES];

    // Serial output: opened and closed on the user-interface thread; the port is
    // used under m_ReservedBufMutex[i] by capture threads and the writer thread.
    CHandle m_hComPort[MAX_SOURCES];
    std::thread m_ComWriterThread[MAX_SOURCES];
    CAutoEvent m_ComStopEvent[MAX_SOURCES];
    CAutoEvent m_ComDataEvent[MAX_SOURCES];

    // File sources: m_FileCapture[i] is used by the start sequence before the
    // watchers start, and afterwards by the watcher threads under
    // m_FileCaptureMutex[i] (a settings file edited by hand can name one file
    // for two sources, and then both watchers report changes of it).
    std::mutex m_FileCaptureMutex[MAX_SOURCES];
    CFileCapture m_FileCapture[MAX_SOURCES];
    CReadDirChange m_DirWatcher[MAX_SOURCES];

    // TCP output. The link thread of source i owns m_LinkListenSocket[i] and
    // m_LinkConnSocket[i]; the stop sequence may only Close them (which cancels
    // the link's blocking call first). m_SendSocket[i] is the capture side's
    // view of the connection: attached, never owning, used and detached only
    // under m_ReservedBufMutex[i]; m_LinkHandles[i].hSend and
    // m_SendSocketAttached[i] are guarded by the same mutex.
    CWinsockInit m_Winsock;
    std::mutex m_SocketAttachMutex;
    LINK_HANDLES m_LinkHandles[MAX_SOURCES];
    CTimeOutSocket m_LinkListenSocket[MAX_SOURCES];
    CTimeOutSocket m_LinkConnSocket[MAX_SOURCES];
    CTimeOutSocket m_SendSocket[MAX_SOURCES];
    int m_SendSocketAttached[MAX_SOURCES] = {};
    std::thread m_LinkThread[MAX_SOURCES];
    // Set by the stop sequence, read by the link thread.
    std::atomic<uint8_t> End_TCP_Thread_Event[MAX_SOURCES];

    // Started and stopped on the user-interface thread; its readers deliver here.
    CNetworkMonitor m_NetworkMonitor{*this};
};

extern CCaptureEngine* g_pEngine;
