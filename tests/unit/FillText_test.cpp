#include "ui/FillText.h"

#include <gtest/gtest.h>

TEST(FillText, PlacesAreFilledInAnyOrderAndNothingElseChanges)
{
    const struct { const char* format; std::vector<std::string> values; const char* want; } cases[] = {
        {"Delete %1 (%2)?", {"POS3", "C:\\r.txt"}, "Delete POS3 (C:\\r.txt)?"},
        {"%2 - %1", {"a", "b"}, "b - a"},
        {"%1%1", {"x"}, "xx"},
        {"100% sure, %1", {"POS1"}, "100% sure, POS1"},
        {"%3 stays", {"a", "b"}, "%3 stays"},
        {"%s and %d stay", {"a"}, "%s and %d stay"},
        {"ends in %", {"a"}, "ends in %"},
        {"%1", {"%2"}, "%2"},  // a value is not read again as a format
        {"", {"a"}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.want, FillText(c.format, c.values)) << c.format;
}
