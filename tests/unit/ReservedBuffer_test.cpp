#include "output/ReservedBuffer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {
std::vector<uint8_t> Bytes(int count, uint8_t first = 0)
{
    std::vector<uint8_t> v(static_cast<size_t>(count));
    std::iota(v.begin(), v.end(), first);
    return v;
}
}  // namespace

TEST(ReservedBuffer, RemovingFromTheFrontKeepsTheRestInOrder)
{
    CReservedBuffer buffer;
    auto piece = Bytes(600);
    ASSERT_TRUE(buffer.Append(piece.data(), 600));
    buffer.SetLastChunkLen(600);
    buffer.RemoveFront(256);
    ASSERT_EQ(344, buffer.UsedLen());
    EXPECT_EQ(344, buffer.LastChunkLen());
    for (int i = 0; i < 344; ++i) ASSERT_EQ(piece[256 + i], buffer.Data()[i]);
    for (int i = 344; i < 600; ++i) ASSERT_EQ(0, buffer.Data()[i]) << "freed bytes are zeroed";
    buffer.RemoveFront(1000);
    EXPECT_EQ(0, buffer.UsedLen());
    EXPECT_EQ(0, buffer.LastChunkLen());
}

TEST(ReservedBuffer, PieceThatWouldReachTheLimitIsDroppedWhole)
{
    const struct { int already, piece; bool kept; } cases[] = {
        {0, RESERVED_BUF_SIZE - 1, true},
        {0, RESERVED_BUF_SIZE, false},
        {RESERVED_BUF_SIZE - 101, 100, true},
        {RESERVED_BUF_SIZE - 100, 100, false},
        {1000, -1, false},
    };
    std::vector<uint8_t> big(RESERVED_BUF_SIZE, 0x5A);
    for (const auto& c : cases) {
        CReservedBuffer buffer;
        if (c.already) {
            ASSERT_TRUE(buffer.Append(big.data(), c.already));
        }
        EXPECT_EQ(c.kept, buffer.Append(big.data(), c.piece)) << c.already << "+" << c.piece;
        EXPECT_EQ(c.kept ? c.already + c.piece : c.already, buffer.UsedLen());
    }
}
