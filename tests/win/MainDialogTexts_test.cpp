// The texts the main window and the source dialogs show, in every built-in
// language, compared with the language file as the parser reads it: whatever
// the prefix's ANSI code page, a window must show the file's letters, not
// question marks, and right-to-left languages must be mirrored.
#include "app/KassimoDlg.h"
#include "config/ComPortSetting.h"
#include "config/InfoGenesisDlg.h"
#include "config/ReadFileSetting.h"
#include "config/TcpPortSetting.h"
#include "config/InternetSettingDlg.h"
#include "config/MonitorType.h"
#include "lang/Language.h"
#include "res/resource.h"
#include "tests/support/DialogDriver.h"
#include "tests/support/LettersDrawn.h"
#include "tests/support/MessagePump.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WideText.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <msxml.h>
#include <objbase.h>

#include <iterator>
#include <map>
#include <memory>
#include <string>

namespace {

const CLSID DOM_DOCUMENT = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

struct LANGUAGE_CASE {
    const wchar_t* id;  // the language id of the file's texts
    int primary;
    int sub;
    bool bRightToLeft;
};

const LANGUAGE_CASE LANGUAGES[] = {
    {L"EN", 0x09, 1, false},  {L"SC", 0x04, 2, false},  {L"TC", 0x04, 1, false},  {L"FRA", 0x0C, 1, false},
    {L"GEM", 0x07, 1, false}, {L"JPN", 0x11, 1, false}, {L"POL", 0x15, 1, false}, {L"PTU", 0x16, 1, false},
    {L"RUS", 0x19, 1, false}, {L"SPN", 0x0A, 1, false}, {L"ARB", 0x01, 1, true},  {L"HEB", 0x0D, 1, true},
    {L"HUN", 0x0E, 1, false}, {L"ITA", 0x10, 1, false}, {L"CZH", 0x05, 1, false}, {L"DAN", 0x06, 1, false},
    {L"TAI", 0x1E, 1, false}, {L"NLD", 0x13, 1, false}, {L"SRL", 0x1A, 1, false}, {L"PRS", 0x29, 1, true},
};

std::wstring Bstr(BSTR text)
{
    std::wstring out = text ? text : L"";
    SysFreeString(text);
    return out;
}

// [language id][key] as the parser gives it, read here without the program's lookup.
using FILE_TEXTS = std::map<std::wstring, std::map<std::string, std::wstring>>;

FILE_TEXTS ReadFileTexts()
{
    FILE_TEXTS texts;
    CComRef<IXMLDOMDocument> document;
    if (FAILED(CoCreateInstance(DOM_DOCUMENT, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(document.Out()))))
        return texts;
    document->put_async(VARIANT_FALSE);
    const std::string path = ProgramLanguageFilePath();
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(std::wstring(path.begin(), path.end()).c_str());
    VARIANT_BOOL bParsed = VARIANT_FALSE;
    document->load(source, &bParsed);
    VariantClear(&source);
    CComRef<IXMLDOMElement> root;
    if (bParsed != VARIANT_TRUE || document->get_documentElement(root.Out()) != S_OK)
        return texts;
    CComRef<IXMLDOMNodeList> keys;
    long nKeys = 0;
    root->get_childNodes(keys.Out());
    keys->get_length(&nKeys);
    for (long k = 0; k < nKeys; ++k) {
        CComRef<IXMLDOMNode> keyNode;
        keys->get_item(k, keyNode.Out());
        BSTR keyName = nullptr;
        keyNode->get_nodeName(&keyName);
        const std::string key = Utf8(Bstr(keyName));
        CComRef<IXMLDOMNodeList> languages;
        long nLanguages = 0;
        keyNode->get_childNodes(languages.Out());
        languages->get_length(&nLanguages);
        for (long l = 0; l < nLanguages; ++l) {
            CComRef<IXMLDOMNode> textNode;
            DOMNodeType type = NODE_INVALID;
            languages->get_item(l, textNode.Out());
            if (textNode->get_nodeType(&type) != S_OK || type != NODE_ELEMENT)
                continue;
            BSTR language = nullptr, text = nullptr;
            textNode->get_nodeName(&language);
            textNode->get_text(&text);
            texts[Bstr(language)][key] = Bstr(text);
        }
    }
    return texts;
}

std::wstring ColumnHead(HWND hList, int column)
{
    wchar_t text[256] = {};
    LVCOLUMNW lvc = {};
    lvc.mask = LVCF_TEXT;
    lvc.pszText = text;
    lvc.cchTextMax = static_cast<int>(std::size(text));
    SendMessageW(hList, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&lvc));
    return text;
}

std::wstring ComboItem(HWND hDialog, int nId, int nItem)
{
    wchar_t text[256] = {};
    if (SendDlgItemMessageW(hDialog, nId, CB_GETLBTEXTLEN, static_cast<WPARAM>(nItem), 0) < 256)
        SendDlgItemMessageW(hDialog, nId, CB_GETLBTEXT, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(text));
    return text;
}

// A message box's caption and text as the W calls read them; false when hWnd is none.
bool MessageBoxTextW(HWND hWnd, std::wstring& caption, std::wstring& text)
{
    for (int id : {0xFFFF, 100}) {
        HWND hText = GetDlgItem(hWnd, id);
        wchar_t name[16] = {};
        if (hText && GetClassNameW(hText, name, static_cast<int>(std::size(name))) && std::wstring(name) == L"Static") {
            caption = WindowTextW(hWnd);
            text = WindowTextW(hText);
            return true;
        }
    }
    return false;
}

bool IsMirrored(HWND hWnd) { return (GetWindowLongPtrW(hWnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0; }

// A control of a dialog (0: the dialog's caption) and the key of its text.
struct CONTROL_TEXT {
    int nId;
    const char* key;
};

const CONTROL_TEXT MAIN_WINDOW_TEXTS[] = {
    {0, "IDS_PTS_DLG_NAME"},         {IDC_NEW, "IDS_PTS_NEW"},     {IDC_MODIFY, "IDS_PTS_MODIFY"},
    {IDC_DELETE, "IDS_PTS_DELETE"}, {IDC_START, "IDS_PTS_START"}, {IDC_AUTORUN, "IDS_PTS_AUTOSTART"},
};

const char* const COLUMN_KEYS[] = {"IDS_PTS_STATUS", "IDS_PTS_SOURCE", "IDS_PTS_POS_INDEX", "IDS_PTS_PORT",
                                   "IDS_PTS_PARAMETER"};

// The rows of the details view, in order.
const char* const DETAILS_LABEL_KEYS[] = {
    "IDS_DETAILS_RECEIPTS",       "IDS_DETAILS_CAPTURED",          "IDS_DETAILS_SENT",
    "IDS_DETAILS_ACKNOWLEDGED",   "IDS_DETAILS_QUEUED",            "IDS_DETAILS_DROPPED",
    "IDS_DETAILS_RECONNECTS",     "IDS_DETAILS_REFUSED_PASSWORD",  "IDS_DETAILS_REFUSED_JUNK",
    "IDS_DETAILS_REFUSED_TILL",   "IDS_DETAILS_LAST_RECEIPT_TIME", "IDS_DETAILS_LAST_ACK_TIME",
    "IDS_DETAILS_RECORDER",
};

std::wstring Filled(std::wstring text, const std::wstring& value)
{
    const size_t at = text.find(L"%1");
    return at == std::wstring::npos ? text : text.replace(at, 2, value);
}

const CONTROL_TEXT KIND_CHOOSER_TEXTS[] = {
    {0, "IDS_CHOOSE_MONITOR_TYPE"},
    {IDC_KIND_GROUP, "IDS_MONITOR_TYPE"},
    {IDOK, "IDS_PTS_OK"},
    {IDCANCEL, "IDS_PTS_CANCEL"},
};

const CONTROL_TEXT NETWORK_DIALOG_TEXTS[] = {
    {0, "IDS_NETWORK_SETTING_DLG_NAME"},
    {IDC_TYPE_LABEL, "IDS_PTS_TYPE"},
    {IDC_PORT_LABEL, "IDS_PTS_PORT"},
    {IDC_NAME_LABEL, "IDS_NAME"},
    {IDC_CLIENT_IP_LABEL, "IDS_PTS_CLIENT_IP"},
    {IDOK, "IDS_PTS_OK"},
    {IDCANCEL, "IDS_PTS_CANCEL"},
};

const CONTROL_TEXT SOURCE_DIALOG_TEXTS[] = {
    {0, "IDS_PTS_CONFIG"},
    {IDC_SEQUENTIAL, "IDS_RECEIPT_SEQUENTIAL_TYPE"},
    {IDC_PRINTER_TYPE_LABEL, "IDS_PTS_PRINTER_TYPE"},
    {IDC_FILE_PATH_LABEL, "IDS_PTS_FILE_PATH"},
    {IDC_POS_INDEX_LABEL, "IDS_PTS_POS_INDEX"},
    {IDC_COM_PORT_LABEL, "IDS_PTS_COM_PORT"},
    {IDOK, "IDS_PTS_ADD"},
    {IDCANCEL, "IDS_PTS_CANCEL"},
};

const CONTROL_TEXT SERIAL_PORT_DIALOG_TEXTS[] = {
    {0, "IDS_PTS_COMPORT_DLG_NAME"},
    {IDC_BAUD_RATE_LABEL, "IDS_PTS_BAUD_RATE"},
    {IDC_DATA_BITS_LABEL, "IDS_PTS_DATA_BITS"},
    {IDC_PARITY_LABEL, "IDS_PTS_PARITY"},
    {IDC_STOP_BITS_LABEL, "IDS_PTS_STOP_BITS"},
    {IDOK, "IDS_PTS_OK"},
    {IDCANCEL, "IDS_PTS_CANCEL"},
};

const CONTROL_TEXT TCP_PORT_DIALOG_TEXTS[] = {
    {0, "IDS_PTS_TCPPORT_DLG_NAME"},
    {IDC_DEVICE_PORT_LABEL, "IDS_PTS_DEVICE_PORT"},
    {IDC_PASSWORD_LABEL, "IDS_PTS_PASSWORD"},
    {IDOK, "IDS_PTS_OK"},
    {IDCANCEL, "IDS_PTS_CANCEL"},
};

const CONTROL_TEXT INFOGENESIS_DIALOG_TEXTS[] = {
    {IDC_INFO_SERVER_IP_LABEL, "IDS_INFO_SERVER_IP"},
    {IDC_INFO_SEND_PORT_LABEL, "IDS_INFO_SEND_PORT"},
    {IDC_INFO_RECV_PORT_LABEL, "IDS_INFO_RECV_PORT"},
    {IDC_INFO_TERMINALS_LABEL, "IDS_INFO_TERMINAL_ID"},
    {IDC_INFO_EXAMPLE, "IDS_INFO_TERMINAL_EXAMPLE"},
    {IDOK, "IDS_PTS_OK"},
    {IDCANCEL, "IDS_PTS_CANCEL"},
};

struct WindowTexts : ::testing::Test {
    CTempFolder folder;
    FILE_TEXTS texts;

    WindowTexts()
    {
        CoInitialize(nullptr);
        texts = ReadFileTexts();
    }
    ~WindowTexts() override { CoUninitialize(); }

    // The file's text of that language, or its English text where it has none.
    std::wstring Expected(const LANGUAGE_CASE& language, const char* key)
    {
        const std::wstring own = texts[language.id][key];
        return own.empty() ? texts[L"EN"][key] : own;
    }

    template <size_t N>
    void ExpectTexts(const LANGUAGE_CASE& language, HWND hDialog, const CONTROL_TEXT (&controls)[N])
    {
        for (const CONTROL_TEXT& control : controls) {
            HWND hWnd = control.nId ? GetDlgItem(hDialog, control.nId) : hDialog;
            const std::wstring expected = Expected(language, control.key);
            EXPECT_FALSE(expected.empty()) << control.key;
            EXPECT_EQ(Utf8(expected), Utf8(WindowTextW(hWnd))) << Utf8(language.id) << " " << control.key;
        }
    }
};

}  // namespace

TEST_F(WindowTexts, EveryLanguageShowsTheFileTextsWhateverTheCodePage)
{
    ASSERT_FALSE(texts[L"EN"].empty()) << ProgramLanguageFilePath();
    // One source, so that the details view has a row to show.
    WriteWholeFile(folder.File("FileMapPOS.ini"),
                   "[Main]\r\nFile Number=1\r\n[Setup1]\r\nMonitor Type=0\r\nFile Path=C:\\POS\\receipt.txt\r\n"
                   "POS Index=POS1\r\nPrinter Type=TCP\r\nPort=TCP(4000)\r\nPassword=pw\r\n");
    wchar_t decimal[8] = L".";
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, static_cast<int>(std::size(decimal)));
    for (const LANGUAGE_CASE& language : LANGUAGES) {
        SCOPED_TRACE(Utf8(language.id));
        auto pLanguage = std::make_unique<CLanguage>(
            LANGUAGE_INPUTS{static_cast<unsigned short>((language.sub << 10) | language.primary), ""});
        ASSERT_TRUE(pLanguage->Load(ProgramLanguageFilePath()));
        const bool bRightToLeft = pLanguage->IsRightToLeft() != 0;
        EXPECT_EQ(language.bRightToLeft, bRightToLeft);

        CKassimoDlg main(pLanguage.get(), folder.Path(), false, bRightToLeft);
        ASSERT_NE(nullptr, main.CreateModeless());
        ExpectTexts(language, main.Hwnd(), MAIN_WINDOW_TEXTS);
        EXPECT_EQ(language.bRightToLeft, IsMirrored(main.Hwnd()));
        HWND hList = main.Item(IDC_SOURCE_LIST);
        for (int column = 0; column < 5; ++column) {
            const std::wstring expected = Expected(language, COLUMN_KEYS[column]) + (column == 0 ? L"(DVR/NVR)" : L"");
            EXPECT_EQ(Utf8(expected), Utf8(ColumnHead(hList, column))) << COLUMN_KEYS[column];
        }

        // The details view: its labels, and the texts of a source that has captured nothing, then some.
        HWND hMain = main.Hwnd();
        ASSERT_NE(nullptr, DetailsPane(hMain));
        EXPECT_EQ(language.bRightToLeft, IsMirrored(DetailsPane(hMain))) << "details";
        EXPECT_EQ(Utf8(Expected(language, "IDS_DETAILS_NO_SOURCE")), DetailsText(hMain, IDC_DETAILS_TITLE));
        for (int row = 0; row < static_cast<int>(std::size(DETAILS_LABEL_KEYS)); ++row) {
            EXPECT_FALSE(Expected(language, DETAILS_LABEL_KEYS[row]).empty()) << DETAILS_LABEL_KEYS[row];
            EXPECT_EQ(Utf8(Expected(language, DETAILS_LABEL_KEYS[row])), DetailsLabel(hMain, row)) << DETAILS_LABEL_KEYS[row];
        }
        SelectOnlyRow(hList, 0);
        EXPECT_EQ(Utf8(Filled(Expected(language, "IDS_DETAILS_TITLE"), L"POS1")), DetailsText(hMain, IDC_DETAILS_TITLE));
        EXPECT_EQ(Utf8(Filled(Expected(language, "IDS_DETAILS_BYTES"), L"0")), DetailsValue(hMain, 1));
        EXPECT_EQ(Utf8(Expected(language, "IDS_DETAILS_NEVER")), DetailsValue(hMain, 10));
        EXPECT_EQ(Utf8(Expected(language, "IDS_DETAILS_NO_RECORDER")), DetailsValue(hMain, 12));
        EXPECT_EQ(Utf8(Expected(language, "IDS_DETAILS_NO_RECEIPT")), DetailsText(hMain, IDC_RECEIPT_LABEL));
        const std::string kilobyte(1536, 'x');
        main.Engine().Deliver(0, reinterpret_cast<const uint8_t*>(kilobyte.data()), static_cast<int>(kilobyte.size()));
        SelectOnlyRow(hList, -1);
        SelectOnlyRow(hList, 0);
        EXPECT_EQ(Utf8(Filled(Expected(language, "IDS_DETAILS_KB"), std::wstring(L"1") + decimal + L"5")),
                  DetailsValue(hMain, 1));
        EXPECT_EQ(Utf8(Expected(language, "IDS_DETAILS_LAST_RECEIPT")), DetailsText(hMain, IDC_RECEIPT_LABEL));
        const std::string megabytes(2 * 1024 * 1024 - 1536, 'x');
        main.Engine().Deliver(0, reinterpret_cast<const uint8_t*>(megabytes.data()), static_cast<int>(megabytes.size()));
        SelectOnlyRow(hList, -1);
        SelectOnlyRow(hList, 0);
        EXPECT_EQ(Utf8(Filled(Expected(language, "IDS_DETAILS_MB"), std::wstring(L"2") + decimal + L"0")),
                  DetailsValue(hMain, 1));
        // Drawn, not only set: no missing-glyph boxes in any language. The
        // caption is the system's to draw, in the caption font of a Windows in
        // that language: the screenshot tests check it under such a locale.
        EXPECT_LT(5u, ExpectLettersDrawn(hMain, Utf8(language.id) + " main window", LETTERS::CONTROLS));

        CMonitorType chooser(pLanguage.get(), bRightToLeft, false, false);
        ASSERT_NE(nullptr, chooser.CreateModeless(main.Hwnd()));
        ExpectTexts(language, chooser.Hwnd(), KIND_CHOOSER_TEXTS);
        EXPECT_EQ(language.bRightToLeft, IsMirrored(chooser.Hwnd()));
        EXPECT_EQ(Utf8(Expected(language, "IDS_MONITOR_FILE")), Utf8(ComboItem(chooser.Hwnd(), IDC_KIND_LIST, 0)));
        EXPECT_EQ(Utf8(Expected(language, "IDS_MONITOR_INTERNET")), Utf8(ComboItem(chooser.Hwnd(), IDC_KIND_LIST, 1)));
        EXPECT_EQ(Utf8(Expected(language, "IDS_MONITOR_OPOS")), Utf8(ComboItem(chooser.Hwnd(), IDC_KIND_LIST, 2)));

        CInternetSettingDlg network(pLanguage.get(), bRightToLeft);
        network.m_nInternetType = 2;
        network.m_nInternetPort = 6000;
        ASSERT_NE(nullptr, network.CreateModeless(main.Hwnd()));
        ExpectTexts(language, network.Hwnd(), NETWORK_DIALOG_TEXTS);
        EXPECT_EQ(Utf8(Expected(language, "IDS_MONITOR_OPOS")), Utf8(WindowTextW(network.Item(IDC_TYPE_TEXT))));
        EXPECT_EQ(language.bRightToLeft, IsMirrored(network.Hwnd()));

        CReadFileSetting source(pLanguage.get(), bRightToLeft);
        ASSERT_NE(nullptr, source.CreateModeless(main.Hwnd()));
        ExpectTexts(language, source.Hwnd(), SOURCE_DIALOG_TEXTS);
        EXPECT_EQ(language.bRightToLeft, IsMirrored(source.Hwnd()));
        EXPECT_LT(5u, ExpectLettersDrawn(source.Hwnd(), Utf8(language.id) + " source dialog", LETTERS::CONTROLS));

        CCOMPortSetting serial(pLanguage.get(), bRightToLeft);
        ASSERT_NE(nullptr, serial.CreateModeless(main.Hwnd()));
        ExpectTexts(language, serial.Hwnd(), SERIAL_PORT_DIALOG_TEXTS);
        EXPECT_EQ(language.bRightToLeft, IsMirrored(serial.Hwnd()));

        CTCPPortSetting tcp(pLanguage.get(), bRightToLeft);
        ASSERT_NE(nullptr, tcp.CreateModeless(main.Hwnd()));
        ExpectTexts(language, tcp.Hwnd(), TCP_PORT_DIALOG_TEXTS);
        EXPECT_EQ(language.bRightToLeft, IsMirrored(tcp.Hwnd()));

        CInfoGenesisDlg infogenesis(pLanguage.get(), bRightToLeft);
        ASSERT_NE(nullptr, infogenesis.CreateModeless(main.Hwnd()));
        ExpectTexts(language, infogenesis.Hwnd(), INFOGENESIS_DIALOG_TEXTS);
        EXPECT_EQ("Infogenesis", Utf8(WindowTextW(infogenesis.Hwnd())));
        EXPECT_FALSE(IsMirrored(infogenesis.Hwnd()));
    }
}

// The main window's own texts: list cells that the engine fills, the tray tip,
// the printer-type list and its message boxes. The prefix's ANSI code page is
// Western: a Chinese or Thai text must still read back letter for letter.
TEST_F(WindowTexts, MainWindowCellsTipListAndBoxesKeepTheFileLetters)
{
    ASSERT_FALSE(texts[L"EN"].empty()) << ProgramLanguageFilePath();
    // A file name the settings file holds in the ANSI code page shows as such.
    const bool bWestern = GetACP() == 1252;
    const std::string fileName = bWestern ? "K\xe4se.txt" : "Kase.txt";
    const std::wstring wideFileName = bWestern ? L"K\u00e4se.txt" : L"Kase.txt";
    const std::string folderPath = folder.Path();
    const std::wstring widePath = std::wstring(folderPath.begin(), folderPath.end()) + wideFileName;
    WriteWholeFile(folder.File("FileMapPOS.ini"), "[Main]\r\nFile Number=1\r\n[Setup1]\r\nMonitor Type=0\r\nFile Path=" +
                                                      folderPath + fileName +
                                                      "\r\nPOS Index=POS3\r\nPrinter Type=TCP\r\nPort=TCP(4711)"
                                                      "\r\nPassword=pw\r\nReceipt Type=0\r\n");
    for (const LANGUAGE_CASE& language : LANGUAGES) {
        SCOPED_TRACE(Utf8(language.id));
        auto pLanguage = std::make_unique<CLanguage>(
            LANGUAGE_INPUTS{static_cast<unsigned short>((language.sub << 10) | language.primary), ""});
        ASSERT_TRUE(pLanguage->Load(ProgramLanguageFilePath()));
        const bool bRightToLeft = pLanguage->IsRightToLeft() != 0;

        CKassimoDlg main(pLanguage.get(), folder.Path(), false, bRightToLeft);
        ASSERT_NE(nullptr, main.CreateModeless());
        HWND hList = main.Item(IDC_SOURCE_LIST);
        ASSERT_EQ(1, main.Engine().SourceCount());
        EXPECT_EQ(Utf8(widePath), Utf8(ListCellW(hList, 0, 1)));
        EXPECT_EQ("POS3", Utf8(ListCellW(hList, 0, 2)));

        // A status as a worker reports it, through the engine's mailbox.
        for (const char* key : {"IDS_PTS_CONNECTED", "IDS_PTS_WAIT_CONNECT", "IDS_PTS_COM_SETTING_FAIL"}) {
            const std::wstring expected = Expected(language, key);
            ASSERT_FALSE(expected.empty()) << key;
            main.Engine().PostListCell(0, 0, main.GetString(key));
            EXPECT_TRUE(PumpUntil([&] { return ListCellW(hList, 0, 0) == expected; }, 5000, WIDE_CALLS))
                << key << ": " << Utf8(ListCellW(hList, 0, 0));
        }

        EXPECT_EQ(Utf8(Expected(language, "IDS_PTS_DLG_NAME")), Utf8(main.TrayIcon().Record().szTip));

        CReadFileSetting source(pLanguage.get(), bRightToLeft);
        source.m_nMode = EDIT_MODE_NEW;
        source.m_nMonitorType = KIND_FILE;
        ASSERT_NE(nullptr, source.CreateModeless(main.Hwnd()));
        EXPECT_EQ(Utf8(Expected(language, "IDS_PTS_PRINTER_SERIAL")), Utf8(ComboItem(source.Hwnd(), IDC_PRINTER_TYPE, 0)));
        EXPECT_EQ(Utf8(Expected(language, "IDS_PTS_PRINTER_TCP")), Utf8(ComboItem(source.Hwnd(), IDC_PRINTER_TYPE, 1)));
        DestroyWindow(source.Hwnd());

        // The message boxes: the caution box, the notice box, and a warning a worker raises.
        std::vector<std::pair<std::wstring, std::wstring>> boxes;
        auto readBox = [&boxes](HWND hTop) {
            std::wstring caption, text;
            if (!MessageBoxTextW(hTop, caption, text))
                return false;
            boxes.emplace_back(caption, text);
            PostMessageW(hTop, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            return true;
        };
        CDialogDriver driver;
        driver.Then("caution box", readBox).Then("notice box", readBox).Then("worker's warning", readBox);
        driver.Run([&] {
            main.CautionBox(main.GetString("IDS_NEED_CLOSE_AP"), MB_OK);
            main.NoticeBox(main.GetString("IDS_PTS_SELECT_ONE_ITEM"), MB_OK);
            main.CautionBox(0, main.GetString("IDS_PTS_WARNING_WRONG_PASSWORD"));
            PumpUntil([&] { return boxes.size() == 3; }, 10000, WIDE_CALLS);
        });
        EXPECT_TRUE(driver.AllDone()) << (driver.m_Failures.empty() ? "" : driver.m_Failures[0]);
        ASSERT_EQ(3u, boxes.size());
        EXPECT_EQ(Utf8(Expected(language, "IDS_CAUTION")), Utf8(boxes[0].first));
        EXPECT_EQ(Utf8(Expected(language, "IDS_NEED_CLOSE_AP")), Utf8(boxes[0].second));
        EXPECT_EQ(Utf8(Expected(language, "IDS_PTS_DLG_NAME")), Utf8(boxes[1].first));
        EXPECT_EQ(Utf8(Expected(language, "IDS_PTS_SELECT_ONE_ITEM")), Utf8(boxes[1].second));
        EXPECT_EQ(Utf8(Expected(language, "IDS_CAUTION")), Utf8(boxes[2].first));
        // The warning names the source and its port in the language's own words.
        std::wstring which = Expected(language, "IDS_PTS_WARNING_SOURCE_PORT");
        for (const auto& place : {std::make_pair(L"%1", L"POS3"), std::make_pair(L"%2", L"4711")}) {
            const size_t at = which.find(place.first);
            ASSERT_NE(std::wstring::npos, at) << "IDS_PTS_WARNING_SOURCE_PORT";
            which.replace(at, 2, place.second);
        }
        EXPECT_EQ(Utf8(Expected(language, "IDS_PTS_WARNING_WRONG_PASSWORD") + L"\n\n" + which), Utf8(boxes[2].second));
        DestroyWindow(main.Hwnd());
    }
}
