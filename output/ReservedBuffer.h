#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

constexpr int RESERVED_BUF_SIZE = 409600;

// The queue of nibble-swapped bytes waiting for a source's output. Not
// thread-safe by itself: the owner guards it with the source's buffer mutex.
class CReservedBuffer {
public:
    CReservedBuffer();

    // Appends the piece when the queue stays below RESERVED_BUF_SIZE; otherwise
    // drops it whole and returns false.
    bool Append(const uint8_t* bytes, int count);
    // Takes count bytes off the front (never below empty); also from the last chunk length.
    void RemoveFront(int count);
    void Clear() { m_nUsedLen = 0; }

    const uint8_t* Data() const { return m_pBuf.get(); }
    int UsedLen() const { return m_nUsedLen; }
    int LastChunkLen() const { return m_nLastChunkLen; }
    void SetLastChunkLen(int count) { m_nLastChunkLen = count; }

private:
    std::unique_ptr<uint8_t[]> m_pBuf;
    int m_nUsedLen = 0;
    int m_nLastChunkLen = 0;
};
