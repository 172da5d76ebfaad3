#pragma once
#include <chrono>
#include <string>

// A real COM port for the program under test: a pseudo-terminal whose one end
// is linked into the Wine prefix as dosdevices/comN, and whose other end socat
// bridges to a loopback connection the test reads. socat ends by itself when
// the test process lets go of the connection.
class CComPortPair {
public:
    explicit CComPortPair(int nComNumber);
    ~CComPortPair();
    CComPortPair(const CComPortPair&) = delete;
    CComPortPair& operator=(const CComPortPair&) = delete;

    std::string Name() const { return "COM" + std::to_string(m_nComNumber); }
    // Reads until `count` bytes arrived or `timeout` passed; returns what arrived.
    std::string Read(size_t count, std::chrono::milliseconds timeout);

private:
    int m_nComNumber;
    std::string m_strLinkPath;
    unsigned long long m_hConnection;  // SOCKET
};
