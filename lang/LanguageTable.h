#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CProfileStore;

// Language decisions that need no system calls. Texts here are UTF-8; the
// Windows side converts at its edges (ANSI for texts, UTF-16 for font faces).

constexpr int BUILTIN_LANGUAGE_COUNT = 21;  // built-in indexes 0 to 20
constexpr int LANGUAGE_TABLE_MAX = 40;      // entries the language file may describe
constexpr size_t LAN_NAME_WIDTH = 15;       // field widths in characters
constexpr size_t LAN_LANGUAGE_ID_WIDTH = 5;
constexpr size_t LAN_FONT_WIDTH = 17;
constexpr const char* FALLBACK_LANGUAGE_ID = "EN";
constexpr const char* LANGUAGE_TABLE_ELEMENT = "IDS_NEW_LANGUAGE";

constexpr int FONT_HEIGHT = -12;
constexpr int FONT_PITCH_AND_FAMILY = 50;  // variable pitch, modern family
constexpr size_t BRAND_LANG_BUFFER = 128;

struct BUILTIN_LANGUAGE {
    int nIndex = 0;
    bool bRightToLeft = false;
    bool bUnknown = false;  // the system language is none of the built-in ones
};

// From a system language id: primary language in the low 10 bits, sub-language above.
BUILTIN_LANGUAGE BuiltinLanguageOf(unsigned short nLangId);
// The id a built-in index's texts are stored under; "EN" outside 1 to 20.
std::string LanguageIdOfIndex(int nIndex);

struct LANGUAGE_TABLE_ENTRY {
    std::string strName;  // at most LAN_NAME_WIDTH characters
    int nPrimaryId = 0;
    int nSubId = 0;       // 0 matches every sub-language
    std::string strLanguageId;
    std::string strFontFace;
    int nRightToLeft = 0;
};

// Text of a named child element, or nothing when the element is missing.
using CHILD_TEXT_READER = std::function<std::optional<std::string>(const std::string& name)>;

// Reads entries 1, 2, ... until one lacks any of its six elements; values are cut to their fields.
std::vector<LANGUAGE_TABLE_ENTRY> ReadLanguageTable(const CHILD_TEXT_READER& readChild);
// The first entry for the system language, or null.
const LANGUAGE_TABLE_ENTRY* MatchLanguageTable(const std::vector<LANGUAGE_TABLE_ENTRY>& table,
                                               unsigned short nLangId);

// The first nWidth characters (not bytes) of a UTF-8 text.
std::string FitField(const std::string& text, size_t nWidth);
// Leading decimal number as the C library reads it; 0 for a text without one, bounded to int.
int DecimalValue(const std::string& text);
// True for a bare element name, which a node selection takes literally.
bool IsPlainElementName(const std::string& name);

// The lookup language's text, or the "EN" text when that is missing or empty.
std::string TextWithFallback(const std::string& strLookupId, const CHILD_TEXT_READER& readLanguage);

// THAI_CHARSET, ARABIC_CHARSET and HEBREW_CHARSET of the GDI; this file includes no windows.h.
constexpr int THAI_CHARSET_ID = 222;
constexpr int ARABIC_CHARSET_ID = 178;
constexpr int HEBREW_CHARSET_ID = 177;

struct FONT_SPEC {
    std::string strFace;  // UTF-8
    int nCharSet = 1;
    int nWeight = 500;
    bool operator==(const FONT_SPEC& o) const
    {
        return strFace == o.strFace && nCharSet == o.nCharSet && nWeight == o.nWeight;
    }
    bool operator!=(const FONT_SPEC& o) const { return !(*this == o); }
};

FONT_SPEC FontForLanguageId(const std::string& strLanguageId);
FONT_SPEC FontForBuiltinIndex(int nIndex);
FONT_SPEC FontForFace(const std::string& strFace);

// "Lang" and "LangRightToLeft" of the brand file's "General" section.
struct BRAND_OVERRIDE {
    bool bOverride = false;
    std::string strLanguageId;
    int nRightToLeft = 0;
};

// pBrandFile is null when the Windows folder is unknown.
BRAND_OVERRIDE ReadBrandOverride(CProfileStore* pBrandFile);

// The language in use, settled in three steps at start: system language,
// the file's language table (only for an unknown system language), brand file.
class CLanguageChoice {
public:
    explicit CLanguageChoice(unsigned short nSystemLangId);

    bool WantsLanguageTable() const { return m_bUnknownSystemLanguage; }
    // True when an entry matched the system language.
    bool ApplyLanguageTable(const std::vector<LANGUAGE_TABLE_ENTRY>& table);
    void ApplyBrandOverride(const BRAND_OVERRIDE& brand);

    int Index() const { return m_nIndex; }
    const std::string& LookupId() const { return m_strLookupId; }
    int RightToLeft() const { return m_nRightToLeft; }
    const FONT_SPEC& Font() const { return m_Font; }

private:
    unsigned short m_nSystemLangId;
    int m_nIndex;
    bool m_bUnknownSystemLanguage;
    int m_nRightToLeft;
    std::string m_strLookupId;
    FONT_SPEC m_Font;
};
