#pragma once
// The file sources: the start snapshot of each watched file, its directory
// watcher, and the capture of every change handed to the delivery sink.
#include "capture/CapturePositions_win.h"
#include "capture/ChangeWorker.h"
#include "capture/DeliverySink.h"
#include "capture/FileCapture.h"
#include "capture/InputEvents.h"
#include "capture/ReadDirChange.h"
#include "capture/RetryTimer.h"
#include "config/PosSettingInfo.h"

#include <mutex>
#include <string>
#include <vector>

struct FILE_SOURCE {
    int nSource = -1;
    std::string strPath;
    int nReceiptType = -1;  // as of the last load, not the record's
    bool bWatch = false;    // false when the source's output failed
    // Where the source remembers how far it captured an append-mode file; empty: nowhere.
    std::string strPositionFile;
};

class CFileInput : private CRDCCallback {
public:
    CFileInput() = default;
    ~CFileInput() { Stop(); }
    CFileInput(const CFileInput&) = delete;
    CFileInput& operator=(const CFileInput&) = delete;

    // Arms a watcher for every source with bWatch, then takes each file's start
    // snapshot; a change written in between is captured, not lost.
    void Start(const std::vector<FILE_SOURCE>& sources, CDeliverySink& sink, CInputEvents& events);
    // Ends every watcher and waits for it, and for every change it reported to
    // be handled; no delivery happens after it returns.
    void Stop();
    // First source whose path equals strPath, ignoring letter case; -1 when none.
    int FindFileSource(const std::string& strPath) const;
    const FILE_STATE& State(int nSource) const { return m_FileCapture[nSource].State(); }

private:
    int32_t OnDirChange(uint32_t dwAction, const std::string& strPath, uint32_t dwReserved) override;
    void CaptureChange(int i, uint32_t dwAction, const std::string& strPath);
    void RetryChange(int i);
    void OnFolderState(int nSlot, bool bPresent) override;
    // With m_FileCaptureMutex[i] held, right after the start snapshot: hands
    // over what was appended to the file while nothing captured it.
    void CatchUp(int i);
    // With m_FileCaptureMutex[i] held, after a piece of nReadPhase was handed over.
    void RememberPosition(int i, const std::string& strPath, int nReadPhase);
    const FILE_SOURCE* SourceOf(int i) const;

    // Written by Start and Stop on the start/stop thread while no watcher runs.
    std::vector<FILE_SOURCE> m_Sources;
    std::vector<std::string> m_LowerPaths;  // of m_Sources, for the lookup on every change
    CDeliverySink* m_pSink = nullptr;
    CInputEvents* m_pEvents = nullptr;
    // m_FileCaptureMutex[i] guards m_FileCapture[i]: a settings file edited by
    // hand can name one file for two sources, and then both watchers report it.
    std::mutex m_FileCaptureMutex[MAX_SOURCES];
    CFileCapture m_FileCapture[MAX_SOURCES];
    CPositionFile m_Positions[MAX_SOURCES];  // guarded like m_FileCapture
    // The identity of each file as last read, and how far it was captured then;
    // read again only when the file seems another one (it got shorter).
    FILE_IDENTITY m_PositionIdentity[MAX_SOURCES];
    int64_t m_nPositionLength[MAX_SOURCES] = {};
    CReadDirChange m_DirWatcher[MAX_SOURCES];
    // Running for the sources whose folder's watcher serves other sources too;
    // started and stopped with the watchers, posted to by them.
    CChangeWorker m_ChangeWorker[MAX_SOURCES];
    // Takes skipped changes again; m_RetryPath[i], the path of source i's
    // skipped change, is guarded by m_FileCaptureMutex[i]. A capture schedules
    // its retry holding that lock; the timer's own lock is taken after it, and
    // the timer calls back holding none.
    CRetryTimer m_Retry;
    std::string m_RetryPath[MAX_SOURCES];
};
