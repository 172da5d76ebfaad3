#pragma once
#include "tests/support/Loopback.h"

#include <string>

// A recorder as the link sees it, driven by hand over a loopback connection.
class CRecorderPeer : public CLoopbackClient {
public:
    // The 67-byte challenge a recorder knowing `password` sends, with echo bytes a and b.
    static std::string Challenge(const std::string& password, unsigned char key = 0x5A, unsigned char a = 29,
                                 unsigned char b = 2);
    // Sends the challenge and returns the 67 bytes that come back (fewer on failure).
    std::string Login(const std::string& password, unsigned char key = 0x5A, unsigned char a = 29,
                      unsigned char b = 2);
    static constexpr const char* ACK_BYTES = "gotdata";
    bool Ack() { return SendAll(ACK_BYTES); }
    bool KeepAliveCheck() { return SendAll("ChkV3LiveStatus"); }
};
