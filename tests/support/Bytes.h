#pragma once
#include "output/NibbleSwap.h"

#include <cstdint>
#include <string>

// count bytes of a pattern that differs with seed, every byte value included.
inline std::string Piece(size_t count, int seed)
{
    std::string s(count, '\0');
    for (size_t i = 0; i < count; ++i) s[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed) * 13) & 0xFF);
    return s;
}

// What the recorder receives for the captured bytes s.
inline std::string Swapped(const std::string& s)
{
    std::string out(s.size(), '\0');
    NibbleSwap(reinterpret_cast<const uint8_t*>(s.data()), reinterpret_cast<uint8_t*>(&out[0]), s.size());
    return out;
}
