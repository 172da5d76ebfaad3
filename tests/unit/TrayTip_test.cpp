// The tray tip: cutting to the record's 63 UTF-16 units, the placeholders of the
// running text and the count of connected sources.
#include "app/TrayTip.h"

#include <gtest/gtest.h>

namespace {

// Texts as the language file gives them, in UTF-8.
const std::string HAN = "\xe6\x94\xb6";          // U+6536, three bytes, one UTF-16 unit
const std::string THAI = "\xe0\xb8\x81";         // U+0E01
const std::string ALEPH = "\xd8\xa7";             // U+0627, two bytes
const std::string CLEF = "\xf0\x9d\x84\x9e";    // U+1D11E, four bytes, two UTF-16 units

}  // namespace

TEST(TrayTip, CutKeepsWholeCharactersCountedAsTheRecordHoldsThem)
{
    const struct { std::string text; size_t max; std::string want; } cases[] = {
        {"Tillvox", 63, "Tillvox"},
        {std::string(70, 'a'), 63, std::string(63, 'a')},
        {std::string(63, 'a'), 63, std::string(63, 'a')},
        {"", 63, ""},
        {"ab" + HAN + HAN, 3, "ab" + HAN},  // the second would not fit
        {"ab" + HAN + HAN, 4, "ab" + HAN + HAN},
        {"a" + ALEPH + THAI, 2, "a" + ALEPH},
        {"a" + CLEF, 2, "a"},  // a character outside the basic plane takes two units
        {"a" + CLEF, 3, "a" + CLEF},
        {"ab\xe6", 3, "ab\xe6"},  // a cut-off character at the very end stands alone
        {"\xe4se", 2, "\xe4s"},   // a byte that begins nothing counts once
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, CutText(c.text, c.max)) << c.text << " / " << c.max;
    EXPECT_EQ(2u, Utf16Length(CLEF));
    EXPECT_EQ(3u, Utf16Length(HAN + THAI + ALEPH));
    // 63 Chinese characters fit the record's 63 units, though they are 189 bytes.
    std::string many;
    for (int i = 0; i < 70; ++i) many += HAN;
    EXPECT_EQ(63 * HAN.size(), CutText(many, TRAY_TIP_MAX).size());
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
    EXPECT_EQ("Tillvox", MakeTrayTip(input));
    input.bRunning = true;
    EXPECT_EQ("Tillvox - 1 of 3 connected", MakeTrayTip(input));
    input.strRunningFormat.clear();  // no text for it in the language file
    EXPECT_EQ("Tillvox", MakeTrayTip(input));
}

TEST(TrayTip, LongNamesAreShortenedSoTheCountStays)
{
    TRAY_TIP_INPUT input;
    input.strName = std::string(80, 'N');
    input.strRunningFormat = "%1 - %2 of %3 connected";
    input.bRunning = true;
    input.nConnected = 12;
    input.nSources = 16;
    const std::string tip = MakeTrayTip(input);
    EXPECT_EQ(TRAY_TIP_MAX, Utf16Length(tip));
    EXPECT_EQ(std::string(TRAY_TIP_MAX - 21, 'N') + " - 12 of 16 connected", tip);
    input.bRunning = false;
    EXPECT_EQ(std::string(TRAY_TIP_MAX, 'N'), MakeTrayTip(input));

    // A Chinese name is cut between characters, by UTF-16 units, not bytes.
    input.bRunning = true;
    input.strName.clear();
    for (int i = 0; i < 70; ++i) input.strName += HAN;
    const std::string cut = MakeTrayTip(input);
    EXPECT_EQ(TRAY_TIP_MAX, Utf16Length(cut));
    EXPECT_EQ(" - 12 of 16 connected", cut.substr(cut.size() - 21));
    EXPECT_EQ(0u, (cut.size() - 21) % HAN.size()) << "no part of a character before the count";

    // A running text longer than the tip on its own is cut as a whole.
    input.strName = "Tillvox";
    input.strRunningFormat = std::string(70, 'x') + " %1 %2 %3";
    EXPECT_EQ(std::string(TRAY_TIP_MAX, 'x'), MakeTrayTip(input));
}
