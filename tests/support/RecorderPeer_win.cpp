#include "tests/support/RecorderPeer.h"

#include "link/LinkCodec.h"

#include <cstdint>

std::string CRecorderPeer::Challenge(const std::string& password, unsigned char key, unsigned char a, unsigned char b)
{
    uint8_t filler[LINK_PAYLOAD_SIZE];
    for (size_t k = 0; k < sizeof filler; ++k) filler[k] = static_cast<uint8_t>(k * 37 + 11);
    uint8_t block[LINK_MSG_SIZE];
    BuildChallenge(block, password, key, a, b, filler);
    return std::string(reinterpret_cast<const char*>(block), sizeof block);
}

std::string CRecorderPeer::Login(const std::string& password, unsigned char key, unsigned char a, unsigned char b)
{
    if (!SendAll(Challenge(password, key, a, b)))
        return std::string();
    return ReceiveUpTo(LINK_MSG_SIZE, 5000);
}
