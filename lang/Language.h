#pragma once
#include "lang/ComRef.h"
#include "lang/CriticalSection.h"
#include "lang/LanguageTable.h"

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

struct IXMLDOMDocument;
struct IXMLDOMNode;

// What the language choice starts from. The program takes them from the system;
// tests set their own.
struct LANGUAGE_INPUTS {
    unsigned short nSystemLangId = 0;
    std::string strBrandFilePath;  // empty: the Windows folder is unknown, no brand override

    // The system default language and ORVANEBRAND.INI in the Windows folder.
    static LANGUAGE_INPUTS FromSystem();
};

// The language file, the texts of the chosen language, the user-interface font
// and the right-to-left flag. The creating thread must have initialised COM.
class CLanguage {
public:
    CLanguage();
    explicit CLanguage(const LANGUAGE_INPUTS& inputs);
    virtual ~CLanguage();
    CLanguage(const CLanguage&) = delete;
    CLanguage& operator=(const CLanguage&) = delete;

    // Tillvox.xml in the program's folder.
    static std::string ProgramFilePath();

    // Loads the language file once; a failed load leaves every text empty.
    // The brand file's override applies either way.
    bool Load(const std::string& path);
    // The text of an IDS_ key in the ANSI code page; empty when there is none. Any thread.
    std::string GetString(const std::string& key);
    // The same text as the language file has it, for windows: letters that the
    // ANSI code page cannot spell stay as they are. Any thread.
    std::wstring GetText(const std::string& key);
    // The user-interface font; owned by this object.
    HFONT GetFont();
    int IsRightToLeft() const { return m_Choice.RightToLeft(); }
    int GetLanguageIndex() const { return m_Choice.Index(); }
    // The language id under which texts are looked up ("EN", "SC", ...).
    const std::string& GetLookupId() const { return m_Choice.LookupId(); }

private:
    struct FONT_DELETER {
        void operator()(HFONT hFont) const { DeleteObject(hFont); }
    };
    using FONT_OWNER = std::unique_ptr<std::remove_pointer_t<HFONT>, FONT_DELETER>;

    std::vector<LANGUAGE_TABLE_ENTRY> ReadFileLanguageTable();
    void ApplyBrandOverride();
    void MakeFont(const FONT_SPEC& font);

    // Taken by every lookup and by Load; the choice changes only during Load,
    // which runs on the user-interface thread at start-up.
    CCriticalSection m_Lock;
    CLanguageChoice m_Choice;
    std::string m_strBrandFilePath;
    CComRef<IXMLDOMDocument> m_pDocument;  // none when MSXML could not be created
    CComRef<IXMLDOMNode> m_pRoot;          // the document element once a load succeeded
    FONT_OWNER m_pFont;  // user-interface thread only
};
