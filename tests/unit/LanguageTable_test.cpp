#include "base/ProfileStore.h"
#include "lang/LanguageTable.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>

namespace {

unsigned short LangId(int primary, int sub) { return static_cast<unsigned short>((sub << 10) | primary); }

// Child elements of a language file node, by name.
struct CHILDREN {
    std::map<std::string, std::string> texts;
    mutable std::vector<std::string> asked;

    CHILD_TEXT_READER Reader() const
    {
        return [this](const std::string& name) -> std::optional<std::string> {
            asked.push_back(name);
            auto it = texts.find(name);
            if (it == texts.end())
                return std::nullopt;
            return it->second;
        };
    }
};

void AddEntry(CHILDREN& c, int n, const std::string& name, const std::string& primary, const std::string& sub,
              const std::string& id, const std::string& font, const std::string& rtl)
{
    const std::string suffix = std::to_string(n);
    c.texts["LAN_NAME_" + suffix] = name;
    c.texts["LAN_OS_PRIID_" + suffix] = primary;
    c.texts["LAN_OS_SUBID_" + suffix] = sub;
    c.texts["LAN_XMLID_" + suffix] = id;
    c.texts["LAN_FONT_" + suffix] = font;
    c.texts["LAN_RIGHTLEFT_" + suffix] = rtl;
}

LANGUAGE_TABLE_ENTRY Entry(int primary, int sub, const std::string& id, const std::string& font = "Arial",
                           int rtl = 0)
{
    LANGUAGE_TABLE_ENTRY e;
    e.strName = id;
    e.nPrimaryId = primary;
    e.nSubId = sub;
    e.strLanguageId = id;
    e.strFontFace = font;
    e.nRightToLeft = rtl;
    return e;
}

class CMapProfile : public CProfileStore {
public:
    std::map<std::string, std::string> values;  // "section/key" -> value
    std::vector<std::string> asked;

    std::string GetString(const std::string& section, const std::string& key, const std::string& def,
                          size_t bufferSize) override
    {
        asked.push_back(key);
        auto it = values.find(section + "/" + key);
        const std::string& value = it == values.end() ? def : it->second;
        return value.substr(0, bufferSize - 1);
    }
    int GetInt(const std::string& section, const std::string& key, int def) override
    {
        asked.push_back(key);
        auto it = values.find(section + "/" + key);
        return it == values.end() ? def : DecimalValue(it->second);
    }
    bool WriteString(const std::string&, const std::string&, const std::string&) override
    {
        ADD_FAILURE() << "the brand file is never written";
        return false;
    }
};

const std::string SIMSUN = "\xE5\xAE\x8B\xE4\xBD\x93";
const std::string PMINGLIU = "\xE6\x96\xB0\xE7\xB4\xB0\xE6\x98\x8E\xE9\xAB\x94";

}  // namespace

TEST(LanguageTable, SystemLanguageChoosesBuiltinLanguage)
{
    const struct {
        int primary, sub;
        int index;
        const char* id;
        bool rtl, unknown;
    } cases[] = {
        {0x04, 2, 1, "SC", false, false},   // PRC
        {0x04, 4, 1, "SC", false, false},   // Singapore
        {0x04, 1, 2, "TC", false, false},   // Taiwan
        {0x04, 3, 2, "TC", false, false},   // Hong Kong
        {0x04, 5, 0, "EN", false, false},   // Macau: Chinese, yet no Chinese texts
        {0x0C, 1, 3, "FRA", false, false},
        {0x0C, 3, 3, "FRA", false, false},  // every sub-language of French
        {0x07, 1, 4, "GEM", false, false},
        {0x11, 1, 5, "JPN", false, false},
        {0x15, 1, 6, "POL", false, false},
        {0x16, 2, 7, "PTU", false, false},
        {0x19, 1, 8, "RUS", false, false},
        {0x0A, 3, 9, "SPN", false, false},
        {0x12, 1, 10, "EN", false, false},  // Korean reads English texts
        {0x01, 1, 11, "ARB", true, false},
        {0x0D, 1, 12, "HEB", true, false},
        {0x0E, 1, 13, "HUN", false, false},
        {0x10, 1, 14, "ITA", false, false},
        {0x05, 1, 15, "CZH", false, false},
        {0x1B, 1, 15, "CZH", false, false},  // Slovak reads Czech texts
        {0x06, 1, 16, "DAN", false, false},
        {0x1E, 1, 17, "TAI", false, false},
        {0x13, 2, 18, "NLD", false, false},
        {0x1A, 3, 19, "SRL", false, false},
        {0x29, 1, 20, "PRS", true, false},
        {0x09, 1, 0, "EN", false, true},   // English is not a built-in language
        {0x1D, 1, 0, "EN", false, true},   // Swedish
        {0x3FF, 63, 0, "EN", false, true},
    };
    for (const auto& c : cases) {
        const unsigned short id = LangId(c.primary, c.sub);
        const BUILTIN_LANGUAGE builtin = BuiltinLanguageOf(id);
        EXPECT_EQ(c.index, builtin.nIndex) << std::hex << id;
        EXPECT_EQ(c.rtl, builtin.bRightToLeft) << std::hex << id;
        EXPECT_EQ(c.unknown, builtin.bUnknown) << std::hex << id;

        const CLanguageChoice choice(id);
        EXPECT_EQ(c.index, choice.Index()) << std::hex << id;
        EXPECT_EQ(c.id, choice.LookupId()) << std::hex << id;
        EXPECT_EQ(c.rtl ? 1 : 0, choice.RightToLeft()) << std::hex << id;
        EXPECT_EQ(c.unknown, choice.WantsLanguageTable()) << std::hex << id;
    }
}

TEST(LanguageTable, IndexesOutsideTheBuiltinRangeUseEnglish)
{
    for (int index : {-1, 0, 10, 21, 1000, INT_MIN}) EXPECT_EQ("EN", LanguageIdOfIndex(index)) << index;
    EXPECT_EQ("SC", LanguageIdOfIndex(1));
    EXPECT_EQ("PRS", LanguageIdOfIndex(20));
}

TEST(LanguageTable, FontFollowsTheLanguage)
{
    const struct {
        const char* id;
        std::string face;
        int charset, weight;
    } cases[] = {
        {"SC", SIMSUN, 134, 500},   {"TC", PMINGLIU, 1, 500}, {"JPN", "MS UI Gothic", 128, 300},
        {"TAI", "Tahoma", 222, 500}, {"EN", "Arial", 1, 500},  {"ARB", "Arial", 178, 500},
        {"HEB", "Arial", 177, 500}, {"PRS", "Arial", 178, 500},
        {"jpn", "Arial", 1, 500},   {"", "Arial", 1, 500},
    };
    for (const auto& c : cases) {
        const FONT_SPEC font = FontForLanguageId(c.id);
        EXPECT_EQ(c.face, font.strFace) << c.id;
        EXPECT_EQ(c.charset, font.nCharSet) << c.id;
        EXPECT_EQ(c.weight, font.nWeight) << c.id;
    }
    const struct {
        int index;
        std::string face;
    } byIndex[] = {{0, "Arial"}, {1, SIMSUN}, {2, PMINGLIU}, {5, "MS UI Gothic"}, {10, "Arial"},
                   {11, "Arial"}, {17, "Tahoma"}, {21, "Arial"}};
    for (const auto& c : byIndex) EXPECT_EQ(c.face, FontForBuiltinIndex(c.index).strFace) << c.index;

    const FONT_SPEC entryFont = FontForFace("Nirmala UI");
    EXPECT_EQ((FONT_SPEC{"Nirmala UI", 1, 500}), entryFont);
}

TEST(LanguageTable, FieldsAreCutToTheirWidthInCharacters)
{
    const struct {
        std::string text;
        size_t width;
        std::string want;
    } cases[] = {
        {"Deutsch", 15, "Deutsch"},
        {"0123456789ABCDEF", 15, "0123456789ABCDE"},
        {"ABCDEF", 5, "ABCDE"},
        {"ABCDE", 5, "ABCDE"},
        {"", 5, ""},
        {"ABC", 0, ""},
        // two-byte and three-byte characters are never split
        {"\xC3\xA9\xC3\xA9\xC3\xA9", 2, "\xC3\xA9\xC3\xA9"},
        {SIMSUN + SIMSUN, 3, SIMSUN + "\xE5\xAE\x8B"},
        {"a\xF0\x9F\x98\x80" "b", 2, "a\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, FitField(c.text, c.width)) << c.text << " / " << c.width;
}

TEST(LanguageTable, NumbersReadAsDecimal)
{
    const struct {
        const char* text;
        int want;
    } cases[] = {
        {"4", 4},     {"  27", 27},   {"-3", -3},  {"+8", 8},           {"12abc", 12},
        {"abc", 0},   {"", 0},        {"0x11", 0}, {"99999999999", INT_MAX}, {"-99999999999", INT_MIN},
        {"\t\n1", 1}, {"- 1", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.want, DecimalValue(c.text)) << "'" << c.text << "'";
}

TEST(LanguageTable, OnlyBareNamesAreSelectable)
{
    for (const char* name : {"IDS_PTS_OK", "EN", "SC", "PT-BR", "x.y", "_a1"})
        EXPECT_TRUE(IsPlainElementName(name)) << name;
    for (const char* name : {"", "*", "//EN", "EN | SC", "1EN", "a b", "@id", "EN[0]", "..", "-x"})
        EXPECT_FALSE(IsPlainElementName(name)) << name;
}

TEST(LanguageTable, FileTableReadsCompleteEntriesInOrder)
{
    CHILDREN c;
    AddEntry(c, 1, "Svenska", "29", "0", "SWE", "Segoe UI", "0");
    AddEntry(c, 2, "Urdu", "32", "1", "URD", "Tahoma", "1");
    const auto table = ReadLanguageTable(c.Reader());
    ASSERT_EQ(2u, table.size());
    EXPECT_EQ("Svenska", table[0].strName);
    EXPECT_EQ(29, table[0].nPrimaryId);
    EXPECT_EQ(0, table[0].nSubId);
    EXPECT_EQ("SWE", table[0].strLanguageId);
    EXPECT_EQ("Segoe UI", table[0].strFontFace);
    EXPECT_EQ(0, table[0].nRightToLeft);
    EXPECT_EQ("Urdu", table[1].strName);
    EXPECT_EQ(32, table[1].nPrimaryId);
    EXPECT_EQ(1, table[1].nSubId);
    EXPECT_EQ("URD", table[1].strLanguageId);
    EXPECT_EQ("Tahoma", table[1].strFontFace);
    EXPECT_EQ(1, table[1].nRightToLeft);
    EXPECT_EQ("LAN_NAME_3", c.asked.back()) << "reading stops at the first missing element";
}

TEST(LanguageTable, FileTableStopsAtTheFirstIncompleteEntry)
{
    const char* elements[] = {"LAN_NAME_3",  "LAN_OS_PRIID_3", "LAN_OS_SUBID_3",
                              "LAN_XMLID_3", "LAN_FONT_3",     "LAN_RIGHTLEFT_3"};
    for (const char* missing : elements) {
        CHILDREN c;
        for (int n = 1; n <= 5; ++n) AddEntry(c, n, "L" + std::to_string(n), "29", "0", "X", "Arial", "0");
        c.texts.erase(missing);
        EXPECT_EQ(2u, ReadLanguageTable(c.Reader()).size()) << "without " << missing;
    }
}

TEST(LanguageTable, FileTableHoldsAtMostFortyEntriesCutToTheirFields)
{
    CHILDREN c;
    for (int n = 1; n <= 41; ++n)
        AddEntry(c, n, "A name far longer than fifteen", "abc", "", "LONGID", "A face name over seventeen", "x");
    const auto table = ReadLanguageTable(c.Reader());
    ASSERT_EQ(40u, table.size());
    for (const auto& e : table) {
        EXPECT_EQ("A name far long", e.strName);
        EXPECT_EQ("LONGI", e.strLanguageId);
        EXPECT_EQ("A face name over ", e.strFontFace);
        EXPECT_EQ(0, e.nPrimaryId);
        EXPECT_EQ(0, e.nSubId);
        EXPECT_EQ(0, e.nRightToLeft);
    }
    EXPECT_TRUE(ReadLanguageTable(CHILDREN{}.Reader()).empty());
}

TEST(LanguageTable, FirstMatchingTableEntryWins)
{
    const std::vector<LANGUAGE_TABLE_ENTRY> table = {
        Entry(0x1D, 2, "SWF"),  // Swedish (Finland) only
        Entry(0x1D, 0, "SWE"),  // every other Swedish
        Entry(0x1D, 1, "NEVER"),
        Entry(0x20, 0, "URD", "Tahoma", 1),
    };
    const struct {
        int primary, sub;
        const char* want;  // null: no entry
    } cases[] = {
        {0x1D, 2, "SWF"}, {0x1D, 1, "SWE"}, {0x1D, 3, "SWE"}, {0x20, 1, "URD"},
        {0x20, 2, "URD"}, {0x14, 1, nullptr}, {0x01D, 0, "SWE"},
    };
    for (const auto& c : cases) {
        const LANGUAGE_TABLE_ENTRY* found = MatchLanguageTable(table, LangId(c.primary, c.sub));
        if (!c.want) {
            EXPECT_EQ(nullptr, found) << c.primary << "/" << c.sub;
        } else {
            ASSERT_NE(nullptr, found) << c.primary << "/" << c.sub;
            EXPECT_EQ(c.want, found->strLanguageId) << c.primary << "/" << c.sub;
        }
    }
}

TEST(LanguageTable, TableEntryReplacesLanguageFlagAndFont)
{
    const std::vector<LANGUAGE_TABLE_ENTRY> table = {Entry(0x20, 0, "URD", "Jameel Noori", 1),
                                                     Entry(0x1D, 0, "SWE", "Segoe UI", 0)};
    const struct {
        int primary;
        bool matched;
        const char* id;
        const char* face;
        int rtl;
    } cases[] = {
        {0x20, true, "URD", "Jameel Noori", 1},
        {0x1D, true, "SWE", "Segoe UI", 0},
        {0x14, false, "EN", "Arial", 0},  // no entry: English, font kept
    };
    for (const auto& c : cases) {
        CLanguageChoice choice(LangId(c.primary, 1));
        ASSERT_TRUE(choice.WantsLanguageTable());
        EXPECT_EQ(c.matched, choice.ApplyLanguageTable(table)) << c.primary;
        EXPECT_EQ(c.id, choice.LookupId()) << c.primary;
        EXPECT_EQ(c.face, choice.Font().strFace) << c.primary;
        EXPECT_EQ(c.rtl, choice.RightToLeft()) << c.primary;
        EXPECT_EQ(0, choice.Index()) << c.primary;
    }
}

TEST(LanguageTable, EmptyOrMissingTextFallsBackToEnglish)
{
    const struct {
        std::map<std::string, std::string> texts;
        const char* lookup;
        const char* want;
    } cases[] = {
        {{{"EN", "Start"}, {"SC", "SC-start"}}, "SC", "SC-start"},
        {{{"EN", "Start"}, {"SC", ""}}, "SC", "Start"},
        {{{"EN", "Start"}}, "SC", "Start"},
        {{{"SC", ""}}, "SC", ""},
        {{}, "SC", ""},
        {{{"EN", "Start"}}, "EN", "Start"},
        {{{"EN", ""}, {"FRA", "x"}}, "EN", ""},
    };
    for (const auto& c : cases) {
        CHILDREN children;
        children.texts = c.texts;
        EXPECT_EQ(c.want, TextWithFallback(c.lookup, children.Reader())) << c.lookup;
    }

    CHILDREN present;
    present.texts = {{"EN", "Stop"}, {"GEM", "Anhalten"}};
    TextWithFallback("GEM", present.Reader());
    EXPECT_EQ(std::vector<std::string>{"GEM"}, present.asked) << "English is read only when needed";
}

TEST(LanguageTable, BrandFileOverridesTheChoice)
{
    const struct {
        std::map<std::string, std::string> values;
        unsigned short system;
        const char* id;
        const char* face;
        int weight;
        int rtl;
    } cases[] = {
        {{{"General/Lang", "JPN"}}, LangId(0x09, 1), "JPN", "MS UI Gothic", 300, 0},
        {{{"General/Lang", "JPN"}, {"General/LangRightToLeft", "1"}}, LangId(0x09, 1), "JPN", "MS UI Gothic", 300, 1},
        {{{"General/Lang", "ARB"}}, LangId(0x09, 1), "ARB", "Arial", 500, 0},
        {{{"General/Lang", "ARB"}, {"General/LangRightToLeft", "1"}}, LangId(0x09, 1), "ARB", "Arial", 500, 1},
        {{{"General/Lang", "EN"}}, LangId(0x0D, 1), "EN", "Arial", 500, 0},  // Hebrew system turned LTR
        {{{"General/Lang", "NONE"}, {"General/LangRightToLeft", "0"}}, LangId(0x0D, 1), "HEB", "Arial", 500, 1},
        {{{"General/Lang", ""}}, LangId(0x11, 1), "JPN", "MS UI Gothic", 300, 0},
        {{}, LangId(0x04, 2), "SC", SIMSUN.c_str(), 500, 0},
        {{{"Other/Lang", "JPN"}}, LangId(0x07, 1), "GEM", "Arial", 500, 0},
        {{{"General/Lang", "TAI"}}, LangId(0x04, 2), "TAI", "Tahoma", 500, 0},
    };
    for (const auto& c : cases) {
        CMapProfile brand;
        brand.values = c.values;
        CLanguageChoice choice(c.system);
        choice.ApplyBrandOverride(ReadBrandOverride(&brand));
        EXPECT_EQ(c.id, choice.LookupId()) << c.id;
        EXPECT_EQ(c.face, choice.Font().strFace) << c.id;
        EXPECT_EQ(c.weight, choice.Font().nWeight) << c.id;
        EXPECT_EQ(c.rtl, choice.RightToLeft()) << c.id;
    }
}

TEST(LanguageTable, BrandFileIsReadOnlyAsFarAsNeeded)
{
    CMapProfile none;
    EXPECT_FALSE(ReadBrandOverride(&none).bOverride);
    EXPECT_EQ(std::vector<std::string>{"Lang"}, none.asked) << "LangRightToLeft goes only with an override";

    CMapProfile longValue;
    longValue.values["General/Lang"] = std::string(200, 'L');
    EXPECT_EQ(std::string(127, 'L'), ReadBrandOverride(&longValue).strLanguageId);

    EXPECT_FALSE(ReadBrandOverride(nullptr).bOverride) << "no Windows folder, no override";
}
