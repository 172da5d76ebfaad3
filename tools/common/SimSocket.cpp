#include "tools/common/SimSocket.h"

#include <chrono>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
typedef SOCKET SIM_HANDLE;
typedef int SIM_LEN;
static const int SIM_SEND_FLAGS = 0;
static int CloseRawSocket(SIM_HANDLE h) { return closesocket(h); }
#else
#include <cerrno>
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
typedef int SIM_HANDLE;
typedef size_t SIM_LEN;
static const int SIM_SEND_FLAGS = MSG_NOSIGNAL;
static int CloseRawSocket(SIM_HANDLE h) { return close(h); }
#endif

namespace {

SIM_HANDLE Raw(intptr_t h) { return static_cast<SIM_HANDLE>(h); }

// 1 readable, 0 timed out, -1 failed.
int WaitReadable(SIM_HANDLE h, int timeoutMs)
{
    fd_set readSet;
    FD_ZERO(&readSet);
    FD_SET(h, &readSet);
    timeval tv;
    tv.tv_sec = timeoutMs / 1000;
    tv.tv_usec = (timeoutMs % 1000) * 1000;
    const int r = select(static_cast<int>(h) + 1, &readSet, nullptr, nullptr, timeoutMs < 0 ? nullptr : &tv);
    return r > 0 ? 1 : r;
}

} // namespace

CSimSocket::~CSimSocket() { Close(); }

bool CSimSocket::StartUp()
{
#ifdef _WIN32
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
#else
    return true;
#endif
}

int CSimSocket::LastError()
{
#ifdef _WIN32
    return WSAGetLastError();
#else
    return errno;
#endif
}

bool CSimSocket::Connect(const std::string& host, const std::string& port, std::string& error, const std::string& from)
{
    Close();
    sockaddr_in local;
    std::memset(&local, 0, sizeof local);
    if (!from.empty()) {
        local.sin_family = AF_INET;
        if (inet_pton(AF_INET, from.c_str(), &local.sin_addr) != 1) {
            error = "not an IPv4 address: " + from;
            return false;
        }
    }
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = from.empty() ? AF_UNSPEC : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    const int gai = getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
    if (gai != 0) {
        error = "cannot resolve " + host + " (code " + std::to_string(gai) + ")";
        return false;
    }
    error = "no address for " + host;
    for (addrinfo* ai = list; ai; ai = ai->ai_next) {
        const SIM_HANDLE h = socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
        if (static_cast<intptr_t>(h) == -1) {
            error = "socket failed, code " + std::to_string(LastError());
            continue;
        }
        if (!from.empty() && bind(h, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            error = "cannot use the local address " + from + ", code " + std::to_string(LastError());
            CloseRawSocket(h);
            continue;
        }
        if (connect(h, ai->ai_addr, static_cast<SIM_LEN>(ai->ai_addrlen)) == 0) {
            // Acknowledgements and checks are tiny; they must not wait for Nagle.
            const int one = 1;
            setsockopt(h, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
            m_nHandle = static_cast<intptr_t>(h);
            break;
        }
        error = "connect failed, code " + std::to_string(LastError());
        CloseRawSocket(h);
    }
    freeaddrinfo(list);
    return m_nHandle != -1;
}

bool CSimSocket::SendAll(const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const auto n = send(Raw(m_nHandle), p, static_cast<SIM_LEN>(size), SIM_SEND_FLAGS);
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

int CSimSocket::Receive(void* data, size_t size, int timeoutMs)
{
    const int ready = WaitReadable(Raw(m_nHandle), timeoutMs);
    if (ready == 0)
        return RECV_TIMEOUT;
    if (ready < 0)
        return RECV_ERROR;
    const auto n = recv(Raw(m_nHandle), static_cast<char*>(data), static_cast<SIM_LEN>(size), 0);
    return n < 0 ? RECV_ERROR : static_cast<int>(n);
}

size_t CSimSocket::ReceiveExactly(void* data, size_t size, int timeoutMs, int& lastResult)
{
    using CLOCK = std::chrono::steady_clock;
    const auto deadline = CLOCK::now() + std::chrono::milliseconds(timeoutMs);
    size_t got = 0;
    lastResult = RECV_TIMEOUT;
    while (got < size) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - CLOCK::now()).count();
        if (left <= 0) {
            lastResult = RECV_TIMEOUT;
            break;
        }
        lastResult = Receive(static_cast<char*>(data) + got, size - got, static_cast<int>(left));
        if (lastResult <= 0)
            break;
        got += static_cast<size_t>(lastResult);
    }
    return got;
}

void CSimSocket::ShutdownSend()
{
    if (m_nHandle != -1) {
#ifdef _WIN32
        shutdown(Raw(m_nHandle), SD_SEND);
#else
        shutdown(Raw(m_nHandle), SHUT_WR);
#endif
    }
}

void CSimSocket::Close()
{
    if (m_nHandle != -1) {
        CloseRawSocket(Raw(m_nHandle));
        m_nHandle = -1;
    }
}
