#include "link/LinkCodec.h"

#include "link/Md5.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

// Positions of the non-payload bytes; the payload fills the other 64 in order.
const size_t CHALLENGE_MARKS[3] = {LINK_CHALLENGE_KEY_OFFSET, LINK_CHALLENGE_ECHO_A_OFFSET,
                                   LINK_CHALLENGE_ECHO_B_OFFSET};
const size_t REPLY_MARKS[3] = {LINK_REPLY_Y1_OFFSET, LINK_REPLY_KEY_OFFSET, LINK_REPLY_Y2_OFFSET};

bool IsMark(const size_t marks[3], size_t offset)
{
    return offset == marks[0] || offset == marks[1] || offset == marks[2];
}

void GatherPayload(const uint8_t* block, const size_t marks[3], uint8_t* payload)
{
    size_t j = 0;
    for (size_t off = 0; off < LINK_MSG_SIZE; ++off)
        if (!IsMark(marks, off))
            payload[j++] = block[off];
}

void ScatterPayload(const uint8_t* payload, const size_t marks[3], uint8_t* block)
{
    size_t j = 0;
    for (size_t off = 0; off < LINK_MSG_SIZE; ++off)
        if (!IsMark(marks, off))
            block[off] = payload[j++];
}

std::string DecodeDigest(const uint8_t* payload, uint8_t key)
{
    std::string digest(LINK_DIGEST_CHARS, '\0');
    for (size_t j = 0; j < LINK_DIGEST_CHARS; ++j)
        digest[j] = char(DecodeDigestChar(payload[2 * j], payload[2 * j + 1], key));
    return digest;
}

void EncodeDigest(const std::string& digest, const uint8_t* filler, uint8_t key, uint8_t* payload)
{
    for (size_t j = 0; j < LINK_DIGEST_CHARS; ++j)
        EncodeDigestChar(filler[2 * j], uint8_t(digest[j]), key, payload + 2 * j);
}

} // namespace

uint8_t AdjustDigestKey(uint8_t key)
{
    if (key == 0x00)
        return 0xAA;
    if (key == 0xFF)
        return 0x22;
    return key;
}

uint8_t DecodeDigestChar(uint8_t p0, uint8_t p1, uint8_t key)
{
    const uint8_t k = AdjustDigestKey(key);
    return uint8_t((p1 & ~k) | (p0 & k));
}

void EncodeDigestChar(uint8_t filler, uint8_t c, uint8_t key, uint8_t pair[2])
{
    const uint8_t k = AdjustDigestKey(key);
    pair[0] = uint8_t((filler & ~k) | (c & k));
    pair[1] = uint8_t((c & ~k) | (filler & k));
}

LINK_CHALLENGE_RESULT VerifyChallenge(const std::string& password, const uint8_t* challenge)
{
    uint8_t payload[LINK_PAYLOAD_SIZE];
    GatherPayload(challenge, CHALLENGE_MARKS, payload);
    LINK_CHALLENGE_RESULT result;
    result.bMatch = DecodeDigest(payload, challenge[LINK_CHALLENGE_KEY_OFFSET]) == Md5Hex(password);
    result.nEchoA = challenge[LINK_CHALLENGE_ECHO_A_OFFSET];
    result.nEchoB = challenge[LINK_CHALLENGE_ECHO_B_OFFSET];
    return result;
}

bool ChallengeCarriesADigest(const uint8_t* challenge)
{
    uint8_t payload[LINK_PAYLOAD_SIZE];
    GatherPayload(challenge, CHALLENGE_MARKS, payload);
    const std::string digest = DecodeDigest(payload, challenge[LINK_CHALLENGE_KEY_OFFSET]);
    if (digest.size() != LINK_DIGEST_CHARS)
        return false;
    for (char c : digest)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

void BuildChallenge(uint8_t* challenge, const std::string& password, uint8_t key, uint8_t a, uint8_t b,
                    const uint8_t* filler)
{
    uint8_t payload[LINK_PAYLOAD_SIZE];
    EncodeDigest(Md5Hex(password), filler, key, payload);
    ScatterPayload(payload, CHALLENGE_MARKS, challenge);
    challenge[LINK_CHALLENGE_KEY_OFFSET] = key;
    challenge[LINK_CHALLENGE_ECHO_A_OFFSET] = a;
    challenge[LINK_CHALLENGE_ECHO_B_OFFSET] = b;
}

uint8_t LoginReplyY1(uint8_t b) { return b < 3 ? uint8_t(2) : uint8_t(b + 2); }

uint8_t LoginReplyY2(uint8_t a) { return a < 30 ? uint8_t(a + 6) : uint8_t(a - 6); }

unsigned LoginReplyDivisor(int randomValue)
{
    const unsigned d = unsigned(randomValue) % 10;
    return d == 0 ? 4 : d;
}

void BuildLoginReplyFrom(uint8_t* reply, uint8_t a, uint8_t b, unsigned d, const uint8_t* filler)
{
    const uint8_t key = uint8_t(3 * d + 2);
    uint8_t payload[LINK_PAYLOAD_SIZE];
    EncodeDigest(Md5Hex(LINK_IDENTITY_TEXT), filler, key, payload);
    ScatterPayload(payload, REPLY_MARKS, reply);
    reply[LINK_REPLY_Y1_OFFSET] = LoginReplyY1(b);
    reply[LINK_REPLY_KEY_OFFSET] = key;
    reply[LINK_REPLY_Y2_OFFSET] = LoginReplyY2(a);
}

void BuildLoginReply(uint8_t* reply, uint8_t a, uint8_t b, unsigned pauseMs)
{
    std::srand(unsigned(std::time(nullptr)));
    const unsigned d = LoginReplyDivisor(std::rand());
    if (pauseMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    std::srand(unsigned(std::time(nullptr)));
    uint8_t filler[LINK_PAYLOAD_SIZE];
    for (uint8_t& f : filler)
        f = uint8_t(unsigned(std::rand()) / d);
    BuildLoginReplyFrom(reply, a, b, d, filler);
}

LINK_REPLY_FIELDS DecodeLoginReply(const uint8_t* reply)
{
    uint8_t payload[LINK_PAYLOAD_SIZE];
    GatherPayload(reply, REPLY_MARKS, payload);
    LINK_REPLY_FIELDS fields;
    fields.nKey = reply[LINK_REPLY_KEY_OFFSET];
    fields.nY1 = reply[LINK_REPLY_Y1_OFFSET];
    fields.nY2 = reply[LINK_REPLY_Y2_OFFSET];
    fields.strDigest = DecodeDigest(payload, fields.nKey);
    return fields;
}

void BuildRefusal(uint8_t* block)
{
    std::memset(block, 0, LINK_MSG_SIZE);
    std::memcpy(block, LINK_REFUSAL_WORD, sizeof(LINK_REFUSAL_WORD) - 1);
}

bool IsRefusal(const uint8_t* block, size_t n)
{
    uint8_t refusal[LINK_MSG_SIZE];
    BuildRefusal(refusal);
    return n == LINK_MSG_SIZE && std::memcmp(block, refusal, LINK_MSG_SIZE) == 0;
}

size_t LinkChunkSize(size_t queued) { return queued < LINK_CHUNK_MAX ? queued : LINK_CHUNK_MAX; }
