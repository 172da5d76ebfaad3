#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// Watches one file of a folder for changes and reports them to a callback on the
// watcher's own thread. No windows.h here so that any code can name the types.

constexpr int RDC_TABLE_SIZE = 16;  // one entry per source slot
constexpr int WATCH_BUFFER_SIZE = 1000;
constexpr uint32_t RDC_NOTIFY_FILTER = 0x31;  // file name, last write, last access
constexpr const char* RDC_WAKE_UP_FILE = "RDC_temp.dat";
// How often a waiting watcher looks at its files itself: the system may drop
// a change notification when many files of a folder change at once, and a
// receipt must not wait for the next write to its file.
constexpr uint32_t RDC_SWEEP_MS = 5000;
// The least time between two such looks while the folder keeps changing.
constexpr uint32_t RDC_BUSY_SWEEP_MS = 200;
// How long after its last change a folder is looked at once more: the last
// writes of a burst are the ones no later change would show.
constexpr uint32_t RDC_QUIET_LOOK_MS = 200;

// What a look at a file shows; a change to any of it counts as a change. The
// creation time tells a file deleted and written anew from the one before it.
struct FILE_LOOK {
    bool bPresent = false;
    uint64_t nSize = 0;
    uint64_t nWriteTime = 0;
    uint64_t nCreationTime = 0;
};

// True when the file is there now and differs from the earlier look.
inline bool ChangedSince(const FILE_LOOK& seen, const FILE_LOOK& now)
{
    return now.bPresent && (!seen.bPresent || seen.nSize != now.nSize || seen.nWriteTime != now.nWriteTime ||
                            seen.nCreationTime != now.nCreationTime);
}

// Receiver of the watcher's reports. Deleting through this interface is not
// allowed: the owner of the object deletes it as its own type.
class CRDCCallback {
public:
    // dwAction: the system's change code (1 added, 2 removed, 3 modified, 4 old
    // name, 5 new name); strPath: the folder followed by the name as the system
    // spells it; dwReserved: always 0. The result is ignored.
    virtual int32_t OnDirChange(uint32_t dwAction, const std::string& strPath, uint32_t dwReserved)
    {
        (void)dwAction;
        (void)strPath;
        (void)dwReserved;
        return 0;
    }
    // The watched folder could not be opened or went away (bPresent false),
    // or came back after that (true); the watcher keeps trying until stopped.
    virtual void OnFolderState(int nSlot, bool bPresent)
    {
        (void)nSlot;
        (void)bPresent;
    }
    // Never called by the watcher.
    virtual int32_t OnReserved(uint32_t dwArgument)
    {
        (void)dwArgument;
        return 0;
    }

protected:
    ~CRDCCallback() = default;
};

// Owns a system handle; closes it exactly once.
class CRDCHandle {
public:
    CRDCHandle() = default;
    explicit CRDCHandle(void* hHandle) : m_hHandle(hHandle) {}
    ~CRDCHandle() { Reset(); }
    CRDCHandle(const CRDCHandle&) = delete;
    CRDCHandle& operator=(const CRDCHandle&) = delete;

    void* Get() const { return m_hHandle; }
    bool IsValid() const;
    void Reset(void* hHandle = nullptr);

private:
    void* m_hHandle = nullptr;
};

// One file of a folder, watched as the file of source slot nSlot.
struct WATCHED_NAME {
    std::string strFileName;
    int nSlot = -1;
};

class CReadDirChange {
public:
    CReadDirChange() = default;
    virtual ~CReadDirChange();
    CReadDirChange(const CReadDirChange&) = delete;
    CReadDirChange& operator=(const CReadDirChange&) = delete;

    // Stores the receiver (not owned); call it while no worker runs. Returns 1.
    int SetCallback(CRDCCallback* pCallback);
    // Starts the worker on strFolder (ending with a backslash) for strFileName, as the
    // watcher of source slot nSlot. Does nothing without a callback or while a worker
    // exists (also one that ended by itself because the folder could not be opened).
    // Returns 0.
    int StartWatch(const std::string& strFolder, const std::string& strFileName, int nSlot);
    // The same for several files of one folder, watched by this one worker: a write
    // to any file of the folder wakes one thread, not one per source. Entries with
    // a slot outside the table are left out; without any, nothing starts.
    int StartWatch(const std::string& strFolder, const std::vector<WATCHED_NAME>& files);
    // Ends the worker and waits for it, also while a callback runs; returns once the
    // worker is gone and the wake-up file is removed. 0 when no worker existed, else 1.
    int StopWatch();
    // Lowest slot whose file name equals strName ignoring letter case, or -1.
    int FindWatchedFile(const std::string& strName) const;

private:
    struct WATCHED_FILE {
        std::string strFileName;
        std::string strLowerName;
        const CReadDirChange* pOwner = nullptr;
        FILE_LOOK look;  // as the worker last saw the file
        std::string strSpelledName;  // the name as the folder last spelled it
    };

    static void WatchThreadProc(CReadDirChange* pWatcher);
    // Waits for changes in the open folder; false when the folder failed or went away.
    // bCameBack: the folder was missing; its return is reported once the wait is armed.
    bool WatchOpenFolder(void* hDirectory, bool bCameBack);
    void ReportRecords(const uint8_t* pBuffer, uint32_t dwBytes);
    void ReportFolderState(bool bPresent);
    // Reports every watched file that changed since it was last seen: for a
    // notification the system dropped, a batch that overflowed, a folder back.
    void SweepWatchedFiles();
    void LookAtWatchedFiles();

    // Written by StartWatch and StopWatch on the user-interface thread while no worker
    // runs; the worker only reads them.
    CRDCCallback* m_pCallback = nullptr;
    std::string m_strFolder;
    std::vector<int> m_Slots;  // the slots of the watched files, for the folder's state
    WATCHED_FILE m_FileTable[RDC_TABLE_SIZE];
    CRDCHandle m_hStopEvent;  // manual-reset; set by StopWatch, waited on by the worker
    // Manual-reset; set by the worker once its first wait for changes is armed (or
    // it gave up), so that StartWatch returns only when no change can be missed.
    CRDCHandle m_hArmedEvent;
    std::thread m_Worker;     // joinable from StartWatch until StopWatch
    // Set by StopWatch; the worker checks it after each wait.
    std::atomic<int> m_nStop{0};
    uint32_t m_dwLastSweepTick = 0;  // the worker's own
};
