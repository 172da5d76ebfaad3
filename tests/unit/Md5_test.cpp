#include "link/Md5.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Md5, MatchesTheReferenceSuite)
{
    const struct { const char* text; const char* hex; } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {"PX3QDLIRN", "8d088c6b5fcd55c0cd7f749311e16d80"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.hex, Md5Hex(std::string(c.text))) << "text \"" << c.text << "\"";
}

// Lengths on both sides of the points where padding needs a second block
// (55/56 bytes) and where the message itself fills a block (64).
TEST(Md5, HandlesLengthsAroundThePaddingBoundaries)
{
    const struct { size_t size; const char* hex; } cases[] = {
        {55, "c9e512626618c9980ef21a96597af94c"},  {56, "ecde7caa08e9f5657c863df107cac60a"},
        {57, "b17b1a018dd6a4d1edda8aca15f17846"},  {63, "2f0301069e1c40af7f6c8f843b1b13f2"},
        {64, "b6bf87c24b1bc334e2541387a92b981b"},  {65, "f168246f08b6134d66bd2a10343fa9f1"},
        {119, "d5dc3d8264de3aa24dee105910ee27fe"}, {120, "bcc139b3848923904860d1eefd6e5923"},
        {121, "10aac7fe9e1def45870b0aa1c3a2faf0"}, {127, "27670172396247fa5f68637f13f8933d"},
        {128, "3e85b70ffc8df5c735ecf2a8f14f1bee"}, {129, "e45ecac9930fe93de302f98ba673ba36"},
        {1000, "2b1e78d5765de9e10495a01412a1cf22"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> data(c.size);
        for (size_t i = 0; i < c.size; ++i)
            data[i] = uint8_t(i * 31 + 7);
        EXPECT_EQ(c.hex, Md5Hex(data.data(), data.size())) << "size " << c.size;
        EXPECT_EQ(c.hex, Md5Hex(std::string(data.begin(), data.end()))) << "size " << c.size;
    }
}

TEST(Md5, TakesEveryByteOfTheTextIncludingZeroAndHighBytes)
{
    const struct { std::string text; const char* hex; } cases[] = {
        {std::string("ab\0cd", 5), "5d622b3d4d8cc07754fd386e7f29326e"},
        {std::string("\xff\xfe\x80", 3), "45a6eeda47eb0845d0095f2f0576e2f7"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.hex, Md5Hex(c.text)) << "size " << c.text.size();
}

TEST(Md5, HashesAMillionBytes)
{
    EXPECT_EQ("7707d6ae4e027c70eea2a935c2296f21", Md5Hex(std::string(1000000, 'a')));
}

TEST(Md5, RawDigestAgreesWithTheHexForm)
{
    const std::string text = "message digest";
    uint8_t digest[MD5_DIGEST_SIZE];
    Md5Digest(reinterpret_cast<const uint8_t*>(text.data()), text.size(), digest);
    const uint8_t expected[MD5_DIGEST_SIZE] = {0xf9, 0x6b, 0x69, 0x7d, 0x7c, 0xb7, 0x93, 0x8d,
                                               0x52, 0x5a, 0x2f, 0x31, 0xaa, 0xf1, 0x61, 0xd0};
    for (size_t i = 0; i < MD5_DIGEST_SIZE; ++i)
        EXPECT_EQ(expected[i], digest[i]) << "byte " << i;
}
