#include "ui/NumberBox.h"

#include <gtest/gtest.h>

TEST(NumberBox, DigitsOnlyBoxWithRange)
{
    const struct { const char* text; unsigned min, max; NUMBER_BOX_CHECK want; unsigned value; } cases[] = {
        {"4000", 1025, 65535, NUMBER_BOX_CHECK::Ok, 4000},
        {"1025", 1025, 65535, NUMBER_BOX_CHECK::Ok, 1025},
        {"65535", 1025, 65535, NUMBER_BOX_CHECK::Ok, 65535},
        {" 5111 ", 1025, 65535, NUMBER_BOX_CHECK::Ok, 5111},
        {"007000", 1025, 65535, NUMBER_BOX_CHECK::Ok, 7000},
        {"1024", 1025, 65535, NUMBER_BOX_CHECK::OutOfRange, 0},
        {"80", 1025, 65535, NUMBER_BOX_CHECK::OutOfRange, 0},
        {"65536", 1025, 65535, NUMBER_BOX_CHECK::OutOfRange, 0},
        {"0", 1, 65535, NUMBER_BOX_CHECK::OutOfRange, 0},
        {"99999999999999999999", 1, 65535, NUMBER_BOX_CHECK::OutOfRange, 0},
        {"", 1, 65535, NUMBER_BOX_CHECK::NotPositiveInteger, 0},
        {"   ", 1, 65535, NUMBER_BOX_CHECK::NotPositiveInteger, 0},
        {"-5", 1, 65535, NUMBER_BOX_CHECK::NotPositiveInteger, 0},
        {"12a", 1, 65535, NUMBER_BOX_CHECK::NotPositiveInteger, 0},
        {"1 2", 1, 65535, NUMBER_BOX_CHECK::NotPositiveInteger, 0},
    };
    for (const auto& c : cases) {
        unsigned value = 0;
        EXPECT_EQ(c.want, CheckNumberBox(c.text, c.min, c.max, value)) << '"' << c.text << '"';
        EXPECT_EQ(c.value, value) << '"' << c.text << "\" leaves the value alone unless it is accepted";
    }
}

TEST(NumberBox, RangeTextFilled)
{
    EXPECT_EQ("Enter an integer between 1025 and 65535.", FillRangeText("Enter an integer between %1 and %2.", 1025, 65535));
    EXPECT_EQ("65535 .. 1 %3 %", FillRangeText("%2 .. %1 %3 %", 1, 65535));
}
