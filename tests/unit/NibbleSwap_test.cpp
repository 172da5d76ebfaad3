#include "output/NibbleSwap.h"

#include <gtest/gtest.h>

#include <vector>

TEST(NibbleSwap, ExchangesHalvesOfKnownBytes)
{
    const struct { uint8_t in, out; } cases[] = {
        {0x41, 0x14}, {0x0D, 0xD0}, {0x00, 0x00}, {0xFF, 0xFF}, {0xF0, 0x0F}, {0x80, 0x08}, {0x12, 0x21},
    };
    for (const auto& c : cases) {
        uint8_t out = 0;
        NibbleSwap(&c.in, &out, 1);
        EXPECT_EQ(c.out, out) << "input " << int(c.in);
    }
}

TEST(NibbleSwap, IsItsOwnInverseOverEveryByteAndWorksInPlace)
{
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> swapped(256);
    NibbleSwap(all.data(), swapped.data(), all.size());
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(((i & 0x0F) << 4) | (i >> 4), swapped[i]);
    NibbleSwap(swapped.data(), swapped.data(), swapped.size());
    EXPECT_EQ(all, swapped);
}
