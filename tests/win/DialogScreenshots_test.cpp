// Pictures of the main window and of every source editing dialog, in English,
// in a right-to-left language, in a CJK language, in German and in Russian,
// saved in the build folder's screenshots/ for anyone to look at. Each run
// checks what a picture would show wrong: a code page that cannot hold the
// language's texts (the locale the run needs is missing), and a dialog laid
// out in the wrong direction.
#include "app/KassimoDlg.h"
#include "lang/Language.h"
#include "res/resource.h"
#include "tests/support/DialogDriver.h"
#include "tests/support/Glyphs.h"
#include "tests/support/LettersDrawn.h"
#include "tests/support/Process.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/Screenshot.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TopWindows.h"
#include "tests/support/WideText.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <iterator>
#include <memory>

namespace {

class CShotDlg : public CKassimoDlg {
public:
    using CKassimoDlg::CKassimoDlg;

protected:
    bool IsInfogenesisLoaded() const override { return true; }
};

struct LANGUAGE_CASE {
    const char* name;
    unsigned short langId;
    unsigned nCodePage;   // the ANSI code page of a Windows in that language
    const char* locale;   // the Unix locale the test command runs it under
};

bool IsMirrored(HWND hWnd) { return (GetWindowLongPtrA(hWnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0; }

}  // namespace

TEST(DialogScreenshots, EveryDialogInEnglishArabicChineseGermanAndRussian)
{
    ASSERT_FALSE(ScreenshotFolder().empty()) << "TILLVOX_BIN_DIR is not set";
    const CCodePageSystemFonts codePageFonts;
    ASSERT_TRUE(codePageFonts.Applied());
    CoInitialize(nullptr);
    const LANGUAGE_CASE languages[] = {
        {"en", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 1252, "C.UTF-8"},
        {"ar", MAKELANGID(LANG_ARABIC, SUBLANG_ARABIC_SAUDI_ARABIA), 1256, "ar_SA.UTF-8"},
        {"zh", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), 936, "zh_CN.UTF-8"},
        {"de", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), 1252, "de_DE.UTF-8"},
        {"ru", MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA), 1251, "ru_RU.UTF-8"},
        {"th", MAKELANGID(LANG_THAI, SUBLANG_THAI_THAILAND), 874, "th_TH.UTF-8"},
    };
    // The test command runs this once per language, under a locale whose ANSI
    // code page holds the language's texts (as the Windows of a user of it would).
    const std::string only = EnvironmentValue("TILLVOX_SCREENSHOT_LANGUAGE");
    std::vector<std::string> written;
    size_t nLanguages = 0;
    for (const auto& language : languages) {
        if (!only.empty() && only != language.name)
            continue;
        ++nLanguages;
        SCOPED_TRACE(language.name);
        if (!only.empty()) {
            ASSERT_EQ(language.nCodePage, GetACP())
                << "Wine did not get the locale " << language.locale
                << ", so the texts cannot be shown: scripts/install-deps.sh makes it";
        }
        CTempFolder folder;
        WriteWholeFile(folder.File("FileMapPOS.ini"),
                       "[Main]\r\nFile Number=2\r\n[Setup1]\r\nMonitor Type=0\r\nFile Path=C:\\POS\\receipt.txt\r\n"
                       "POS Index=POS1\r\nPrinter Type=Serial\r\nPort=COM5\r\nPassword=NULL\r\nBaudRate=9600\r\n"
                       "DataBits=8\r\nParity=None\r\nStopBits=1.0\r\n[Setup2]\r\nMonitor Type=1\r\nInternet Type=0\r\n"
                       "Internet IP=192.168.0.101\r\nInternet Port=5111\r\nPOS Index=POS2\r\nPrinter Type=TCP\r\n"
                       "Port=TCP(4000)\r\nPassword=pw\r\n");
        auto pLanguage = std::make_unique<CLanguage>(LANGUAGE_INPUTS{language.langId, ""});
        pLanguage->Load(ProgramLanguageFilePath());
        const bool bRightToLeft = pLanguage->IsRightToLeft() != 0;
        CShotDlg dialog(pLanguage.get(), folder.Path(), false, bRightToLeft);
        ASSERT_NE(nullptr, dialog.CreateModeless());
        ShowWindow(dialog.Hwnd(), SW_SHOW);
        SetWindowPos(dialog.Hwnd(), nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        UpdateWindow(dialog.Hwnd());

        const std::string prefix = std::string(language.name) + "-";
        EXPECT_EQ(bRightToLeft, IsMirrored(dialog.Hwnd())) << "main window";
        ExpectLettersDrawn(dialog.Hwnd(), "main");
        EXPECT_EQ(std::string(language.name) == "ar", bRightToLeft) << "the language file's right-to-left flag";
        auto shot = [&](CDialogDriver& driver, const std::string& name) {
            // The Infogenesis dialog keeps its left-to-right layout in every language.
            if (name != "message") {
                const bool bMirrored = bRightToLeft && name != "infogenesis";
                driver.Do("direction of " + name, [name, bMirrored](HWND h) {
                    EXPECT_EQ(bMirrored, IsMirrored(h)) << name;
                });
            }
            driver.Do("letters of " + name, [name](HWND h) { ExpectLettersDrawn(h, name); });
            auto pShot = std::make_shared<CScreenshot>(prefix + name);
            driver.Then("screenshot " + name, [pShot, &written](HWND) {
                if (!pShot->Poll())
                    return false;
                EXPECT_FALSE(pShot->Failed()) << pShot->UnixPath();
                written.push_back(pShot->UnixPath());
                return true;
            });
        };
        auto waitFor = [](CDialogDriver& driver, int id) {
            driver.Then("wait for " + std::to_string(id), [id](HWND h) { return GetDlgItem(h, id) != nullptr; });
        };

        {
            CDialogDriver driver(25000);
            waitFor(driver, IDC_KIND_GROUP);
            shot(driver, "chooser");
            driver.Select(IDC_KIND_LIST, 1).Click(IDOK);
            waitFor(driver, IDC_CLIENT_IP_LABEL);
            shot(driver, "network");
            driver.Click(IDOK);
            waitFor(driver, IDC_PORT_BUTTON);
            driver.Select(IDC_PRINTER_TYPE, 1).Click(IDC_PORT_BUTTON);
            waitFor(driver, IDC_DEVICE_PORT_LABEL);
            shot(driver, "tcp-port");
            driver.Click(IDCANCEL);
            waitFor(driver, IDC_PORT_BUTTON);
            driver.Select(IDC_PRINTER_TYPE, 0).Click(IDC_PORT_BUTTON);
            waitFor(driver, IDC_STOP_BITS_LABEL);
            shot(driver, "com-port");
            driver.Click(IDCANCEL);
            waitFor(driver, IDC_PORT_BUTTON);
            driver.Click(IDOK);  // no POS index: a message box
            driver.Then("message", [](HWND h) {
                std::string text;
                return MessageBoxText(h, text);
            });
            shot(driver, "message");
            driver.AcceptMessage();
            waitFor(driver, IDC_PORT_BUTTON);
            driver.Click(IDCANCEL);
            driver.Run([&] { SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_NEW, 0); });
            EXPECT_TRUE(driver.AllDone()) << ::testing::PrintToString(driver.m_Failures);
        }
        {
            CDialogDriver driver(25000);
            waitFor(driver, IDC_PORT_BUTTON);
            shot(driver, "source");
            driver.Click(IDCANCEL);
            driver.Run([&] {
                NMITEMACTIVATE activate = {};
                activate.hdr.hwndFrom = dialog.Item(IDC_SOURCE_LIST);
                activate.hdr.idFrom = IDC_SOURCE_LIST;
                activate.hdr.code = NM_DBLCLK;
                activate.iItem = 0;
                SendMessageA(dialog.Hwnd(), WM_NOTIFY, IDC_SOURCE_LIST, reinterpret_cast<LPARAM>(&activate));
            });
            EXPECT_TRUE(driver.AllDone()) << ::testing::PrintToString(driver.m_Failures);
        }
        {
            CDialogDriver driver(25000);
            waitFor(driver, IDC_KIND_GROUP);
            driver.Select(IDC_KIND_LIST, 2).Click(IDOK);
            waitFor(driver, IDC_CLIENT_IP_LABEL);
            shot(driver, "opos");
            driver.Click(IDCANCEL);
            waitFor(driver, IDC_KIND_GROUP);
            driver.Select(IDC_KIND_LIST, 3).Click(IDOK);
            waitFor(driver, IDC_INFO_EXAMPLE);
            shot(driver, "infogenesis");
            driver.Click(IDCANCEL);
            driver.Run([&] {
                SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_NEW, 0);
                SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_NEW, 0);
            });
            EXPECT_TRUE(driver.AllDone()) << ::testing::PrintToString(driver.m_Failures);
        }
        {
            // The main window alone; a driver with one step keeps the display drawn while import runs.
            CDialogDriver driver(25000);
            CScreenshot main(prefix + "main");
            driver.Run([&] {
                while (!main.Poll()) {
                    MSG msg;
                    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                        TranslateMessage(&msg);
                        DispatchMessageA(&msg);
                    }
                    Sleep(25);
                }
            });
            EXPECT_FALSE(main.Failed());
            written.push_back(main.UnixPath());
        }
        {
            // The details view of a source that captured a receipt.
            const std::string receipt =
                "\x1b@       CAFE CENTRAL\r\n   12 Market Street\r\n\r\nTable 4        11:42\r\n"
                "2 x Espresso       5.00\r\n1 x Croissant      2.40\r\n------------------------\r\n"
                "TOTAL              7.40\r\nCash              10.00\r\nChange             2.60\r\n\x1dV\x01";
            dialog.Engine().Deliver(0, reinterpret_cast<const uint8_t*>(receipt.data()), static_cast<int>(receipt.size()));
            ListView_SetItemState(dialog.Item(IDC_SOURCE_LIST), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
            EXPECT_EQ(bRightToLeft, IsMirrored(GetDlgItem(dialog.Hwnd(), IDC_DETAILS_PANE))) << "details";
            RedrawWindow(dialog.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            CDialogDriver driver(25000);
            CScreenshot details(prefix + "main-details");
            driver.Run([&] {
                while (!details.Poll()) {
                    MSG msg;
                    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                        TranslateMessage(&msg);
                        DispatchMessageA(&msg);
                    }
                    Sleep(25);
                }
            });
            EXPECT_FALSE(details.Failed());
            written.push_back(details.UnixPath());
        }
    }
    EXPECT_EQ(nLanguages * 10u, written.size());
    EXPECT_GT(nLanguages, 0u);
    for (const auto& path : written)
        std::printf("screenshot: %s\n", path.c_str());
    CoUninitialize();
}

// Every status a row can show, whole at the window's default size: the Status
// column is as wide as its longest text, and it is all inside the list.
TEST(DialogScreenshots, MainWindowShowsEveryStatusWholeAtItsDefaultSize)
{
    ASSERT_FALSE(ScreenshotFolder().empty()) << "TILLVOX_BIN_DIR is not set";
    const struct { const char* name; unsigned short langId; } languages[] = {
        {"en", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)},
        {"ar", MAKELANGID(LANG_ARABIC, SUBLANG_ARABIC_SAUDI_ARABIA)},
        {"zh", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)},
        {"de", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)},
        {"ru", MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA)},
        {"th", MAKELANGID(LANG_THAI, SUBLANG_THAI_THAILAND)},
    };
    const CCodePageSystemFonts codePageFonts;
    ASSERT_TRUE(codePageFonts.Applied());
    const char* const statusKeys[] = {"IDS_PTS_LISTEN_FAIL",      "IDS_PTS_FOLDER_MISSING", "IDS_PTS_WAIT_CONNECT",
                                      "IDS_PTS_CONNECTED",        "IDS_PTS_COM_SETTING_FAIL", "IDS_PTS_COM_SETTING_DONE",
                                      "IDS_RECONNECT"};
    CoInitialize(nullptr);
    const std::string only = EnvironmentValue("TILLVOX_SCREENSHOT_LANGUAGE");
    int nLanguages = 0;
    for (const auto& language : languages) {
        if (!only.empty() && only != language.name)
            continue;
        ++nLanguages;
        SCOPED_TRACE(language.name);
        CTempFolder folder;
        std::string settings = "[Main]\r\nFile Number=" + std::to_string(std::size(statusKeys)) + "\r\n";
        for (size_t i = 0; i < std::size(statusKeys); ++i)
            settings += "[Setup" + std::to_string(i + 1) + "]\r\nMonitor Type=0\r\nFile Path=C:\\POS\\till" +
                        std::to_string(i + 1) + "\\receipt.txt\r\nPOS Index=POS" + std::to_string(i + 1) +
                        "\r\nPrinter Type=TCP\r\nPort=TCP(" + std::to_string(4001 + i) + ")\r\nPassword=pw\r\n";
        WriteWholeFile(folder.File("FileMapPOS.ini"), settings);
        auto pLanguage = std::make_unique<CLanguage>(LANGUAGE_INPUTS{language.langId, ""});
        pLanguage->Load(ProgramLanguageFilePath());
        CShotDlg dialog(pLanguage.get(), folder.Path(), false, pLanguage->IsRightToLeft() != 0);
        ASSERT_NE(nullptr, dialog.CreateModeless());
        SetWindowPos(dialog.Hwnd(), nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(dialog.Hwnd(), SW_SHOW);
        for (size_t i = 0; i < std::size(statusKeys); ++i)
            dialog.Engine().PostListCell(static_cast<int>(i), 0, dialog.GetString(statusKeys[i]));

        HWND hList = dialog.Item(IDC_SOURCE_LIST);
        auto pump = [] {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        };
        // Every status in its row and the window drawn before the picture is taken.
        for (int k = 0; k < 200 && ListView_GetItemCount(hList) > 0; ++k) {
            pump();
            char last[256] = {};
            ListView_GetItemText(hList, static_cast<int>(std::size(statusKeys)) - 1, 0, last, sizeof last);
            if (pLanguage->GetString(statusKeys[std::size(statusKeys) - 1]) == last)
                break;
            Sleep(25);
        }
        RedrawWindow(dialog.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        pump();
        ExpectLettersDrawn(dialog.Hwnd(), "main-statuses");
        CDialogDriver driver(25000);
        CScreenshot shot(std::string(language.name) + "-main-statuses");
        driver.Run([&] {
            while (!shot.Poll()) {
                MSG msg;
                while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&msg);
                    DispatchMessageA(&msg);
                }
                Sleep(25);
            }
        });
        EXPECT_FALSE(shot.Failed());
        std::printf("screenshot: %s\n", shot.UnixPath().c_str());

        RECT client = {};
        GetClientRect(hList, &client);
        const int width = static_cast<int>(SendMessageA(hList, LVM_GETCOLUMNWIDTH, 0, 0));
        EXPECT_LE(width, client.right) << "the Status column lies inside the list";
        for (size_t i = 0; i < std::size(statusKeys); ++i) {
            char cell[512] = {};
            LVITEMA item = {};
            item.pszText = cell;
            item.cchTextMax = sizeof cell;
            SendMessageA(hList, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
            ASSERT_EQ(pLanguage->GetString(statusKeys[i]), cell) << statusKeys[i];
            const int textWidth = static_cast<int>(SendMessageA(hList, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(cell)));
            // A cell draws its text with a few pixels of margin on either side.
            EXPECT_LE(textWidth + 12, width) << statusKeys[i] << ": " << cell;
        }
    }
    EXPECT_GT(nLanguages, 0);
    CoUninitialize();
}
