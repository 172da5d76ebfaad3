#include "base/Crc32.h"

namespace {

struct CRC_TABLE {
    uint32_t entries[256];
    CRC_TABLE()
    {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            entries[n] = c;
        }
    }
};

}  // namespace

uint32_t Crc32(const uint8_t* bytes, size_t count, uint32_t crc)
{
    static const CRC_TABLE table;
    crc = ~crc;
    for (size_t i = 0; i < count; ++i) crc = table.entries[(crc ^ bytes[i]) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}
