// The main window in this process, driven by its messages.
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
#include "tests/support/TopWindows.h"
#include "tests/support/WindowFixture.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <iterator>
#include <thread>
#include <vector>

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
    int NoticeBox(const std::string&, UINT) override { return IDYES; }
    std::vector<std::string> questions;
    std::vector<UINT> flags;
    int nAnswer = IDCANCEL;
};

// Waits (at most ten seconds) until a message posted by another thread waits in
// the queue of hWnd's thread, the caller's; leaves it there.
bool WaitForPosted(HWND hWnd, UINT message)
{
    MSG msg;
    for (int k = 0; k < 1000; ++k) {
        if (PeekMessageA(&msg, hWnd, message, message, PM_NOREMOVE))
            return true;
        Sleep(10);
    }
    return false;
}

// A window of the calling thread that marks when a message posted to it is
// handled: everything posted to the thread before it has been handled then.
class CQueueMarker {
public:
    CQueueMarker()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TillvoxTestQueueMarker";
        RegisterClassA(&wc);
        m_hWnd = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~CQueueMarker() { DestroyWindow(m_hWnd); }
    CQueueMarker(const CQueueMarker&) = delete;
    CQueueMarker& operator=(const CQueueMarker&) = delete;

    // From any thread.
    void Post() { PostMessageA(m_hWnd, WM_APP, 0, 0); }
    bool WaitHandled()
    {
        for (int k = 0; k < 1000 && !m_bHandled; ++k)
            Sleep(10);
        return m_bHandled;
    }

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_APP)
            reinterpret_cast<CQueueMarker*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA))->m_bHandled = true;
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
    HWND m_hWnd = nullptr;
    std::atomic<bool> m_bHandled{false};
};

struct MainDialogFixture : CWindowFixture {
    CWinsockInit winsock;
};

}  // namespace

TEST_F(MainDialogFixture, ChangedReceiptTypeAsksForARestartAndCancelLeavesItStopped)
{
    WriteSettings("[Main]\r\nFile Number=1\r\n" + TcpSourceSection(1, 0, FindFreeLoopbackPort(), folder.File("r.txt")));
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
    WriteSettings("[Main]\r\nFile Number=3\r\n" + TcpSourceSection(1, 0, 4001, "C:\\a.txt") +
                  TcpSourceSection(2, 1, 4002, "") + TcpSourceSection(3, 2, 4003, ""));
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
                  TcpSourceSection(1, 0, FindFreeLoopbackPort(), folder.File("r.txt")));
    CTestDlg dialog(&missing, folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    char caption[128] = "x";
    GetWindowTextA(dialog.Hwnd(), caption, sizeof caption);
    EXPECT_STREQ("", caption);
    EXPECT_EQ(1, ListView_GetItemCount(dialog.Item(IDC_SOURCE_LIST)));
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog.Hwnd(), IDC_AUTORUN));
}

TEST_F(MainDialogFixture, StopDoesNotWaitForAWrongPasswordWarningTheUserHasNotClosed)
{
    const unsigned short port = FindFreeLoopbackPort();
    WriteSettings("[Main]\r\nFile Number=1\r\n" + TcpSourceSection(1, 0, port, folder.File("r.txt")));
    CTestDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_START, 0);
    ASSERT_TRUE(dialog.Engine().m_bRunning);

    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(port));
    EXPECT_EQ(std::string("LinErr") + std::string(61, '\0'), recorder.Login("wrong"));
    ASSERT_TRUE(WaitForPosted(dialog.Hwnd(), WM_CAUTION_BOX)) << "the warning is on its way to the window";
    ASSERT_TRUE(dialog.questions.empty());

    SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_START, 0);  // Stop: must return although the box is pending
    EXPECT_FALSE(dialog.Engine().m_bRunning);
    PumpUntil([&] { return !dialog.questions.empty(); });
    PumpWaiting();
    ASSERT_EQ(1u, dialog.questions.size()) << "the warning is still shown once";
    EXPECT_EQ(0u, dialog.questions[0].find(Text("IDS_PTS_WARNING_WRONG_PASSWORD"))) << dialog.questions[0];
    EXPECT_EQ("", ListCell(dialog.Item(IDC_SOURCE_LIST), 0, 0)) << "stop clears the status column";
}

// The real message box, not a stand-in: while the wrong-password warning waits
// for a person, the genuine recorder must still log in and get the receipt, and
// further wrong logins raise no second box for the same source.
TEST_F(MainDialogFixture, WrongPasswordWarningHoldsNeitherTheLinkNorMoreThanOneBox)
{
    const unsigned short port = FindFreeLoopbackPort();
    WriteSettings("[Main]\r\nFile Number=1\r\n" + TcpSourceSection(1, 0, port, folder.File("r.txt")));
    CKassimoDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_START, 0);
    ASSERT_TRUE(dialog.Engine().IsRunning());
    const std::string caption = Text("IDS_CAUTION");
    const std::string receipt = "receipt while the warning is open";

    CQueueMarker marker;
    std::string received;
    int nBoxesSeen = 0;
    bool bBoxWasOpen = false;
    std::thread user([&] {
        HWND hBox = nullptr;
        for (const char* junk : {"junk", "junk again"}) {  // the second while the first box is open
            CRecorderPeer intruder;
            if (!intruder.Connect(port) || intruder.Login(junk).substr(0, 6) != "LinErr")
                return;
            for (int k = 0; k < 200 && !hBox; ++k, Sleep(25))
                hBox = FindWindowA("#32770", caption.c_str());
            bBoxWasOpen = hBox != nullptr;
        }
        dialog.Engine().Deliver(0, reinterpret_cast<const uint8_t*>(receipt.data()), static_cast<int>(receipt.size()));
        CRecorderPeer genuine;
        if (genuine.Connect(port) && genuine.Login("pw").size() == 67)
            received = genuine.ReceiveUpTo(receipt.size(), 5000);
        // The link raised any warning for the junk before it took the genuine
        // login; posted messages are handled in order, so once the marker is
        // handled a second box would be open.
        marker.Post();
        const bool bMarkerHandled = marker.WaitHandled();
        const std::vector<HWND> boxes = VisibleTopWindowsCaptioned(caption);
        nBoxesSeen = bMarkerHandled ? static_cast<int>(boxes.size()) : -1;
        // Every box is closed, a second one too, so that a failure ends the test.
        for (HWND h : boxes)
            PostMessageA(h, WM_COMMAND, IDOK, 0);
        if (hBox && boxes.empty())
            PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    });
    // The user-interface thread shows the box in its own modal loop inside this pump.
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 15000 && received.size() < receipt.size())
        Pump(50);
    user.join();
    Pump(200);
    EXPECT_TRUE(bBoxWasOpen) << "the warning is shown";
    EXPECT_EQ(1, nBoxesSeen) << "one warning per source at a time (-1: the window's thread handled nothing)";
    std::string swapped = receipt;
    for (char& c : swapped) c = static_cast<char>(((static_cast<uint8_t>(c) & 0x0F) << 4) | (static_cast<uint8_t>(c) >> 4));
    EXPECT_EQ(swapped, received) << "the genuine recorder logged in and got the receipt while the box was open";
    SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_START, 0);
    EXPECT_FALSE(dialog.Engine().IsRunning());
}

// With no language file the Start and Stop texts are both empty, and both
// printer-type texts too: the button must follow the running state, and a TCP
// output must stay a TCP output, in the program and in the settings file.
TEST_F(MainDialogFixture, MissingLanguageFileStartsStopsAndKeepsTcpOutputs)
{
    CLanguage missing;
    missing.Load(folder.File("no-such.xml"));
    const unsigned short port = FindFreeLoopbackPort();
    WriteSettings("[Main]\r\nFile Number=2\r\n" + TcpSourceSection(1, 0, FindFreeLoopbackPort(), folder.File("a.txt")) +
                  TcpSourceSection(2, 0, port, folder.File("b.txt")));
    CTestDlg dialog(&missing, folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_START, 0);
        ASSERT_TRUE(dialog.Engine().IsRunning()) << "the first click starts";
        CRecorderPeer recorder;
        ASSERT_TRUE(recorder.Connect(port)) << "the TCP output listens";
        EXPECT_EQ(67u, recorder.Login("pw").size());
        SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_START, 0);
        EXPECT_FALSE(dialog.Engine().IsRunning()) << "the second click stops, it does not start again";
        EXPECT_TRUE(recorder.WaitPeerClose(5000));
    }

    ListView_SetItemState(dialog.Item(IDC_SOURCE_LIST), 0, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_DELETE, 0);
    char printer[32] = {};
    GetPrivateProfileStringA("Setup1", "Printer Type", "", printer, sizeof printer, folder.File("FileMapPOS.ini").c_str());
    EXPECT_STREQ("TCP", printer) << "the settings file keeps its word for the printer type";
}

TEST_F(MainDialogFixture, EveryWayOutStopsCaptureFirst)
{
    const struct { const char* way; UINT message; WPARAM wParam; bool windowEnds; } ways[] = {
        {"close box", WM_CLOSE, 0, true},
        {"end of session", WM_ENDSESSION, TRUE, false},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        const unsigned short port = FindFreeLoopbackPort();
        WriteSettings("[Main]\r\nFile Number=1\r\n" + TcpSourceSection(1, 0, port, folder.File("r.txt")));
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

TEST_F(MainDialogFixture, SystemMenuOpensTheAboutBoxCaptionedInTheLanguage)
{
    WriteSettings("");
    // Written out here rather than read from the language file: the caption
    // must be the file's text in that language, letter for letter, under the
    // prefix's Western code page.
    const struct { unsigned short nLangId; const wchar_t* pszCaption; } cases[] = {
        {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"About Tillvox"},
        {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), L"Info \u00fcber Tillvox"},
        {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), L"\u5173\u4e8e Tillvox"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nLangId);
        CLanguage language(LANGUAGE_INPUTS{c.nLangId, ""});
        ASSERT_TRUE(language.Load(ProgramLanguageFilePath()));
        CTestDlg dialog(&language, folder.Path(), false, false);
        ASSERT_NE(nullptr, dialog.CreateModeless());
        std::string versionLine;
        std::thread closer([&] {
            for (int k = 0; k < 200; ++k) {
                // The caption is there from the window's creation; wait for its controls too.
                HWND hAbout = FindWindowW(nullptr, c.pszCaption);
                char text[128] = {};
                // Found while it is still being made, its line may not be there yet.
                if (hAbout && GetDlgItemTextA(hAbout, IDC_ABOUT_VERSION, text, sizeof text) > 0) {
                    versionLine = text;
                    PostMessageA(hAbout, WM_COMMAND, IDOK, 0);
                    return;
                }
                Sleep(25);
            }
            // Not found by its caption: close whatever box the window owns, so the test ends.
            HWND hOwned = GetWindow(GetDesktopWindow(), GW_CHILD);
            for (; hOwned; hOwned = GetWindow(hOwned, GW_HWNDNEXT))
                if (GetWindow(hOwned, GW_OWNER) == dialog.Hwnd())
                    PostMessageA(hOwned, WM_COMMAND, IDOK, 0);
        });
        SendMessageA(dialog.Hwnd(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);  // returns when the box is closed
        closer.join();
        EXPECT_EQ("Kassimo Version 1.0", versionLine) << "the box was not found by its caption";
    }
}

namespace {

// The row of the details view that shows a counter, by the row's label key.
int DetailsRowOf(const char* key)
{
    const char* const keys[] = {"IDS_DETAILS_RECEIPTS",     "IDS_DETAILS_CAPTURED",          "IDS_DETAILS_SENT",
                                "IDS_DETAILS_ACKNOWLEDGED", "IDS_DETAILS_QUEUED",            "IDS_DETAILS_DROPPED",
                                "IDS_DETAILS_RECONNECTS",   "IDS_DETAILS_REFUSED_PASSWORD",  "IDS_DETAILS_REFUSED_JUNK",
                                "IDS_DETAILS_REFUSED_TILL", "IDS_DETAILS_LAST_RECEIPT_TIME", "IDS_DETAILS_LAST_ACK_TIME",
                                "IDS_DETAILS_RECORDER"};
    for (int row = 0; row < static_cast<int>(std::size(keys)); ++row) {
        if (std::string(keys[row]) == key)
            return row;
    }
    return -1;
}

std::string Utf8FromAnsiBytes(const std::string& text)
{
    const int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &w[0], wide);
    const int count = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, &out[0], count, nullptr, nullptr);
    return out;
}

std::string ClockNow()
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    char text[32] = {};
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

std::string Filled(std::string text, const std::string& value)
{
    const size_t at = text.find("%1");
    return at == std::string::npos ? text : text.replace(at, 2, value);
}

// Counts what is set on the details view's controls and how often its timer came.
struct SET_COUNTS {
    int nSets = 0;
    int nTicks = 0;
};

LRESULT CALLBACK CountSets(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    SET_COUNTS* pCounts = reinterpret_cast<SET_COUNTS*>(data);
    if (message == WM_SETTEXT || message == LVM_SETITEMTEXTW || message == LVM_SETITEMTEXTA)
        ++pCounts->nSets;
    if (message == WM_TIMER)
        ++pCounts->nTicks;
    return DefSubclassProc(hWnd, message, wParam, lParam);
}

}  // namespace

// Receipts into two file sources, no recorder: the details view shows the
// selected row's counts and its last receipt as the till sent it, and another
// row's when another is selected.
TEST_F(MainDialogFixture, DetailsShowTheSelectedSourcesCountsAndLastReceipt)
{
    const std::string fileA = folder.File("a.txt"), fileB = folder.File("b.txt");
    WriteWholeFile(fileA, "");
    WriteWholeFile(fileB, "");
    WriteSettings("[Main]\r\nFile Number=2\r\n" + TcpSourceSection(1, 0, FindFreeLoopbackPort(), fileA) +
                  TcpSourceSection(2, 0, FindFreeLoopbackPort(), fileB));
    CTestDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ShowWindow(dialog.Hwnd(), SW_SHOWNOACTIVATE);  // a hidden view is not refreshed
    HWND hMain = dialog.Hwnd();
    HWND hList = dialog.Item(IDC_SOURCE_LIST);
    ASSERT_NE(nullptr, DetailsPane(hMain));
    const int receipts = DetailsRowOf("IDS_DETAILS_RECEIPTS"), captured = DetailsRowOf("IDS_DETAILS_CAPTURED"),
              lastTime = DetailsRowOf("IDS_DETAILS_LAST_RECEIPT_TIME"), recorder = DetailsRowOf("IDS_DETAILS_RECORDER"),
              dropped = DetailsRowOf("IDS_DETAILS_DROPPED");
    for (const char* key : {"IDS_DETAILS_RECEIPTS", "IDS_DETAILS_CAPTURED", "IDS_DETAILS_LAST_RECEIPT_TIME",
                            "IDS_DETAILS_RECORDER", "IDS_DETAILS_DROPPED"})
        EXPECT_EQ(Text(key), DetailsLabel(hMain, DetailsRowOf(key))) << key;

    // Nothing selected: the view says how to use it.
    EXPECT_EQ(Text("IDS_DETAILS_NO_SOURCE"), DetailsText(hMain, IDC_DETAILS_TITLE));
    EXPECT_EQ("", DetailsValue(hMain, receipts));
    EXPECT_EQ("", DetailsText(hMain, IDC_RECEIPT_VIEW));

    // A source that captured nothing yet.
    SelectOnlyRow(hList, 0);
    EXPECT_EQ(Filled(Text("IDS_DETAILS_TITLE"), "POS1"), DetailsText(hMain, IDC_DETAILS_TITLE));
    EXPECT_EQ("0", DetailsValue(hMain, receipts));
    EXPECT_EQ(Filled(Text("IDS_DETAILS_BYTES"), "0"), DetailsValue(hMain, captured));
    EXPECT_EQ(Text("IDS_DETAILS_NEVER"), DetailsValue(hMain, lastTime));
    EXPECT_EQ(Text("IDS_DETAILS_NO_RECORDER"), DetailsValue(hMain, recorder));
    EXPECT_EQ(Text("IDS_DETAILS_NO_RECEIPT"), DetailsText(hMain, IDC_RECEIPT_LABEL));
    EXPECT_EQ("", DetailsText(hMain, IDC_RECEIPT_VIEW));

    SendMessageA(hMain, WM_COMMAND, IDC_START, 0);
    ASSERT_TRUE(dialog.Engine().IsRunning());
    const std::string receiptA = "TOTAL 4.50\r\nThank you\r\n";
    const std::string receiptB = std::string("\x1b@Caf\xe9 2.00\n\x1dV");
    const std::string before = ClockNow();
    AppendToFile(fileA, receiptA);
    AppendToFile(fileB, receiptB);
    ASSERT_TRUE(PumpUntil([&] { return DetailsValue(hMain, receipts) == "1"; })) << "the view follows the capture";
    const std::string after = ClockNow();
    EXPECT_EQ(Filled(Text("IDS_DETAILS_BYTES"), "24"), DetailsValue(hMain, captured)) << "23 and the zero";
    EXPECT_EQ(Filled(Text("IDS_DETAILS_BYTES"), "0"), DetailsValue(hMain, dropped));
    const std::string shownTime = DetailsValue(hMain, lastTime);
    EXPECT_TRUE(before <= shownTime && shownTime <= after) << before << " <= " << shownTime << " <= " << after;
    // A file source hands each piece over with the zero byte that ends it for the recorder.
    ASSERT_TRUE(PumpUntil([&] { return DetailsText(hMain, IDC_RECEIPT_VIEW) == receiptA + "<NUL>"; }))
        << DetailsText(hMain, IDC_RECEIPT_VIEW);
    EXPECT_EQ(Text("IDS_DETAILS_LAST_RECEIPT"), DetailsText(hMain, IDC_RECEIPT_LABEL));

    // The other row: its own receipt, its control bytes named, its letters in the code page.
    SelectOnlyRow(hList, 1);
    EXPECT_EQ(Filled(Text("IDS_DETAILS_TITLE"), "POS2"), DetailsText(hMain, IDC_DETAILS_TITLE));
    ASSERT_TRUE(PumpUntil([&] { return DetailsValue(hMain, receipts) == "1"; }));
    EXPECT_EQ(Filled(Text("IDS_DETAILS_BYTES"), "15"), DetailsValue(hMain, captured));
    const std::string shownB = "<ESC>@Caf" + Utf8FromAnsiBytes("\xe9") + " 2.00\r\n<GS>V<NUL>";
    EXPECT_TRUE(PumpUntil([&] { return DetailsText(hMain, IDC_RECEIPT_VIEW) == shownB; }))
        << DetailsText(hMain, IDC_RECEIPT_VIEW);

    // A second receipt of the first source shows when its row is selected again.
    const std::string secondA = "SUBTOTAL 9.00\r\n";
    AppendToFile(fileA, secondA);
    ASSERT_TRUE(PumpUntil([&] { return dialog.Engine().Queue(0).Counters().Snapshot().nReceiptsCaptured == 2; }));
    PumpWaiting();
    EXPECT_EQ(shownB, DetailsText(hMain, IDC_RECEIPT_VIEW)) << "the selected row's receipt stays";
    SelectOnlyRow(hList, 0);
    EXPECT_EQ("2", DetailsValue(hMain, receipts));
    EXPECT_EQ(Filled(Text("IDS_DETAILS_BYTES"), "40"), DetailsValue(hMain, captured));
    EXPECT_TRUE(PumpUntil([&] { return DetailsText(hMain, IDC_RECEIPT_VIEW) == secondA + "<NUL>"; }))
        << DetailsText(hMain, IDC_RECEIPT_VIEW);

    SelectOnlyRow(hList, -1);
    EXPECT_EQ(Text("IDS_DETAILS_NO_SOURCE"), DetailsText(hMain, IDC_DETAILS_TITLE));
    EXPECT_EQ("", DetailsValue(hMain, receipts));
    EXPECT_EQ("", DetailsText(hMain, IDC_RECEIPT_VIEW));
    SendMessageA(hMain, WM_COMMAND, IDC_START, 0);
}

// The view looks at the counters a few times a second; while they stay the
// same it sets no text at all, and it does not let Esc end it.
TEST_F(MainDialogFixture, DetailsSetNothingWhileNothingChangesAndLeaveTabAndEscToTheWindow)
{
    const std::string file = folder.File("a.txt");
    WriteWholeFile(file, "");
    WriteSettings("[Main]\r\nFile Number=1\r\n" + TcpSourceSection(1, 0, FindFreeLoopbackPort(), file));
    CTestDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ShowWindow(dialog.Hwnd(), SW_SHOWNOACTIVATE);
    HWND hMain = dialog.Hwnd();
    HWND hPane = DetailsPane(hMain);
    ASSERT_NE(nullptr, hPane);
    SelectOnlyRow(dialog.Item(IDC_SOURCE_LIST), 0);
    const std::string receipt = "ONE COFFEE 2.00\r\n";
    dialog.Engine().Deliver(0, reinterpret_cast<const uint8_t*>(receipt.data()), static_cast<int>(receipt.size()));
    ASSERT_TRUE(PumpUntil([&] { return DetailsText(hMain, IDC_RECEIPT_VIEW) == receipt; }));

    SET_COUNTS counts;
    for (int id : {IDC_DETAILS_TITLE, IDC_DETAILS_LIST, IDC_RECEIPT_LABEL, IDC_RECEIPT_VIEW})
        SetWindowSubclass(GetDlgItem(hPane, id), CountSets, 1, reinterpret_cast<DWORD_PTR>(&counts));
    SetWindowSubclass(hPane, CountSets, 1, reinterpret_cast<DWORD_PTR>(&counts));
    EXPECT_TRUE(PumpUntil([&] { return counts.nTicks >= 4; })) << "the view looks again and again";
    EXPECT_EQ(0, counts.nSets) << "nothing changed, so nothing was set";

    dialog.Engine().Deliver(0, reinterpret_cast<const uint8_t*>(receipt.data()), static_cast<int>(receipt.size()));
    EXPECT_TRUE(PumpUntil([&] { return DetailsValue(hMain, DetailsRowOf("IDS_DETAILS_RECEIPTS")) == "2"; }));
    EXPECT_GT(counts.nSets, 0);

    // Tab leaves the receipt view as it leaves every other box.
    EXPECT_EQ(0, SendMessageW(GetDlgItem(hPane, IDC_RECEIPT_VIEW), WM_GETDLGCODE, VK_TAB, 0) &
                     (DLGC_WANTALLKEYS | DLGC_WANTTAB));
    // Esc in the receipt view (a multi-line box closes its parent on Esc) and
    // the pane's own Cancel leave the pane and the window as they are.
    SendMessageW(GetDlgItem(hPane, IDC_RECEIPT_VIEW), WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageW(hPane, WM_CLOSE, 0, 0);
    SendMessageW(hPane, WM_COMMAND, IDCANCEL, 0);
    SendMessageW(hPane, WM_COMMAND, IDOK, 0);
    PumpWaiting();
    for (int id : {IDC_DETAILS_TITLE, IDC_DETAILS_LIST, IDC_RECEIPT_LABEL, IDC_RECEIPT_VIEW})
        RemoveWindowSubclass(GetDlgItem(hPane, id), CountSets, 1);
    RemoveWindowSubclass(hPane, CountSets, 1);
    EXPECT_TRUE(IsWindow(hPane)) << "the pane is still there";
    EXPECT_NE(nullptr, dialog.Hwnd()) << "the window is still there";
    EXPECT_EQ(receipt, DetailsText(hMain, IDC_RECEIPT_VIEW));
}

namespace {

bool g_bMarkerFired = false;

VOID CALLBACK MarkerFired(HWND, UINT, UINT_PTR nId, DWORD)
{
    KillTimer(nullptr, nId);
    g_bMarkerFired = true;
}

}  // namespace

// Hidden in the tray the view does not look at the counters at all; shown
// again, it shows at once what changed meanwhile.
TEST_F(MainDialogFixture, DetailsRestWhileTheWindowIsHiddenAndCatchUpWhenShown)
{
    const std::string file = folder.File("a.txt");
    WriteWholeFile(file, "");
    WriteSettings("[Main]\r\nFile Number=1\r\n" + TcpSourceSection(1, 0, FindFreeLoopbackPort(), file));
    CTestDlg dialog(pLanguage.get(), folder.Path(), false, false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ShowWindow(dialog.Hwnd(), SW_SHOWNOACTIVATE);
    HWND hMain = dialog.Hwnd();
    HWND hPane = DetailsPane(hMain);
    ASSERT_NE(nullptr, hPane);
    const int receipts = DetailsRowOf("IDS_DETAILS_RECEIPTS");
    SelectOnlyRow(dialog.Item(IDC_SOURCE_LIST), 0);
    const std::string receipt = "ONE TEA 1.80\r\n";
    dialog.Engine().Deliver(0, reinterpret_cast<const uint8_t*>(receipt.data()), static_cast<int>(receipt.size()));
    ASSERT_TRUE(PumpUntil([&] { return DetailsValue(hMain, receipts) == "1"; }));

    SET_COUNTS counts;
    SetWindowSubclass(hPane, CountSets, 1, reinterpret_cast<DWORD_PTR>(&counts));
    ShowWindow(hMain, SW_HIDE);
    dialog.Engine().Deliver(0, reinterpret_cast<const uint8_t*>(receipt.data()), static_cast<int>(receipt.size()));
    // Three of the view's periods pass.
    g_bMarkerFired = false;
    SetTimer(nullptr, 0, 3 * CSourceDetailsPane::REFRESH_MS, MarkerFired);
    ASSERT_TRUE(PumpUntil([] { return g_bMarkerFired; }));
    EXPECT_LE(counts.nTicks, 1) << "at most the one already on its way when the window was hidden";
    EXPECT_EQ("1", DetailsValue(hMain, receipts)) << "nothing was looked at while hidden";

    ShowWindow(hMain, SW_SHOWNOACTIVATE);
    PumpWaiting();
    EXPECT_EQ("2", DetailsValue(hMain, receipts)) << "shown again, the view catches up at once";
    RemoveWindowSubclass(hPane, CountSets, 1);
}
