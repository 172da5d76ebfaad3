#include "output/ReservedBuffer.h"

#include <algorithm>
#include <cstring>

CReservedBuffer::CReservedBuffer() : m_pBuf(new uint8_t[RESERVED_BUF_SIZE]())
{
}

bool CReservedBuffer::Append(const uint8_t* bytes, int count)
{
    if (count < 0 || static_cast<long long>(m_nUsedLen) + count >= RESERVED_BUF_SIZE)
        return false;
    std::memcpy(m_pBuf.get() + m_nUsedLen, bytes, static_cast<size_t>(count));
    m_nUsedLen += count;
    return true;
}

void CReservedBuffer::RemoveFront(int count)
{
    const int w = std::clamp(count, 0, m_nUsedLen);
    const int rest = m_nUsedLen - w;
    std::memmove(m_pBuf.get(), m_pBuf.get() + w, static_cast<size_t>(rest));
    std::memset(m_pBuf.get() + rest, 0, static_cast<size_t>(w));
    m_nUsedLen = rest;
    m_nLastChunkLen = std::max(0, m_nLastChunkLen - count);
}
