#include "base/Crc32.h"

uint32_t Crc32(const uint8_t* bytes, size_t count, uint32_t crc)
{
    crc = ~crc;
    for (size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}
