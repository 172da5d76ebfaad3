#pragma once
// The video-server link of one TCP output: listens on the source's port,
// accepts the recorder, answers its login challenge and keep-alive checks and
// passes its acknowledgements to the queue it serves.
#include "base/WinHandle.h"
#include "link/LinkQueue.h"
#include "link/LinkStream.h"
#include "link/LinkTiming.h"
#include "net/TimeOutSocket.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class CRecorderLink {
public:
    CRecorderLink() = default;
    ~CRecorderLink() { Stop(); }
    CRecorderLink(const CRecorderLink&) = delete;
    CRecorderLink& operator=(const CRecorderLink&) = delete;

    // Listens on nPort and starts the link thread. A port outside 1..65535
    // gets no listener and no thread; a port that cannot be opened now (in use)
    // is tried again every LINK_LISTEN_RETRY_MS by the thread. The queue hears
    // ListenFailed on this thread, Listening on the link's when a retry
    // succeeds. Returns whether it listens now.
    bool Start(int nSource, int nPort, const std::string& strPassword, CLinkQueue& queue,
               const LINK_TIMING& timing = LINK_TIMING());
    // Ends the link: closes the listener, shuts the connection down so that a
    // blocked receive and any send fail at once, and waits for the thread,
    // which tells the queue Dropped before it closes the connection.
    void Stop();
    // The first half of Stop, for ending many links at once: asks the thread
    // to end and cuts its blocking calls short, without waiting for it.
    void BeginStop();

private:
    void ThreadProc();
    // Makes the listener unless a stop has begun; false when it could not.
    bool OpenListener();
    void CloseListener();
    // Serves one accepted connection until it is to be dropped; returns why.
    LINK_DROP Serve();
    // False when the connection is to be dropped, for eReason.
    bool Handle(const LINK_MESSAGE& message, bool& bLoggedIn, LINK_DROP& eReason);
    bool Login(const LINK_MESSAGE& message, bool& bLoggedIn, LINK_DROP& eReason);
    // Waits nMilliseconds or until a stop; false on a stop.
    bool Pause(unsigned nMilliseconds);

    int m_nSource = -1;
    int m_nPort = 0;
    std::string m_strPassword;
    LINK_TIMING m_Timing;
    CLinkQueue* m_pQueue = nullptr;
    // The link thread accepts and receives on these; Stop only closes the
    // listener and shuts the connection down (both cancel a blocked call).
    CTimeOutSocket m_Listen;
    CTimeOutSocket m_Conn;
    // Held while the listener is made or closed, so that a stop cannot slip
    // between the thread's look at m_bEnd and a listener made after it.
    std::mutex m_ListenMutex;
    std::thread m_Thread;
    std::atomic<bool> m_bEnd{false};
    CHandle m_hEndEvent;  // manual-reset; set by Stop, ends a pause of the thread
};
