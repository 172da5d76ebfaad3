#include "base/LogLine.h"

#include <gtest/gtest.h>

#include <string>

TEST(LogLine, FormatsTimeLevelSourceAndText)
{
    LOG_TIME t;
    t.nYear = 2026; t.nMonth = 3; t.nDay = 7; t.nHour = 9; t.nMinute = 5; t.nSecond = 2; t.nMillisecond = 45;
    const struct { LOG_LEVEL level; const char* source; const char* text; const char* line; } cases[] = {
        {LOG_LEVEL::LEVEL_INFO, "Tillvox", "started", "2026-03-07 09:05:02.045 info Tillvox: started\r\n"},
        {LOG_LEVEL::LEVEL_WARNING, "POS3", "wrong password from 10.0.0.9",
            "2026-03-07 09:05:02.045 warning POS3: wrong password from 10.0.0.9\r\n"},
        {LOG_LEVEL::LEVEL_ERROR, "POS 12", "COM5 could not be opened (error 5)",
            "2026-03-07 09:05:02.045 error POS 12: COM5 could not be opened (error 5)\r\n"},
        {LOG_LEVEL::LEVEL_INFO, "", "", "2026-03-07 09:05:02.045 info : \r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.line, FormatLogLine(t, c.level, c.source, c.text)) << c.text;
}

TEST(LogLine, LastMillisecondOfTheYear)
{
    LOG_TIME t;
    t.nYear = 2026; t.nMonth = 12; t.nDay = 31; t.nHour = 23; t.nMinute = 59; t.nSecond = 59; t.nMillisecond = 999;
    EXPECT_EQ("2026-12-31 23:59:59.999 info X: y\r\n", FormatLogLine(t, LOG_LEVEL::LEVEL_INFO, "X", "y"));
}

// A peer or a till decides what some texts hold: it must not be able to
// split an entry, forge a second one, or leave bytes that are not UTF-8.
TEST(LogLine, KeepsOneEventOnOneValidLine)
{
    const LOG_TIME t;
    const struct { const char* source; const char* text; const char* line; } cases[] = {
        {"POS1", "junk\r\n1970-01-01 00:00:00.000 info Tillvox: forged",
            "1970-01-01 00:00:00.000 info POS1: junk  1970-01-01 00:00:00.000 info Tillvox: forged\r\n"},
        {"PO\nS1", "tab\there\x7f", "1970-01-01 00:00:00.000 info PO S1: tab here \r\n"},
        {"Kasse", "caf\xc3\xa9 \xe2\x82\xac 5", "1970-01-01 00:00:00.000 info Kasse: caf\xc3\xa9 \xe2\x82\xac 5\r\n"},
        {"Kasse", "caf\xe9", "1970-01-01 00:00:00.000 info Kasse: caf\xef\xbf\xbd\r\n"},
        {"K", "\xc0\xaf", "1970-01-01 00:00:00.000 info K: \xef\xbf\xbd\xef\xbf\xbd\r\n"},
        {"K", "\xed\xa0\x80", "1970-01-01 00:00:00.000 info K: \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\r\n"},
        {"K", "cut \xe2\x82", "1970-01-01 00:00:00.000 info K: cut \xef\xbf\xbd\xef\xbf\xbd\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.line, FormatLogLine(t, LOG_LEVEL::LEVEL_INFO, c.source, c.text)) << c.text;
    EXPECT_EQ(std::string("1970-01-01 00:00:00.000 info K: a b\r\n"),
        FormatLogLine(t, LOG_LEVEL::LEVEL_INFO, "K", std::string("a\0b", 3)));
}

TEST(LogLine, RotatesOnlyWhenTheLineWouldPassTheLimit)
{
    const struct { uint64_t file; uint64_t line; bool rotate; } cases[] = {
        {0, 100, false},
        {0, 5000, false},  // an empty file takes even an oversized line
        {900, 100, false},
        {900, 101, true},
        {1000, 1, true},
        {1, 1000, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.rotate, LogNeedsRotation(c.file, c.line, 1000)) << c.file << " + " << c.line;
    EXPECT_FALSE(LogNeedsRotation(1024 * 1024 - 10, 10));
    EXPECT_TRUE(LogNeedsRotation(1024 * 1024 - 10, 11));
}

TEST(LogLine, RotationKeepsFiveFiles)
{
    EXPECT_EQ("Tillvox.log", LogFileName(0));
    EXPECT_EQ("Tillvox.1.log", LogFileName(1));
    EXPECT_EQ("Tillvox.4.log", LogFileName(4));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Tillvox.4.log", ""},
        {"Tillvox.3.log", "Tillvox.4.log"},
        {"Tillvox.2.log", "Tillvox.3.log"},
        {"Tillvox.1.log", "Tillvox.2.log"},
        {"Tillvox.log", "Tillvox.1.log"},
    };
    std::vector<std::pair<std::string, std::string>> steps;
    for (const LOG_RENAME& step : LogRotationSteps())
        steps.emplace_back(step.strFrom, step.strTo);
    EXPECT_EQ(expected, steps);
}
