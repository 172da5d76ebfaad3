#include "output/NibbleSwap.h"

void NibbleSwap(const uint8_t* src, uint8_t* dst, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        dst[i] = NibbleSwapByte(src[i]);
}
