#pragma once
#include <cstddef>
#include <cstdint>

// Exchanges the two 4-bit halves of every byte: the only transform captured
// text gets on its way to the video server. src and dst may be the same.
void NibbleSwap(const uint8_t* src, uint8_t* dst, size_t count);

inline uint8_t NibbleSwapByte(uint8_t b) { return static_cast<uint8_t>((b << 4) | (b >> 4)); }
