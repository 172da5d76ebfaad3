#include "base/SourceCounters.h"

void SOURCE_COUNTERS::AddCaptured(uint64_t nBytes, int64_t nNow)
{
    nBytesCaptured += nBytes;
    ++nReceiptsCaptured;
    nLastReceiptTime = nNow;
}

void SOURCE_COUNTERS::AddAcknowledged(uint64_t nBytes, int64_t nNow)
{
    nBytesAcknowledged += nBytes;
    nLastAckTime = nNow;
}

void SOURCE_COUNTERS::AddRefused(REFUSAL_REASON reason)
{
    const int nIndex = static_cast<int>(reason);
    if (nIndex >= 0 && nIndex < REFUSAL_REASON_COUNT)
        ++nRefused[nIndex];
}

void SOURCE_COUNTERS::SetRecorderAddress(const std::string& strAddress)
{
    std::lock_guard<std::mutex> lock(m_lockAddress);
    m_strRecorderAddress = strAddress;
}

SOURCE_COUNTERS_SNAPSHOT SOURCE_COUNTERS::Snapshot() const
{
    SOURCE_COUNTERS_SNAPSHOT snap;
    snap.nBytesCaptured = nBytesCaptured;
    snap.nReceiptsCaptured = nReceiptsCaptured;
    snap.nBytesSent = nBytesSent;
    snap.nBytesAcknowledged = nBytesAcknowledged;
    snap.nBytesQueued = nBytesQueued;
    snap.nBytesDropped = nBytesDropped;
    snap.nRecorderReconnects = nRecorderReconnects;
    for (int i = 0; i < REFUSAL_REASON_COUNT; ++i)
        snap.nRefused[i] = nRefused[i];
    snap.nLastReceiptTime = nLastReceiptTime;
    snap.nLastAckTime = nLastAckTime;
    std::lock_guard<std::mutex> lock(m_lockAddress);
    snap.strRecorderAddress = m_strRecorderAddress;
    return snap;
}

void SOURCE_COUNTERS::Reset()
{
    nBytesCaptured = 0;
    nReceiptsCaptured = 0;
    nBytesSent = 0;
    nBytesAcknowledged = 0;
    nBytesQueued = 0;
    nBytesDropped = 0;
    nRecorderReconnects = 0;
    for (auto& nCount : nRefused)
        nCount = 0;
    nLastReceiptTime = 0;
    nLastAckTime = 0;
    SetRecorderAddress(std::string());
}
