#include "net/TimeOutSocket.h"

#include <mswsock.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

// No blocking call sits in one unbounded system call. Accept waits for an
// overlapped accept together with the cancel event; Send waits in short
// select() slices, which only a full send buffer ever needs; Receive waits for
// an overlapped receive together with the cancel event, because only a
// pending receive learns of a peer's reset under Wine (a later recv reports a
// plain end of stream). A cancel or an armed time-out ends a wait at once; a
// handle closed underneath does not always wake one, so a call that waits
// longer also looks every LIVENESS_SLICE_MS whether its handle is still a
// socket. Nothing wakes an idle program more often than that.

namespace {

// Slices of a send waiting for room in the send buffer.
const unsigned SEND_SLICE_MS = 50;
const unsigned LIVENESS_SLICE_MS = 2000;
// Closing a handle ends the overlapped receive pending on it, so a receive
// needs the look only as a last resort.
const unsigned RECEIVE_LIVENESS_SLICE_MS = 60000;
// How long a cancelled overlapped receive may take to complete before its
// buffer is given up for good.
const DWORD CANCEL_COMPLETION_MS = 2000;

std::atomic<unsigned> g_nLastTimerId{0};

bool IsSocket(SOCKET hSocket)
{
    int nType = 0;
    int nLen = sizeof nType;
    return getsockopt(hSocket, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&nType), &nLen) == 0;
}

bool MakeNonBlocking(SOCKET hSocket)
{
    u_long nNonBlocking = 1;
    return ioctlsocket(hSocket, FIONBIO, &nNonBlocking) != SOCKET_ERROR;
}

}  // namespace

// The system writes into the overlapped record and the buffer until the
// accept completes; if it never does, the state is abandoned, not freed.
struct CTimeOutSocket::ACCEPT_STATE {
    static constexpr DWORD ADDRESS_SIZE = sizeof(sockaddr_in) + 16;
    WSAOVERLAPPED ov = {};
    CHandle hEvent{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    SOCKET hCandidate = INVALID_SOCKET;
    char addresses[2 * ADDRESS_SIZE] = {};
};

// The system writes into the overlapped record and the buffer until the
// receive completes; if it never does, the state is abandoned, not freed.
struct CTimeOutSocket::RECEIVE_STATE {
    WSAOVERLAPPED ov = {};
    CHandle hEvent{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::vector<char> buffer;
};

CTimeOutSocket::CTimeOutSocket() : m_hCancelEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

CTimeOutSocket::~CTimeOutSocket()
{
    Close();
}

// The code a blocking call fails with when its wait ended other than ready; 0 when ready.
int CTimeOutSocket::FailureOf(WAIT_END end, int nError)
{
    switch (end) {
    case WAIT_END::READY:
        return 0;
    case WAIT_END::CANCELLED:
        return WSAENOTSOCK;
    case WAIT_END::TIMED_OUT:
        return WSAEINTR;
    case WAIT_END::ERROR_CODE:
        break;
    }
    return nError != 0 ? nError : WSASYSCALLFAILURE;
}

bool CTimeOutSocket::Fail(int nCode)
{
    m_nLastError = nCode;
    WSASetLastError(nCode);
    return false;
}

bool CTimeOutSocket::FailCall(SOCKET hSocket, int nCode)
{
    // Whatever the system said, a handle that is gone means a stop path
    // closed it, and that is what callers branch on.
    if (m_bCancel || !IsSocket(hSocket))
        nCode = WSAENOTSOCK;
    return Fail(nCode);
}

int CTimeOutSocket::FailedCount(SOCKET hSocket, int nCode)
{
    if (hSocket == INVALID_SOCKET)
        Fail(nCode);
    else
        FailCall(hSocket, nCode);
    return SOCKET_ERROR;
}

bool CTimeOutSocket::BeginCall(SOCKET& hSocket)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bInCall)
        return Fail(WSAEINPROGRESS);
    if (m_hSocket == INVALID_SOCKET)
        return Fail(WSAENOTSOCK);
    m_bInCall = true;
    // The event is only ever set together with the flag; most calls need not touch it.
    if (m_bCancel.exchange(false))
        ResetEvent(m_hCancelEvent.Get());
    hSocket = m_hSocket;
    return true;
}

void CTimeOutSocket::EndCall()
{
    // The thread library may touch the thread's last error; the caller reads it.
    const int nSaved = WSAGetLastError();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bInCall = false;
    }
    m_cvCallEnded.notify_all();
    WSASetLastError(nSaved);
}

unsigned CTimeOutSocket::SliceMs(unsigned nLongest)
{
    if (m_nTimeoutMs == 0)
        return nLongest;
    const uint64_t nNow = GetTickCount64();
    const uint64_t nDeadline = m_nDeadlineTick;
    if (nNow >= nDeadline)
        return 0;
    return static_cast<unsigned>(std::min<uint64_t>(nLongest, nDeadline - nNow));
}

bool CTimeOutSocket::TimedOut()
{
    const unsigned nInterval = m_nTimeoutMs;
    if (nInterval == 0)
        return false;
    const uint64_t nNow = GetTickCount64();
    if (nNow < m_nDeadlineTick)
        return false;
    m_nDeadlineTick = nNow + nInterval;
    return true;
}

unsigned CTimeOutSocket::ArmTimeout(unsigned nMilliseconds)
{
    if (nMilliseconds == 0) {
        DisarmTimeout();
        return 0;
    }
    m_nDeadlineTick = GetTickCount64() + nMilliseconds;
    m_nTimeoutMs = nMilliseconds;
    unsigned nId = ++g_nLastTimerId;
    if (nId == 0)
        nId = ++g_nLastTimerId;
    return nId;
}

void CTimeOutSocket::DisarmTimeout()
{
    m_nTimeoutMs = 0;
}

// Waits for hEvent or the cancel event, in slices of at most nLongestMs, each
// followed by a look at the time-out and at whether the handle is still a socket.
CTimeOutSocket::WAIT_END CTimeOutSocket::WaitEvent(HANDLE hEvent, SOCKET hSocket, unsigned nLongestMs, int& nError)
{
    const HANDLE waits[2] = {hEvent, m_hCancelEvent.Get()};
    for (;;) {
        const DWORD nWait = WaitForMultipleObjects(2, waits, FALSE, SliceMs(nLongestMs));
        if (nWait == WAIT_OBJECT_0)
            return WAIT_END::READY;
        if (nWait == WAIT_OBJECT_0 + 1 || m_bCancel)
            return WAIT_END::CANCELLED;
        if (TimedOut())
            return WAIT_END::TIMED_OUT;
        if (nWait == WAIT_FAILED) {
            nError = static_cast<int>(GetLastError());
            return WAIT_END::ERROR_CODE;
        }
        if (!IsSocket(hSocket)) {
            nError = WSAENOTSOCK;
            return WAIT_END::ERROR_CODE;
        }
    }
}

// After a wait that did not end ready: cancels the overlapped operation and
// waits for it to complete. False when it never did; its state is then left
// to the system and must not be used again.
bool CTimeOutSocket::CancelPending(SOCKET hSocket, WSAOVERLAPPED& ov, HANDLE hEvent)
{
    CancelIoEx(reinterpret_cast<HANDLE>(hSocket), &ov);
    return WaitForSingleObject(hEvent, CANCEL_COMPLETION_MS) == WAIT_OBJECT_0;
}

CTimeOutSocket::WAIT_END CTimeOutSocket::WaitReadable(SOCKET hSocket, int& nError)
{
    if (m_bCancel)
        return WAIT_END::CANCELLED;
    if (TimedOut())
        return WAIT_END::TIMED_OUT;
    if (!m_hNetEvent.IsValid())
        m_hNetEvent.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ResetEvent(m_hNetEvent.Get());
    // Selecting signals the event at once for a connection or bytes already waiting.
    if (WSAEventSelect(hSocket, m_hNetEvent.Get(), FD_ACCEPT | FD_READ | FD_CLOSE) == SOCKET_ERROR) {
        nError = WSAGetLastError();
        return WAIT_END::ERROR_CODE;
    }
    const WAIT_END end = WaitEvent(m_hNetEvent.Get(), hSocket, LIVENESS_SLICE_MS, nError);
    // Handles accepted later would inherit the selection, and other objects on
    // this handle expect none: it lasts only as long as the wait.
    WSAEventSelect(hSocket, nullptr, 0);
    return end;
}

CTimeOutSocket::WAIT_END CTimeOutSocket::WaitAccept(SOCKET hSocket, SOCKET& hAccepted, int& nError)
{
    if (!m_pAccept)
        m_pAccept.reset(new ACCEPT_STATE);
    ACCEPT_STATE& state = *m_pAccept;
    state.hCandidate = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (state.hCandidate == INVALID_SOCKET) {
        nError = WSAGetLastError();
        return WAIT_END::ERROR_CODE;
    }
    state.ov = WSAOVERLAPPED{};
    state.ov.hEvent = state.hEvent.Get();
    DWORD nBytes = 0;
    WAIT_END end = WAIT_END::READY;
    if (!AcceptEx(hSocket, state.hCandidate, state.addresses, 0, ACCEPT_STATE::ADDRESS_SIZE,
                  ACCEPT_STATE::ADDRESS_SIZE, &nBytes, &state.ov)) {
        nError = WSAGetLastError();
        if (nError != ERROR_IO_PENDING) {
            closesocket(std::exchange(state.hCandidate, INVALID_SOCKET));
            return WAIT_END::ERROR_CODE;
        }
        // Closing the listening handle ends the pending accept, so the look
        // at the handle is only a last resort.
        end = WaitEvent(state.hEvent.Get(), hSocket, RECEIVE_LIVENESS_SLICE_MS, nError);
        if (end != WAIT_END::READY && !CancelPending(hSocket, state.ov, state.hEvent.Get())) {
            // Still pending on a handle nobody can reach any more.
            m_pAccept.release();
            return end;
        }
        DWORD nFlags = 0;
        if (!WSAGetOverlappedResult(hSocket, &state.ov, &nBytes, FALSE, &nFlags)) {
            if (end == WAIT_END::READY) {
                nError = WSAGetLastError();
                end = WAIT_END::ERROR_CODE;
            }
            closesocket(std::exchange(state.hCandidate, INVALID_SOCKET));
            return end;
        }
        // A connection that beat a time-out is taken; one that beat a stop is not.
        if (end == WAIT_END::CANCELLED) {
            closesocket(std::exchange(state.hCandidate, INVALID_SOCKET));
            return end;
        }
    }
    if (setsockopt(state.hCandidate, SOL_SOCKET, SO_UPDATE_ACCEPT_CONTEXT, reinterpret_cast<const char*>(&hSocket),
                   sizeof hSocket) == SOCKET_ERROR ||
        !MakeNonBlocking(state.hCandidate)) {
        nError = WSAGetLastError();
        closesocket(std::exchange(state.hCandidate, INVALID_SOCKET));
        return WAIT_END::ERROR_CODE;
    }
    hAccepted = std::exchange(state.hCandidate, INVALID_SOCKET);
    return WAIT_END::READY;
}

CTimeOutSocket::WAIT_END CTimeOutSocket::WaitWritable(SOCKET hSocket, int& nError)
{
    for (;;) {
        if (m_bCancel)
            return WAIT_END::CANCELLED;
        if (TimedOut())
            return WAIT_END::TIMED_OUT;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(hSocket, &set);
        const unsigned nSlice = SliceMs(SEND_SLICE_MS);
        timeval tv;
        tv.tv_sec = static_cast<long>(nSlice / 1000);
        tv.tv_usec = static_cast<long>((nSlice % 1000) * 1000);
        const int nReady = select(0, nullptr, &set, nullptr, &tv);
        if (nReady == SOCKET_ERROR) {
            nError = WSAGetLastError();
            return WAIT_END::ERROR_CODE;
        }
        if (nReady > 0)
            return WAIT_END::READY;
        if (!IsSocket(hSocket)) {
            nError = WSAENOTSOCK;
            return WAIT_END::ERROR_CODE;
        }
        // A reset connection need not show as writable; only a send attempt
        // is sure to report it.
        return WAIT_END::READY;
    }
}

CTimeOutSocket::WAIT_END CTimeOutSocket::WaitReceive(SOCKET hSocket, DWORD& nReceived, int& nError)
{
    RECEIVE_STATE& state = *m_pReceive;
    const WAIT_END end = WaitEvent(state.hEvent.Get(), hSocket, RECEIVE_LIVENESS_SLICE_MS, nError);
    if (end != WAIT_END::READY && !CancelPending(hSocket, state.ov, state.hEvent.Get())) {
        // Still pending on a handle nobody can reach any more.
        m_pReceive.release();
        return end;
    }
    DWORD nFlags = 0;
    if (WSAGetOverlappedResult(hSocket, &state.ov, &nReceived, FALSE, &nFlags)) {
        // Bytes that beat the cancel are delivered rather than lost.
        if (end == WAIT_END::READY || nReceived > 0)
            return WAIT_END::READY;
    } else if (end == WAIT_END::READY) {
        nError = WSAGetLastError();
        return WAIT_END::ERROR_CODE;
    }
    return end;
}

bool CTimeOutSocket::Create(unsigned short nPort, const char* pszAddress)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bInCall)
        return Fail(WSAEINPROGRESS);
    if (m_hSocket != INVALID_SOCKET)
        return Fail(WSAEISCONN);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(nPort);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (pszAddress != nullptr) {
        addr.sin_addr.s_addr = inet_addr(pszAddress);
        if (addr.sin_addr.s_addr == INADDR_NONE)
            return Fail(WSAEINVAL);
    }
    const SOCKET hSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (hSocket == INVALID_SOCKET)
        return Fail(WSAGetLastError());
    if (bind(hSocket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR ||
        !MakeNonBlocking(hSocket)) {
        const int nError = WSAGetLastError();
        closesocket(hSocket);
        return Fail(nError);
    }
    m_hSocket = hSocket;
    m_bKnownNonBlocking = true;
    return true;
}

bool CTimeOutSocket::Listen(int nBacklog)
{
    SOCKET hSocket;
    if (!BeginCall(hSocket))
        return false;
    const bool bOk = listen(hSocket, nBacklog) != SOCKET_ERROR || FailCall(hSocket, WSAGetLastError());
    EndCall();
    return bOk;
}

bool CTimeOutSocket::Accept(CTimeOutSocket& client, sockaddr* pAddr, int* pAddrLen)
{
    if (&client == this)
        return Fail(WSAEINVAL);
    SOCKET hSocket;
    if (!BeginCall(hSocket))
        return false;
    auto run = [&]() -> bool {
        if (!client.IsEmpty())
            return Fail(WSAEISCONN);
        if (!m_bKnownNonBlocking) {
            if (!MakeNonBlocking(hSocket))
                return FailCall(hSocket, WSAGetLastError());
            m_bKnownNonBlocking = true;
        }
        for (;;) {
            // Trying first lets a handle that does not listen fail at once
            // instead of waiting for a connection that cannot come.
            SOCKET hNew = accept(hSocket, pAddr, pAddrLen);
            if (hNew == INVALID_SOCKET) {
                int nError = WSAGetLastError();
                if (nError != WSAEWOULDBLOCK)
                    return FailCall(hSocket, nError);
                const WAIT_END end = WaitAccept(hSocket, hNew, nError);
                if (const int nFailure = FailureOf(end, nError))
                    return FailCall(hSocket, nFailure);
                if (pAddr != nullptr && pAddrLen != nullptr) {
                    sockaddr* pLocal = nullptr;
                    sockaddr* pRemote = nullptr;
                    int nLocalLen = 0;
                    int nRemoteLen = 0;
                    GetAcceptExSockaddrs(m_pAccept->addresses, 0, ACCEPT_STATE::ADDRESS_SIZE,
                                         ACCEPT_STATE::ADDRESS_SIZE, &pLocal, &nLocalLen, &pRemote, &nRemoteLen);
                    const int nCopied = std::min(*pAddrLen, nRemoteLen);
                    if (pRemote != nullptr && nCopied > 0)
                        std::memcpy(pAddr, pRemote, static_cast<size_t>(nCopied));
                    *pAddrLen = nRemoteLen;
                }
            }
            // The new handle inherits the listener's non-blocking mode.
            if (!client.Attach(hNew)) {
                closesocket(hNew);
                return Fail(client.ErrorCode());
            }
            client.m_bKnownNonBlocking = true;
            return true;
        }
    };
    const bool bOk = run();
    EndCall();
    return bOk;
}

int CTimeOutSocket::Receive(void* pBuf, int nBufLen, int nFlags)
{
    SOCKET hSocket;
    if (!BeginCall(hSocket))
        return SOCKET_ERROR;
    auto run = [&]() -> int {
        if (pBuf == nullptr || nBufLen <= 0)
            return FailedCount(INVALID_SOCKET, WSAEINVAL);
        if (!m_pReceive)
            m_pReceive.reset(new RECEIVE_STATE);
        RECEIVE_STATE& state = *m_pReceive;
        if (state.buffer.size() < static_cast<size_t>(nBufLen))
            state.buffer.resize(static_cast<size_t>(nBufLen));
        for (;;) {
            state.ov = WSAOVERLAPPED{};
            // The system resets the event as the receive starts.
            state.ov.hEvent = state.hEvent.Get();
            WSABUF piece;
            piece.len = static_cast<u_long>(nBufLen);
            piece.buf = state.buffer.data();
            DWORD nReceived = 0;
            DWORD nRecvFlags = static_cast<DWORD>(nFlags);
            int nError = 0;
            if (WSARecv(hSocket, &piece, 1, &nReceived, &nRecvFlags, &state.ov, nullptr) == 0) {
                std::copy_n(state.buffer.data(), nReceived, static_cast<char*>(pBuf));
                return static_cast<int>(nReceived);
            }
            nError = WSAGetLastError();
            if (nError == WSAEWOULDBLOCK) {
                // A system that will not leave an overlapped receive pending
                // on a non-blocking handle: wait until data is there instead.
                const WAIT_END end = WaitReadable(hSocket, nError);
                if (const int nFailure = FailureOf(end, nError))
                    return FailedCount(hSocket, nFailure);
                continue;
            }
            if (nError != WSA_IO_PENDING)
                return FailedCount(hSocket, nError);
            const WAIT_END end = WaitReceive(hSocket, nReceived, nError);
            if (const int nFailure = FailureOf(end, nError))
                return FailedCount(hSocket, nFailure);
            std::copy_n(state.buffer.data(), nReceived, static_cast<char*>(pBuf));
            return static_cast<int>(nReceived);
        }
    };
    const int nResult = run();
    EndCall();
    return nResult;
}

int CTimeOutSocket::Send(const void* pBuf, int nBufLen, int nFlags)
{
    SOCKET hSocket;
    if (!BeginCall(hSocket))
        return SOCKET_ERROR;
    auto run = [&]() -> int {
        if (nBufLen < 0 || (pBuf == nullptr && nBufLen > 0))
            return FailedCount(INVALID_SOCKET, WSAEINVAL);
        // A handle attached from elsewhere may still be blocking; a send that
        // blocks inside the system could not be cancelled.
        if (nBufLen > 0 && !m_bKnownNonBlocking) {
            if (!MakeNonBlocking(hSocket))
                return FailedCount(hSocket, WSAGetLastError());
            m_bKnownNonBlocking = true;
        }
        const char* pBytes = static_cast<const char*>(pBuf);
        int nSent = 0;
        while (nSent < nBufLen) {
            if (m_bCancel)
                return FailedCount(hSocket, WSAENOTSOCK);
            const int nPiece = send(hSocket, pBytes + nSent, nBufLen - nSent, nFlags);
            if (nPiece > 0) {
                nSent += nPiece;
                continue;
            }
            int nError = WSAGetLastError();
            if (nPiece == SOCKET_ERROR && nError != WSAEWOULDBLOCK)
                return FailedCount(hSocket, nError);
            const WAIT_END end = WaitWritable(hSocket, nError);
            if (const int nFailure = FailureOf(end, nError))
                return FailedCount(hSocket, nFailure);
            continue;
        }
        return nSent;
    };
    const int nResult = run();
    EndCall();
    return nResult;
}

void CTimeOutSocket::Close()
{
    SOCKET hSocket;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        // Closing only after the call has returned keeps it from ever using a
        // handle value the system may already have given to someone else.
        while (m_bInCall) {
            m_bCancel = true;
            SetEvent(m_hCancelEvent.Get());
            m_cvCallEnded.wait(lock);
        }
        hSocket = std::exchange(m_hSocket, INVALID_SOCKET);
        m_bKnownNonBlocking = false;
    }
    if (hSocket != INVALID_SOCKET)
        closesocket(hSocket);
}

void CTimeOutSocket::Shutdown()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_hSocket != INVALID_SOCKET)
        shutdown(m_hSocket, SD_BOTH);
    if (m_bInCall) {
        m_bCancel = true;
        SetEvent(m_hCancelEvent.Get());
    }
}

bool CTimeOutSocket::Attach(SOCKET hSocket)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bInCall)
        return Fail(WSAEINPROGRESS);
    if (m_hSocket != INVALID_SOCKET)
        return Fail(WSAEISCONN);
    if (hSocket == INVALID_SOCKET || !IsSocket(hSocket))
        return Fail(WSAENOTSOCK);
    m_hSocket = hSocket;
    // Who else holds the handle may have left it blocking.
    m_bKnownNonBlocking = false;
    return true;
}

SOCKET CTimeOutSocket::Detach()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bInCall) {
        Fail(WSAEINPROGRESS);
        return INVALID_SOCKET;
    }
    m_bKnownNonBlocking = false;
    return std::exchange(m_hSocket, INVALID_SOCKET);
}

SOCKET CTimeOutSocket::Handle() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hSocket;
}
