#pragma once
// The video-server link of one TCP output: listens on the source's port,
// accepts the recorder, answers its login challenge and keep-alive checks and
// passes its acknowledgements to the queue it serves.
#include "base/WinHandle.h"
#include "link/LinkQueue.h"
#include "net/TimeOutSocket.h"

#include <atomic>
#include <string>
#include <thread>

class CRecorderLink {
public:
    CRecorderLink() = default;
    ~CRecorderLink() { Stop(); }
    CRecorderLink(const CRecorderLink&) = delete;
    CRecorderLink& operator=(const CRecorderLink&) = delete;

    // Listens on nPort (no listener for a port outside 1..65535 or one in use:
    // the queue hears ListenFailed) and starts the link thread. Returns whether it listens.
    bool Start(int nSource, int nPort, const std::string& strPassword, CLinkQueue& queue);
    // Ends the link: closes the listener, shuts the connection down so that a
    // blocked receive and any send fail at once, and waits for the thread,
    // which tells the queue Dropped before it closes the connection.
    void Stop();
    // The first half of Stop, for ending many links at once: asks the thread
    // to end and cuts its blocking calls short, without waiting for it.
    void BeginStop();

private:
    void ThreadProc();
    void Serve();
    // False when the connection is to be dropped.
    bool Login(const uint8_t* challenge, bool& bLoggedIn);
    void PauseBeforeNextAccept();

    int m_nSource = -1;
    std::string m_strPassword;
    CLinkQueue* m_pQueue = nullptr;
    // The link thread accepts and receives on these; Stop only closes the
    // listener and shuts the connection down (both cancel a blocked call).
    CTimeOutSocket m_Listen;
    CTimeOutSocket m_Conn;
    std::thread m_Thread;
    std::atomic<bool> m_bEnd{false};
    CHandle m_hEndEvent;  // manual-reset; set by Stop, ends a pause between accepts
};
