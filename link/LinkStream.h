#pragma once
// Reads the recorder's side of the link as a byte stream. TCP keeps no
// message boundaries: a challenge may come in several pieces, and a keep-alive
// check may share a piece with the challenge that follows it. Bytes are
// gathered here until a whole message is there, whatever the pieces were.
//
// A message is a keep-alive check or an acknowledgement word, with up to
// LINK_MSG_SIZE - 1 bytes of anything before it (padding or noise, dropped),
// or else the next LINK_MSG_SIZE bytes, read as a login challenge. Zero bytes
// after a word are padding: a challenge is looked for at every offset within
// such a run, and one that carries the password's digest is taken where it
// lies, so neither padding nor a challenge beginning with a zero byte shifts it.
#include "link/LinkCodec.h"

#include <cstddef>
#include <cstdint>
#include <string>

enum LINK_MESSAGE_KIND {
    LINK_MESSAGE_CHALLENGE,
    LINK_MESSAGE_KEEPALIVE,
    LINK_MESSAGE_ACK,
};

struct LINK_MESSAGE {
    LINK_MESSAGE_KIND eKind = LINK_MESSAGE_KEEPALIVE;
    // Challenge only: its bytes and how they compare with the password.
    uint8_t challenge[LINK_MSG_SIZE] = {};
    LINK_CHALLENGE_RESULT verdict = {false, 0, 0};
};

class CLinkStream {
public:
    explicit CLinkStream(const std::string& strPassword) : m_strPassword(strPassword) {}

    void Feed(const uint8_t* bytes, size_t count);
    // The next whole message, taken off the stream; false while the bytes
    // gathered do not make one yet.
    bool Next(LINK_MESSAGE& message);
    // Bytes gathered and not yet part of a message (never more than a few
    // hundred after Next has returned false).
    size_t PendingSize() const { return m_strPending.size(); }

private:
    // Start of the first whole word beginning within the first LINK_MSG_SIZE
    // bytes, with its kind and length; npos when there is none.
    size_t FindWord(LINK_MESSAGE_KIND& eKind, size_t& nLength) const;
    // True when the gathered bytes end in the beginning of a word that starts
    // within the first LINK_MSG_SIZE bytes: more bytes may complete it.
    bool WordMayFollow() const;
    void TakeChallenge(size_t nAt, const LINK_CHALLENGE_RESULT& verdict, LINK_MESSAGE& message);

    std::string m_strPassword;
    std::string m_strPending;
};
