#include "capture/CapturePositions.h"

#include <gtest/gtest.h>

#include <random>

namespace {

FILE_IDENTITY Identity(uint64_t index)
{
    FILE_IDENTITY identity;
    identity.dwVolumeSerial = 0xCAFE;
    identity.nFileIndex = index;
    identity.nCreationTime = 132000000000000000ull + index;
    return identity;
}

CAPTURE_POSITION Known()
{
    CAPTURE_POSITION known;
    known.strPath = "C:\\POS\\receipt.txt";
    known.identity = Identity(7);
    known.nCaptured = 5000;
    return known;
}

}  // namespace

TEST(CapturePositions, RecordReadsBackAsWritten)
{
    const CAPTURE_POSITION known = Known();
    const std::vector<uint8_t> bytes = EncodePosition(known);
    CAPTURE_POSITION read;
    ASSERT_TRUE(DecodePosition(bytes.data(), bytes.size(), read));
    EXPECT_EQ(known.strPath, read.strPath);
    EXPECT_EQ(known.identity, read.identity);
    EXPECT_EQ(known.nCaptured, read.nCaptured);
}

TEST(CapturePositions, DamagedRecordIsNotRead)
{
    const std::vector<uint8_t> good = EncodePosition(Known());
    for (size_t cut : {size_t{0}, size_t{3}, good.size() - 1}) {
        CAPTURE_POSITION read;
        EXPECT_FALSE(DecodePosition(good.data(), cut, read)) << "torn at " << cut;
    }
    for (size_t at = 0; at < good.size(); ++at) {
        std::vector<uint8_t> bytes = good;
        bytes[at] ^= 0x01;
        CAPTURE_POSITION read;
        EXPECT_FALSE(DecodePosition(bytes.data(), bytes.size(), read)) << "flipped at " << at;
    }
    std::mt19937 random(4);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> bytes(random() % 80);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
        CAPTURE_POSITION read;
        EXPECT_FALSE(DecodePosition(bytes.data(), bytes.size(), read));
    }
}

TEST(CapturePositions, StartCapturesOnlyWhatTheSameFileGainedAndAtMostTheLastPieceOfIt)
{
    const CAPTURE_POSITION known = Known();
    const struct { const char* what; bool bKnown; const char* path; uint64_t index; int64_t end; int64_t from, to; } cases[] = {
        {"appended while down", true, "C:\\POS\\receipt.txt", 7, 5800, 5000, 5800},
        {"nothing appended", true, "C:\\POS\\receipt.txt", 7, 5000, 0, 0},
        {"shorter file", true, "C:\\POS\\receipt.txt", 7, 4000, 0, 0},
        {"replaced by another file", true, "C:\\POS\\receipt.txt", 8, 9000, 0, 0},
        {"unknown identity", true, "C:\\POS\\receipt.txt", 0, 9000, 0, 0},
        {"same file, creation time moved by a write", true, "C:\\POS\\receipt.txt", 107, 5800, 5000, 5800},
        {"source now names another file", true, "C:\\POS\\other.txt", 7, 9000, 0, 0},
        {"no position yet", false, "C:\\POS\\receipt.txt", 7, 9000, 0, 0},
        {"more than a piece appended", true, "C:\\POS\\receipt.txt", 7, 5000 + CATCH_UP_MAX + 10, 5010,
         5000 + CATCH_UP_MAX + 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FILE_IDENTITY current = c.index ? Identity(c.index % 100) : FILE_IDENTITY();
        if (c.index >= 100)
            current.nCreationTime += 12345;
        const CATCH_UP range = CatchUpRange(c.bKnown ? &known : nullptr, c.path, current, c.end);
        EXPECT_EQ(c.from == c.to, range.IsEmpty());
        if (!range.IsEmpty()) {
            EXPECT_EQ(c.from, range.nFrom);
            EXPECT_EQ(c.to, range.nTo);
        }
    }
}
