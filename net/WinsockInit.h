#pragma once

// Holds one reference on the socket library for as long as the object lives.
// The library counts references, so every thread that uses sockets may keep
// its own object.
class CWinsockInit {
public:
    CWinsockInit();
    ~CWinsockInit();
    CWinsockInit(const CWinsockInit&) = delete;
    CWinsockInit& operator=(const CWinsockInit&) = delete;

    bool IsReady() const { return m_nError == 0; }
    // The start-up error code, 0 when the library is ready.
    int Error() const { return m_nError; }

private:
    int m_nError;
};
