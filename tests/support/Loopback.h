#pragma once
#include <winsock2.h>

#include <cstddef>
#include <string>

// Raw Winsock peers for socket tests, on 127.0.0.1 only and with bounded
// waits throughout. The socket library must be started (CWinsockInit).

extern const char* const LOOPBACK_ADDRESS;

// A port that nobody holds on 127.0.0.1 right now, outside the range the
// system takes ports for outgoing connections from, and handed to no other
// test program in the prefix while this one runs.
unsigned short FindFreeLoopbackPort();
// True when a listener could take the port now: whoever held it let it go.
bool PortIsFree(unsigned short port);
// The local port a bound socket holds, 0 when it cannot be read.
unsigned short BoundPort(SOCKET hSocket);
// True while the value names an open socket.
bool IsLiveSocket(SOCKET hSocket);

// A client socket that the test drives by hand. Closes its handle when it goes.
class CLoopbackClient {
public:
    CLoopbackClient() = default;
    ~CLoopbackClient();
    CLoopbackClient(const CLoopbackClient&) = delete;
    CLoopbackClient& operator=(const CLoopbackClient&) = delete;

    // Connects to 127.0.0.1:nPort, from the loopback address pszFrom when
    // given (say "127.0.0.2"); false when not connected within nTimeoutMs.
    bool Connect(unsigned short nPort, unsigned nTimeoutMs = 5000, const char* pszFrom = nullptr);
    // Ends the sending half only: the peer reads the end of the stream, and
    // this side can still receive.
    void ShutdownSend();
    // Sends everything (blocking); false on the first failure.
    bool SendAll(const std::string& bytes);
    // Reads until nCount bytes arrived, the peer closed, an error came or
    // nTimeoutMs passed, and returns what arrived.
    std::string ReceiveUpTo(size_t nCount, unsigned nTimeoutMs = 5000);
    // What arrives first, at most nMax bytes: waits up to nTimeoutMs for
    // something to read, then reads once. Empty on time-out, close or error.
    std::string ReceiveSome(size_t nMax, unsigned nTimeoutMs = 5000);
    // True when the peer's orderly close is seen within nTimeoutMs (any
    // bytes still arriving before it are read and dropped).
    bool WaitPeerClose(unsigned nTimeoutMs = 5000);
    // Orderly close: the peer's receive sees the end of the stream.
    void Close();
    // Abortive close (linger 0): the peer sees a reset.
    void Reset();

    SOCKET Handle() const { return m_hSocket; }
    unsigned short LocalPort() const { return BoundPort(m_hSocket); }

private:
    SOCKET m_hSocket = INVALID_SOCKET;
};

// A connected pair of raw handles on 127.0.0.1, for tests that need a live
// connection without any accepting code. Both are blocking; the caller owns
// and closes them. False (both INVALID_SOCKET) when it cannot be made.
bool MakeLoopbackPair(SOCKET& hAccepted, SOCKET& hConnected);
