#pragma once
// The video-server link's wire format: login challenge and reply, refusal,
// keep-alive words, acknowledgement, and how a received block is read.
// No sockets here; both the link thread and the recorder simulator use it.
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t LINK_MSG_SIZE = 67;
constexpr unsigned LINK_RECV_TIMEOUT_MS = 20000;
// A connection that has not logged in by then is dropped, so that whoever
// holds the one connection without the password cannot keep the recorder out.
constexpr unsigned LINK_LOGIN_TIMEOUT_MS = 10000;
// A listening port that could not be opened is tried again this often.
constexpr unsigned LINK_LISTEN_RETRY_MS = 3000;
constexpr size_t LINK_CHUNK_MAX = 3072;
constexpr unsigned LINK_ACK_PAUSE_MS = 100;
constexpr unsigned LINK_REPLY_PAUSE_MS = 1000;
constexpr size_t LINK_PAYLOAD_SIZE = 64;
constexpr size_t LINK_DIGEST_CHARS = 32;

inline constexpr char LINK_IDENTITY_TEXT[] = "PX3QDLIRN";
inline constexpr char LINK_KEEPALIVE_CHECK[] = "ChkV3LiveStatus";
inline constexpr char LINK_KEEPALIVE_ANSWER[] = "V3StillLive";
constexpr size_t LINK_KEEPALIVE_ANSWER_SIZE = sizeof(LINK_KEEPALIVE_ANSWER) - 1;
inline constexpr char LINK_ACK_WORD[] = "gotdata";
inline constexpr char LINK_REFUSAL_WORD[] = "LinErr";

// Offsets of the three non-payload bytes in a challenge and in a reply.
constexpr size_t LINK_CHALLENGE_KEY_OFFSET = 5;
constexpr size_t LINK_CHALLENGE_ECHO_A_OFFSET = 21;
constexpr size_t LINK_CHALLENGE_ECHO_B_OFFSET = 62;
constexpr size_t LINK_REPLY_Y1_OFFSET = 7;
constexpr size_t LINK_REPLY_KEY_OFFSET = 26;
constexpr size_t LINK_REPLY_Y2_OFFSET = 60;

// Key byte as used for a digest pair: 0x00 -> 0xAA, 0xFF -> 0x22, others unchanged.
uint8_t AdjustDigestKey(uint8_t key);

// Character carried by the pair (p0, p1) under key (adjusted here).
uint8_t DecodeDigestChar(uint8_t p0, uint8_t p1, uint8_t key);

// Writes the pair carrying character c under key (adjusted here) into pair[0..1];
// filler supplies the bits of pair[0] that the key does not take from c.
void EncodeDigestChar(uint8_t filler, uint8_t c, uint8_t key, uint8_t pair[2]);

struct LINK_CHALLENGE_RESULT {
    bool bMatch;    // the challenge carries Md5Hex of the password
    uint8_t nEchoA; // challenge byte 21
    uint8_t nEchoB; // challenge byte 62
};

// Checks a LINK_MSG_SIZE-byte challenge against the password's digest.
LINK_CHALLENGE_RESULT VerifyChallenge(const std::string& password, const uint8_t* challenge);

// True when a LINK_MSG_SIZE-byte block carries a digest at all (32 lower-case
// hexadecimal characters), as a recorder's challenge with another password
// does; junk of that size almost never does.
bool ChallengeCarriesADigest(const uint8_t* challenge);

// Lays out a LINK_MSG_SIZE-byte challenge for password with key byte key, the
// echo bytes a and b, and LINK_PAYLOAD_SIZE filler bytes.
void BuildChallenge(uint8_t* challenge, const std::string& password, uint8_t key, uint8_t a, uint8_t b,
                    const uint8_t* filler);

// The reply bytes answering echo bytes a and b.
uint8_t LoginReplyY1(uint8_t b);
uint8_t LoginReplyY2(uint8_t a);

// Divisor d (1 to 9) of a reply from one pseudo-random value.
unsigned LoginReplyDivisor(int randomValue);

// Fills a LINK_MSG_SIZE-byte reply from a chosen divisor d (1 to 9, key 3*d+2)
// and LINK_PAYLOAD_SIZE filler bytes; the deterministic core of BuildLoginReply.
void BuildLoginReplyFrom(uint8_t* reply, uint8_t a, uint8_t b, unsigned d, const uint8_t* filler);

// Overwrites a LINK_MSG_SIZE-byte buffer with a login reply, drawing d and the
// filler from the C library's generator seeded with the time, and pausing
// pauseMs between the two seedings.
void BuildLoginReply(uint8_t* reply, uint8_t a, uint8_t b, unsigned pauseMs = LINK_REPLY_PAUSE_MS);

struct LINK_REPLY_FIELDS {
    std::string strDigest; // the 32 characters carried by the payload pairs
    uint8_t nKey;          // K2, byte 26
    uint8_t nY1;           // byte 7
    uint8_t nY2;           // byte 60
};

// Reads back a LINK_MSG_SIZE-byte login reply.
LINK_REPLY_FIELDS DecodeLoginReply(const uint8_t* reply);

// Overwrites a LINK_MSG_SIZE-byte buffer with the refusal: "LinErr" and zero bytes.
void BuildRefusal(uint8_t* block);

// True when the n bytes are exactly the refusal.
bool IsRefusal(const uint8_t* block, size_t n);

// Size of the next chunk when queued bytes wait: at most LINK_CHUNK_MAX.
size_t LinkChunkSize(size_t queued);
