// The main window in this process, driven by its messages.
#include "app/KassimoDlg.h"
#include "config/IniProfile.h"
#include "lang/Language.h"
#include "res/resource.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <objbase.h>

#include <thread>

namespace {

class CTestDlg : public CKassimoDlg {
public:
    using CKassimoDlg::CKassimoDlg;
    using CKassimoDlg::CautionBox;
    int CautionBox(const std::string& text, UINT nFlags) override
    {
        questions.push_back(text);
        flags.push_back(nFlags);
        return nAnswer;
    }
    std::vector<std::string> questions;
    std::vector<UINT> flags;
    int nAnswer = IDCANCEL;
};

void Pump(DWORD ms)
{
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

std::string ListCell(HWND hList, int row, int column)
{
    char text[512] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(hList, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

struct MainDialogFixture : ::testing::Test {
    CWinsockInit winsock;
    CTempFolder folder;
    std::unique_ptr<CLanguage> pLanguage;

    MainDialogFixture()
    {
        CoInitialize(nullptr);
        pLanguage = std::make_unique<CLanguage>();
        pLanguage->Load(ProgramLanguageFilePath());
    }
    ~MainDialogFixture() override
    {
        pLanguage.reset();
        CoUninitialize();
    }
    void WriteSettings(const std::string& content) { WriteWholeFile(folder.File("FileMapPOS.ini"), content); }
    std::string Text(const char* key) { return pLanguage->GetString(key); }
    static std::string TcpSection(int n, int kind, int port, const std::string& path)
    {
        return "[Setup" + std::to_string(n) + "]\r\nMonitor Type=" + std::to_string(kind) +
               "\r\nFile Path=" + path + "\r\nPOS Index=POS" + std::to_string(n) +
               "\r\nPrinter Type=TCP\r\nPort=TCP(" + std::to_string(port) + ")\r\nPassword=pw\r\nReceipt Type=0\r\n";
    }
};

}  // namespace

TEST_F(MainDialogFixture, ChangedReceiptTypeAsksForARestartAndCancelLeavesItStopped)
{
    WriteSettings("[Main]\r\nFile Number=1\r\n" + TcpSection(1, 0, FindFreeLoopbackPort(), folder.File("r.txt")));
    CTestDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    dialog.Engine().Source(0).nReceiptType = 1;

    SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_START, 0);
    ASSERT_EQ(1u, dialog.questions.size());
    EXPECT_EQ(Text("IDS_NEED_CLOSE_AP"), dialog.questions[0]);
    EXPECT_EQ(UINT(MB_OKCANCEL | MB_ICONQUESTION), dialog.flags[0]);
    EXPECT_FALSE(dialog.Engine().m_bRunning);
    char button[128] = {};
    GetDlgItemTextA(dialog.Hwnd(), IDC_START, button, sizeof button);
    EXPECT_EQ(Text("IDS_PTS_START"), button);
    EXPECT_TRUE(IsWindowEnabled(dialog.Item(IDC_NEW)));

    // OK: capture starts, and the posted close then stops it and ends the window.
    dialog.nAnswer = IDOK;
    SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_START, 0);
    EXPECT_TRUE(dialog.Engine().m_bRunning);
    Pump(500);
    EXPECT_EQ(nullptr, dialog.Hwnd());
    EXPECT_FALSE(dialog.Engine().m_bRunning);
}

TEST_F(MainDialogFixture, DeletingTheFirstOfThreeMovesTheOthersUpAndRewritesTheFile)
{
    WriteSettings("[Main]\r\nFile Number=3\r\n" + TcpSection(1, 0, 4001, "C:\\a.txt") +
                  TcpSection(2, 1, 4002, "") + TcpSection(3, 2, 4003, ""));
    CTestDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    HWND hList = dialog.Item(IDC_SOURCE_LIST);
    ASSERT_EQ(3, ListView_GetItemCount(hList));

    // Several rows selected: Delete acts on the topmost.
    ListView_SetItemState(hList, 0, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetItemState(hList, 2, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_DELETE, 0);

    ASSERT_EQ(2, ListView_GetItemCount(hList));
    EXPECT_EQ("TCP(4002)", ListCell(hList, 0, 3));
    EXPECT_EQ("TCP(4003)", ListCell(hList, 1, 3));
    EXPECT_EQ(1, dialog.Engine().m_StartKind[0]);
    EXPECT_EQ(2, dialog.Engine().m_StartKind[1]);
    EXPECT_EQ(-1, dialog.Engine().m_StartKind[2]);
    CIniProfile profile(folder.File("FileMapPOS.ini"));
    EXPECT_EQ(2, profile.GetInt("Main", "File Number", -1));
    EXPECT_EQ("TCP(4002)", profile.GetString("Setup1", "Port", "", 64));
    EXPECT_FALSE(dialog.Engine().NeedsRestart());
}

TEST_F(MainDialogFixture, RightToLeftMirrorsTheWindowAndShowsTheStoredPortForm)
{
    WriteSettings("[Main]\r\nFile Number=1\r\n[Setup1]\r\nMonitor Type=0\r\nPrinter Type=TCP\r\nPort=(TCP(4000\r\n");
    CTestDlg dialog(pLanguage.get(), folder.Path(), false, true);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    EXPECT_TRUE(GetWindowLongPtrA(dialog.Hwnd(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
    EXPECT_EQ("(TCP(4000", ListCell(dialog.Item(IDC_SOURCE_LIST), 0, 3));
    EXPECT_EQ("4000", dialog.Engine().Source(0).strPort);
}

TEST_F(MainDialogFixture, MissingLanguageFileLeavesAWorkingWindowWithEmptyTexts)
{
    CLanguage missing;
    missing.Load(folder.File("no-such.xml"));
    WriteSettings("[Main]\r\nFile Number=1\r\n[AutoExecute]\r\nAutoExecute=1\r\n" +
                  TcpSection(1, 0, FindFreeLoopbackPort(), folder.File("r.txt")));
    CTestDlg dialog(&missing, folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    char caption[128] = "x";
    GetWindowTextA(dialog.Hwnd(), caption, sizeof caption);
    EXPECT_STREQ("", caption);
    EXPECT_EQ(1, ListView_GetItemCount(dialog.Item(IDC_SOURCE_LIST)));
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dialog.Hwnd(), IDC_AUTORUN));
}

TEST_F(MainDialogFixture, StopDoesNotWaitForAWrongPasswordWarningTheUserHasNotClosed)
{
    const unsigned short port = FindFreeLoopbackPort();
    WriteSettings("[Main]\r\nFile Number=1\r\n" + TcpSection(1, 0, port, folder.File("r.txt")));
    CTestDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_START, 0);
    ASSERT_TRUE(dialog.Engine().m_bRunning);

    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(port));
    EXPECT_EQ(std::string("LinErr") + std::string(61, '\0'), recorder.Login("wrong"));
    Sleep(300);  // the link thread now waits for the warning to be closed

    SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_START, 0);  // Stop: must return although the box is pending
    EXPECT_FALSE(dialog.Engine().m_bRunning);
    Pump(300);
    ASSERT_EQ(1u, dialog.questions.size()) << "the warning is still shown once";
    EXPECT_EQ(Text("IDS_PTS_WARNING_WRONG_PASSWORD"), dialog.questions[0]);
    EXPECT_EQ("", ListCell(dialog.Item(IDC_SOURCE_LIST), 0, 0)) << "stop clears the status column";
}

TEST_F(MainDialogFixture, EveryWayOutStopsCaptureFirst)
{
    const struct { const char* way; UINT message; WPARAM wParam; bool windowEnds; } ways[] = {
        {"close box", WM_CLOSE, 0, true},
        {"Enter", WM_COMMAND, IDOK, true},
        {"Esc", WM_COMMAND, IDCANCEL, true},
        {"end of session", WM_ENDSESSION, TRUE, false},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        const unsigned short port = FindFreeLoopbackPort();
        WriteSettings("[Main]\r\nFile Number=1\r\n" + TcpSection(1, 0, port, folder.File("r.txt")));
        CTestDlg dialog(pLanguage.get(), folder.Path(), true, false);  // monitor mode: running at once
        ASSERT_NE(nullptr, dialog.CreateModeless());
        ASSERT_TRUE(dialog.Engine().m_bRunning);
        CRecorderPeer recorder;
        ASSERT_TRUE(recorder.Connect(port));
        ASSERT_EQ(67u, recorder.Login("pw").size());

        SendMessageA(dialog.Hwnd(), way.message, way.wParam, 0);
        Pump(100);
        EXPECT_FALSE(dialog.Engine().m_bRunning);
        EXPECT_TRUE(recorder.WaitPeerClose(5000)) << "the recorder's connection is closed";
        EXPECT_EQ(way.windowEnds, dialog.Hwnd() == nullptr);
    }
}

TEST_F(MainDialogFixture, SystemMenuOpensTheAboutBox)
{
    WriteSettings("");
    CTestDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    std::string versionLine;
    std::thread closer([&] {
        for (int k = 0; k < 200; ++k) {
            // The caption is there from the window's creation; wait for its controls too.
            HWND hAbout = FindWindowA(nullptr, "About Tillvox");
            if (hAbout && GetDlgItem(hAbout, IDC_ABOUT_VERSION)) {
                char text[128] = {};
                GetDlgItemTextA(hAbout, IDC_ABOUT_VERSION, text, sizeof text);
                versionLine = text;
                PostMessageA(hAbout, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(25);
        }
    });
    SendMessageA(dialog.Hwnd(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);  // returns when the box is closed
    closer.join();
    EXPECT_EQ("Kassimo Version 1.0", versionLine);
}
