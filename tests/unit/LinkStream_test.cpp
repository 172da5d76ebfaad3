#include "link/LinkStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string PASSWORD = "till-7 pass";
const std::string CHECK = "ChkV3LiveStatus";
const std::string ACK = "gotdata";

std::string Challenge(const std::string& password, uint8_t key = 0x5A, uint8_t a = 29, uint8_t b = 2,
                      uint8_t firstFiller = 0x33)
{
    uint8_t filler[LINK_PAYLOAD_SIZE];
    for (size_t k = 0; k < sizeof filler; ++k)
        filler[k] = static_cast<uint8_t>(k * 37 + 11);
    filler[0] = firstFiller;
    uint8_t block[LINK_MSG_SIZE];
    BuildChallenge(block, password, key, a, b, filler);
    return std::string(reinterpret_cast<const char*>(block), sizeof block);
}

// A challenge of PASSWORD whose first byte is zero: the key keeps no bit of
// the digest's first character there, and the filler supplies none either.
std::string ChallengeBeginningWithZero()
{
    for (unsigned key = 1; key < 255; ++key) {
        const std::string c = Challenge(PASSWORD, static_cast<uint8_t>(key), 40, 50, 0);
        if (c[0] == '\0')
            return c;
    }
    return std::string();
}

// What the stream makes of the pieces, one word per message: K check, A
// acknowledgement, C+ challenge of the password (with its echo bytes), C- another.
std::vector<std::string> Parse(CLinkStream& stream, const std::vector<std::string>& pieces)
{
    std::vector<std::string> got;
    for (const std::string& piece : pieces) {
        stream.Feed(reinterpret_cast<const uint8_t*>(piece.data()), piece.size());
        LINK_MESSAGE message;
        while (stream.Next(message)) {
            switch (message.eKind) {
            case LINK_MESSAGE_KEEPALIVE:
                got.push_back("K");
                break;
            case LINK_MESSAGE_ACK:
                got.push_back("A");
                break;
            case LINK_MESSAGE_CHALLENGE:
                got.push_back(message.verdict.bMatch ? "C+" + std::to_string(message.verdict.nEchoA) + "/" +
                                                           std::to_string(message.verdict.nEchoB)
                                                     : "C-");
                break;
            }
        }
    }
    return got;
}

std::vector<std::string> Parse(const std::vector<std::string>& pieces)
{
    CLinkStream stream(PASSWORD);
    return Parse(stream, pieces);
}

using WORDS = std::vector<std::string>;

}  // namespace

TEST(LinkStream, AChallengeSplitAtEveryByteIsAnsweredOnceItIsWhole)
{
    const std::string challenge = Challenge(PASSWORD, 0x5A, 29, 2);
    for (size_t split = 1; split < LINK_MSG_SIZE; ++split) {
        CLinkStream stream(PASSWORD);
        EXPECT_EQ(WORDS{}, Parse(stream, {challenge.substr(0, split)})) << "split " << split;
        EXPECT_EQ(WORDS{"C+29/2"}, Parse(stream, {challenge.substr(split)})) << "split " << split;
        EXPECT_EQ(0u, stream.PendingSize());
    }
    // Byte by byte, and in the pieces a network was seen to make.
    std::vector<std::string> bytes;
    for (char c : challenge) bytes.push_back(std::string(1, c));
    EXPECT_EQ(WORDS{"C+29/2"}, Parse(bytes));
    EXPECT_EQ(WORDS{"C+29/2"}, Parse({challenge.substr(0, 30), challenge.substr(30)}));
}

// The same stream cut at any one point must read the same: every message
// whole, none twice, none shifted by the word that came with it.
TEST(LinkStream, MessagesReadTheSameWhereverTheStreamIsCut)
{
    const std::string mine = Challenge(PASSWORD, 0x5A, 29, 2);
    const std::string other = Challenge("another password", 0x13, 3, 255);
    const std::string zeroFirst = ChallengeBeginningWithZero();
    ASSERT_EQ(LINK_MSG_SIZE, zeroFirst.size());
    const std::string zeros52(52, '\0');
    const struct {
        const char* name;
        std::string stream;
        WORDS words;
    } cases[] = {
        {"check joined to a challenge", CHECK + mine, {"K", "C+29/2"}},
        {"ack joined to a challenge", ACK + mine, {"A", "C+29/2"}},
        {"challenge joined to a check and an ack", mine + CHECK + ACK, {"C+29/2", "K", "A"}},
        {"check padded with zeros to a block, then a challenge", CHECK + zeros52 + mine, {"K", "C+29/2"}},
        {"ack padded with zeros, then a check", ACK + std::string(60, '\0') + CHECK, {"A", "K"}},
        {"check, then a challenge whose first byte is zero", CHECK + zeroFirst, {"K", "C+40/50"}},
        {"a challenge whose first byte is zero", zeroFirst, {"C+40/50"}},
        {"both words in one block", CHECK + ACK, {"K", "A"}},
        {"noise before a word", "xyz " + ACK + "\r\n" + CHECK, {"A", "K"}},
        {"a word after a zero byte", std::string("abc\0", 4) + CHECK, {"K"}},
        {"a challenge of another password, then mine", other + mine, {"C-", "C+29/2"}},
        {"two challenges", mine + mine, {"C+29/2", "C+29/2"}},
        {"words in other case are noise", "Gotdata chkv3livestatus" + ACK, {"A"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.words, Parse({c.stream}));
        for (size_t split = 1; split < c.stream.size(); ++split)
            ASSERT_EQ(c.words, Parse({c.stream.substr(0, split), c.stream.substr(split)})) << "split " << split;
    }
}

TEST(LinkStream, AChallengeOfAnotherPasswordIsReadAtOnce)
{
    CLinkStream stream(PASSWORD);
    EXPECT_EQ(WORDS{"C-"}, Parse(stream, {Challenge("wrong")}));
    EXPECT_EQ(0u, stream.PendingSize());
    // An empty password is a password like any other.
    CLinkStream empty("");
    EXPECT_EQ((WORDS{"C+29/2", "C-"}), Parse(empty, {Challenge("") + Challenge("x")}));
}

// Noise that runs into a word still arriving is not taken for a challenge:
// the word, once whole, is read, and the noise before it dropped.
TEST(LinkStream, NoiseBeforeAWordStillArrivingWaitsForIt)
{
    const std::string noise(60, 'q');
    CLinkStream stream(PASSWORD);
    EXPECT_EQ(WORDS{}, Parse(stream, {noise + CHECK.substr(0, 9)}));
    EXPECT_EQ(WORDS{"K"}, Parse(stream, {CHECK.substr(9)}));
    EXPECT_EQ(0u, stream.PendingSize());
    // Without a word, a block's worth of noise is read as a challenge (refused).
    EXPECT_EQ((WORDS{"C-", "A"}), Parse({std::string(67, 'q') + ACK}));
}

TEST(LinkStream, WhatIsGatheredStaysBoundedWhateverArrives)
{
    std::mt19937 random(77);
    const struct { const char* name; int zeroPercent; } cases[] = {{"letters", 0}, {"zeros", 100}, {"mixed", 50}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CLinkStream stream(PASSWORD);
        size_t largest = 0;
        for (int k = 0; k < 20000; ++k) {
            std::string piece(1 + random() % 200, '\0');
            for (auto& ch : piece)
                ch = static_cast<int>(random() % 100) < c.zeroPercent ? '\0' : static_cast<char>('A' + random() % 20);
            Parse(stream, {piece});
            largest = std::max(largest, stream.PendingSize());
        }
        EXPECT_LT(largest, 2 * LINK_MSG_SIZE);
        // The stream still reads a word after all that.
        const WORDS tail = Parse(stream, {std::string(LINK_MSG_SIZE, '\0') + CHECK});
        ASSERT_FALSE(tail.empty());
        EXPECT_EQ("K", tail.back());
    }
}
