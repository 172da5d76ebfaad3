#include "link/LinkStream.h"

#include <algorithm>
#include <cstring>

namespace {

struct WORD_KIND {
    const char* pszWord;
    size_t nLength;
    LINK_MESSAGE_KIND eKind;
};

const WORD_KIND WORDS[] = {
    {LINK_KEEPALIVE_CHECK, sizeof(LINK_KEEPALIVE_CHECK) - 1, LINK_MESSAGE_KEEPALIVE},
    {LINK_ACK_WORD, sizeof(LINK_ACK_WORD) - 1, LINK_MESSAGE_ACK},
};

}  // namespace

void CLinkStream::Feed(const uint8_t* bytes, size_t count)
{
    if (bytes != nullptr && count > 0)
        m_strPending.append(reinterpret_cast<const char*>(bytes), count);
}

size_t CLinkStream::FindWord(LINK_MESSAGE_KIND& eKind, size_t& nLength) const
{
    size_t nBest = std::string::npos;
    for (const WORD_KIND& word : WORDS) {
        const size_t at = m_strPending.find(word.pszWord, 0, word.nLength);
        if (at < LINK_MSG_SIZE && at < nBest) {
            nBest = at;
            eKind = word.eKind;
            nLength = word.nLength;
        }
    }
    return nBest;
}

bool CLinkStream::WordMayFollow() const
{
    const size_t size = m_strPending.size();
    for (const WORD_KIND& word : WORDS) {
        const size_t from = size >= word.nLength ? size - word.nLength + 1 : 0;
        for (size_t at = from; at < size && at < LINK_MSG_SIZE; ++at)
            if (m_strPending.compare(at, size - at, word.pszWord, size - at) == 0)
                return true;
    }
    return false;
}

void CLinkStream::TakeChallenge(size_t nAt, const LINK_CHALLENGE_RESULT& verdict, LINK_MESSAGE& message)
{
    message.eKind = LINK_MESSAGE_CHALLENGE;
    std::memcpy(message.challenge, m_strPending.data() + nAt, LINK_MSG_SIZE);
    message.verdict = verdict;
    m_strPending.erase(0, nAt + LINK_MSG_SIZE);
}

bool CLinkStream::Next(LINK_MESSAGE& message)
{
    for (;;) {
        if (m_strPending.empty())
            return false;
        LINK_MESSAGE_KIND eKind = LINK_MESSAGE_KEEPALIVE;
        size_t nLength = 0;
        const size_t nWord = FindWord(eKind, nLength);
        if (nWord != std::string::npos) {
            message.eKind = eKind;
            m_strPending.erase(0, nWord + nLength);
            return true;
        }

        size_t nZeros = 0;
        while (nZeros < m_strPending.size() && m_strPending[nZeros] == '\0')
            ++nZeros;
        // A run of zero bytes longer than a message is padding at its front
        // whatever follows; dropping it keeps what is gathered bounded.
        if (nZeros >= LINK_MSG_SIZE) {
            m_strPending.erase(0, nZeros - (LINK_MSG_SIZE - 1));
            continue;
        }

        for (size_t at = 0; at <= nZeros && at + LINK_MSG_SIZE <= m_strPending.size(); ++at) {
            const LINK_CHALLENGE_RESULT verdict =
                VerifyChallenge(m_strPassword, reinterpret_cast<const uint8_t*>(m_strPending.data()) + at);
            if (verdict.bMatch) {
                TakeChallenge(at, verdict, message);
                return true;
            }
        }
        // No challenge of this password is there yet. What is there is a
        // challenge of another one only when no word may still be arriving
        // inside it and its bytes after the padding are all in.
        if (WordMayFollow() || nZeros + LINK_MSG_SIZE > m_strPending.size())
            return false;
        const LINK_CHALLENGE_RESULT verdict =
            VerifyChallenge(m_strPassword, reinterpret_cast<const uint8_t*>(m_strPending.data()) + nZeros);
        TakeChallenge(nZeros, verdict, message);
        return true;
    }
}
