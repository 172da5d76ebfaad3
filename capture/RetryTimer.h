#pragma once
// Takes a file source's skipped change again once its time has come: a file
// held by a writer, a change that came before the source's gate opened. One
// thread serves every source; it sleeps while nothing is due. No windows.h here.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class CRetryTimer {
public:
    using HANDLER = std::function<void(int nSlot)>;

    CRetryTimer() = default;
    ~CRetryTimer() { Stop(); }
    CRetryTimer(const CRetryTimer&) = delete;
    CRetryTimer& operator=(const CRetryTimer&) = delete;

    // Starts the thread; the handler runs on it only. False when it could not start.
    bool Start(HANDLER handler);
    // Calls the handler for nSlot after nDelayMs, in the order the retries fall
    // due; replaces a retry of the slot that is still waiting. Ignored while the
    // timer does not run.
    void Schedule(int nSlot, int nDelayMs);
    // Forgets the slot's waiting retry; costs nothing when none waits.
    void Cancel(int nSlot);
    // Ends the thread (after the handler it may be running) and waits for it;
    // waiting retries are dropped.
    void Stop();
    bool IsRunning() const { return m_Thread.joinable(); }

private:
    using CLOCK = std::chrono::steady_clock;
    struct RETRY {
        int nSlot;
        CLOCK::time_point due;
    };
    void Run();

    HANDLER m_Handler;
    std::thread m_Thread;
    // m_Mutex guards m_Retries and m_bEnd, shared by the callers and the thread.
    std::mutex m_Mutex;
    std::condition_variable m_cvChanged;
    std::vector<RETRY> m_Retries;
    bool m_bEnd = true;
    std::atomic<int> m_nWaiting{0};  // m_Retries.size(), readable without the lock
};
