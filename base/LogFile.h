#pragma once
#include "base/LogLine.h"
#include "base/LogQueue.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

struct LOG_FILE_OPTIONS {
    uint64_t nRotateBytes = LOG_ROTATE_BYTES;
    size_t nQueueLines = 4096;
    size_t nQueueBytes = 1024 * 1024;
    std::chrono::milliseconds retryAfter{5000};  // after the file could not be written
};

// "Tillvox.log" in a folder, written by a thread of its own. Write() only
// formats and queues the line, so a caller never waits for the disk; a file
// that cannot be opened or written (full disk, locked, folder gone) keeps its
// lines queued and is tried again later, and lines that do not fit the queue
// meanwhile are counted and reported in one line once writing works again.
// Nothing here throws or ends the program.
class CLogFile {
public:
    // strFolder ends in a path separator.
    explicit CLogFile(std::string strFolder, LOG_FILE_OPTIONS options = {});
    ~CLogFile();  // writes what is queued (one last try), then ends the thread
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Any thread.
    void Write(LOG_LEVEL level, const std::string& strSource, const std::string& strText);

    // How often opening or writing the file has failed so far.
    uint64_t FailedWrites() const { return m_nFailedWrites; }

private:
    void Run();
    bool WriteBatch(LOG_BATCH& batch);  // true when every line was written
    bool Rotate();

    const std::string m_strFolder;
    const LOG_FILE_OPTIONS m_options;
    CLogQueue m_queue;
    std::atomic<uint64_t> m_nFailedWrites{0};
    std::thread m_thread;  // last member: started when everything it uses exists
};

// The local time now, to the millisecond.
LOG_TIME LocalLogTimeNow();
