#pragma once
#include "base/WinHandle.h"

#include <chrono>
#include <string>

// ctest runs two test programs at once in one Wine prefix, so a COM number
// belongs to one test program only. Taken now (keep the next ones apart):
//   SerialOutput_test   7 8 9 10 12 20 21 34, absent 31 32
//   FileSource_test     11 13 14 15 16 17 18, absent 33
//   Program_test        24 25, absent 35 36
//   NetworkSource_test  19
//   InfogenesisSource_test 41
// File capture tests take 50-54, the 32-bit program's checks 55 and up.

// Claims COM number N in the prefix for as long as it lives: a second claim of
// the same number, from this or any other program of the prefix, throws at
// once and names the number, instead of two tests sharing one port.
class CComNumberClaim {
public:
    explicit CComNumberClaim(int nComNumber);
    int Number() const { return m_nComNumber; }

private:
    int m_nComNumber;
    CHandle m_hClaim;
};

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

    std::string Name() const { return "COM" + std::to_string(m_Claim.Number()); }
    // Reads until `count` bytes arrived or `timeout` passed; returns what arrived.
    std::string Read(size_t count, std::chrono::milliseconds timeout);

private:
    CComNumberClaim m_Claim;
    std::string m_strLinkPath;
    unsigned long long m_hConnection;  // SOCKET
};

// A COM port that must not exist, for tests of a missing port: claimed like a
// pair's, and checked absent from the prefix.
class CAbsentComPort {
public:
    explicit CAbsentComPort(int nComNumber);
    std::string Name() const { return "COM" + std::to_string(m_Claim.Number()); }

private:
    CComNumberClaim m_Claim;
};
