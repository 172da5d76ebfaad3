#pragma once
// A source's queue file on disk, under its journal. Writes go to the system's
// cache at once; a thread of the file's own flushes them to the disk about
// once a second, so the receipt's road never waits for the disk. A crash of
// the process loses nothing written; a power cut at most the last second.
#include "base/WinHandle.h"
#include "output/QueueJournal.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

constexpr unsigned QUEUE_FLUSH_INTERVAL_MS = 1000;
// Copies of damaged files kept beside a queue file at most; later ones are not kept.
constexpr int QUEUE_ASIDE_COPIES_MAX = 20;

class CQueueFile : public CQueueFileIo {
public:
    // onWritable is called on the flushing thread when writes start or stop failing.
    CQueueFile(std::string strPath, std::function<void(bool bWritable)> onWritable);
    ~CQueueFile() override;
    CQueueFile(const CQueueFile&) = delete;
    CQueueFile& operator=(const CQueueFile&) = delete;

    bool ReadAll(std::vector<uint8_t>& out) override;
    bool Append(const uint8_t* bytes, size_t count) override;
    bool Replace(const uint8_t* bytes, size_t count) override;
    bool TruncateTo(size_t count) override;
    bool KeepAside() override;

    const std::string& Path() const { return m_strPath; }

private:
    void FlushThreadProc();

    const std::string m_strPath;
    std::function<void(bool)> m_OnWritable;
    // m_Mutex guards m_hFile, m_bDirty, m_bOk and m_bStop; the flushing thread
    // never holds it while it flushes (it flushes a duplicate of the handle).
    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    CHandle m_hFile;
    bool m_bDirty = false;
    bool m_bOk = true;
    bool m_bStop = false;
    std::thread m_FlushThread;
};

// The folder of the queue files under the data folder, and a queue file's name in it.
std::string QueueFolderOf(const std::string& strDataFolder);
std::string QueueFileName(int nQueueId);
std::string PositionFileName(int nQueueId);
