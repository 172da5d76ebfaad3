#include "base/RateLimiter.h"

CRateLimiter::VERDICT CRateLimiter::Check(const std::string& strSource, const std::string& strKind, int64_t nNowMs)
{
    std::lock_guard<std::mutex> lock(m_lock);
    VERDICT verdict;
    auto it = m_keys.find({strSource, strKind});
    if (it == m_keys.end()) {
        m_keys[{strSource, strKind}] = KEY_STATE{nNowMs, 0};
        verdict.bLetThrough = true;
        return verdict;
    }
    KEY_STATE& state = it->second;
    if (nNowMs - state.nLastEntryMs >= m_nIntervalMs) {
        verdict.bLetThrough = true;
        verdict.nSuppressed = state.nSuppressed;
        state = KEY_STATE{nNowMs, 0};
        return verdict;
    }
    ++state.nSuppressed;
    return verdict;
}

std::vector<CRateLimiter::SUMMARY> CRateLimiter::Due(int64_t nNowMs, bool bAtEnd)
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<SUMMARY> due;
    for (auto it = m_keys.begin(); it != m_keys.end();) {
        KEY_STATE& state = it->second;
        if (!bAtEnd && nNowMs - state.nLastEntryMs < m_nIntervalMs) {
            ++it;
            continue;
        }
        if (state.nSuppressed > 0) {
            // The summary is itself an entry: the next event waits its interval.
            due.push_back({it->first.first, it->first.second, state.nSuppressed});
            state = KEY_STATE{nNowMs, 0};
            ++it;
        } else {
            it = m_keys.erase(it);  // quiet for a whole interval: forget it
        }
    }
    return due;
}
