// The tray tip: cutting to the record's 63 bytes, the placeholders of the
// running text and the count of connected sources.
#include "app/TrayTip.h"

#include <gtest/gtest.h>

namespace {

bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS: 0x81-0x9F and 0xE0-0xFC begin a two-byte character.
bool ShiftJisLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

TEST(TrayTip, CutKeepsWholeCharacters)
{
    const std::string kanji = "\x8a\xbf";  // one two-byte character
    const struct { std::string text; size_t max; bool (*lead)(unsigned char); std::string want; } cases[] = {
        {"Tillvox", 63, NoLeadBytes, "Tillvox"},
        {std::string(70, 'a'), 63, NoLeadBytes, std::string(63, 'a')},
        {std::string(63, 'a'), 63, NoLeadBytes, std::string(63, 'a')},
        {"", 63, NoLeadBytes, ""},
        {"ab" + kanji + kanji, 5, ShiftJisLeadByte, "ab" + kanji},   // the second would be split
        {"ab" + kanji + kanji, 6, ShiftJisLeadByte, "ab" + kanji + kanji},
        {"a" + kanji, 2, ShiftJisLeadByte, "a"},
        {"ab\x8a", 3, ShiftJisLeadByte, "ab\x8a"},  // a lead byte at the very end stands alone
        {"\x8a\xbf", 5, NoLeadBytes, "\x8a\xbf"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, CutText(c.text, c.max, c.lead)) << c.text << " / " << c.max;
}

TEST(TrayTip, PlaceholdersTakeOnlyTheArgumentsThereAre)
{
    const std::vector<std::string> args = {"Tillvox", "2", "3"};
    const struct { const char* format; const char* want; } cases[] = {
        {"%1 - %2 of %3 connected", "Tillvox - 2 of 3 connected"},
        {"%1 - %3 \x8c\x8f\x92\x86 %2", "Tillvox - 3 \x8c\x8f\x92\x86 2"},
        {"%3/%2 %1", "3/2 Tillvox"},
        {"100%% %1", "100% Tillvox"},
        {"%s %d %4 %", "%s %d %4 %"},  // never a printf format, never a missing argument
        {"%1%1", "TillvoxTillvox"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, FillPlaceholders(c.format, args)) << c.format;
    EXPECT_EQ("%2", FillPlaceholders("%2", {"only one"}));
    // An argument that looks like a placeholder is taken as it is.
    EXPECT_EQ("%2 x", FillPlaceholders("%1 %2", {"%2", "x"}));
}

TEST(TrayTip, ConnectedCountIgnoresEmptyTexts)
{
    const std::vector<std::string> connected = {"Connected", "COM port opened"};
    EXPECT_EQ(2, CountConnected({"Connected", "Waiting", "COM port opened", ""}, connected));
    EXPECT_EQ(0, CountConnected({"", "Waiting"}, connected));
    EXPECT_EQ(0, CountConnected({}, connected));
    EXPECT_EQ(0, CountConnected({"connected"}, connected)) << "whole texts, case-sensitive";
    // Without a language file every text is empty: an empty status is not a connection.
    EXPECT_EQ(0, CountConnected({"", ""}, {"", ""}));
    EXPECT_EQ(1, CountConnected({"Connected"}, {"Connected", "Connected"})) << "a row counts once";
}

TEST(TrayTip, StoppedShowsTheNameRunningShowsTheCount)
{
    TRAY_TIP_INPUT input;
    input.strName = "Tillvox";
    input.strRunningFormat = "%1 - %2 of %3 connected";
    input.nConnected = 1;
    input.nSources = 3;
    EXPECT_EQ("Tillvox", MakeTrayTip(input, NoLeadBytes));
    input.bRunning = true;
    EXPECT_EQ("Tillvox - 1 of 3 connected", MakeTrayTip(input, NoLeadBytes));
    input.strRunningFormat.clear();  // no text for it in the language file
    EXPECT_EQ("Tillvox", MakeTrayTip(input, NoLeadBytes));
}

TEST(TrayTip, LongNamesAreShortenedSoTheCountStays)
{
    TRAY_TIP_INPUT input;
    input.strName = std::string(80, 'N');
    input.strRunningFormat = "%1 - %2 of %3 connected";
    input.bRunning = true;
    input.nConnected = 12;
    input.nSources = 16;
    const std::string tip = MakeTrayTip(input, NoLeadBytes);
    EXPECT_EQ(TRAY_TIP_MAX, tip.size());
    EXPECT_EQ(std::string(TRAY_TIP_MAX - 21, 'N') + " - 12 of 16 connected", tip);
    input.bRunning = false;
    EXPECT_EQ(std::string(TRAY_TIP_MAX, 'N'), MakeTrayTip(input, NoLeadBytes));

    // A two-byte name is cut between characters.
    input.bRunning = true;
    input.strName.clear();
    for (int i = 0; i < 40; ++i) input.strName += "\x8a\xbf";
    const std::string cut = MakeTrayTip(input, ShiftJisLeadByte);
    EXPECT_LE(cut.size(), TRAY_TIP_MAX);
    EXPECT_EQ(" - 12 of 16 connected", cut.substr(cut.size() - 21));
    EXPECT_EQ(0u, (cut.size() - 21) % 2) << "no half character before the count";

    // A running text longer than the tip on its own is cut as a whole.
    input.strName = "Tillvox";
    input.strRunningFormat = std::string(70, 'x') + " %1 %2 %3";
    EXPECT_EQ(std::string(TRAY_TIP_MAX, 'x'), MakeTrayTip(input, NoLeadBytes));
}
