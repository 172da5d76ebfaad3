// CLanguage on the prefix's own MSXML, with small language files written here
// and with the program's lang/Tillvox.xml.
#include "lang/Language.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <msxml.h>

#include <map>
#include <set>
#include <thread>
#include <vector>

namespace {

unsigned short LangId(int primary, int sub) { return static_cast<unsigned short>((sub << 10) | primary); }

const unsigned short ENGLISH_US = LangId(0x09, 1);
const unsigned short SIMPLIFIED_CHINESE = LangId(0x04, 2);
const unsigned short TRADITIONAL_CHINESE = LangId(0x04, 1);
const unsigned short KOREAN = LangId(0x12, 1);
const unsigned short SLOVAK = LangId(0x1B, 1);
const unsigned short CZECH = LangId(0x05, 1);
const unsigned short FRENCH = LangId(0x0C, 1);
const unsigned short GERMAN = LangId(0x07, 1);
const unsigned short ITALIAN = LangId(0x10, 1);
const unsigned short JAPANESE = LangId(0x11, 1);
const unsigned short THAI = LangId(0x1E, 1);
const unsigned short ARABIC = LangId(0x01, 1);
const unsigned short HEBREW = LangId(0x0D, 1);
const unsigned short SWEDISH = LangId(0x1D, 1);
const unsigned short ICELANDIC = LangId(0x0F, 1);
const unsigned short URDU = LangId(0x20, 1);
const unsigned short LITHUANIAN = LangId(0x27, 1);
const unsigned short LATVIAN = LangId(0x26, 1);

const CLSID DOM_DOCUMENT = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Ansi(const std::wstring& text)
{
    const int size = static_cast<int>(text.size());
    const int count = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, ansi.data(), count, nullptr, nullptr);
    return ansi;
}

struct LOGFONT_SEEN {
    std::wstring face;
    LONG height, weight;
    int charset, pitchAndFamily, italic, underline, strikeOut;
};

LOGFONT_SEEN FontOf(HFONT hFont)
{
    LOGFONTW lf{};
    EXPECT_EQ(static_cast<int>(sizeof lf), GetObjectW(hFont, sizeof lf, &lf));
    return {lf.lfFaceName, lf.lfHeight, lf.lfWeight, lf.lfCharSet, lf.lfPitchAndFamily,
            lf.lfItalic, lf.lfUnderline, lf.lfStrikeOut};
}

std::vector<CComRef<IXMLDOMNode>> ChildElements(IXMLDOMNode* pParent)
{
    std::vector<CComRef<IXMLDOMNode>> elements;
    CComRef<IXMLDOMNodeList> list;
    long count = 0;
    if (pParent->get_childNodes(list.Out()) != S_OK || list->get_length(&count) != S_OK)
        return elements;
    for (long i = 0; i < count; ++i) {
        CComRef<IXMLDOMNode> node;
        DOMNodeType type = NODE_INVALID;
        if (list->get_item(i, node.Out()) == S_OK && node->get_nodeType(&type) == S_OK && type == NODE_ELEMENT)
            elements.push_back(std::move(node));
    }
    return elements;
}

std::wstring NameOf(IXMLDOMNode* pNode)
{
    BSTR name = nullptr;
    pNode->get_nodeName(&name);
    std::wstring result = name ? name : L"";
    SysFreeString(name);
    return result;
}

std::wstring TextOf(IXMLDOMNode* pNode)
{
    BSTR text = nullptr;
    pNode->get_text(&text);
    std::wstring result = text ? text : L"";
    SysFreeString(text);
    return result;
}

// One entry of the file's own language table; a null font leaves that element out.
std::string TableEntry(int n, const char* name, int primary, int sub, const char* id, const char* font, int rtl)
{
    const std::string k = std::to_string(n);
    std::string xml = "<LAN_NAME_" + k + ">" + name + "</LAN_NAME_" + k + ">" +
                      "<LAN_OS_PRIID_" + k + ">" + std::to_string(primary) + "</LAN_OS_PRIID_" + k + ">" +
                      "<LAN_OS_SUBID_" + k + ">" + std::to_string(sub) + "</LAN_OS_SUBID_" + k + ">" +
                      "<LAN_XMLID_" + k + ">" + id + "</LAN_XMLID_" + k + ">";
    if (font)
        xml += "<LAN_FONT_" + k + ">" + font + "</LAN_FONT_" + k + ">";
    return xml + "<LAN_RIGHTLEFT_" + k + ">" + std::to_string(rtl) + "</LAN_RIGHTLEFT_" + k + ">";
}

// Swedish and Urdu come from the table; Icelandic has an id and a face longer
// than their fields; German is built in, so its entry never counts; Lithuanian
// lacks its font, which ends the table before Latvian.
const std::string FIXTURE =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<TEXTS>"
    "<IDS_PTS_START><EN>Start</EN><SC>sc start</SC><CZH>Spustit</CZH><JPN>jpn start</JPN>"
    "<ARB>arb start</ARB><HEB>heb start</HEB><FRA>D\xC3\xA9marrer</FRA><SWE>Starta</SWE>"
    "<URD>urd start</URD><ICELA>is start</ICELA><DEX>dex start</DEX><LAV>lav start</LAV></IDS_PTS_START>"
    "<IDS_PTS_STOP><EN>Stop</EN><SC></SC><SWE/><FRA>  </FRA></IDS_PTS_STOP>"
    "<IDS_CAUTION><SC>sc only</SC></IDS_CAUTION>"
    "<IDS_NEW_LANGUAGE>" +
    TableEntry(1, "Svenska", 0x1D, 0, "SWE", "Segoe UI", 0) +
    TableEntry(2, "Deutsch (Datei)", 0x07, 0, "DEX", "Courier New", 0) +
    TableEntry(3, "Islenska", 0x0F, 0, "ICELAND", "Segoe UI Semibold Italic", 0) +
    TableEntry(4, "Urdu", 0x20, 0, "URD", "Tahoma", 1) +
    TableEntry(5, "Lietuviu", 0x27, 0, "LIT", nullptr, 0) +
    TableEntry(6, "Latviesu", 0x26, 0, "LAV", "Verdana", 0) +
    "</IDS_NEW_LANGUAGE></TEXTS>";

class CComApartment {
public:
    CComApartment() { CoInitialize(nullptr); }
    ~CComApartment() { CoUninitialize(); }
};

struct LanguageFixture : ::testing::Test {
    CComApartment apartment;  // first member: outlives every language object
    CTempFolder folder;
    std::string textsPath = folder.File("Tillvox.xml");
    std::string brandPath = folder.File("ORVANEBRAND.INI");

    LanguageFixture() { WriteWholeFile(textsPath, FIXTURE); }

    // brand: contents of the brand file, or null for none.
    std::unique_ptr<CLanguage> Loaded(unsigned short langId, const char* brand = nullptr, bool* pLoaded = nullptr)
    {
        DeleteFileA(brandPath.c_str());
        if (brand)
            WriteWholeFile(brandPath, brand);
        auto language = std::make_unique<CLanguage>(LANGUAGE_INPUTS{langId, brandPath});
        const bool bLoaded = language->Load(textsPath);
        if (pLoaded)
            *pLoaded = bLoaded;
        else
            EXPECT_TRUE(bLoaded);
        return language;
    }
};

// Every key the program looks up.
const char* const PROGRAM_KEYS[] = {
    "IDS_CAUTION", "IDS_CHOOSE_MONITOR_TYPE", "IDS_MONITOR_FILE", "IDS_MONITOR_INTERNET", "IDS_MONITOR_OPOS",
    "IDS_MONITOR_TYPE", "IDS_NAME", "IDS_NEED_CLOSE_AP", "IDS_NO_FULL_RIGHTS", "IDS_PORT_IN_USE", "IDS_PTS_ABOUT_CAPTION", "IDS_PTS_ADD", "IDS_PTS_AUTOSTART",
    "IDS_PTS_BAUD_RATE", "IDS_PTS_CANCEL", "IDS_PTS_COMPORT_DLG_NAME", "IDS_PTS_COM_PORT",
    "IDS_PTS_COM_SETTING_DONE", "IDS_PTS_COM_SETTING_FAIL", "IDS_PTS_CONFIG", "IDS_PTS_CONNECTED",
    "IDS_PTS_DATA_BITS", "IDS_PTS_DELETE", "IDS_PTS_DEVICE_PORT", "IDS_PTS_DLG_NAME", "IDS_PTS_FILE_PATH",
    "IDS_PTS_MODIFY", "IDS_PTS_NEW", "IDS_PTS_OK", "IDS_PTS_PARAMETER", "IDS_PTS_PARITY", "IDS_PTS_PASSWORD",
    "IDS_PTS_PORT", "IDS_PTS_POS_INDEX", "IDS_PTS_PRINTER_SERIAL", "IDS_PTS_PRINTER_TCP", "IDS_PTS_PRINTER_TYPE",
    "IDS_PTS_SELECT_ONE_ITEM", "IDS_PTS_SOURCE", "IDS_PTS_START", "IDS_PTS_STATUS", "IDS_PTS_STOP",
    "IDS_PTS_STOP_BITS", "IDS_PTS_TCPPORT_DLG_NAME", "IDS_PTS_TCPPORT_SETTING", "IDS_PTS_TCP_PORT", "IDS_PTS_TYPE",
    "IDS_PTS_WAIT_CONNECT", "IDS_PTS_WARNING_DEVICE_USED", "IDS_PTS_WARNING_INPUT_PASSWORD",
    "IDS_PTS_WARNING_INPUT_PORT", "IDS_PTS_WARNING_INPUT_POS_INDEX", "IDS_PTS_WARNING_INPUT_SAME_FILE",
    "IDS_PTS_WARNING_INPUT_SETTING", "IDS_PTS_WARNING_MAX_SOURCES", "IDS_PTS_WARNING_SELECT_FILE",
    "IDS_PTS_WARNING_SELECT_PORT",
    "IDS_PTS_WARNING_WRONG_PASSWORD", "IDS_RECEIPT_SEQUENTIAL_TYPE", "IDS_RECONNECT",
    // Failed statuses of a source that cannot capture or deliver.
    "IDS_PTS_FOLDER_MISSING", "IDS_PTS_LISTEN_FAIL",
    // A queue kept in memory only, a saved queue found damaged.
    "IDS_PTS_QUEUE_IN_MEMORY", "IDS_PTS_QUEUE_DAMAGED",
    // The tray icon's menu and tip, and the auto-run warning.
    "IDS_AUTORUN_NOT_CHANGED", "IDS_TRAY_EXIT", "IDS_TRAY_OPEN", "IDS_TRAY_TIP_RUNNING",
    // The main window's close, start and delete questions and notices, and the network dialog's texts.
    "IDS_PTS_CLOSE_WHILE_CAPTURING", "IDS_PTS_NOTHING_TO_START", "IDS_PTS_CONFIRM_DELETE",
    "IDS_PTS_WARNING_SOURCE_PORT", "IDS_NETWORK_SETTING_DLG_NAME", "IDS_PTS_WARNING_INVALID_IP",
    // The network dialog's address label and the Infogenesis dialog's labels and check.
    "IDS_PTS_CLIENT_IP", "IDS_INFO_SERVER_IP", "IDS_INFO_SEND_PORT", "IDS_INFO_RECV_PORT", "IDS_INFO_TERMINAL_ID",
    "IDS_INFO_TERMINAL_EXAMPLE", "IDS_INFO_WARNING_INPUT_SERVER_IP",
    // The details view of the selected source: its title, labels, units and receipt texts.
    "IDS_DETAILS_TITLE", "IDS_DETAILS_NO_SOURCE", "IDS_DETAILS_RECEIPTS", "IDS_DETAILS_CAPTURED", "IDS_DETAILS_SENT",
    "IDS_DETAILS_ACKNOWLEDGED", "IDS_DETAILS_QUEUED", "IDS_DETAILS_DROPPED", "IDS_DETAILS_RECONNECTS",
    "IDS_DETAILS_REFUSED_PASSWORD", "IDS_DETAILS_REFUSED_JUNK", "IDS_DETAILS_REFUSED_TILL",
    "IDS_DETAILS_LAST_RECEIPT_TIME", "IDS_DETAILS_LAST_ACK_TIME", "IDS_DETAILS_RECORDER", "IDS_DETAILS_NEVER",
    "IDS_DETAILS_NO_RECORDER", "IDS_DETAILS_BYTES", "IDS_DETAILS_KB", "IDS_DETAILS_MB", "IDS_DETAILS_GB",
    "IDS_DETAILS_LAST_RECEIPT", "IDS_DETAILS_NO_RECEIPT",
};

// The program's own language file in the source tree; Z: is the Linux root.
std::string ProgramLanguageFile()
{
    std::string path = __FILE__;
    path = path.substr(0, path.rfind("tests/win/")) + "lang/Tillvox.xml";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path[0] == '\\' ? "Z:" + path : path;
}

}  // namespace

TEST_F(LanguageFixture, SystemLanguageChoosesTheTexts)
{
    const struct {
        unsigned short langId;
        const char* key;
        std::string want;
        int rtl;
        int index;
    } cases[] = {
        {KOREAN, "IDS_PTS_START", "Start", 0, 10},
        {SLOVAK, "IDS_PTS_START", "Spustit", 0, 15},
        {CZECH, "IDS_PTS_START", "Spustit", 0, 15},
        {SIMPLIFIED_CHINESE, "IDS_PTS_START", "sc start", 0, 1},
        {SIMPLIFIED_CHINESE, "IDS_PTS_STOP", "Stop", 0, 1},        // empty SC text
        {SIMPLIFIED_CHINESE, "IDS_CAUTION", "sc only", 0, 1},      // no EN needed
        {SIMPLIFIED_CHINESE, "IDS_PTS_OK", "", 0, 1},              // key not in the file
        {FRENCH, "IDS_PTS_START", Ansi(L"D\u00e9marrer"), 0, 3},   // UTF-8 in the file, ANSI out
        {FRENCH, "IDS_PTS_STOP", "Stop", 0, 3},                    // blanks only count as empty
        {ITALIAN, "IDS_PTS_START", "Start", 0, 14},                // no ITA child
        {ENGLISH_US, "IDS_CAUTION", "", 0, 0},                     // neither EN nor a table entry
        {ARABIC, "IDS_PTS_START", "arb start", 1, 11},
        {HEBREW, "IDS_PTS_START", "heb start", 1, 12},
        {JAPANESE, "IDS_PTS_START", "jpn start", 0, 5},
    };
    for (const auto& c : cases) {
        auto language = Loaded(c.langId);
        EXPECT_EQ(c.want, language->GetString(c.key)) << std::hex << c.langId << " " << c.key;
        EXPECT_EQ(c.rtl, language->IsRightToLeft()) << std::hex << c.langId;
        EXPECT_EQ(c.index, language->GetLanguageIndex()) << std::hex << c.langId;
    }
}

TEST_F(LanguageFixture, FontSuitsTheSystemLanguage)
{
    const struct {
        unsigned short langId;
        std::wstring face;
        int charset;
        LONG weight;
    } cases[] = {
        {SIMPLIFIED_CHINESE, L"\u5b8b\u4f53", 134, 500},
        {TRADITIONAL_CHINESE, L"\u65b0\u7d30\u660e\u9ad4", 1, 500},
        {JAPANESE, L"MS UI Gothic", 128, 300},
        {THAI, L"Tahoma", THAI_CHARSET, 500},
        {GERMAN, L"Arial", 1, 500},
        {KOREAN, L"Arial", 1, 500},
        {ENGLISH_US, L"Arial", 1, 500},
    };
    for (const auto& c : cases) {
        CLanguage language(LANGUAGE_INPUTS{c.langId, ""});
        const LOGFONT_SEEN font = FontOf(language.GetFont());
        EXPECT_EQ(c.face, font.face) << std::hex << c.langId;
        EXPECT_EQ(c.charset, font.charset) << std::hex << c.langId;
        EXPECT_EQ(c.weight, font.weight) << std::hex << c.langId;
        EXPECT_EQ(-12, font.height);
        EXPECT_EQ(50, font.pitchAndFamily);
        EXPECT_EQ(0, font.italic + font.underline + font.strikeOut);
        EXPECT_EQ(language.GetFont(), language.GetFont()) << "one font, kept";
    }
}

TEST_F(LanguageFixture, FileTableServesSystemsWithoutBuiltinTexts)
{
    const struct {
        unsigned short langId;
        const char* start;
        const char* lookupId;
        std::wstring face;
        int rtl;
        int index;
    } cases[] = {
        {SWEDISH, "Starta", "SWE", L"Segoe UI", 0, 0},
        {ICELANDIC, "is start", "ICELA", L"Segoe UI Semibold", 0, 0},  // both cut to their fields
        {URDU, "urd start", "URD", L"Tahoma", 1, 0},
        {GERMAN, "Start", "GEM", L"Arial", 0, 4},       // built-in: the table is not read
        {LITHUANIAN, "Start", "EN", L"Arial", 0, 0},    // entry without a font
        {LATVIAN, "Start", "EN", L"Arial", 0, 0},       // behind the incomplete entry
    };
    for (const auto& c : cases) {
        auto language = Loaded(c.langId);
        EXPECT_EQ(c.start, language->GetString("IDS_PTS_START")) << std::hex << c.langId;
        EXPECT_EQ("Stop", language->GetString("IDS_PTS_STOP")) << std::hex << c.langId;
        EXPECT_EQ(c.lookupId, language->GetLookupId()) << std::hex << c.langId;
        EXPECT_EQ(c.face, FontOf(language->GetFont()).face) << std::hex << c.langId;
        EXPECT_EQ(c.rtl, language->IsRightToLeft()) << std::hex << c.langId;
        EXPECT_EQ(c.index, language->GetLanguageIndex()) << std::hex << c.langId;
    }
}

TEST_F(LanguageFixture, BrandFileOverridesLanguageFontAndDirection)
{
    const struct {
        unsigned short langId;
        const char* brand;
        const char* start;
        std::wstring face;
        LONG weight;
        int rtl;
    } cases[] = {
        {ENGLISH_US, "[General]\r\nLang=JPN\r\n", "jpn start", L"MS UI Gothic", 300, 0},
        {ENGLISH_US, "[General]\r\nLang=JPN\r\nLangRightToLeft=1\r\n", "jpn start", L"MS UI Gothic", 300, 1},
        {ENGLISH_US, "[General]\r\nLang=ARB\r\n", "arb start", L"Arial", 500, 0},
        {ENGLISH_US, "[General]\r\nLang=ARB\r\nLangRightToLeft=1\r\n", "arb start", L"Arial", 500, 1},
        {HEBREW, "[General]\r\nLang=EN\r\n", "Start", L"Arial", 500, 0},
        {HEBREW, "[General]\r\nLang=NONE\r\nLangRightToLeft=0\r\n", "heb start", L"Arial", 500, 1},
        {HEBREW, nullptr, "heb start", L"Arial", 500, 1},
        {JAPANESE, "[General]\r\nLang=\r\n", "jpn start", L"MS UI Gothic", 300, 0},
        {SIMPLIFIED_CHINESE, "[Other]\r\nLang=JPN\r\n", "sc start", L"\u5b8b\u4f53", 500, 0},
        {SWEDISH, "[General]\r\nLang=SC\r\n", "sc start", L"\u5b8b\u4f53", 500, 0},  // over the file's table
        {ENGLISH_US, "[General]\r\nLang=*\r\n", "Start", L"Arial", 500, 0},  // not a language id: EN texts
    };
    for (const auto& c : cases) {
        auto language = Loaded(c.langId, c.brand);
        const char* label = c.brand ? c.brand : "(no brand file)";
        EXPECT_EQ(c.start, language->GetString("IDS_PTS_START")) << label;
        const LOGFONT_SEEN font = FontOf(language->GetFont());
        EXPECT_EQ(c.face, font.face) << label;
        EXPECT_EQ(c.weight, font.weight) << label;
        EXPECT_EQ(c.rtl, language->IsRightToLeft()) << label;
    }
}

TEST_F(LanguageFixture, BrokenLanguageFileLeavesEmptyTexts)
{
    const struct {
        const char* name;
        const char* content;  // null: no file
    } cases[] = {
        {"missing", nullptr},
        {"empty", ""},
        {"not XML", "Start=Start"},
        {"unclosed element", "<TEXTS><IDS_PTS_START><EN>Start</EN></TEXTS>"},
        {"truncated", "<?xml version=\"1.0\"?><TEXTS><IDS_PTS_START><EN>Sta"},
    };
    for (const auto& c : cases) {
        DeleteFileA(textsPath.c_str());
        if (c.content)
            WriteWholeFile(textsPath, c.content);
        bool bLoaded = true;
        auto language = Loaded(HEBREW, "[General]\r\nLang=JPN\r\n", &bLoaded);
        EXPECT_FALSE(bLoaded) << c.name;
        EXPECT_EQ("", language->GetString("IDS_PTS_START")) << c.name;
        EXPECT_EQ("JPN", language->GetLookupId()) << c.name << ": the brand file applies all the same";
        EXPECT_EQ(L"MS UI Gothic", FontOf(language->GetFont()).face) << c.name;
        EXPECT_EQ(0, language->IsRightToLeft()) << c.name;

        WriteWholeFile(textsPath, FIXTURE);
        EXPECT_TRUE(language->Load(textsPath)) << c.name << ": a failed load may be repeated";
        EXPECT_EQ("jpn start", language->GetString("IDS_PTS_START")) << c.name;
    }
}

TEST_F(LanguageFixture, WithoutComEveryTextIsEmpty)
{
    std::string text = "unset";
    bool bLoaded = true;
    HFONT hFont = nullptr;
    std::thread([&] {
        CLanguage language(LANGUAGE_INPUTS{SIMPLIFIED_CHINESE, ""});
        bLoaded = language.Load(textsPath);
        text = language.GetString("IDS_PTS_START");
        hFont = language.GetFont();
    }).join();
    EXPECT_FALSE(bLoaded);
    EXPECT_EQ("", text);
    EXPECT_NE(nullptr, hFont);
}

TEST_F(LanguageFixture, SecondLoadKeepsTheFirstTexts)
{
    auto language = Loaded(ENGLISH_US);
    WriteWholeFile(textsPath, "<TEXTS><IDS_PTS_START><EN>Changed</EN></IDS_PTS_START></TEXTS>");
    EXPECT_TRUE(language->Load(textsPath));
    EXPECT_TRUE(language->Load(folder.File("absent.xml")));
    EXPECT_EQ("Start", language->GetString("IDS_PTS_START"));
}

TEST_F(LanguageFixture, KeysThatAreNoNamesFindNothing)
{
    auto language = Loaded(SIMPLIFIED_CHINESE);
    for (const char* key : {"", "*", "IDS_PTS_START/SC", "//SC", "IDS_PTS_START | IDS_CAUTION", "ids_pts_start"})
        EXPECT_EQ("", language->GetString(key)) << "'" << key << "'";
}

TEST_F(LanguageFixture, LookupsFromManyThreadsGetTheirOwnTexts)
{
    auto language = Loaded(SIMPLIFIED_CHINESE);
    const std::pair<const char*, const char*> expected[] = {
        {"IDS_PTS_START", "sc start"}, {"IDS_PTS_STOP", "Stop"}, {"IDS_CAUTION", "sc only"}, {"IDS_NAME", ""}};
    std::vector<int> wrong(8, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < wrong.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                const auto& e = expected[(t + static_cast<size_t>(i)) % 4];
                if (language->GetString(e.first) != e.second)
                    ++wrong[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (size_t t = 0; t < wrong.size(); ++t) EXPECT_EQ(0, wrong[t]) << "thread " << t;
}

TEST_F(LanguageFixture, ProgramFileLiesBesideTheExecutable)
{
    const std::string path = CLanguage::ProgramFilePath();
    const std::string name = "\\Tillvox.xml";
    ASSERT_GT(path.size(), name.size());
    EXPECT_EQ(name, path.substr(path.size() - name.size()));
    const std::string folder = path.substr(0, path.size() - name.size());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((folder + "\\win_Language_test.exe").c_str())) << folder;
}

TEST_F(LanguageFixture, ProgramFileHasAnEnglishTextForEveryKey)
{
    CLanguage language(LANGUAGE_INPUTS{KOREAN, ""});
    ASSERT_TRUE(language.Load(ProgramLanguageFile())) << ProgramLanguageFile();
    for (const char* key : PROGRAM_KEYS) EXPECT_NE("", language.GetString(key)) << key;
    EXPECT_EQ("Start", language.GetString("IDS_PTS_START"));
}

// Checks on the file's texts as the parser gives them (UTF-16), so that every
// language is checked whatever the prefix's ANSI code page.
TEST_F(LanguageFixture, ProgramFileTextsSuitHowTheProgramUsesThem)
{
    const std::map<std::wstring, UINT> codePages = {
        {L"EN", 1252},  {L"SC", 936},   {L"TC", 950},   {L"FRA", 1252}, {L"GEM", 1252}, {L"JPN", 932},
        {L"POL", 1250}, {L"PTU", 1252}, {L"RUS", 1251}, {L"SPN", 1252}, {L"ARB", 1256}, {L"HEB", 1255},
        {L"HUN", 1250}, {L"ITA", 1252}, {L"CZH", 1250}, {L"DAN", 1252}, {L"TAI", 874},  {L"NLD", 1252},
        {L"SRL", 1250}, {L"PRS", 1256},
    };
    std::set<std::wstring> programKeys;
    for (const char* key : PROGRAM_KEYS) programKeys.insert(Wide(key));

    CComRef<IXMLDOMDocument> document;
    ASSERT_EQ(S_OK, CoCreateInstance(DOM_DOCUMENT, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                     reinterpret_cast<void**>(document.Out())));
    document->put_async(VARIANT_FALSE);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(Wide(ProgramLanguageFile()).c_str());
    VARIANT_BOOL bParsed = VARIANT_FALSE;
    document->load(source, &bParsed);
    VariantClear(&source);
    ASSERT_EQ(VARIANT_TRUE, bParsed) << ProgramLanguageFile();
    CComRef<IXMLDOMElement> root;
    ASSERT_EQ(S_OK, document->get_documentElement(root.Out()));

    std::map<std::wstring, std::map<std::wstring, std::wstring>> texts;  // [language][key]
    std::set<std::wstring> keysInFile;
    for (const auto& keyNode : ChildElements(root.Get())) {
        const std::wstring key = NameOf(keyNode.Get());
        keysInFile.insert(key);
        if (key == L"IDS_NEW_LANGUAGE")
            continue;
        EXPECT_EQ(1u, programKeys.count(key)) << "a key the program never looks up: " << Ansi(key);
        for (const auto& textNode : ChildElements(keyNode.Get())) {
            const std::wstring language = NameOf(textNode.Get());
            EXPECT_EQ(1u, codePages.count(language)) << "not a language id: " << Ansi(language);
            texts[language][key] = TextOf(textNode.Get());
        }
    }
    for (const auto& key : programKeys) EXPECT_EQ(1u, keysInFile.count(key)) << Ansi(key);
    // Every built-in language has texts of its own: without them its users would read English.
    for (const auto& [language, codePage] : codePages)
        EXPECT_EQ(1u, texts.count(language)) << "no texts in " << Ansi(language);

    for (const auto& [language, byKey] : texts) {
        const std::string label = Ansi(language);
        const UINT codePage = codePages.count(language) ? codePages.at(language) : 1252;
        for (const auto& key : programKeys) {
            auto found = byKey.find(key);
            EXPECT_TRUE(found != byKey.end() && !found->second.empty()) << label << " lacks " << Ansi(key);
        }
        for (const auto& [key, text] : byKey) {
            BOOL bLost = FALSE;
            WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr,
                                0, nullptr, &bLost);
            EXPECT_FALSE(bLost) << label << " " << Ansi(key) << " has characters outside code page " << codePage;
        }
        auto text = [&byKey](const wchar_t* key) {
            auto found = byKey.find(key);
            return found == byKey.end() ? std::wstring() : found->second;
        };
        // The start button and the printer type are told apart by their texts.
        EXPECT_NE(text(L"IDS_PTS_START"), text(L"IDS_PTS_STOP")) << label;
        EXPECT_NE(text(L"IDS_PTS_PRINTER_SERIAL"), text(L"IDS_PTS_PRINTER_TCP")) << label;
        // The port message is a format with one number.
        const std::wstring portInUse = text(L"IDS_PORT_IN_USE");
        const size_t percent = portInUse.find(L'%');
        EXPECT_TRUE(percent != std::wstring::npos && portInUse.compare(percent, 2, L"%d") == 0 &&
                    portInUse.find(L'%', percent + 1) == std::wstring::npos)
            << label << ": " << Ansi(portInUse);
        // The running tip names the program, the connected sources and all sources, once each.
        const std::wstring running = text(L"IDS_TRAY_TIP_RUNNING");
        for (const wchar_t* placeholder : {L"%1", L"%2", L"%3"}) {
            const size_t at = running.find(placeholder);
            EXPECT_TRUE(at != std::wstring::npos && running.find(placeholder, at + 1) == std::wstring::npos)
                << label << " " << Ansi(placeholder) << ": " << Ansi(running);
        }
        EXPECT_NE(text(L"IDS_TRAY_OPEN"), text(L"IDS_TRAY_EXIT")) << label;
        // The details view's title and units each hold their one number or name once.
        for (const wchar_t* key : {L"IDS_DETAILS_TITLE", L"IDS_DETAILS_BYTES", L"IDS_DETAILS_KB", L"IDS_DETAILS_MB",
                                   L"IDS_DETAILS_GB"}) {
            const std::wstring format = text(key);
            const size_t at = format.find(L"%1");
            EXPECT_TRUE(at != std::wstring::npos && format.find(L'%', at + 1) == std::wstring::npos &&
                        format.find(L'%') == at)
                << label << " " << Ansi(key) << ": " << Ansi(format);
        }
        // The tray tip holds 63 bytes.
        const std::wstring title = text(L"IDS_PTS_DLG_NAME");
        EXPECT_LE(WideCharToMultiByte(codePage, 0, title.data(), static_cast<int>(title.size()), nullptr, 0,
                                      nullptr, nullptr),
                  63)
            << label;
    }
}
