#include "output/QueueRecord.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::string Text(const std::vector<uint8_t>& v)
{
    return std::string(v.begin(), v.end());
}

// A file of three data records, the first one consumed.
std::vector<uint8_t> ThreeRecords(size_t* pSecondStart = nullptr, size_t* pThirdStart = nullptr)
{
    std::vector<uint8_t> file = QueueFileHeader();
    AppendQueueRecord(file, QUEUE_RECORD_DATA, Bytes("FIRST").data(), 5);
    AppendFrontRecord(file, 5);
    if (pSecondStart)
        *pSecondStart = file.size();
    AppendQueueRecord(file, QUEUE_RECORD_DATA, Bytes("SECOND").data(), 6);
    if (pThirdStart)
        *pThirdStart = file.size();
    AppendQueueRecord(file, QUEUE_RECORD_DATA, Bytes("THIRD").data(), 5);
    return file;
}

}  // namespace

TEST(QueueRecord, Crc32MatchesTheStandardCheckValue)
{
    const std::string check = "123456789";
    EXPECT_EQ(0xCBF43926u, Crc32(reinterpret_cast<const uint8_t*>(check.data()), check.size()));
    EXPECT_EQ(0u, Crc32(nullptr, 0));
}

TEST(QueueRecord, IntactFileGivesWhatWaitsPastTheFront)
{
    const std::vector<uint8_t> file = ThreeRecords();
    const QUEUE_FILE_CONTENT content = ReadQueueFile(file.data(), file.size());
    EXPECT_EQ(QUEUE_FILE_STATE::Intact, content.eState);
    EXPECT_EQ("SECONDTHIRD", Text(content.pending));
    EXPECT_EQ(file.size(), content.nIntactLen);
    EXPECT_EQ(0u, content.nDroppedLen);
}

TEST(QueueRecord, FrontInsideARecordKeepsItsRest)
{
    std::vector<uint8_t> file = QueueFileHeader();
    AppendQueueRecord(file, QUEUE_RECORD_DATA, Bytes("ABCDEF").data(), 6);
    AppendFrontRecord(file, 2);
    AppendFrontRecord(file, 4);
    EXPECT_EQ("EF", Text(ReadQueueFile(file.data(), file.size()).pending));
}

TEST(QueueRecord, DamageDropsEverythingFromItsRecordOn)
{
    size_t second = 0, third = 0;
    const std::vector<uint8_t> good = ThreeRecords(&second, &third);
    const struct { const char* what; size_t cutAt; size_t flipAt; const char* pending; QUEUE_FILE_STATE state; } cases[] = {
        {"torn last record", good.size() - 3, 0, "SECOND", QUEUE_FILE_STATE::DamagedTail},
        {"torn last header", third + 5, 0, "SECOND", QUEUE_FILE_STATE::DamagedTail},
        {"flipped byte in the middle record", good.size(), second + 9, "", QUEUE_FILE_STATE::DamagedTail},
        {"flipped length of the last record", good.size(), third + 4, "SECOND", QUEUE_FILE_STATE::DamagedTail},
        {"flipped checksum of the last record", good.size(), good.size() - 1, "SECOND", QUEUE_FILE_STATE::DamagedTail},
        {"header only", QUEUE_HEADER_LEN, 0, "", QUEUE_FILE_STATE::Intact},
        {"torn header", 7, 0, "", QUEUE_FILE_STATE::NotAQueue},
        {"flipped header", good.size(), 2, "", QUEUE_FILE_STATE::NotAQueue},
        {"zero length", 0, 0, "", QUEUE_FILE_STATE::Empty},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> file(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(c.cutAt));
        if (c.flipAt)
            file[c.flipAt] ^= 0x10;
        const QUEUE_FILE_CONTENT content = ReadQueueFile(file.data(), file.size());
        EXPECT_EQ(c.state, content.eState);
        EXPECT_EQ(c.pending, Text(content.pending));
        EXPECT_EQ(file.size(), content.nIntactLen + content.nDroppedLen);
    }
}

TEST(QueueRecord, NewerFormatIsReadAsNothingAndToldApart)
{
    std::vector<uint8_t> file = ThreeRecords();
    file[4] = static_cast<uint8_t>(QUEUE_FORMAT_VERSION + 1);
    const uint32_t crc = Crc32(file.data(), 12);
    for (int i = 0; i < 4; ++i) file[12 + static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
    const QUEUE_FILE_CONTENT content = ReadQueueFile(file.data(), file.size());
    EXPECT_EQ(QUEUE_FILE_STATE::NewerFormat, content.eState);
    EXPECT_TRUE(content.pending.empty());
}

TEST(QueueRecord, FrontThatRunsPastTheDataOrBackIsDamage)
{
    for (const uint64_t front : {uint64_t{7}, uint64_t{1} << 40}) {
        std::vector<uint8_t> file = QueueFileHeader();
        AppendQueueRecord(file, QUEUE_RECORD_DATA, Bytes("ABCDEF").data(), 6);
        AppendFrontRecord(file, 3);
        AppendFrontRecord(file, front == 7 ? 2 : front);
        const QUEUE_FILE_CONTENT content = ReadQueueFile(file.data(), file.size());
        EXPECT_EQ(QUEUE_FILE_STATE::DamagedTail, content.eState) << front;
        EXPECT_EQ("DEF", Text(content.pending));
    }
}

TEST(QueueRecord, RandomBytesNeverCrashAndNeverGiveMoreThanTheyHold)
{
    std::mt19937 random(20);
    for (int round = 0; round < 500; ++round) {
        std::vector<uint8_t> file(random() % 300);
        for (uint8_t& b : file) b = static_cast<uint8_t>(random());
        if (round % 2 && file.size() >= QUEUE_HEADER_LEN) {
            const std::vector<uint8_t> header = QueueFileHeader();
            std::copy(header.begin(), header.end(), file.begin());
        }
        const QUEUE_FILE_CONTENT content = ReadQueueFile(file.data(), file.size());
        EXPECT_LE(content.pending.size(), file.size());
        EXPECT_EQ(file.size(), content.nIntactLen + content.nDroppedLen);
    }
}
