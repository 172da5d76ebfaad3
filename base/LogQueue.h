#pragma once
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

// What the writer takes out of the queue in one go: the lines, and how many
// lines were turned away because the queue was full since the last take.
struct LOG_BATCH {
    std::vector<std::string> lines;
    uint64_t nDropped = 0;
};

// Lines on their way from any thread to the log file's writer thread.
// Push never waits for the file: when the queue holds nMaxLines lines or
// nMaxBytes bytes, the new line is counted as dropped instead.
// All members are guarded by m_lock; any thread pushes, one writer takes.
class CLogQueue {
public:
    CLogQueue(size_t nMaxLines, size_t nMaxBytes);

    // Returns false when the line was dropped.
    bool Push(std::string line);

    // Writer: waits up to timeout for lines (or Stop), then takes all of them.
    LOG_BATCH Take(std::chrono::milliseconds timeout);

    // Writer: a batch that could not be written goes back in front of newer
    // lines. Lines beyond the bounds are dropped from the newest end and counted.
    void PutBack(LOG_BATCH batch);

    // Writer: waits up to timeout, returning early (true) when stopped.
    bool WaitForStop(std::chrono::milliseconds timeout);

    void Stop();
    bool Stopped() const;
    size_t Lines() const;

private:
    void TrimToBounds();  // m_lock held

    const size_t m_nMaxLines;
    const size_t m_nMaxBytes;
    mutable std::mutex m_lock;
    std::condition_variable m_cvChanged;
    std::deque<std::string> m_lines;
    size_t m_nBytes = 0;
    uint64_t m_nDropped = 0;
    bool m_bStopped = false;
};
