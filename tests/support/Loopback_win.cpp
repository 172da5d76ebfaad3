#include "tests/support/Loopback.h"

#include "base/WinHandle.h"
#include "net/TimeOutSocket.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

const char* const LOOPBACK_ADDRESS = "127.0.0.1";

namespace {

sockaddr_in LoopbackAddress(unsigned short nPort)
{
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(nPort);
    return addr;
}

timeval Timeval(unsigned nMs)
{
    timeval tv;
    tv.tv_sec = static_cast<long>(nMs / 1000);
    tv.tv_usec = static_cast<long>((nMs % 1000) * 1000);
    return tv;
}

// Milliseconds left until nDeadline (a GetTickCount64 value), 0 once passed.
unsigned MsLeft(ULONGLONG nDeadline)
{
    const ULONGLONG nNow = GetTickCount64();
    return nNow >= nDeadline ? 0 : static_cast<unsigned>(nDeadline - nNow);
}

bool WaitReadable(SOCKET hSocket, unsigned nMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(hSocket, &set);
    timeval tv = Timeval(nMs);
    return select(0, &set, nullptr, nullptr, &tv) == 1;
}

bool SetBlocking(SOCKET hSocket, bool bBlocking)
{
    u_long nNonBlocking = bBlocking ? 0 : 1;
    return ioctlsocket(hSocket, FIONBIO, &nNonBlocking) == 0;
}

}  // namespace

namespace {

// The ports the system hands out for outgoing connections (Linux's
// ip_local_port_range, 32768-60999 by default). A port chosen from them can be
// taken as the local end of another test's connection between the choice and
// the bind that uses it, so test ports come from below that range.
void TestPortRange(unsigned& nLow, unsigned& nHigh)
{
    nLow = 10000;
    nHigh = 32767;
    FILE* pFile = std::fopen("Z:\\proc\\sys\\net\\ipv4\\ip_local_port_range", "r");
    if (pFile == nullptr)
        return;
    unsigned nEphemeralLow = 0, nEphemeralHigh = 0;
    if (std::fscanf(pFile, "%u %u", &nEphemeralLow, &nEphemeralHigh) == 2) {
        if (nEphemeralLow > nLow + 2000)
            nHigh = nEphemeralLow - 1;
        else if (nEphemeralHigh < 63000)
            nLow = nEphemeralHigh + 1, nHigh = 65535;
    }
    std::fclose(pFile);
}

// Test programs in the test run's other prefixes share no named objects with
// this one: a port is also claimed for the whole run as a folder in
// $TILLVOX_PORT_CLAIMS (a Linux path the test command makes empty), which only
// one process on the machine can create.
bool ClaimForTheRun(unsigned short nPort)
{
    const char* pszClaims = std::getenv("TILLVOX_PORT_CLAIMS");
    if (pszClaims == nullptr || *pszClaims == '\0')
        return true;
    std::string strFolder = std::string("Z:") + pszClaims + "/" + std::to_string(nPort);
    std::replace(strFolder.begin(), strFolder.end(), '/', '\\');
    return CreateDirectoryA(strFolder.c_str(), nullptr) != FALSE;
}

bool CanBind(unsigned short nPort)
{
    const SOCKET hSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (hSocket == INVALID_SOCKET)
        return false;
    const sockaddr_in addr = LoopbackAddress(nPort);
    const bool bFree = bind(hSocket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    closesocket(hSocket);
    return bFree;
}

}  // namespace

unsigned short FindFreeLoopbackPort()
{
    // Test programs run side by side in one prefix: each port handed out is
    // claimed by a named object held for the rest of the process's life, so
    // no other test program picks it while this one may still use it; and for
    // the run, against the programs in the other prefixes.
    static std::mutex s_lockClaims;
    static std::vector<CHandle> s_claims;
    static uint32_t s_nSeed = GetCurrentProcessId() * 2654435761u ^ static_cast<uint32_t>(GetTickCount64());
    std::lock_guard<std::mutex> lock(s_lockClaims);
    unsigned nLow = 0, nHigh = 0;
    TestPortRange(nLow, nHigh);
    for (int nAttempt = 0; nAttempt < 4000; ++nAttempt) {
        s_nSeed = s_nSeed * 1103515245u + 12345u;
        const auto nPort = static_cast<unsigned short>(nLow + (s_nSeed >> 8) % (nHigh - nLow + 1));
        const std::string strName = "TillvoxTestPort" + std::to_string(nPort);
        CHandle hClaim(CreateMutexA(nullptr, FALSE, strName.c_str()));
        if (!hClaim.IsValid() || GetLastError() == ERROR_ALREADY_EXISTS || !CanBind(nPort) || !ClaimForTheRun(nPort))
            continue;
        s_claims.push_back(std::move(hClaim));
        return nPort;
    }
    return 0;
}

bool PortIsFree(unsigned short port)
{
    CTimeOutSocket probe;
    return probe.Create(port);
}

unsigned short BoundPort(SOCKET hSocket)
{
    sockaddr_in addr = {};
    int nLen = sizeof addr;
    if (getsockname(hSocket, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

bool IsLiveSocket(SOCKET hSocket)
{
    int nType = 0;
    int nLen = sizeof nType;
    return getsockopt(hSocket, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&nType), &nLen) == 0;
}

CLoopbackClient::~CLoopbackClient()
{
    Close();
}

bool CLoopbackClient::Connect(unsigned short nPort, unsigned nTimeoutMs, const char* pszFrom)
{
    Close();
    m_hSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_hSocket == INVALID_SOCKET || !SetBlocking(m_hSocket, false))
        return false;
    if (pszFrom != nullptr) {
        sockaddr_in from = LoopbackAddress(0);
        from.sin_addr.s_addr = inet_addr(pszFrom);
        if (bind(m_hSocket, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0) {
            Close();
            return false;
        }
    }
    const sockaddr_in addr = LoopbackAddress(nPort);
    if (connect(m_hSocket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK) {
        Close();
        return false;
    }
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(m_hSocket, &writable);
    FD_SET(m_hSocket, &failed);
    timeval tv = Timeval(nTimeoutMs);
    int nError = 0;
    int nLen = sizeof nError;
    if (select(0, nullptr, &writable, &failed, &tv) != 1 || !FD_ISSET(m_hSocket, &writable) ||
        getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&nError), &nLen) != 0 || nError != 0 ||
        !SetBlocking(m_hSocket, true)) {
        Close();
        return false;
    }
    return true;
}

bool CLoopbackClient::SendAll(const std::string& bytes)
{
    size_t nSent = 0;
    while (nSent < bytes.size()) {
        const int nPiece = static_cast<int>(std::min<size_t>(bytes.size() - nSent, 1 << 20));
        const int n = send(m_hSocket, bytes.data() + nSent, nPiece, 0);
        if (n <= 0)
            return false;
        nSent += static_cast<size_t>(n);
    }
    return true;
}

std::string CLoopbackClient::ReceiveUpTo(size_t nCount, unsigned nTimeoutMs)
{
    const ULONGLONG nDeadline = GetTickCount64() + nTimeoutMs;
    std::string received;
    std::vector<char> chunk(64 * 1024);
    while (received.size() < nCount) {
        if (!WaitReadable(m_hSocket, MsLeft(nDeadline)))
            break;
        const int nWant = static_cast<int>(std::min(chunk.size(), nCount - received.size()));
        const int n = recv(m_hSocket, chunk.data(), nWant, 0);
        if (n <= 0)
            break;
        received.append(chunk.data(), static_cast<size_t>(n));
    }
    return received;
}

std::string CLoopbackClient::ReceiveSome(size_t nMax, unsigned nTimeoutMs)
{
    if (nMax == 0 || !WaitReadable(m_hSocket, nTimeoutMs))
        return std::string();
    std::vector<char> chunk(nMax);
    const int n = recv(m_hSocket, chunk.data(), static_cast<int>(nMax), 0);
    return n > 0 ? std::string(chunk.data(), static_cast<size_t>(n)) : std::string();
}

bool CLoopbackClient::WaitPeerClose(unsigned nTimeoutMs)
{
    const ULONGLONG nDeadline = GetTickCount64() + nTimeoutMs;
    char chunk[4096];
    while (WaitReadable(m_hSocket, MsLeft(nDeadline))) {
        const int n = recv(m_hSocket, chunk, sizeof chunk, 0);
        if (n == 0)
            return true;
        if (n < 0)
            return false;
    }
    return false;
}

void CLoopbackClient::Close()
{
    if (m_hSocket != INVALID_SOCKET)
        closesocket(m_hSocket);
    m_hSocket = INVALID_SOCKET;
}

void CLoopbackClient::Reset()
{
    if (m_hSocket == INVALID_SOCKET)
        return;
    linger noLinger;
    noLinger.l_onoff = 1;
    noLinger.l_linger = 0;
    setsockopt(m_hSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&noLinger), sizeof noLinger);
    Close();
}

bool MakeLoopbackPair(SOCKET& hAccepted, SOCKET& hConnected)
{
    hAccepted = hConnected = INVALID_SOCKET;
    const SOCKET hListen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (hListen == INVALID_SOCKET)
        return false;
    sockaddr_in addr = LoopbackAddress(0);
    int nLen = sizeof addr;
    bool bOk = bind(hListen, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 && listen(hListen, 1) == 0 &&
               getsockname(hListen, reinterpret_cast<sockaddr*>(&addr), &nLen) == 0;
    if (bOk) {
        hConnected = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        // A loopback connect completes from the backlog, before any accept.
        bOk = hConnected != INVALID_SOCKET &&
              connect(hConnected, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 &&
              WaitReadable(hListen, 5000);
    }
    if (bOk) {
        hAccepted = accept(hListen, nullptr, nullptr);
        bOk = hAccepted != INVALID_SOCKET;
    }
    closesocket(hListen);
    if (!bOk) {
        if (hConnected != INVALID_SOCKET)
            closesocket(hConnected);
        hAccepted = hConnected = INVALID_SOCKET;
    }
    return bOk;
}

void CLoopbackClient::ShutdownSend()
{
    if (m_hSocket != INVALID_SOCKET)
        shutdown(m_hSocket, SD_SEND);
}
