#pragma once
#include <winsock2.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "base/WinHandle.h"

// A blocking IPv4 stream socket whose blocking calls (Accept, Receive, Send)
// can be bounded by a time-out and cancelled by Close from another thread.
//
// Ownership: the object owns the handle it holds and closes it exactly once,
// in Close or in the destructor. Detach gives the handle up without closing
// it; a handle only attached and then detached is never closed by the object.
// Several objects may be attached to one raw handle (say one sends while
// another receives in a second thread); whoever closes it, the others' calls
// then fail with WSAENOTSOCK. Handles made, accepted or sent on here are
// left in non-blocking mode.
//
// Errors: a failed call returns false, -1 or INVALID_SOCKET and leaves its
// code in ErrorCode() and in the calling thread's WSAGetLastError():
//   WSAEINTR (10004)       the armed time-out elapsed
//   WSAENOTSOCK (10038)    the object is empty, or its handle was closed while
//                          the call blocked (by Close on this object from
//                          another thread, or through another object)
//   WSAEINPROGRESS (10036) another call on this object is still blocking;
//                          every call but Close, Handle, IsEmpty, ErrorCode
//                          and the time-out pair is refused at once then
//   anything else          the system's code (10054 reset, 10048 port in use, ...)
class CTimeOutSocket {
public:
    CTimeOutSocket();
    ~CTimeOutSocket();
    CTimeOutSocket(const CTimeOutSocket&) = delete;
    CTimeOutSocket& operator=(const CTimeOutSocket&) = delete;

    // Makes a stream socket bound to nPort (0: the system chooses) on all
    // local addresses, or on pszAddress (dotted IPv4) when given. The address
    // is not made reusable, so a port another socket holds fails with
    // WSAEADDRINUSE and the object stays empty.
    bool Create(unsigned short nPort = 0, const char* pszAddress = nullptr);
    bool Listen(int nBacklog = 5);
    // Waits for a connection and gives its handle to client, which must be
    // empty (else WSAEISCONN). pAddr / pAddrLen (in: size, out: used)
    // receive the peer's address. A handle that does not listen fails at once.
    bool Accept(CTimeOutSocket& client, sockaddr* pAddr = nullptr, int* pAddrLen = nullptr);
    // Waits until at least one byte arrives: the count, 0 when the peer closed
    // the connection, -1 on failure (then nothing was received). Under Wine a
    // reset reads as 0 unless it arrives while a Receive is waiting.
    int Receive(void* pBuf, int nBufLen, int nFlags = 0);
    // Waits until all nBufLen bytes are handed to the system: nBufLen, or -1.
    int Send(const void* pBuf, int nBufLen, int nFlags = 0);
    // Cancels a call blocking on this object in another thread, waits until
    // it has returned (a few milliseconds), then closes the handle. An empty
    // object is left as it is.
    void Close();
    // Shuts the connection down in both directions and cancels a call blocking
    // on this object, without waiting and without closing the handle: every
    // call on the handle, through any object, then fails at once. The owner
    // closes it later, once nobody can be using it.
    void Shutdown();

    // Uses hSocket without closing anything first; fails on an object that is
    // not empty (WSAEISCONN) or on a value that is no socket (WSAENOTSOCK).
    bool Attach(SOCKET hSocket);
    // The handle, left open; the object is empty afterwards.
    SOCKET Detach();
    SOCKET Handle() const;
    bool IsEmpty() const { return Handle() == INVALID_SOCKET; }
    // Code of the last failed call on this object, 0 before any failure.
    int ErrorCode() const { return m_nLastError.load(); }

    // Bounds the blocking calls that follow by nMilliseconds from now: one
    // still blocking then fails with WSAEINTR, and the bound starts again.
    // Returns the bound's id, 0 for nMilliseconds 0 (then nothing is bounded).
    unsigned ArmTimeout(unsigned nMilliseconds);
    void DisarmTimeout();

private:
    enum class WAIT_END { READY, CANCELLED, TIMED_OUT, ERROR_CODE };
    static int FailureOf(WAIT_END end, int nError);
    struct RECEIVE_STATE;
    struct ACCEPT_STATE;

    bool BeginCall(SOCKET& hSocket);
    void EndCall();
    bool Fail(int nCode);
    bool FailCall(SOCKET hSocket, int nCode);
    // FailCall (or Fail for INVALID_SOCKET) for the calls that return a count.
    int FailedCount(SOCKET hSocket, int nCode);
    WAIT_END WaitReadable(SOCKET hSocket, int& nError);
    // Waits for a connection on the listening handle; on READY, hAccepted holds it.
    WAIT_END WaitAccept(SOCKET hSocket, SOCKET& hAccepted, int& nError);
    WAIT_END WaitWritable(SOCKET hSocket, int& nError);
    WAIT_END WaitReceive(SOCKET hSocket, DWORD& nReceived, int& nError);
    WAIT_END WaitEvent(HANDLE hEvent, SOCKET hSocket, unsigned nLongestMs, int& nError);
    bool CancelPending(SOCKET hSocket, WSAOVERLAPPED& ov, HANDLE hEvent);
    // How long the next wait may last: nLongest, or less up to an armed deadline.
    unsigned SliceMs(unsigned nLongest);
    bool TimedOut();

    // m_mutex guards m_hSocket and m_bInCall (written by the calling thread
    // and by Close from any thread); m_cvCallEnded tells Close a call ended.
    mutable std::mutex m_mutex;
    std::condition_variable m_cvCallEnded;
    SOCKET m_hSocket = INVALID_SOCKET;
    bool m_bInCall = false;

    // Set by Close, read by the blocking call between its waits.
    std::atomic<bool> m_bCancel{false};
    CHandle m_hCancelEvent;
    // Used only inside a call, so only by the one thread in the call.
    std::unique_ptr<RECEIVE_STATE> m_pReceive;
    std::unique_ptr<ACCEPT_STATE> m_pAccept;
    CHandle m_hNetEvent;
    // True once this object made or took the handle non-blocking; written
    // with the handle (under m_mutex) or inside a call.
    std::atomic<bool> m_bKnownNonBlocking{false};

    std::atomic<int> m_nLastError{0};

    // Time-out: written by ArmTimeout/DisarmTimeout, read (and moved on) by
    // the blocking call; 0 = not armed.
    std::atomic<unsigned> m_nTimeoutMs{0};
    std::atomic<uint64_t> m_nDeadlineTick{0};
};
