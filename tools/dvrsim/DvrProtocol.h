#pragma once
// The recorder's side of the link: judging the login reply and turning the
// received stream back into captured text. Header-only so unit tests can
// use it without linking the tool.
#include "link/LinkCodec.h"
#include "link/Md5.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

enum DVR_LOGIN_VERDICT { DVR_LOGIN_OK, DVR_LOGIN_REFUSED, DVR_LOGIN_BAD };

// Judges the n bytes received after a challenge with echo bytes a and b;
// why receives the reason of a bad reply.
inline DVR_LOGIN_VERDICT CheckLoginReply(const uint8_t* reply, size_t n, uint8_t a, uint8_t b, std::string& why)
{
    if (IsRefusal(reply, n))
        return DVR_LOGIN_REFUSED;
    if (n != LINK_MSG_SIZE) {
        why = "reply has " + std::to_string(n) + " bytes, not " + std::to_string(LINK_MSG_SIZE);
        return DVR_LOGIN_BAD;
    }
    const LINK_REPLY_FIELDS f = DecodeLoginReply(reply);
    if (f.nKey < 5 || f.nKey > 29 || (f.nKey - 5) % 3 != 0) {
        why = "key byte " + std::to_string(f.nKey) + " is not one of 5, 8, ..., 29";
        return DVR_LOGIN_BAD;
    }
    if (f.strDigest != Md5Hex(LINK_IDENTITY_TEXT)) {
        why = "identity digest does not match";
        return DVR_LOGIN_BAD;
    }
    if (f.nY1 != LoginReplyY1(b) || f.nY2 != LoginReplyY2(a)) {
        why = "echo bytes answered with Y1=" + std::to_string(f.nY1) + " Y2=" + std::to_string(f.nY2) + ", expected Y1=" +
              std::to_string(LoginReplyY1(b)) + " Y2=" + std::to_string(LoginReplyY2(a));
        return DVR_LOGIN_BAD;
    }
    return DVR_LOGIN_OK;
}

// Written here rather than taken from the program, so that a broken swap in
// the program cannot cancel itself out in tests that use this peer.
inline uint8_t DvrUnswapByte(uint8_t b) { return static_cast<uint8_t>((b >> 4) | (b << 4)); }

// Splits the received stream into keep-alive answers and text. The program
// sends text without framing, so an answer may share a read with text, or
// (rarely) be split over two reads; while one answer is awaited, a tail that
// could begin it is held back until the next read decides.
class CDvrStreamDecoder {
public:
    void ExpectAnswer() { m_bAnswerPending = true; }
    bool IsAnswerPending() const { return m_bAnswerPending; }

    // Feeds one read; appends the unswapped text to text and returns true when
    // it completed the awaited answer.
    bool Feed(const uint8_t* data, size_t size, std::string& text)
    {
        std::string bytes;
        bytes.swap(m_strHeld);
        bytes.append(reinterpret_cast<const char*>(data), size);

        bool answered = false;
        if (m_bAnswerPending) {
            const size_t at = bytes.find(LINK_KEEPALIVE_ANSWER);
            if (at != std::string::npos) {
                bytes.erase(at, LINK_KEEPALIVE_ANSWER_SIZE);
                m_bAnswerPending = false;
                answered = true;
            } else {
                const size_t held = AnswerPrefixAtEnd(bytes);
                m_strHeld = bytes.substr(bytes.size() - held);
                bytes.resize(bytes.size() - held);
            }
        }
        AppendUnswapped(bytes, text);
        return answered;
    }

    // Stops waiting for the answer; bytes held back for it are text after all.
    void GiveUpAnswer(std::string& text)
    {
        m_bAnswerPending = false;
        AppendUnswapped(m_strHeld, text);
        m_strHeld.clear();
    }

private:
    // Length of the longest proper prefix of the answer that ends bytes.
    static size_t AnswerPrefixAtEnd(const std::string& bytes)
    {
        for (size_t len = LINK_KEEPALIVE_ANSWER_SIZE - 1; len > 0; --len)
            if (bytes.size() >= len && bytes.compare(bytes.size() - len, len, LINK_KEEPALIVE_ANSWER, len) == 0)
                return len;
        return 0;
    }

    static void AppendUnswapped(const std::string& bytes, std::string& text)
    {
        for (char c : bytes)
            text += static_cast<char>(DvrUnswapByte(static_cast<uint8_t>(c)));
    }

    bool m_bAnswerPending = false;
    std::string m_strHeld; // raw bytes that may be the start of the awaited answer
};
