#include "lang/LanguageTable.h"

#include "base/ProfileStore.h"

#include <climits>
#include <cstdio>

namespace {

struct BUILTIN_ID {
    const char* pszLanguageId;
    bool bRightToLeft;
};

const BUILTIN_ID BUILTIN_IDS[BUILTIN_LANGUAGE_COUNT] = {
    {"EN", false},  {"SC", false},  {"TC", false},  {"FRA", false}, {"GEM", false}, {"JPN", false},
    {"POL", false}, {"PTU", false}, {"RUS", false}, {"SPN", false}, {"EN", false},  {"ARB", true},
    {"HEB", true},  {"HUN", false}, {"ITA", false}, {"CZH", false}, {"DAN", false}, {"TAI", false},
    {"NLD", false}, {"SRL", false}, {"PRS", true},
};

const struct {
    int nPrimary;
    int nIndex;
} PRIMARY_TO_INDEX[] = {
    {0x0C, 3},  {0x07, 4},  {0x11, 5},  {0x15, 6},  {0x16, 7},  {0x19, 8},  {0x0A, 9},
    {0x12, 10}, {0x01, 11}, {0x0D, 12}, {0x0E, 13}, {0x10, 14}, {0x05, 15}, {0x1B, 15},
    {0x06, 16}, {0x1E, 17}, {0x13, 18}, {0x1A, 19}, {0x29, 20},
};

constexpr int PRIMARY_CHINESE = 0x04;

int PrimaryOf(unsigned short nLangId) { return nLangId & 0x3FF; }
int SubOf(unsigned short nLangId) { return nLangId >> 10; }

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

}  // namespace

BUILTIN_LANGUAGE BuiltinLanguageOf(unsigned short nLangId)
{
    BUILTIN_LANGUAGE result;
    const int primary = PrimaryOf(nLangId);
    if (primary == PRIMARY_CHINESE) {
        const int sub = SubOf(nLangId);
        result.nIndex = (sub == 2 || sub == 4) ? 1 : (sub == 1 || sub == 3) ? 2 : 0;
        return result;
    }
    for (const auto& p : PRIMARY_TO_INDEX) {
        if (p.nPrimary == primary) {
            result.nIndex = p.nIndex;
            result.bRightToLeft = BUILTIN_IDS[p.nIndex].bRightToLeft;
            return result;
        }
    }
    result.bUnknown = true;
    return result;
}

std::string LanguageIdOfIndex(int nIndex)
{
    if (nIndex < 0 || nIndex >= BUILTIN_LANGUAGE_COUNT)
        return FALLBACK_LANGUAGE_ID;
    return BUILTIN_IDS[nIndex].pszLanguageId;
}

std::vector<LANGUAGE_TABLE_ENTRY> ReadLanguageTable(const CHILD_TEXT_READER& readChild)
{
    static const char* const FORMATS[6] = {"LAN_NAME_%d",  "LAN_OS_PRIID_%d", "LAN_OS_SUBID_%d",
                                           "LAN_XMLID_%d", "LAN_FONT_%d",     "LAN_RIGHTLEFT_%d"};
    std::vector<LANGUAGE_TABLE_ENTRY> table;
    for (int n = 1; n <= LANGUAGE_TABLE_MAX; ++n) {
        std::string values[6];
        for (int field = 0; field < 6; ++field) {
            char name[32];
            std::snprintf(name, sizeof name, FORMATS[field], n);
            std::optional<std::string> text = readChild(name);
            if (!text)
                return table;
            values[field] = std::move(*text);
        }
        LANGUAGE_TABLE_ENTRY entry;
        entry.strName = FitField(values[0], LAN_NAME_WIDTH);
        entry.nPrimaryId = DecimalValue(values[1]);
        entry.nSubId = DecimalValue(values[2]);
        entry.strLanguageId = FitField(values[3], LAN_LANGUAGE_ID_WIDTH);
        entry.strFontFace = FitField(values[4], LAN_FONT_WIDTH);
        entry.nRightToLeft = DecimalValue(values[5]);
        table.push_back(std::move(entry));
    }
    return table;
}

const LANGUAGE_TABLE_ENTRY* MatchLanguageTable(const std::vector<LANGUAGE_TABLE_ENTRY>& table,
                                               unsigned short nLangId)
{
    const int primary = PrimaryOf(nLangId);
    const int sub = SubOf(nLangId);
    for (const auto& entry : table) {
        if (entry.nPrimaryId == primary && (entry.nSubId == 0 || entry.nSubId == sub))
            return &entry;
    }
    return nullptr;
}

std::string FitField(const std::string& text, size_t nWidth)
{
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!IsContinuationByte(text[i]) && characters++ == nWidth)
            return text.substr(0, i);
    }
    return text;
}

int DecimalValue(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

bool IsPlainElementName(const std::string& name)
{
    if (name.empty() || !IsNameStart(name[0]))
        return false;
    for (char c : name) {
        if (!IsNameStart(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.')
            return false;
    }
    return true;
}

std::string TextWithFallback(const std::string& strLookupId, const CHILD_TEXT_READER& readLanguage)
{
    std::optional<std::string> text = readLanguage(strLookupId);
    if (text && !text->empty())
        return *text;
    if (strLookupId != FALLBACK_LANGUAGE_ID)
        text = readLanguage(FALLBACK_LANGUAGE_ID);
    return text ? *text : std::string();
}

FONT_SPEC FontForLanguageId(const std::string& strLanguageId)
{
    if (strLanguageId == "SC")
        return {"\xE5\xAE\x8B\xE4\xBD\x93", 134, 500};  // SimSun's own name
    if (strLanguageId == "TC")
        return {"\xE6\x96\xB0\xE7\xB4\xB0\xE6\x98\x8E\xE9\xAB\x94", 1, 500};  // PMingLiU's own name
    if (strLanguageId == "JPN")
        return {"MS UI Gothic", 128, 300};
    // The character set names the script the face must draw: where the face
    // has no letters of it, the font mapper takes one that has, and draws the
    // letters joined as the script writes them.
    if (strLanguageId == "TAI")
        return {"Tahoma", THAI_CHARSET_ID, 500};
    if (strLanguageId == "ARB" || strLanguageId == "PRS")
        return {"Arial", ARABIC_CHARSET_ID, 500};
    if (strLanguageId == "HEB")
        return {"Arial", HEBREW_CHARSET_ID, 500};
    return {"Arial", 1, 500};
}

FONT_SPEC FontForBuiltinIndex(int nIndex) { return FontForLanguageId(LanguageIdOfIndex(nIndex)); }

FONT_SPEC FontForFace(const std::string& strFace) { return {strFace, 1, 500}; }

BRAND_OVERRIDE ReadBrandOverride(CProfileStore* pBrandFile)
{
    BRAND_OVERRIDE brand;
    if (!pBrandFile)
        return brand;
    std::string lang = pBrandFile->GetString("General", "Lang", "NONE", BRAND_LANG_BUFFER);
    if (lang.empty() || lang == "NONE")
        return brand;
    brand.bOverride = true;
    brand.strLanguageId = std::move(lang);
    brand.nRightToLeft = pBrandFile->GetInt("General", "LangRightToLeft", 0);
    return brand;
}

CLanguageChoice::CLanguageChoice(unsigned short nSystemLangId) : m_nSystemLangId(nSystemLangId)
{
    const BUILTIN_LANGUAGE builtin = BuiltinLanguageOf(nSystemLangId);
    m_nIndex = builtin.nIndex;
    m_bUnknownSystemLanguage = builtin.bUnknown;
    m_nRightToLeft = builtin.bRightToLeft ? 1 : 0;
    m_strLookupId = LanguageIdOfIndex(m_nIndex);
    m_Font = FontForBuiltinIndex(m_nIndex);
}

bool CLanguageChoice::ApplyLanguageTable(const std::vector<LANGUAGE_TABLE_ENTRY>& table)
{
    const LANGUAGE_TABLE_ENTRY* pEntry = MatchLanguageTable(table, m_nSystemLangId);
    if (!pEntry) {
        m_strLookupId = FALLBACK_LANGUAGE_ID;
        return false;
    }
    m_nRightToLeft = pEntry->nRightToLeft;
    m_strLookupId = pEntry->strLanguageId;
    m_Font = FontForFace(pEntry->strFontFace);
    return true;
}

void CLanguageChoice::ApplyBrandOverride(const BRAND_OVERRIDE& brand)
{
    if (!brand.bOverride)
        return;
    m_strLookupId = brand.strLanguageId;
    m_Font = FontForLanguageId(brand.strLanguageId);
    m_nRightToLeft = brand.nRightToLeft;
}
