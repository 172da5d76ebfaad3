#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The few blocking TCP client calls the simulators need, over POSIX sockets
// or Winsock, so the same tool runs beside the program on either side.
class CSimSocket {
public:
    enum { RECV_CLOSED = 0, RECV_ERROR = -1, RECV_TIMEOUT = -2 };

    CSimSocket() = default;
    ~CSimSocket();
    CSimSocket(const CSimSocket&) = delete;
    CSimSocket& operator=(const CSimSocket&) = delete;

    // Once per process before any other call; false when the socket library is unusable.
    static bool StartUp();

    // Connects to host:port, from the local IPv4 address `from` when it is
    // not empty; on failure error receives what went wrong.
    bool Connect(const std::string& host, const std::string& port, std::string& error,
                 const std::string& from = std::string());

    // Ends the sending half: the peer reads the end of the stream.
    void ShutdownSend();

    // Sends every byte; false on a failed send.
    bool SendAll(const void* data, size_t size);

    // Bytes read (> 0), RECV_CLOSED, RECV_ERROR, or RECV_TIMEOUT when nothing
    // arrived within timeoutMs (a negative timeoutMs waits without bound).
    int Receive(void* data, size_t size, int timeoutMs);

    // Reads exactly size bytes within timeoutMs in total; the count read.
    size_t ReceiveExactly(void* data, size_t size, int timeoutMs, int& lastResult);

    void Close();

    // The system's code of the last failed call.
    static int LastError();

private:
    intptr_t m_nHandle = -1;
};
