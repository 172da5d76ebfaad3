#include "link/Md5.h"

#include <cstring>

namespace {

const uint32_t SINE_TABLE[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

const unsigned SHIFTS[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

uint32_t RotateLeft(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

uint32_t LoadLittleEndian(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void TransformBlock(uint32_t state[4], const uint8_t block[64])
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = LoadLittleEndian(block + 4 * i);

    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (unsigned i = 0; i < 64; ++i) {
        const unsigned round = i / 16;
        uint32_t f;
        unsigned g;
        switch (round) {
        case 0: f = (b & c) | (~b & d); g = i; break;
        case 1: f = (d & b) | (~d & c); g = (5 * i + 1) % 16; break;
        case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
        default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
        }
        const uint32_t next = b + RotateLeft(a + f + SINE_TABLE[i] + x[g], SHIFTS[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

} // namespace

void Md5Digest(const uint8_t* data, size_t size, uint8_t digest[MD5_DIGEST_SIZE])
{
    uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

    size_t done = 0;
    for (; size - done >= 64; done += 64)
        TransformBlock(state, data + done);

    // The tail, the 0x80 marker and the 64-bit bit length need one block, or two
    // when fewer than 9 bytes are left after the tail.
    uint8_t tail[128] = {};
    const size_t rest = size - done;
    if (rest > 0)
        std::memcpy(tail, data + done, rest);
    tail[rest] = 0x80;
    const size_t tailSize = rest < 56 ? 64 : 128;
    const uint64_t bitCount = uint64_t(size) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tailSize - 8 + i] = uint8_t(bitCount >> (8 * i));
    for (size_t off = 0; off < tailSize; off += 64)
        TransformBlock(state, tail + off);

    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = uint8_t(state[i] >> (8 * j));
}

std::string Md5Hex(const uint8_t* data, size_t size)
{
    static const char HEX_DIGITS[] = "0123456789abcdef";
    uint8_t digest[MD5_DIGEST_SIZE];
    Md5Digest(data, size, digest);
    std::string hex;
    hex.reserve(2 * MD5_DIGEST_SIZE);
    for (uint8_t b : digest) {
        hex += HEX_DIGITS[b >> 4];
        hex += HEX_DIGITS[b & 0x0F];
    }
    return hex;
}

std::string Md5Hex(const std::string& text)
{
    return Md5Hex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}
