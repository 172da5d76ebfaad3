#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Keeps a flood of one event (per source and kind) to at most one entry per
// interval. The first event of a quiet key is let through; the ones that
// follow within the interval are counted, and the next entry let through
// carries that count. Due() hands out the counts of floods that stopped, so
// the last ones are not lost.
// Times are milliseconds of a steady clock the caller reads, so that tests
// can drive it. Any thread; guarded by m_lock.
class CRateLimiter {
public:
    explicit CRateLimiter(int64_t nIntervalMs = 60 * 1000) : m_nIntervalMs(nIntervalMs) {}

    struct VERDICT {
        bool bLetThrough = false;
        uint64_t nSuppressed = 0;  // events held back since the previous entry, when let through
    };
    VERDICT Check(const std::string& strSource, const std::string& strKind, int64_t nNowMs);

    struct SUMMARY {
        std::string strSource;
        std::string strKind;
        uint64_t nSuppressed = 0;
    };
    // The held-back counts of keys whose interval has passed; each is reported
    // once. bAtEnd (the program is ending): every count still held back, so
    // that a flood of the last minute is not lost.
    std::vector<SUMMARY> Due(int64_t nNowMs, bool bAtEnd = false);

private:
    struct KEY_STATE {
        int64_t nLastEntryMs = 0;
        uint64_t nSuppressed = 0;
    };
    const int64_t m_nIntervalMs;
    std::mutex m_lock;
    std::map<std::pair<std::string, std::string>, KEY_STATE> m_keys;
};
