#include "tools/dvrsim/DvrProtocol.h"

#include "link/LinkCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What the program puts on the wire for text: every byte with its halves exchanged.
std::string Swapped(const std::string& text)
{
    std::string out;
    for (unsigned char c : text)
        out += char(((c & 0x0F) << 4) | (c >> 4));
    return out;
}

struct STEP {
    enum { CHECK, READ, GIVE_UP } kind;
    std::string bytes; // for READ: raw bytes as received
};

STEP Check() { return {STEP::CHECK, ""}; }
STEP Read(const std::string& raw) { return {STEP::READ, raw}; }
STEP GiveUp() { return {STEP::GIVE_UP, ""}; }

} // namespace

TEST(DvrSim, StreamDecoderSeparatesAnswersFromText)
{
    const std::string answer = "V3StillLive";
    const std::string receipt = Swapped("TOTAL 12.50\r\n");
    const std::string other = Swapped("Thank you\r\n");
    const struct { const char* name; std::vector<STEP> steps; std::string text; int answers; bool pendingAfter; } cases[] = {
        {"text only", {Read(receipt)}, "TOTAL 12.50\r\n", 0, false},
        {"answer alone", {Check(), Read(answer)}, "", 1, false},
        {"answer then text", {Check(), Read(answer + receipt)}, "TOTAL 12.50\r\n", 1, false},
        {"text then answer", {Check(), Read(receipt + answer)}, "TOTAL 12.50\r\n", 1, false},
        {"text, answer, text", {Check(), Read(receipt + answer + other)}, "TOTAL 12.50\r\nThank you\r\n", 1, false},
        {"answer split over reads", {Check(), Read(answer.substr(0, 4)), Read(answer.substr(4) + other)}, "Thank you\r\n", 1,
         false},
        {"answer split after text", {Check(), Read(receipt + "V3S"), Read("tillLive")}, "TOTAL 12.50\r\n", 1, false},
        {"answer without a check is text", {Read(answer)}, Swapped(answer), 0, false},
        {"only the first answer per check", {Check(), Read(answer + answer)}, Swapped(answer), 1, false},
        {"held tail turns out to be text", {Check(), Read(Swapped("Grande")), Read(Swapped("!"))}, "Grande!", 0, true},
        {"held tail released on giving up", {Check(), Read(Swapped("Grande")), GiveUp()}, "Grande", 0, false},
        {"held tail then the answer", {Check(), Read(Swapped("Grande")), Read(answer)}, "Grande", 1, false},
        {"tail that could start an answer twice", {Check(), Read("VV"), Read("3StillLive")}, Swapped("V"), 1, false},
        {"zero bytes pass", {Read(std::string("\0\x14\0", 3))}, std::string("\0\x41\0", 3), 0, false},
    };
    for (const auto& c : cases) {
        CDvrStreamDecoder decoder;
        std::string text;
        int answers = 0;
        for (const STEP& s : c.steps) {
            if (s.kind == STEP::CHECK)
                decoder.ExpectAnswer();
            else if (s.kind == STEP::GIVE_UP)
                decoder.GiveUpAnswer(text);
            else
                answers += decoder.Feed(reinterpret_cast<const uint8_t*>(s.bytes.data()), s.bytes.size(), text);
        }
        EXPECT_EQ(c.text, text) << c.name;
        EXPECT_EQ(c.answers, answers) << c.name;
        EXPECT_EQ(c.pendingAfter, decoder.IsAnswerPending()) << c.name;
    }
}

TEST(DvrSim, UnswapUndoesTheProgramsSwapForEveryByte)
{
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(b, DvrUnswapByte(uint8_t(Swapped(std::string(1, char(b)))[0]))) << b;
}

TEST(DvrSim, LoginReplyIsJudged)
{
    std::vector<uint8_t> filler(LINK_PAYLOAD_SIZE, 0x5A);
    std::vector<uint8_t> good(LINK_MSG_SIZE);
    BuildLoginReplyFrom(good.data(), 30, 3, 4, filler.data());
    std::vector<uint8_t> refusal(LINK_MSG_SIZE);
    BuildRefusal(refusal.data());

    auto changed = [&](size_t offset, uint8_t value) {
        std::vector<uint8_t> r = good;
        r[offset] = value;
        return r;
    };
    std::vector<uint8_t> otherKey = good;
    otherKey[26] = 15; // a valid-looking key the pairs were not made with

    const struct { const char* name; std::vector<uint8_t> reply; size_t n; DVR_LOGIN_VERDICT verdict; } cases[] = {
        {"good", good, LINK_MSG_SIZE, DVR_LOGIN_OK},
        {"refusal", refusal, LINK_MSG_SIZE, DVR_LOGIN_REFUSED},
        {"short", good, LINK_MSG_SIZE - 1, DVR_LOGIN_BAD},
        {"Y1 wrong", changed(7, 6), LINK_MSG_SIZE, DVR_LOGIN_BAD},
        {"Y2 wrong", changed(60, 36), LINK_MSG_SIZE, DVR_LOGIN_BAD},
        {"key outside the nine", changed(26, 15 + 1), LINK_MSG_SIZE, DVR_LOGIN_BAD},
        {"pairs made with another key", otherKey, LINK_MSG_SIZE, DVR_LOGIN_BAD},
        {"digest byte broken", changed(0, uint8_t(good[0] ^ 0xFF)), LINK_MSG_SIZE, DVR_LOGIN_BAD},
        {"all zero", std::vector<uint8_t>(LINK_MSG_SIZE, 0), LINK_MSG_SIZE, DVR_LOGIN_BAD},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(c.verdict, CheckLoginReply(c.reply.data(), c.n, 30, 3, why)) << c.name;
        EXPECT_EQ(c.verdict == DVR_LOGIN_BAD, !why.empty()) << c.name;
    }

    std::string why;
    EXPECT_EQ(DVR_LOGIN_BAD, CheckLoginReply(good.data(), LINK_MSG_SIZE, 29, 3, why)) << "answers other echo bytes";
}
