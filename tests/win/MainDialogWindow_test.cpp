// The main window as a person at the shop's PC meets it: closing it while
// capture runs, keys that must not end the program, questions and notices
// with real message boxes, the wrong-password warning, and its size.
#include "app/KassimoDlg.h"
#include "base/IniProfile.h"
#include "lang/Language.h"
#include "res/resource.h"
#include "tests/support/DialogDriver.h"
#include "tests/support/MessagePump.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/SourceRecords.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WindowFixture.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>
#include <vector>

namespace {

const unsigned short ENGLISH = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

class CShellStub : public CShellNotify {
public:
    BOOL NotifyIcon(DWORD, NOTIFYICONDATAW*) override { return TRUE; }
};

// The question on closing answered as the test says; every box shown is recorded.
class CAnsweringDlg : public CKassimoDlg {
public:
    CAnsweringDlg(CLanguage* pLanguage, const std::string& folder, bool bMonitor)
        : CKassimoDlg(pLanguage, folder, bMonitor, false)
    {
        TrayIcon().SetShell(&shell);
    }
    ~CAnsweringDlg() override
    {
        if (Hwnd())
            DestroyWindow(Hwnd());
    }
    using CKassimoDlg::CautionBox;
    int CautionBox(const std::string& text, UINT nFlags) override
    {
        questions.push_back(text);
        flags.push_back(nFlags);
        return nAnswer;
    }
    int NoticeBox(const std::string& text, UINT nFlags) override
    {
        notices.push_back(text);
        flags.push_back(nFlags);
        return nAnswer;
    }
    CShellStub shell;
    std::vector<std::string> questions;
    std::vector<std::string> notices;
    std::vector<UINT> flags;
    int nAnswer = IDNO;
};

RECT ChildRect(HWND hDialog, int nId)
{
    RECT rect = {};
    GetWindowRect(GetDlgItem(hDialog, nId), &rect);
    MapWindowPoints(nullptr, hDialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

struct MainWindowFixture : CWindowFixture {
    CWinsockInit winsock;
    CDialogDriver driver;

    MainWindowFixture() : CWindowFixture(LANGUAGE_INPUTS{ENGLISH, ""}) {}
    // One TCP source, running from the start (monitor mode), with a recorder logged in.
    void StartOneSource(std::unique_ptr<CAnsweringDlg>& pDialog, CRecorderPeer& recorder, unsigned short& port)
    {
        port = FindFreeLoopbackPort();
        WriteSettings("[Main]\r\nFile Number=1\r\n" + TcpSourceSection(1, 0, port, folder.File("r.txt")));
        pDialog = std::make_unique<CAnsweringDlg>(pLanguage.get(), folder.Path(), true);
        ASSERT_NE(nullptr, pDialog->CreateModeless());
        ASSERT_TRUE(pDialog->Engine().IsRunning());
        ASSERT_TRUE(recorder.Connect(port));
        ASSERT_EQ(67u, recorder.Login("pw").size());
    }
};

}  // namespace

// The close box, Alt+F4 and the system menu's Close reach the window as
// SC_CLOSE; a person who closes the window to tidy up keeps every till.
TEST_F(MainWindowFixture, UsersCloseWhileCapturingAsksAndKeepingCaptureHidesTheWindow)
{
    const struct { const char* way; UINT message; WPARAM wParam; LPARAM lParam; } ways[] = {
        {"close box", WM_SYSCOMMAND, SC_CLOSE, 0},
        {"Alt+F4", WM_SYSKEYDOWN, VK_F4, 0x20000000},  // the Alt bit: the default handling makes it SC_CLOSE
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        std::unique_ptr<CAnsweringDlg> pDialog;
        CRecorderPeer recorder;
        unsigned short port = 0;
        StartOneSource(pDialog, recorder, port);
        ShowWindow(pDialog->Hwnd(), SW_SHOW);

        pDialog->nAnswer = IDNO;
        SendMessageA(pDialog->Hwnd(), way.message, way.wParam, way.lParam);
        Pump(100);
        ASSERT_EQ(1u, pDialog->questions.size());
        EXPECT_EQ(Text("IDS_PTS_CLOSE_WHILE_CAPTURING"), pDialog->questions[0]);
        EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), pDialog->flags[0]) << "No, keep capturing, is the default";
        ASSERT_NE(nullptr, pDialog->Hwnd()) << "the window stays";
        EXPECT_FALSE(IsWindowVisible(pDialog->Hwnd())) << "it is hidden in the tray";
        EXPECT_TRUE(pDialog->TrayIcon().IsAdded());
        EXPECT_TRUE(pDialog->Engine().IsRunning());
        const std::string receipt = "after the close box";
        pDialog->Engine().Deliver(0, reinterpret_cast<const uint8_t*>(receipt.data()), static_cast<int>(receipt.size()));
        EXPECT_EQ(receipt.size(), recorder.ReceiveUpTo(receipt.size(), 5000).size()) << "the recorder still gets text";

        pDialog->nAnswer = IDYES;
        SendMessageA(pDialog->Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
        Pump(100);
        EXPECT_EQ(2u, pDialog->questions.size());
        EXPECT_EQ(nullptr, pDialog->Hwnd()) << "Yes stops capturing and ends the window";
        EXPECT_FALSE(pDialog->Engine().IsRunning());
        EXPECT_TRUE(recorder.WaitPeerClose(5000));
    }
}

TEST_F(MainWindowFixture, KeysDoNotEndTheProgramOtherProgramsAndTheTrayDoAtOnce)
{
    const struct { const char* way; UINT message; WPARAM wParam; bool windowEnds; } ways[] = {
        {"Esc", WM_COMMAND, IDCANCEL, false},
        {"Enter", WM_COMMAND, IDOK, false},
        {"close posted by another program", WM_CLOSE, 0, true},
        {"Exit in the tray menu", WM_COMMAND, IDM_TRAY_EXIT, true},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        std::unique_ptr<CAnsweringDlg> pDialog;
        CRecorderPeer recorder;
        unsigned short port = 0;
        StartOneSource(pDialog, recorder, port);

        PostMessageA(pDialog->Hwnd(), way.message, way.wParam, 0);
        Pump(100);
        EXPECT_TRUE(pDialog->questions.empty()) << "nobody is asked";
        EXPECT_EQ(way.windowEnds, pDialog->Hwnd() == nullptr);
        EXPECT_EQ(!way.windowEnds, pDialog->Engine().IsRunning());
        if (way.windowEnds) {
            EXPECT_TRUE(recorder.WaitPeerClose(5000)) << "the recorder's connection is closed";
        }
    }
}

TEST_F(MainWindowFixture, ClosingAStoppedWindowAsksNothing)
{
    WriteSettings("[Main]\r\nFile Number=1\r\n" + TcpSourceSection(1, 0, FindFreeLoopbackPort(), folder.File("r.txt")));
    CAnsweringDlg dialog(pLanguage.get(), folder.Path(), false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    SendMessageA(dialog.Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(dialog.questions.empty());
    EXPECT_EQ(nullptr, dialog.Hwnd());
}

TEST_F(MainWindowFixture, StartWithNoSourcesSaysThereIsNothingToStart)
{
    WriteSettings("");
    CAnsweringDlg dialog(pLanguage.get(), folder.Path(), false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_START, 0);
    EXPECT_EQ(std::vector<std::string>{Text("IDS_PTS_NOTHING_TO_START")}, dialog.notices);
    EXPECT_FALSE(dialog.Engine().IsRunning());
    EXPECT_EQ(Text("IDS_PTS_START"), ControlText(dialog.Hwnd(), IDC_START)) << "the button still offers Start";
    EXPECT_TRUE(IsWindowEnabled(dialog.Item(IDC_NEW)));
}

// Real message boxes: their caption and text as a person reads them.
TEST_F(MainWindowFixture, ModifyAndDeleteWithoutASelectionSayWhatToSelectInATitledBox)
{
    WriteSettings("[Main]\r\nFile Number=1\r\n" + TcpSourceSection(1, 0, 4001, "C:\\a.txt"));
    CKassimoDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    for (int button : {IDC_MODIFY, IDC_DELETE}) {
        SCOPED_TRACE(button);
        std::string caption;
        CDialogDriver boxes;
        boxes.Then("read the caption", [&caption](HWND h) {
            std::string text;
            if (!MessageBoxText(h, text))
                return false;
            caption = WindowTextOf(h);
            return true;
        });
        boxes.AcceptMessage();
        boxes.Run([&] { SendMessageA(dialog.Hwnd(), WM_COMMAND, button, 0); });
        EXPECT_TRUE(boxes.AllDone()) << (boxes.m_Failures.empty() ? "" : boxes.m_Failures[0]);
        EXPECT_EQ(std::vector<std::string>{Text("IDS_PTS_SELECT_ONE_ITEM")}, boxes.m_Messages);
        EXPECT_EQ(Text("IDS_PTS_DLG_NAME"), caption);
        EXPECT_FALSE(caption.empty());
    }
    EXPECT_EQ(1, ListView_GetItemCount(dialog.Item(IDC_SOURCE_LIST)));
}

TEST_F(MainWindowFixture, DeleteAsksNamingTheSourceAndRemovesItsSectionFromTheFile)
{
    WriteSettings("[Main]\r\nFile Number=2\r\n[AutoExecute]\r\nAutoExecute=0\r\n" + TcpSourceSection(1, 0, 4001, "C:\\a.txt") +
                  TcpSourceSection(2, 0, 4002, "C:\\b.txt"));
    CKassimoDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    HWND hList = dialog.Item(IDC_SOURCE_LIST);
    ListView_SetItemState(hList, 0, LVIS_SELECTED, LVIS_SELECTED);

    for (int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer);
        std::string question;
        int nDefault = 0;
        CDialogDriver boxes;
        boxes.Then("answer", [&, answer](HWND h) {
            if (!MessageBoxText(h, question))
                return false;
            nDefault = DefaultButton(h);
            PostClick(h, answer);
            return true;
        });
        boxes.Run([&] { SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_DELETE, 0); });
        EXPECT_TRUE(boxes.AllDone());
        EXPECT_NE(std::string::npos, question.find("POS1")) << question;
        EXPECT_NE(std::string::npos, question.find("C:\\a.txt")) << question;
        EXPECT_EQ(IDNO, nDefault) << "deleting is never the default";
        EXPECT_EQ(answer == IDNO ? 2 : 1, ListView_GetItemCount(hList));
    }
    EXPECT_EQ("C:\\b.txt", ListCell(hList, 0, 1));
    CIniProfile profile(SettingsPath());
    EXPECT_EQ(1, profile.GetInt("Main", "File Number", -1));
    EXPECT_EQ("C:\\b.txt", profile.GetString("Setup1", "File Path", "", 64));
    EXPECT_EQ("<none>", profile.GetString("Setup2", "Port", "<none>", 64));
    EXPECT_EQ(std::string::npos, ReadWholeFile(SettingsPath()).find("[Setup2]")) << "no section of a source that is gone";
    EXPECT_EQ("0", profile.GetString("AutoExecute", "AutoExecute", "", 8)) << "other sections stay";
}

TEST_F(MainWindowFixture, WrongPasswordWarningNamesTheSourceAndItsPort)
{
    const unsigned short port1 = FindFreeLoopbackPort(), port2 = FindFreeLoopbackPort();
    WriteSettings("[Main]\r\nFile Number=2\r\n" + TcpSourceSection(1, 0, port1, folder.File("a.txt")) +
                  TcpSourceSection(2, 0, port2, folder.File("b.txt")));
    CAnsweringDlg dialog(pLanguage.get(), folder.Path(), true);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ASSERT_TRUE(dialog.Engine().IsRunning());
    CRecorderPeer intruder;
    ASSERT_TRUE(intruder.Connect(port2));
    ASSERT_EQ(std::string("LinErr") + std::string(61, '\0'), intruder.Login("wrong"));
    for (int k = 0; k < 100 && dialog.questions.empty(); ++k)
        Pump(50);
    ASSERT_EQ(1u, dialog.questions.size());
    const std::string& text = dialog.questions[0];
    EXPECT_EQ(0u, text.find(Text("IDS_PTS_WARNING_WRONG_PASSWORD"))) << text;
    EXPECT_NE(std::string::npos, text.find("POS2")) << text;
    EXPECT_NE(std::string::npos, text.find(std::to_string(port2))) << text;
    EXPECT_EQ(std::string::npos, text.find("POS1")) << text;
}

TEST_F(MainWindowFixture, WindowGrowsWithTheListAndKeepsItsSizeInTheSettingsFile)
{
    const std::string sources = "[Main]\r\nFile Number=1\r\n" + TcpSourceSection(1, 0, 4001, "C:\\a.txt");
    WriteSettings(sources);
    RECT before = {}, list = {}, start = {}, autoRun = {};
    {
        CAnsweringDlg dialog(pLanguage.get(), folder.Path(), false);
        ASSERT_NE(nullptr, dialog.CreateModeless());
        const LONG_PTR style = GetWindowLongPtrA(dialog.Hwnd(), GWL_STYLE);
        EXPECT_TRUE(style & WS_THICKFRAME) << "the frame can be dragged";
        EXPECT_TRUE(style & WS_MAXIMIZEBOX);
        GetWindowRect(dialog.Hwnd(), &before);
        list = ChildRect(dialog.Hwnd(), IDC_SOURCE_LIST);
        start = ChildRect(dialog.Hwnd(), IDC_START);
        autoRun = ChildRect(dialog.Hwnd(), IDC_AUTORUN);

        MINMAXINFO limits = {};
        SendMessageA(dialog.Hwnd(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
        EXPECT_EQ(before.right - before.left, limits.ptMinTrackSize.x) << "never smaller than it opens";
        EXPECT_EQ(before.bottom - before.top, limits.ptMinTrackSize.y);

        // As the end of a drag on the frame leaves it.
        SetWindowPos(dialog.Hwnd(), nullptr, 0, 0, before.right - before.left + 200, before.bottom - before.top + 100,
                     SWP_NOMOVE | SWP_NOZORDER);
        SendMessageA(dialog.Hwnd(), WM_EXITSIZEMOVE, 0, 0);
        const RECT grownList = ChildRect(dialog.Hwnd(), IDC_SOURCE_LIST);
        EXPECT_EQ(list.right - list.left + 200, grownList.right - grownList.left);
        EXPECT_EQ(list.bottom - list.top + 100, grownList.bottom - grownList.top);
        EXPECT_EQ(start.left + 200, ChildRect(dialog.Hwnd(), IDC_START).left) << "Start stays at the right edge";
        EXPECT_EQ(autoRun.top + 100, ChildRect(dialog.Hwnd(), IDC_AUTORUN).top) << "the box stays at the bottom";
    }
    CIniProfile profile(SettingsPath());
    EXPECT_EQ(before.right - before.left + 200, profile.GetInt("Window", "Width", 0));
    EXPECT_EQ(before.bottom - before.top + 100, profile.GetInt("Window", "Height", 0));
    EXPECT_EQ(0u, ReadWholeFile(SettingsPath()).find(sources)) << "the sources' keys stay as they were";

    CAnsweringDlg again(pLanguage.get(), folder.Path(), false);
    ASSERT_NE(nullptr, again.CreateModeless());
    RECT reopened = {};
    GetWindowRect(again.Hwnd(), &reopened);
    EXPECT_EQ(before.right - before.left + 200, reopened.right - reopened.left) << "opens at the kept size";
    EXPECT_EQ(list.right - list.left + 200, ChildRect(again.Hwnd(), IDC_SOURCE_LIST).right - ChildRect(again.Hwnd(), IDC_SOURCE_LIST).left);
}

TEST_F(MainWindowFixture, AWindowNeverResizedLeavesTheSettingsFileAsItWas)
{
    const std::string content = "[Main]\r\nFile Number=1\r\n" + TcpSourceSection(1, 0, 4001, "C:\\a.txt");
    WriteSettings(content);
    {
        CAnsweringDlg dialog(pLanguage.get(), folder.Path(), false);
        ASSERT_NE(nullptr, dialog.CreateModeless());
    }
    EXPECT_EQ(content, ReadWholeFile(SettingsPath()));
}

TEST_F(MainWindowFixture, StatusColumnFitsEveryStatusAndATipShowsARowsWholeStatus)
{
    const unsigned short port = FindFreeLoopbackPort();
    WriteSettings("[Main]\r\nFile Number=1\r\n" + TcpSourceSection(1, 0, port, folder.File("r.txt")));
    CAnsweringDlg dialog(pLanguage.get(), folder.Path(), false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    HWND hList = dialog.Item(IDC_SOURCE_LIST);
    const int width = static_cast<int>(SendMessageA(hList, LVM_GETCOLUMNWIDTH, 0, 0));
    for (const char* key : {"IDS_PTS_LISTEN_FAIL", "IDS_PTS_FOLDER_MISSING", "IDS_PTS_WAIT_CONNECT", "IDS_PTS_CONNECTED",
                            "IDS_PTS_COM_SETTING_FAIL", "IDS_PTS_COM_SETTING_DONE"}) {
        const std::string text = Text(key);
        EXPECT_LT(SendMessageA(hList, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str())), width) << key;
    }
    // A status no list of texts foresaw widens the column as it arrives.
    const std::string unforeseen = "A status text that is much longer than any the program shows today";
    dialog.Engine().PostListCell(0, 0, unforeseen);
    Pump(100);
    ASSERT_EQ(unforeseen, ListCell(hList, 0, 0));
    EXPECT_LT(SendMessageA(hList, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(unforeseen.c_str())),
              SendMessageA(hList, LVM_GETCOLUMNWIDTH, 0, 0));

    EXPECT_TRUE(SendMessageA(hList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_INFOTIP);
    char tip[64] = "unchanged";
    NMLVGETINFOTIPA request = {};
    request.hdr.hwndFrom = hList;
    request.hdr.idFrom = IDC_SOURCE_LIST;
    request.hdr.code = LVN_GETINFOTIPA;
    request.pszText = tip;
    request.cchTextMax = sizeof tip;
    request.iItem = 0;
    request.iSubItem = 3;  // the pointer rests on the Port cell
    SendMessageA(dialog.Hwnd(), WM_NOTIFY, IDC_SOURCE_LIST, reinterpret_cast<LPARAM>(&request));
    EXPECT_EQ(unforeseen.substr(0, sizeof tip - 1), std::string(tip)) << "as much of the status as the tip holds";
}
