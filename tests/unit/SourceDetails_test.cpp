// The details view's texts: readable byte counts, clock times, the lines of a
// source's counters and the last receipt made visible in a text box.
#include "app/SourceDetails.h"

#include <gtest/gtest.h>

namespace {

DETAIL_TEXTS EnglishTexts()
{
    DETAIL_TEXTS texts;
    const char* const labels[DETAIL_ROW_COUNT] = {
        "Receipts captured", "Text captured", "Sent to the recorder", "Acknowledged by the recorder",
        "Waiting in the queue", "Dropped, queue full", "Recorder reconnections", "Refused: wrong password",
        "Refused: not a login", "Refused: unknown till", "Last receipt", "Last acknowledgement", "Recorder",
    };
    for (int row = 0; row < DETAIL_ROW_COUNT; ++row)
        texts.strLabels[row] = labels[row];
    texts.strBytes = "%1 bytes";
    texts.strKilobytes = "%1 KB";
    texts.strMegabytes = "%1 MB";
    texts.strGigabytes = "%1 GB";
    texts.strNever = "never";
    texts.strNoRecorder = "not logged in";
    return texts;
}

// A clock two hours ahead of UTC, as a shop in Athens in winter has it.
bool TwoHoursAhead(int64_t nUnixSeconds, CLOCK_TIME& local)
{
    local = UtcClock(nUnixSeconds + 2 * 3600);
    return true;
}

bool NoLocalClock(int64_t, CLOCK_TIME&) { return false; }

}  // namespace

TEST(SourceDetails, ByteCountsReadInTheLargestUnitReached)
{
    const DETAIL_TEXTS texts = EnglishTexts();
    const struct { uint64_t n; const char* want; } cases[] = {
        {0, "0 bytes"},
        {1, "1 bytes"},
        {1023, "1023 bytes"},
        {1024, "1.0 KB"},
        {1536, "1.5 KB"},
        {10188, "9.9 KB"},       // 9.949 KB
        {10189, "10 KB"},        // 9.950 KB rounds to ten: no decimal from ten up
        {409600, "400 KB"},      // a full queue
        {1048063, "1023 KB"},    // 1023.499 KB
        {1048064, "1.0 MB"},     // 1023.5 KB would read 1024 KB
        {1048576, "1.0 MB"},
        {5368709120ULL, "5.0 GB"},
        {1099511627776ULL, "1024 GB"},  // no unit above GB
        {18446744073709551615ULL, "17179869184 GB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.want, ReadableBytes(c.n, texts)) << c.n;

    DETAIL_TEXTS german = texts;
    german.strDecimal = ",";
    german.strKilobytes = "%1 KB";
    EXPECT_EQ("1,5 KB", ReadableBytes(1536, german));
    DETAIL_TEXTS arabic = texts;
    arabic.strBytes = "\xD8\xA8\xD8\xA7\xD9\x8A\xD8\xAA %1";  // the unit before the number
    EXPECT_EQ("\xD8\xA8\xD8\xA7\xD9\x8A\xD8\xAA 12", ReadableBytes(12, arabic));
}

TEST(SourceDetails, TimesShowTheLocalClockOrSayTheyAreUtc)
{
    const DETAIL_TEXTS texts = EnglishTexts();
    const struct { int64_t t; const char* utc; const char* ahead; } cases[] = {
        {0, "never", "never"},
        {86400, "1970-01-02 00:00:00", "1970-01-02 02:00:00"},
        {951782400, "2000-02-29 00:00:00", "2000-02-29 02:00:00"},
        {1767225599, "2025-12-31 23:59:59", "2026-01-01 01:59:59"},  // over the year's end
        {4107542400, "2100-03-01 00:00:00", "2100-03-01 02:00:00"},  // 2100 is no leap year
        {-1, "1969-12-31 23:59:59", "1970-01-01 01:59:59"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.ahead, TimeText(c.t, texts, TwoHoursAhead)) << c.t;
        const std::string marked = c.t == 0 ? std::string("never") : std::string(c.utc) + " UTC";
        EXPECT_EQ(marked, TimeText(c.t, texts, NoLocalClock)) << c.t;
        EXPECT_EQ(marked, TimeText(c.t, texts, TO_LOCAL_TIME())) << c.t;
    }
}

TEST(SourceDetails, LinesShowEveryCounterWithItsLabel)
{
    const DETAIL_TEXTS texts = EnglishTexts();
    SOURCE_COUNTERS_SNAPSHOT snap;
    snap.nReceiptsCaptured = 3;
    snap.nBytesCaptured = 1536;
    snap.nBytesSent = 1024;
    snap.nBytesAcknowledged = 512;
    snap.nBytesQueued = 409600;
    snap.nBytesDropped = 2048;
    snap.nRecorderReconnects = 7;
    snap.nRefused[static_cast<int>(REFUSAL_REASON::WRONG_PASSWORD)] = 29;
    snap.nRefused[static_cast<int>(REFUSAL_REASON::JUNK)] = 4;
    snap.nRefused[static_cast<int>(REFUSAL_REASON::UNKNOWN_TILL)] = 1;
    snap.nLastReceiptTime = 1781740800;
    snap.nLastAckTime = 0;
    snap.strRecorderAddress = "192.168.1.30";

    const std::vector<DETAIL_LINE> lines = DetailLines(snap, texts, TwoHoursAhead);
    const std::vector<std::pair<std::string, std::string>> want = {
        {"Receipts captured", "3"},
        {"Text captured", "1.5 KB"},
        {"Sent to the recorder", "1.0 KB"},
        {"Acknowledged by the recorder", "512 bytes"},
        {"Waiting in the queue", "400 KB"},
        {"Dropped, queue full", "2.0 KB"},
        {"Recorder reconnections", "7"},
        {"Refused: wrong password", "29"},
        {"Refused: not a login", "4"},
        {"Refused: unknown till", "1"},
        {"Last receipt", "2026-06-18 02:00:00"},
        {"Last acknowledgement", "never"},
        {"Recorder", "192.168.1.30"},
    };
    ASSERT_EQ(want.size(), lines.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(want[i].first, lines[i].strLabel) << i;
        EXPECT_EQ(want[i].second, lines[i].strValue) << i;
    }

    snap.strRecorderAddress.clear();
    EXPECT_EQ("not logged in", DetailLines(snap, texts, TwoHoursAhead)[DETAIL_RECORDER].strValue);
    const std::vector<DETAIL_LINE> fresh = DetailLines(SOURCE_COUNTERS_SNAPSHOT(), texts, TwoHoursAhead);
    EXPECT_EQ("0", fresh[DETAIL_RECEIPTS].strValue);
    EXPECT_EQ("0 bytes", fresh[DETAIL_CAPTURED].strValue);
    EXPECT_EQ("never", fresh[DETAIL_LAST_RECEIPT].strValue);
}

TEST(SourceDetails, EveryCounterCountsInTheComparison)
{
    SOURCE_COUNTERS_SNAPSHOT base;
    base.strRecorderAddress = "10.0.0.5";
    EXPECT_TRUE(SameCounters(base, base));
    const std::vector<void (*)(SOURCE_COUNTERS_SNAPSHOT&)> changes = {
        [](SOURCE_COUNTERS_SNAPSHOT& s) { s.nBytesCaptured = 1; },
        [](SOURCE_COUNTERS_SNAPSHOT& s) { s.nReceiptsCaptured = 1; },
        [](SOURCE_COUNTERS_SNAPSHOT& s) { s.nBytesSent = 1; },
        [](SOURCE_COUNTERS_SNAPSHOT& s) { s.nBytesAcknowledged = 1; },
        [](SOURCE_COUNTERS_SNAPSHOT& s) { s.nBytesQueued = 1; },
        [](SOURCE_COUNTERS_SNAPSHOT& s) { s.nBytesDropped = 1; },
        [](SOURCE_COUNTERS_SNAPSHOT& s) { s.nRecorderReconnects = 1; },
        [](SOURCE_COUNTERS_SNAPSHOT& s) { s.nRefused[0] = 1; },
        [](SOURCE_COUNTERS_SNAPSHOT& s) { s.nRefused[1] = 1; },
        [](SOURCE_COUNTERS_SNAPSHOT& s) { s.nRefused[2] = 1; },
        [](SOURCE_COUNTERS_SNAPSHOT& s) { s.nLastReceiptTime = 1; },
        [](SOURCE_COUNTERS_SNAPSHOT& s) { s.nLastAckTime = 1; },
        [](SOURCE_COUNTERS_SNAPSHOT& s) { s.strRecorderAddress = "10.0.0.6"; },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        SOURCE_COUNTERS_SNAPSHOT changed = base;
        changes[i](changed);
        EXPECT_FALSE(SameCounters(base, changed)) << i;
        EXPECT_FALSE(SameCounters(changed, base)) << i;
    }
}

TEST(SourceDetails, ReceiptShowsLineBreaksAndNamesControlBytes)
{
    const struct { std::string receipt; std::string want; } cases[] = {
        {"", ""},
        {"TOTAL 4.50\r\n", "TOTAL 4.50\r\n"},
        {"a\nb\n", "a\r\nb\r\n"},
        {"a\rb", "a\r\nb"},
        {"a\r\r\nb", "a\r\n\r\nb"},
        {"\n\r", "\r\n\r\n"},                                   // LF CR: two breaks, not one
        {"Qty\t2", "Qty\t2"},
        {"\x1b@\x1b" "a\x01" "Caf\xe9\x1dV", "<ESC>@<ESC>a<SOH>Caf\xe9<GS>V"},
        {std::string("a\0b", 3), "a<NUL>b"},                     // a zero byte does not end the text
        {"\x7f\x80\xff", "<DEL>\x80\xff"},                       // the code page's bytes stay
        {"\x0c\x0b\x1f", "<FF><VT><US>"},
        {"<ESC>", "<ESC>"},
        {"\xb2\xe2\xca\xd4", "\xb2\xe2\xca\xd4"},                 // two GBK characters, untouched
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.want, VisibleReceipt(c.receipt)) << ::testing::PrintToString(c.receipt);
}
