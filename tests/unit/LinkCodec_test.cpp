#include "link/LinkCodec.h"
#include "link/Md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char IDENTITY_DIGEST[] = "8d088c6b5fcd55c0cd7f749311e16d80"; // MD5 of "PX3QDLIRN"
const char EMPTY_DIGEST[] = "d41d8cd98f00b204e9800998ecf8427e";

struct RANGE { size_t start, size; };

// Payload byte positions, written out from the wire layout independently of the codec.
std::vector<size_t> PayloadOffsets(const std::vector<RANGE>& ranges)
{
    std::vector<size_t> offsets;
    for (const RANGE& r : ranges)
        for (size_t i = 0; i < r.size; ++i)
            offsets.push_back(r.start + i);
    return offsets;
}

const std::vector<size_t> CHALLENGE_PAYLOAD = PayloadOffsets({{0, 5}, {6, 15}, {22, 40}, {63, 4}});
const std::vector<size_t> REPLY_PAYLOAD = PayloadOffsets({{0, 7}, {8, 18}, {27, 33}, {61, 6}});

using BLOCK = std::vector<uint8_t>;

// Pairs carrying digest under mask k (already the adjusted key), written with the
// bit formula directly; filler byte j is fill(j).
BLOCK HandLaidBlock(const std::vector<size_t>& payload, const std::string& digest, uint8_t k, uint8_t fill)
{
    BLOCK block(LINK_MSG_SIZE, 0x5C);
    for (size_t j = 0; j < LINK_DIGEST_CHARS; ++j) {
        const uint8_t c = uint8_t(digest[j]);
        const uint8_t r = uint8_t(fill + 13 * j);
        block[payload[2 * j]] = uint8_t((r & ~k) | (c & k));
        block[payload[2 * j + 1]] = uint8_t((c & ~k) | (r & k));
    }
    return block;
}

BLOCK Filler(uint8_t seed)
{
    BLOCK filler(LINK_PAYLOAD_SIZE);
    for (size_t i = 0; i < filler.size(); ++i)
        filler[i] = uint8_t(seed * 7 + i * 29);
    return filler;
}

BLOCK Challenge(const std::string& password, uint8_t key, uint8_t a, uint8_t b, uint8_t fillSeed = 3)
{
    BLOCK challenge(LINK_MSG_SIZE);
    const BLOCK filler = Filler(fillSeed);
    BuildChallenge(challenge.data(), password, key, a, b, filler.data());
    return challenge;
}

BLOCK Bytes(const std::string& text) { return BLOCK(text.begin(), text.end()); }

} // namespace

TEST(LinkCodec, DigestPairsFollowTheBitFormulaWithTheKeyAdjusted)
{
    const struct { uint8_t p0, p1, key, c; } cases[] = {
        {0x3A, 0x65, 0x0F, 0x6A}, {0x01, 0x60, 0x01, 0x61}, {0x30, 0x01, 0xFE, 0x31}, {0x00, 0xFF, 0x55, 0xAA},
        // 0x00 reads as 0xAA and 0xFF as 0x22; unadjusted they would give p1 and p0.
        {0xFF, 0x00, 0x00, 0xAA}, {0x00, 0xFF, 0x00, 0x55}, {0xFF, 0x00, 0xFF, 0x22}, {0x00, 0xFF, 0xFF, 0xDD},
        {0xFF, 0x00, 0xAA, 0xAA}, {0xFF, 0x00, 0x22, 0x22},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.c, DecodeDigestChar(c.p0, c.p1, c.key))
            << std::hex << "p0 " << int(c.p0) << " p1 " << int(c.p1) << " key " << int(c.key);

    const struct { uint8_t filler, c, key, p0, p1; } encodings[] = {
        {0xFF, 0x61, 0x0F, 0xF1, 0x6F},
        {0x00, 0x66, 0x00, 0x22, 0x44},
        {0x00, 0x39, 0xFF, 0x20, 0x19},
        {0xFF, 0x39, 0xFF, 0xFD, 0x3B},
    };
    for (const auto& e : encodings) {
        uint8_t pair[2] = {};
        EncodeDigestChar(e.filler, e.c, e.key, pair);
        EXPECT_EQ(e.p0, pair[0]) << std::hex << "c " << int(e.c) << " key " << int(e.key);
        EXPECT_EQ(e.p1, pair[1]) << std::hex << "c " << int(e.c) << " key " << int(e.key);
    }

    const struct { uint8_t in, out; } keys[] = {{0x00, 0xAA}, {0xFF, 0x22}, {0x01, 0x01}, {0xFE, 0xFE}, {0xAA, 0xAA}};
    for (const auto& k : keys)
        EXPECT_EQ(k.out, AdjustDigestKey(k.in)) << std::hex << int(k.in);
}

TEST(LinkCodec, EveryCharacterSurvivesEncodingUnderEveryKey)
{
    for (int key = 0; key < 256; ++key)
        for (int c = 0; c < 256; ++c)
            for (uint8_t filler : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x93)}) {
                uint8_t pair[2];
                EncodeDigestChar(filler, uint8_t(c), uint8_t(key), pair);
                ASSERT_EQ(c, DecodeDigestChar(pair[0], pair[1], uint8_t(key))) << "key " << key << " filler " << int(filler);
            }
}

TEST(LinkCodec, ChallengeVerifiesOnlyAgainstThePasswordItWasMadeFrom)
{
    const struct { std::string made, checked; bool match; } cases[] = {
        {"1234", "1234", true},
        {"", "", true},
        {"secret pass", "secret pass", true},
        {std::string(100, 'x'), std::string(100, 'x'), true},
        {"\xe9t\xe9", "\xe9t\xe9", true},
        {"1234", "1235", false},
        {"1234", "", false},
        {"", " ", false},
        {"Secret", "secret", false},
        {"abc", "abc ", false},
    };
    for (const uint8_t key : {0x00, 0x01, 0x5A, 0xAA, 0x22, 0xFE, 0xFF})
        for (const auto& c : cases) {
            const BLOCK challenge = Challenge(c.made, key, 29, 2, key);
            const LINK_CHALLENGE_RESULT r = VerifyChallenge(c.checked, challenge.data());
            EXPECT_EQ(c.match, r.bMatch) << "made from \"" << c.made << "\" checked with \"" << c.checked << "\" key "
                                         << int(key);
            EXPECT_EQ(29, r.nEchoA);
            EXPECT_EQ(2, r.nEchoB);
        }
}

// A refused block is a recorder with another password only when it carries a
// digest at all; anything else of the same size is junk.
TEST(LinkCodec, AChallengeOfAnotherPasswordCarriesADigestAndJunkDoesNot)
{
    for (const uint8_t key : {0x00, 0x01, 0x5A, 0xFF}) {
        for (const char* password : {"", "another password", "1234"}) {
            const BLOCK challenge = Challenge(password, key, 29, 2, key);
            EXPECT_TRUE(ChallengeCarriesADigest(challenge.data())) << password << " key " << int(key);
        }
    }
    const struct { const char* name; char fill; } junk[] = {{"letters", 'A'}, {"zeros", '\0'}, {"blanks", ' '}};
    for (const auto& j : junk) {
        const BLOCK block(LINK_MSG_SIZE, static_cast<uint8_t>(j.fill));
        EXPECT_FALSE(ChallengeCarriesADigest(block.data())) << j.name;
    }
    BLOCK counting(LINK_MSG_SIZE);
    for (size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<uint8_t>(i * 37 + 11);
    EXPECT_FALSE(ChallengeCarriesADigest(counting.data()));
}

TEST(LinkCodec, ChallengeFollowsTheWireLayout)
{
    const struct { const char* password; uint8_t key, a, b; } cases[] = {
        {"", 0x11, 0, 0}, {"1234", 0x0F, 30, 3}, {"x", 0xF0, 255, 255}, {"pass", 0x3C, 7, 200},
    };
    for (const auto& c : cases) {
        BLOCK expected = HandLaidBlock(CHALLENGE_PAYLOAD, Md5Hex(std::string(c.password)), c.key, 0x42);
        expected[5] = c.key;
        expected[21] = c.a;
        expected[62] = c.b;
        BLOCK filler(LINK_PAYLOAD_SIZE);
        for (size_t j = 0; j < LINK_DIGEST_CHARS; ++j)
            filler[2 * j] = uint8_t(0x42 + 13 * j);

        BLOCK built(LINK_MSG_SIZE);
        BuildChallenge(built.data(), c.password, c.key, c.a, c.b, filler.data());
        EXPECT_EQ(expected, built) << "password \"" << c.password << "\"";

        const LINK_CHALLENGE_RESULT r = VerifyChallenge(c.password, expected.data());
        EXPECT_TRUE(r.bMatch) << "password \"" << c.password << "\"";
        EXPECT_EQ(c.a, r.nEchoA);
        EXPECT_EQ(c.b, r.nEchoB);
    }
}

TEST(LinkCodec, ChallengeKeyBytesZeroAndAllOnesAreReadAsAdjusted)
{
    const std::string digest = Md5Hex(std::string("1234"));
    const struct { uint8_t keyByte, mask; bool match; } cases[] = {
        {0x00, 0xAA, true},  // pairs made with the adjusted key
        {0x00, 0x00, false}, // pairs made with the raw key byte
        {0xFF, 0x22, true},
        {0xFF, 0xFF, false},
        {0xAA, 0xAA, true},
        {0x22, 0x22, true},
    };
    for (const auto& c : cases) {
        // The filler differs from every digest character in every bit, so a wrong mask shows.
        BLOCK challenge = HandLaidBlock(CHALLENGE_PAYLOAD, digest, c.mask, 0);
        for (size_t j = 0; j < LINK_DIGEST_CHARS; ++j) {
            const uint8_t ch = uint8_t(digest[j]);
            const uint8_t r = uint8_t(~ch);
            challenge[CHALLENGE_PAYLOAD[2 * j]] = uint8_t((r & ~c.mask) | (ch & c.mask));
            challenge[CHALLENGE_PAYLOAD[2 * j + 1]] = uint8_t((ch & ~c.mask) | (r & c.mask));
        }
        challenge[5] = c.keyByte;
        EXPECT_EQ(c.match, VerifyChallenge("1234", challenge.data()).bMatch)
            << std::hex << "key byte " << int(c.keyByte) << " mask " << int(c.mask);
    }
}

TEST(LinkCodec, EmptyPasswordIsComparedWithTheDigestOfTheEmptyText)
{
    BLOCK challenge = HandLaidBlock(CHALLENGE_PAYLOAD, EMPTY_DIGEST, 0x3C, 9);
    challenge[5] = 0x3C;
    EXPECT_TRUE(VerifyChallenge("", challenge.data()).bMatch);
    EXPECT_FALSE(VerifyChallenge(std::string(1, '\0'), challenge.data()).bMatch);
}

TEST(LinkCodec, EveryPayloadByteCountsAndTheEchoBytesDoNot)
{
    for (const uint8_t key : {0x00, 0x0F, 0xFF}) {
        const BLOCK good = Challenge("pw", key, 100, 50);
        for (size_t off = 0; off < LINK_MSG_SIZE; ++off) {
            BLOCK changed = good;
            changed[off] ^= 0xFF;
            const bool isEcho = off == 21 || off == 62;
            EXPECT_EQ(isEcho, VerifyChallenge("pw", changed.data()).bMatch) << "offset " << off << " key " << int(key);
        }
    }
}

TEST(LinkCodec, EchoBytesGiveTheReplyBytes)
{
    const struct { uint8_t a, y2; } echoA[] = {
        {29, 35}, {30, 24}, {3, 9}, {255, 249}, {0, 6}, {31, 25}, {36, 30}, {6, 12},
    };
    for (const auto& c : echoA)
        EXPECT_EQ(c.y2, LoginReplyY2(c.a)) << "A " << int(c.a);

    const struct { uint8_t b, y1; } echoB[] = {
        {2, 2}, {3, 5}, {255, 1}, {0, 2}, {1, 2}, {254, 0}, {4, 6}, {100, 102},
    };
    for (const auto& c : echoB)
        EXPECT_EQ(c.y1, LoginReplyY1(c.b)) << "B " << int(c.b);
}

TEST(LinkCodec, DivisorComesFromTheLastDecimalDigitWithZeroMadeFour)
{
    const struct { int random; unsigned d; } cases[] = {
        {0, 4}, {10, 4}, {20, 4}, {1, 1}, {7, 7}, {9, 9}, {13, 3}, {32767, 7}, {2147483647, 7},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.d, LoginReplyDivisor(c.random)) << c.random;
}

TEST(LinkCodec, ReplyFromChosenDivisorFollowsTheWireLayout)
{
    const struct { uint8_t a, b; } echoes[] = {{29, 2}, {30, 3}, {255, 255}, {0, 0}};
    for (unsigned d = 1; d <= 9; ++d)
        for (const auto& e : echoes) {
            const uint8_t key = uint8_t(3 * d + 2);
            BLOCK filler(LINK_PAYLOAD_SIZE, 0xEE);
            for (size_t j = 0; j < LINK_DIGEST_CHARS; ++j)
                filler[2 * j] = uint8_t(0x42 + 13 * j);
            BLOCK expected = HandLaidBlock(REPLY_PAYLOAD, IDENTITY_DIGEST, key, 0x42);
            expected[7] = LoginReplyY1(e.b);
            expected[26] = key;
            expected[60] = LoginReplyY2(e.a);

            BLOCK reply(LINK_MSG_SIZE, 0x77);
            BuildLoginReplyFrom(reply.data(), e.a, e.b, d, filler.data());
            EXPECT_EQ(expected, reply) << "d " << d << " A " << int(e.a) << " B " << int(e.b);

            const LINK_REPLY_FIELDS f = DecodeLoginReply(reply.data());
            EXPECT_EQ(IDENTITY_DIGEST, f.strDigest);
            EXPECT_EQ(key, f.nKey);
            EXPECT_EQ(LoginReplyY1(e.b), f.nY1);
            EXPECT_EQ(LoginReplyY2(e.a), f.nY2);
        }
}

TEST(LinkCodec, RealReplyCarriesTheIdentityUnderOneOfTheNineKeys)
{
    const struct { uint8_t a, b, y2, y1; } cases[] = {{29, 2, 35, 2}, {30, 3, 24, 5}, {3, 0, 9, 2}, {255, 255, 249, 1}};
    for (const auto& c : cases) {
        BLOCK reply(LINK_MSG_SIZE, 0);
        BuildLoginReply(reply.data(), c.a, c.b, 0);
        const uint8_t key = reply[26];
        EXPECT_TRUE(key >= 5 && key <= 29 && (key - 5) % 3 == 0) << "key " << int(key);
        std::string digest;
        for (size_t j = 0; j < LINK_DIGEST_CHARS; ++j)
            digest += char(DecodeDigestChar(reply[REPLY_PAYLOAD[2 * j]], reply[REPLY_PAYLOAD[2 * j + 1]], key));
        EXPECT_EQ(IDENTITY_DIGEST, digest);
        EXPECT_EQ(c.y1, reply[7]);
        EXPECT_EQ(c.y2, reply[60]);
    }
}

TEST(LinkCodec, RealReplyPausesForTheGivenTime)
{
    BLOCK reply(LINK_MSG_SIZE);
    const auto start = std::chrono::steady_clock::now();
    BuildLoginReply(reply.data(), 1, 1, 60);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_EQ(IDENTITY_DIGEST, DecodeLoginReply(reply.data()).strDigest);
}

TEST(LinkCodec, RefusalIsTheWordAndZeros)
{
    BLOCK refusal(LINK_MSG_SIZE, 0xCC);
    BuildRefusal(refusal.data());
    BLOCK expected = Bytes("LinErr");
    expected.resize(67, 0);
    EXPECT_EQ(expected, refusal);

    BLOCK trailing = expected;
    trailing[66] = 1;
    BLOCK other = expected;
    other[5] = 'x';
    const struct { const BLOCK* block; size_t n; bool refusal; } cases[] = {
        {&expected, 67, true}, {&expected, 66, false}, {&trailing, 67, false}, {&other, 67, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.refusal, IsRefusal(c.block->data(), c.n)) << "n " << c.n;
}

TEST(LinkCodec, ChunksAreCappedAndAQueueDrainsInOrder)
{
    const struct { size_t queued, chunk; } cases[] = {{0, 0}, {1, 1}, {3071, 3071}, {3072, 3072}, {3073, 3072}, {409600, 3072}};
    for (const auto& c : cases)
        EXPECT_EQ(c.chunk, LinkChunkSize(c.queued)) << c.queued;

    std::vector<size_t> chunks;
    for (size_t queued = 5000; queued > 0; queued -= LinkChunkSize(queued))
        chunks.push_back(LinkChunkSize(queued));
    EXPECT_EQ((std::vector<size_t>{3072, 1928}), chunks);
}
