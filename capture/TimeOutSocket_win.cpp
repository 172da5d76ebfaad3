#include "capture/TimeOutSocket.h"

#include <windows.h>

#include <algorithm>
#include <utility>

// Blocking calls never sit in one unbounded system call: Accept waits in
// select() slices, Receive and Send wait for an overlapped operation together
// with the cancel event. Between waits the call looks at the cancel request,
// the time-out and whether its handle is still a socket, so a handle closed
// underneath it (which does not always wake a wait) ends it within a slice.

namespace {

const unsigned SLICE_MS = 50;

std::atomic<unsigned> g_nLastTimerId{0};

bool IsSocket(SOCKET hSocket)
{
    int nType = 0;
    int nLen = sizeof nType;
    return getsockopt(hSocket, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&nType), &nLen) == 0;
}

}  // namespace

CTimeOutSocket::CTimeOutSocket()
    : m_hCancelEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_hIoEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

CTimeOutSocket::~CTimeOutSocket()
{
    Close();
}

bool CTimeOutSocket::Fail(int nCode)
{
    m_nLastError = nCode;
    WSASetLastError(nCode);
    return false;
}

bool CTimeOutSocket::FailCall(SOCKET hSocket, int nCode)
{
    // Whatever the system said, a handle that is gone means the caller's stop
    // path closed it, and that is what the caller branches on.
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
    m_bCancel = false;
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

unsigned CTimeOutSocket::SliceMs()
{
    if (m_nTimeoutMs == 0)
        return SLICE_MS;
    const uint64_t nNow = GetTickCount64();
    const uint64_t nDeadline = m_nDeadlineTick;
    if (nNow >= nDeadline)
        return 0;
    return static_cast<unsigned>(std::min<uint64_t>(SLICE_MS, nDeadline - nNow));
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

CTimeOutSocket::WAIT_END CTimeOutSocket::WaitReadable(SOCKET hSocket, int& nError)
{
    for (;;) {
        if (m_bCancel)
            return WAIT_END::CANCELLED;
        if (TimedOut())
            return WAIT_END::TIMED_OUT;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(hSocket, &set);
        const unsigned nSlice = SliceMs();
        timeval tv;
        tv.tv_sec = static_cast<long>(nSlice / 1000);
        tv.tv_usec = static_cast<long>((nSlice % 1000) * 1000);
        const int nReady = select(0, &set, nullptr, nullptr, &tv);
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
    }
}

CTimeOutSocket::WAIT_END CTimeOutSocket::WaitOverlapped(SOCKET hSocket, WSAOVERLAPPED& ov, DWORD& nTransferred,
                                                        int& nError)
{
    const HANDLE waits[2] = {m_hIoEvent.Get(), m_hCancelEvent.Get()};
    for (;;) {
        const DWORD nWait = WaitForMultipleObjects(2, waits, FALSE, SliceMs());
        WAIT_END end;
        if (nWait == WAIT_OBJECT_0) {
            end = WAIT_END::READY;
        } else if (nWait == WAIT_OBJECT_0 + 1 || m_bCancel) {
            end = WAIT_END::CANCELLED;
        } else if (TimedOut()) {
            end = WAIT_END::TIMED_OUT;
        } else if (nWait == WAIT_FAILED) {
            end = WAIT_END::ERROR_CODE;
            nError = static_cast<int>(GetLastError());
        } else if (!IsSocket(hSocket)) {
            end = WAIT_END::ERROR_CODE;
            nError = WSAENOTSOCK;
        } else {
            continue;
        }
        if (end != WAIT_END::READY) {
            // The system writes into ov and the caller's buffer until the
            // operation completes, so it must be over before we return.
            CancelIoEx(reinterpret_cast<HANDLE>(hSocket), &ov);
            WaitForSingleObject(m_hIoEvent.Get(), INFINITE);
        }
        DWORD nFlags = 0;
        if (WSAGetOverlappedResult(hSocket, &ov, &nTransferred, FALSE, &nFlags)) {
            // Bytes that beat the cancel are delivered rather than lost.
            if (end == WAIT_END::READY || nTransferred > 0)
                return WAIT_END::READY;
        } else if (end == WAIT_END::READY) {
            nError = WSAGetLastError();
            return WAIT_END::ERROR_CODE;
        }
        return end;
    }
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
    if (bind(hSocket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR) {
        const int nError = WSAGetLastError();
        closesocket(hSocket);
        return Fail(nError);
    }
    m_hSocket = hSocket;
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
        // Non-blocking, so a connection that vanishes between select and
        // accept cannot leave accept waiting beyond our control.
        u_long nNonBlocking = 1;
        if (ioctlsocket(hSocket, FIONBIO, &nNonBlocking) == SOCKET_ERROR)
            return FailCall(hSocket, WSAGetLastError());
        for (;;) {
            int nError = 0;
            switch (WaitReadable(hSocket, nError)) {
            case WAIT_END::READY:
                break;
            case WAIT_END::CANCELLED:
                return FailCall(hSocket, WSAENOTSOCK);
            case WAIT_END::TIMED_OUT:
                return FailCall(hSocket, WSAEINTR);
            case WAIT_END::ERROR_CODE:
                return FailCall(hSocket, nError);
            }
            const SOCKET hNew = accept(hSocket, pAddr, pAddrLen);
            if (hNew == INVALID_SOCKET) {
                nError = WSAGetLastError();
                if (nError == WSAEWOULDBLOCK)
                    continue;
                return FailCall(hSocket, nError);
            }
            u_long nBlocking = 0;
            ioctlsocket(hNew, FIONBIO, &nBlocking);
            if (!client.Attach(hNew)) {
                closesocket(hNew);
                return Fail(client.ErrorCode());
            }
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
        WSAOVERLAPPED ov = {};
        ov.hEvent = m_hIoEvent.Get();
        ResetEvent(ov.hEvent);
        WSABUF piece;
        piece.len = static_cast<u_long>(nBufLen);
        piece.buf = static_cast<char*>(pBuf);
        DWORD nReceived = 0;
        DWORD nRecvFlags = static_cast<DWORD>(nFlags);
        if (WSARecv(hSocket, &piece, 1, &nReceived, &nRecvFlags, &ov, nullptr) == 0)
            return static_cast<int>(nReceived);
        int nError = WSAGetLastError();
        if (nError != WSA_IO_PENDING)
            return FailedCount(hSocket, nError);
        switch (WaitOverlapped(hSocket, ov, nReceived, nError)) {
        case WAIT_END::READY:
            return static_cast<int>(nReceived);
        case WAIT_END::CANCELLED:
            return FailedCount(hSocket, WSAENOTSOCK);
        case WAIT_END::TIMED_OUT:
            return FailedCount(hSocket, WSAEINTR);
        case WAIT_END::ERROR_CODE:
            break;
        }
        return FailedCount(hSocket, nError);
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
        const char* pBytes = static_cast<const char*>(pBuf);
        int nSent = 0;
        while (nSent < nBufLen) {
            if (m_bCancel)
                return FailedCount(hSocket, WSAENOTSOCK);
            WSAOVERLAPPED ov = {};
            ov.hEvent = m_hIoEvent.Get();
            ResetEvent(ov.hEvent);
            WSABUF piece;
            piece.len = static_cast<u_long>(nBufLen - nSent);
            piece.buf = const_cast<char*>(pBytes + nSent);
            DWORD nPiece = 0;
            if (WSASend(hSocket, &piece, 1, &nPiece, static_cast<DWORD>(nFlags), &ov, nullptr) == 0) {
                nSent += static_cast<int>(nPiece);
                continue;
            }
            int nError = WSAGetLastError();
            if (nError != WSA_IO_PENDING)
                return FailedCount(hSocket, nError);
            switch (WaitOverlapped(hSocket, ov, nPiece, nError)) {
            case WAIT_END::READY:
                nSent += static_cast<int>(nPiece);
                continue;
            case WAIT_END::CANCELLED:
                return FailedCount(hSocket, WSAENOTSOCK);
            case WAIT_END::TIMED_OUT:
                return FailedCount(hSocket, WSAEINTR);
            case WAIT_END::ERROR_CODE:
                break;
            }
            return FailedCount(hSocket, nError);
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
    }
    if (hSocket != INVALID_SOCKET)
        closesocket(hSocket);
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
    return true;
}

SOCKET CTimeOutSocket::Detach()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bInCall) {
        Fail(WSAEINPROGRESS);
        return INVALID_SOCKET;
    }
    return std::exchange(m_hSocket, INVALID_SOCKET);
}

SOCKET CTimeOutSocket::Handle() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hSocket;
}
