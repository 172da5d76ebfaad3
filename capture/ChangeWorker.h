#pragma once
// A thread that handles the changes of one file source in the order they were
// reported. A folder's watcher serving several sources hands each change to
// the source's worker, so that files written at once into one folder are read
// side by side instead of one after another. No windows.h here.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CChangeWorker {
public:
    using HANDLER = std::function<void(uint32_t dwAction, const std::string& strPath)>;

    CChangeWorker() = default;
    ~CChangeWorker() { Stop(); }
    CChangeWorker(const CChangeWorker&) = delete;
    CChangeWorker& operator=(const CChangeWorker&) = delete;

    // Starts the thread; the handler runs on it only. False when it could not start.
    bool Start(HANDLER handler);
    // Queues a change for the handler; ignored while the worker does not run.
    void Post(uint32_t dwAction, const std::string& strPath);
    // Handles every change posted before the call, then ends the thread and
    // waits for it. Does nothing when the worker does not run.
    void Stop();
    bool IsRunning() const { return m_Thread.joinable(); }

private:
    struct CHANGE {
        uint32_t dwAction;
        std::string strPath;
    };
    void Run();

    HANDLER m_Handler;
    std::thread m_Thread;
    // m_QueueMutex guards m_Queue and m_bEnd, shared by Post, Stop and the thread.
    std::mutex m_QueueMutex;
    std::condition_variable m_cvQueued;
    std::vector<CHANGE> m_Queue;
    bool m_bEnd = false;
};
