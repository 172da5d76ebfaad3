// Wine's debug output of ReportEventW read back. The printed forms are those
// Wine 8 printed here for entries a test program reported.
#include "tests/support/WineEventLines.h"

#include <gtest/gtest.h>

TEST(WineEventLines, StringsAreDecodedAsDebugstrWPrintsThem)
{
    const struct { const char* printed; const char* text; bool bTruncated; } cases[] = {
        {R"(L"POS9: event log check 18976352")", "POS9: event log check 18976352", false},
        {R"(L"POS1: child entry \\ \"q\" \00e9\4e2d\n end")", "POS1: child entry \\ \"q\" \xC3\xA9\xE4\xB8\xAD\n end", false},
        {R"(L"tab\there\r\n")", "tab\there\r\n", false},
        {R"(L"\0001\007f")", "\x01\x7F", false},
        {R"(L"")", "", false},
        {R"(L"smile \d83d\de00.")", "smile \xF0\x9F\x98\x80.", false},
        {R"(L"half \d83d.")", "half \xEF\xBF\xBD.", false},
        {R"(L"POS1: abcdefghi0abc"...)", "POS1: abcdefghi0abc", true},
        {R"(L"upper \00E9")", "upper \xC3\xA9", false},
    };
    for (const auto& c : cases) {
        std::string text = "unchanged";
        bool bTruncated = !c.bTruncated;
        ASSERT_TRUE(DecodeWineDebugString(c.printed, text, bTruncated)) << c.printed;
        EXPECT_EQ(c.text, text) << c.printed;
        EXPECT_EQ(c.bTruncated, bTruncated) << c.printed;
    }
}

TEST(WineEventLines, OtherFormsAreRefused)
{
    for (const char* printed : {"", "L", "\"plain\"", R"(L"open)", R"(L"bad \x41")", R"(L"short \00e")",
             R"(L"tail \")", R"(L"done" and more)", R"(L"a"..)", "(null)"}) {
        std::string text = "unchanged";
        bool bTruncated = false;
        EXPECT_FALSE(DecodeWineDebugString(printed, text, bTruncated)) << printed;
        EXPECT_EQ("unchanged", text) << printed;
    }
}

TEST(WineEventLines, EntriesAreTakenFromTheirChannelOnly)
{
    const std::string output =
        "0118:fixme:advapi:RegisterEventSourceW ((null),L\"Tillvox\"): stub\n"
        "0118:fixme:advapi:ReportEventW (00000000CAFE4242,0x0001,0x0000,0x00000003,0000000000000000,0x0001,"
        "0x00000000,000000000021FD28,0000000000000000): stub\n"
        "0118:err:eventlog:ReportEventW L\"POS1: COM6 could not be opened (error 2)\"\n"
        "0118:warn:eventlog:ReportEventW L\"POS1: wrong password from 127.0.0.1:5000\"\r\n"
        "0120:warn:eventlog:ReportEventW L\"POS2: cut off\n"
        "0024:err:winsock:something L\"not an entry\"\n"
        "child stderr text warn:eventlog: without its function\n"
        "0120:trace:eventlog:ReportEventW L\"information is traced, not warned\"\n"
        "0130:warn:eventlog:ReportEventW L\"POS3: queue full \\\"x\\\"\"";
    const std::vector<WINE_EVENT_ENTRY> entries = WineEventEntries(output);
    ASSERT_EQ(3u, entries.size());
    EXPECT_TRUE(entries[0].bError);
    EXPECT_EQ("POS1: COM6 could not be opened (error 2)", entries[0].strText);
    EXPECT_FALSE(entries[1].bError);
    EXPECT_EQ("POS1: wrong password from 127.0.0.1:5000", entries[1].strText);
    EXPECT_FALSE(entries[2].bError);
    EXPECT_EQ("POS3: queue full \"x\"", entries[2].strText);
    EXPECT_TRUE(WineEventEntries("").empty());
}
