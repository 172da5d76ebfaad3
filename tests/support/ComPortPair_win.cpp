#include "tests/support/ComPortPair.h"

#include "tests/support/Process.h"

#include <winsock2.h>
#include <windows.h>

#include <stdexcept>

namespace {

struct CWinsockForTests {
    CWinsockForTests()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~CWinsockForTests() { WSACleanup(); }
};

std::string LinkPath(int nComNumber)
{
    const std::string prefix = EnvironmentValue("WINEPREFIX");
    if (prefix.empty())
        throw std::runtime_error("WINEPREFIX is not set: COM ports need the Wine prefix");
    return prefix + "/dosdevices/com" + std::to_string(nComNumber);
}

// Whether the link exists and leads to something (a dangling link counts as gone).
// Spelled with \\?\ because a path ending in com1 to com9 names the device.
bool LinkLeadsSomewhere(const std::string& unixPath)
{
    return GetFileAttributesA(("\\\\?\\" + UnixToWindowsPath(unixPath)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

// A named object lives as long as a handle to it, in every process of the
// prefix's Wine server, and goes with the process that holds it.
CComNumberClaim::CComNumberClaim(int nComNumber) : m_nComNumber(nComNumber)
{
    const std::string name = "TillvoxTestComPort" + std::to_string(nComNumber);
    m_hClaim.Reset(CreateMutexA(nullptr, FALSE, name.c_str()));
    const DWORD error = GetLastError();
    if (!m_hClaim.IsValid())
        throw std::runtime_error("cannot claim COM" + std::to_string(nComNumber) + ", error " + std::to_string(error));
    if (error == ERROR_ALREADY_EXISTS)
        throw std::runtime_error("COM" + std::to_string(nComNumber) +
                                 " is in use by another test at this moment: give each test program COM numbers "
                                 "of its own (see tests/support/ComPortPair.h)");
}

CAbsentComPort::CAbsentComPort(int nComNumber) : m_Claim(nComNumber)
{
    if (LinkLeadsSomewhere(LinkPath(nComNumber)))
        throw std::runtime_error("COM" + std::to_string(nComNumber) + " exists in the prefix (" +
                                 LinkPath(nComNumber) + "), but this test needs it missing");
}

CComPortPair::CComPortPair(int nComNumber) : m_Claim(nComNumber), m_hConnection(INVALID_SOCKET)
{
    static CWinsockForTests winsock;
    m_strLinkPath = LinkPath(nComNumber);
    // The socat of an earlier pair of this number ends a moment after its test
    // let go, and removes its link then.
    for (int k = 0; k < 500 && LinkLeadsSomewhere(m_strLinkPath); ++k)
        Sleep(10);
    if (LinkLeadsSomewhere(m_strLinkPath))
        throw std::runtime_error(Name() + " is still linked in the prefix (" + m_strLinkPath + ") by a pair that did not end");

    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(listener);
        throw std::runtime_error("cannot listen on loopback for the COM port bridge");
    }

    // socat makes the pty (and its link) first, then connects to us.
    const std::string command = "/usr/bin/socat pty,raw,echo=0,link=" + m_strLinkPath + " tcp:127.0.0.1:" +
                                std::to_string(ntohs(address.sin_port));
    if (!LaunchCommand(command)) {
        closesocket(listener);
        throw std::runtime_error("cannot start " + command);
    }

    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener, &readable);
    timeval wait = {10, 0};
    if (select(0, &readable, nullptr, nullptr, &wait) != 1) {
        closesocket(listener);
        throw std::runtime_error("socat did not connect for " + Name());
    }
    m_hConnection = accept(listener, nullptr, nullptr);
    closesocket(listener);
    if (m_hConnection == INVALID_SOCKET)
        throw std::runtime_error("cannot accept the COM port bridge");
}

CComPortPair::~CComPortPair()
{
    if (m_hConnection != INVALID_SOCKET)
        closesocket(static_cast<SOCKET>(m_hConnection));
}

std::string CComPortPair::Read(size_t count, std::chrono::milliseconds timeout)
{
    std::string received;
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(timeout.count());
    const SOCKET s = static_cast<SOCKET>(m_hConnection);
    while (received.size() < count) {
        const LONG left = static_cast<LONG>(deadline - GetTickCount());
        if (left <= 0)
            break;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval wait = {left / 1000, (left % 1000) * 1000};
        if (select(0, &readable, nullptr, nullptr, &wait) != 1)
            break;
        char buffer[4096];
        const int n = recv(s, buffer, static_cast<int>(std::min<size_t>(sizeof buffer, count - received.size())), 0);
        if (n <= 0)
            break;
        received.append(buffer, static_cast<size_t>(n));
    }
    return received;
}
