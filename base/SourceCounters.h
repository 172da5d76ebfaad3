#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// Why a connection to a source's listening port was turned away.
enum class REFUSAL_REASON {
    WRONG_PASSWORD,  // a recorder logged in with another password
    JUNK,            // the peer sent something that is no login
    UNKNOWN_TILL,    // a till's address matches no source
};
constexpr int REFUSAL_REASON_COUNT = 3;

// What readers (the window, the metrics writer) copy out of SOURCE_COUNTERS in one go.
// Times are seconds since 1970 (UTC); 0 means "never".
struct SOURCE_COUNTERS_SNAPSHOT {
    uint64_t nBytesCaptured = 0;
    uint64_t nReceiptsCaptured = 0;
    uint64_t nBytesSent = 0;
    uint64_t nBytesAcknowledged = 0;
    uint64_t nBytesQueued = 0;
    uint64_t nBytesDropped = 0;
    uint64_t nRecorderReconnects = 0;
    uint64_t nRefused[REFUSAL_REASON_COUNT] = {};
    int64_t nLastReceiptTime = 0;
    int64_t nLastAckTime = 0;
    std::string strRecorderAddress;  // empty while no recorder is logged in
};

// Counted while a source runs. Every field may be written by any thread
// (inputs, the output's worker, the link) and read by any other; the
// counters are independent of each other, so a snapshot is a set of values
// each true at some moment during the copy, not one instant.
struct SOURCE_COUNTERS {
    std::atomic<uint64_t> nBytesCaptured{0};
    std::atomic<uint64_t> nReceiptsCaptured{0};
    std::atomic<uint64_t> nBytesSent{0};
    std::atomic<uint64_t> nBytesAcknowledged{0};
    std::atomic<uint64_t> nBytesQueued{0};  // a gauge: set, not added to
    std::atomic<uint64_t> nBytesDropped{0};
    std::atomic<uint64_t> nRecorderReconnects{0};
    std::atomic<uint64_t> nRefused[REFUSAL_REASON_COUNT] = {};
    std::atomic<int64_t> nLastReceiptTime{0};
    std::atomic<int64_t> nLastAckTime{0};

    void AddCaptured(uint64_t nBytes, int64_t nNow);
    void AddAcknowledged(uint64_t nBytes, int64_t nNow);
    void AddRefused(REFUSAL_REASON reason);
    void SetRecorderAddress(const std::string& strAddress);
    SOURCE_COUNTERS_SNAPSHOT Snapshot() const;
    // Back to zero, for a new source that takes over the object.
    void Reset();

private:
    mutable std::mutex m_lockAddress;  // guards m_strRecorderAddress only; taken alone, never nested
    std::string m_strRecorderAddress;
};
