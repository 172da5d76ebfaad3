// The main window's tray icon, its menu and tip, the hidden monitor start and
// the auto-run box, in this process. The notification calls go through a
// recorder here; the tests of the real program watch the shell's own tray.
#include "app/AutoRun.h"
#include "app/KassimoDlg.h"
#include "app/TrayTip.h"
#include "base/IniProfile.h"
#include "lang/Language.h"
#include "res/resource.h"
#include "tests/support/Loopback.h"
#include "tests/support/MessagePump.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/TempFolder.h"
#include "tests/support/SourceRecords.h"
#include "tests/support/Tray.h"
#include "tests/support/WindowFixture.h"
#include "net/TimeOutSocket.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace {

struct NOTIFY_CALL {
    DWORD dwMessage;
    NOTIFYICONDATAW data;
    // The tip in UTF-8.
    std::string Tip() const
    {
        const int count = WideCharToMultiByte(CP_UTF8, 0, data.szTip, -1, nullptr, 0, nullptr, nullptr);
        std::string tip(static_cast<size_t>(count > 0 ? count : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, data.szTip, -1, &tip[0], count, nullptr, nullptr);
        tip.resize(tip.size() - 1);
        return tip;
    }
};

class CRecordingShell : public CShellNotify {
public:
    BOOL NotifyIcon(DWORD dwMessage, NOTIFYICONDATAW* pData) override
    {
        calls.push_back({dwMessage, *pData});
        return TRUE;
    }
    std::vector<DWORD> Messages() const
    {
        std::vector<DWORD> messages;
        for (const auto& call : calls) messages.push_back(call.dwMessage);
        return messages;
    }
    std::vector<NOTIFY_CALL> calls;
};

class CTestDlg : public CKassimoDlg {
public:
    CTestDlg(CLanguage* pLanguage, const std::string& folder, bool bMonitor)
        : CKassimoDlg(pLanguage, folder, bMonitor, false)
    {
        TrayIcon().SetShell(&shell);
        // Every time the window really becomes visible.
        OnMessage(WM_WINDOWPOSCHANGED, [this](WPARAM, LPARAM lParam) {
            if (reinterpret_cast<WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW)
                ++nShown;
            return INT_PTR(FALSE);
        });
    }
    ~CTestDlg() override
    {
        // While the recorder above still exists.
        if (Hwnd())
            DestroyWindow(Hwnd());
    }
    using CKassimoDlg::CautionBox;
    int CautionBox(const std::string& text, UINT nFlags) override
    {
        cautions.push_back(text);
        flags.push_back(nFlags);
        return IDOK;
    }
    // Called at WM_NCDESTROY, after the window's own destruction handling.
    void OnLastMessage(std::function<void()> callback)
    {
        OnMessage(WM_NCDESTROY, [callback](WPARAM, LPARAM) {
            callback();
            return INT_PTR(FALSE);
        });
    }
    CRecordingShell shell;
    std::vector<std::string> cautions;
    std::vector<UINT> flags;
    int nShown = 0;
};

std::string MenuItemText(HMENU hMenu, int position)
{
    char text[128] = {};
    GetMenuStringA(hMenu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
    return text;
}

struct TrayFixture : CWindowFixture {
    CWinsockInit winsock;

    TrayFixture() { DeleteRunValue(AUTORUN_VALUE); }
    // A Run value left behind would start the program whenever the prefix starts.
    ~TrayFixture() override { DeleteRunValue(AUTORUN_VALUE); }
    void WriteTcpSources(const std::vector<unsigned short>& ports)
    {
        std::string content = "[Main]\r\nFile Number=" + std::to_string(ports.size()) + "\r\n";
        for (size_t n = 0; n < ports.size(); ++n)
            content += TcpSourceSection(static_cast<int>(n + 1), 0, ports[n], folder.File("r" + std::to_string(n) + ".txt"));
        WriteSettings(content);
    }
    std::string RunningTip(int nConnected, int nSources)
    {
        return FillPlaceholders(Text("IDS_TRAY_TIP_RUNNING"),
                                {Text("IDS_PTS_DLG_NAME"), std::to_string(nConnected), std::to_string(nSources)});
    }
};

// Opens the icon's menu with a right click, checks its items, then presses the keys.
std::vector<std::string> UseTrayMenu(CTestDlg& dialog, const std::vector<WPARAM>& keys)
{
    std::vector<std::string> items;
    std::thread user([&] {
        HWND hMenuWindow = WaitForPopupMenu(GetCurrentProcessId(), 5000);
        if (!hMenuWindow)
            return;
        HMENU hMenu = reinterpret_cast<HMENU>(SendMessageA(hMenuWindow, MN_GETHMENU, 0, 0));
        for (int k = 0; k < GetMenuItemCount(hMenu); ++k) items.push_back(MenuItemText(hMenu, k));
        for (WPARAM key : keys) PressMenuKey(hMenuWindow, key);
    });
    SendMessageA(dialog.Hwnd(), WM_TRAY_NOTIFY, IDI_TRAY, WM_RBUTTONDOWN);  // returns when the menu closed
    user.join();
    Pump(200);  // the chosen command is posted
    return items;
}

}  // namespace

TEST_F(TrayFixture, MinimiseHidesTheWindowAndAddsTheIconALeftClickBringsItBack)
{
    WriteSettings("");
    CTestDlg dialog(pLanguage.get(), folder.Path(), false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ShowWindow(dialog.Hwnd(), SW_SHOW);
    EXPECT_TRUE(dialog.shell.calls.empty()) << "no icon before the first minimise";

    SendMessageA(dialog.Hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsWindowVisible(dialog.Hwnd()));
    ASSERT_EQ(std::vector<DWORD>{NIM_ADD}, dialog.shell.Messages());
    const NOTIFYICONDATAW& record = dialog.shell.calls[0].data;
    EXPECT_EQ(DWORD(NOTIFYICONDATAW_V1_SIZE), record.cbSize);
    if (sizeof(void*) == 4) {
        EXPECT_EQ(152u, record.cbSize) << "the first form of the record";
    }
    EXPECT_EQ(dialog.Hwnd(), record.hWnd);
    EXPECT_EQ(133u, record.uID);
    EXPECT_EQ(UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP), record.uFlags);
    EXPECT_EQ(0x464u, record.uCallbackMessage);
    EXPECT_NE(nullptr, record.hIcon);
    EXPECT_EQ(Text("IDS_PTS_DLG_NAME"), dialog.shell.calls[0].Tip());

    // Other mouse messages of the icon do nothing.
    for (LPARAM other : {LPARAM(WM_MOUSEMOVE), LPARAM(WM_LBUTTONUP), LPARAM(WM_LBUTTONDBLCLK)}) {
        SendMessageA(dialog.Hwnd(), WM_TRAY_NOTIFY, IDI_TRAY, other);
        EXPECT_FALSE(IsWindowVisible(dialog.Hwnd())) << other;
    }
    SendMessageA(dialog.Hwnd(), WM_TRAY_NOTIFY, IDI_TRAY, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(dialog.Hwnd()));
    EXPECT_FALSE(IsIconic(dialog.Hwnd())) << "restored";
    EXPECT_EQ(dialog.Hwnd(), GetForegroundWindow()) << "in front";

    // The icon stays after a restore; a second minimise asks for it again (the shell ignores it).
    SendMessageA(dialog.Hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsWindowVisible(dialog.Hwnd()));
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_ADD}), dialog.shell.Messages());

    DestroyWindow(dialog.Hwnd());
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_ADD, NIM_DELETE}), dialog.shell.Messages());
    EXPECT_EQ(133u, dialog.shell.calls.back().data.uID);
}

TEST_F(TrayFixture, ClosingWithoutEverMinimisingRemovesNothing)
{
    WriteSettings("");
    CTestDlg dialog(pLanguage.get(), folder.Path(), false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    SendMessageA(dialog.Hwnd(), WM_CLOSE, 0, 0);
    Pump(100);
    EXPECT_EQ(nullptr, dialog.Hwnd());
    EXPECT_TRUE(dialog.shell.calls.empty());
}

TEST_F(TrayFixture, TrayMenuOffersOpenAndExit)
{
    const struct { const char* name; std::vector<WPARAM> keys; bool windowShown; bool windowEnds; } cases[] = {
        {"Open", {VK_DOWN, VK_RETURN}, true, false},
        {"Exit", {VK_UP, VK_RETURN}, false, true},
        {"Esc", {VK_ESCAPE}, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const unsigned short port = FindFreeLoopbackPort();
        WriteTcpSources({port});
        CTestDlg dialog(pLanguage.get(), folder.Path(), true);  // running, in the tray
        ASSERT_NE(nullptr, dialog.CreateModeless());
        ASSERT_TRUE(dialog.Engine().m_bRunning);
        CRecorderPeer recorder;
        ASSERT_TRUE(recorder.Connect(port));
        ASSERT_EQ(67u, recorder.Login("pw").size());

        const std::vector<std::string> items = UseTrayMenu(dialog, c.keys);
        ASSERT_EQ(3u, items.size());
        EXPECT_EQ(Text("IDS_TRAY_OPEN"), items[0]);
        EXPECT_EQ("", items[1]) << "separator";
        EXPECT_EQ(Text("IDS_TRAY_EXIT"), items[2]);

        EXPECT_EQ(c.windowEnds, dialog.Hwnd() == nullptr);
        if (c.windowEnds) {
            EXPECT_FALSE(dialog.Engine().m_bRunning) << "Exit stops capture";
            EXPECT_TRUE(recorder.WaitPeerClose(5000)) << "the recorder's connection is closed";
            EXPECT_TRUE(PortIsFree(port)) << "the recorder port is free again";
            EXPECT_EQ(NIM_DELETE, dialog.shell.Messages().back()) << "and the icon is removed";
        } else {
            EXPECT_EQ(c.windowShown, IsWindowVisible(dialog.Hwnd()) != FALSE);
            EXPECT_TRUE(dialog.Engine().m_bRunning);
        }
    }
}

TEST_F(TrayFixture, RecreatedTaskbarGetsTheIconAgain)
{
    WriteSettings("");
    CTestDlg dialog(pLanguage.get(), folder.Path(), false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    const UINT nTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");

    SendMessageA(dialog.Hwnd(), nTaskbarCreated, 0, 0);
    EXPECT_TRUE(dialog.shell.calls.empty()) << "no icon yet, none to add";

    SendMessageA(dialog.Hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    SendMessageA(dialog.Hwnd(), nTaskbarCreated, 0, 0);
    ASSERT_EQ((std::vector<DWORD>{NIM_ADD, NIM_ADD}), dialog.shell.Messages());
    EXPECT_EQ(0, memcmp(&dialog.shell.calls[0].data, &dialog.shell.calls[1].data, sizeof(NOTIFYICONDATAW)))
        << "the same record";
    EXPECT_FALSE(IsWindowVisible(dialog.Hwnd())) << "the window stays in the tray";
}

TEST_F(TrayFixture, TipCountsConnectedSourcesWhileRunning)
{
    const unsigned short port1 = FindFreeLoopbackPort();
    CTimeOutSocket hold1;  // keeps the second search from finding the same port
    ASSERT_TRUE(hold1.Create(port1));
    const unsigned short port2 = FindFreeLoopbackPort();
    hold1.Close();
    WriteTcpSources({port1, port2});
    CTestDlg dialog(pLanguage.get(), folder.Path(), true);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    ASSERT_FALSE(dialog.shell.calls.empty());
    EXPECT_EQ(RunningTip(0, 2), dialog.shell.calls.back().Tip());

    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(port2));
    ASSERT_EQ(67u, recorder.Login("pw").size());
    EXPECT_TRUE(PumpUntil([&] { return RunningTip(1, 2) == dialog.shell.calls.back().Tip(); }, 5000))
        << dialog.shell.calls.back().Tip();
    EXPECT_EQ(DWORD(NIM_MODIFY), dialog.shell.calls.back().dwMessage);

    recorder.Close();
    EXPECT_TRUE(PumpUntil([&] { return RunningTip(0, 2) == dialog.shell.calls.back().Tip(); }, 5000))
        << "a dropped recorder no longer counts: " << dialog.shell.calls.back().Tip();

    SendMessageA(dialog.Hwnd(), WM_COMMAND, IDC_START, 0);  // Stop
    EXPECT_EQ(Text("IDS_PTS_DLG_NAME"), dialog.shell.calls.back().Tip());
    DestroyWindow(dialog.Hwnd());
}

TEST_F(TrayFixture, MonitorModeGoesToTheTrayWithoutShowingTheWindow)
{
    const unsigned short port = FindFreeLoopbackPort();
    WriteTcpSources({port});
    CTestDlg dialog(pLanguage.get(), folder.Path(), true);
    bool bRunningInside = false, bHiddenInside = false;
    std::vector<DWORD> messagesInside;
    // The modal loop shows a hidden dialog once its queue is empty: it must not.
    std::thread user([&] {
        HWND hWnd = nullptr;
        for (int k = 0; k < 200 && !hWnd; ++k, Sleep(25)) hWnd = dialog.Hwnd();
        Sleep(700);
        bRunningInside = dialog.Engine().m_bRunning;
        bHiddenInside = hWnd && !IsWindowVisible(hWnd);
        PostMessageA(hWnd, WM_COMMAND, IDM_TRAY_EXIT, 0);
    });
    dialog.DoModal();
    user.join();
    EXPECT_TRUE(bRunningInside);
    EXPECT_TRUE(bHiddenInside);
    EXPECT_EQ(0, dialog.nShown) << "the window never appeared";
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_DELETE}), dialog.shell.Messages());
    EXPECT_FALSE(dialog.Engine().m_bRunning);
    EXPECT_TRUE(PortIsFree(port));
}

TEST_F(TrayFixture, TheRealShellShowsAndRemovesTheIcon)
{
    WriteSettings("");
    CTestDlg dialog(pLanguage.get(), folder.Path(), false);
    dialog.TrayIcon().SetShell(nullptr);  // Shell_NotifyIconA itself
    ASSERT_NE(nullptr, dialog.CreateModeless());
    HWND hWnd = dialog.Hwnd();
    EXPECT_FALSE(TrayIconShown(hWnd, IDI_TRAY));
    SendMessageA(hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(TrayIconShown(hWnd, IDI_TRAY));
    // The shell forgets the icons of windows that are gone, so look while the window still exists.
    bool bShownAtLastMessage = true;
    dialog.OnLastMessage([&] { bShownAtLastMessage = TrayIconShown(hWnd, IDI_TRAY); });
    DestroyWindow(hWnd);
    EXPECT_FALSE(bShownAtLastMessage);
}

// The list view of Windows shows a label cut short by its column whole in a tip
// while the pointer rests on it. Wine's list view has no label tips (no tip
// window appears there), so this checks the style and that the tip is needed.
TEST_F(TrayFixture, LongStatusFitsItsColumnAndGetsLabelTips)
{
    WriteTcpSources({FindFreeLoopbackPort()});
    CTestDlg dialog(pLanguage.get(), folder.Path(), false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    HWND hList = dialog.Item(IDC_SOURCE_LIST);
    const DWORD dwStyles = static_cast<DWORD>(SendMessageA(hList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_TRUE(dwStyles & LVS_EX_LABELTIP);
    EXPECT_TRUE(dwStyles & LVS_EX_FULLROWSELECT);

    const std::string failure = Text("IDS_PTS_COM_SETTING_FAIL");
    dialog.Engine().PostListCell(0, 0, failure);
    dialog.OnListCellPosted(0);
    Pump(100);
    char shown[256] = {};
    LVITEMA item = {};
    item.pszText = shown;
    item.cchTextMax = sizeof shown;
    SendMessageA(hList, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(failure, shown) << "the whole text is kept for the tip";
    const int nTextWidth = static_cast<int>(SendMessageA(hList, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(shown)));
    const int nColumnWidth = static_cast<int>(SendMessageA(hList, LVM_GETCOLUMNWIDTH, 0, 0));
    EXPECT_LT(nTextWidth, nColumnWidth) << "the status column is as wide as its longest text";
}

TEST_F(TrayFixture, AutoRunBoxWritesAndDeletesTheRunValue)
{
    WriteSettings("");
    CTestDlg dialog(pLanguage.get(), folder.Path(), false);
    ASSERT_NE(nullptr, dialog.CreateModeless());
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    CIniProfile settings(SettingsPath());

    SendMessageA(dialog.Item(IDC_AUTORUN), BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dialog.Hwnd(), IDC_AUTORUN));
    const RUN_VALUE value = ReadRunValue("Kassimo");
    ASSERT_TRUE(value.bPresent);
    EXPECT_EQ(DWORD(REG_SZ), value.dwType);
    EXPECT_EQ("\"" + std::string(exe) + "\" -\"Monitor\"" + std::string(1, '\0'), value.strData);
    EXPECT_EQ("1", settings.GetString("AutoExecute", "AutoExecute", "", 16));
    EXPECT_TRUE(dialog.cautions.empty());

    SendMessageA(dialog.Item(IDC_AUTORUN), BM_CLICK, 0, 0);
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dialog.Hwnd(), IDC_AUTORUN));
    EXPECT_FALSE(ReadRunValue("Kassimo").bPresent);
    EXPECT_EQ("0", settings.GetString("AutoExecute", "AutoExecute", "", 16));

    // The box reads the mirror at the next start.
    DestroyWindow(dialog.Hwnd());
    WritePrivateProfileStringA("AutoExecute", "AutoExecute", "1", SettingsPath().c_str());
    CTestDlg again(pLanguage.get(), folder.Path(), false);
    ASSERT_NE(nullptr, again.CreateModeless());
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(again.Hwnd(), IDC_AUTORUN));
}

TEST_F(TrayFixture, RunKeyThatCannotBeOpenedPutsTheBoxBackAndSaysWhy)
{
    // Without administrator rights the machine's Run key cannot be opened for writing;
    // a key that is not there fails the same way.
    const struct { const char* name; const char* settings; UINT before; } cases[] = {
        {"ticking", "", BST_UNCHECKED},
        {"clearing", "[AutoExecute]\r\nAutoExecute=1\r\n", BST_CHECKED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteSettings(c.settings);
        CTestDlg dialog(pLanguage.get(), folder.Path(), false);
        dialog.AutoRun().SetKey(HKEY_LOCAL_MACHINE, "Software\\Tillvox tests\\no such key");
        ASSERT_NE(nullptr, dialog.CreateModeless());
        ASSERT_EQ(c.before, IsDlgButtonChecked(dialog.Hwnd(), IDC_AUTORUN));

        SendMessageA(dialog.Item(IDC_AUTORUN), BM_CLICK, 0, 0);
        EXPECT_EQ(c.before, IsDlgButtonChecked(dialog.Hwnd(), IDC_AUTORUN)) << "the box shows what will happen";
        ASSERT_EQ(1u, dialog.cautions.size());
        EXPECT_EQ(Text("IDS_AUTORUN_NOT_CHANGED"), dialog.cautions[0]);
        EXPECT_NE("", dialog.cautions[0]);
        EXPECT_EQ(UINT(MB_OK | MB_ICONEXCLAMATION), dialog.flags[0]);
        EXPECT_EQ(c.settings, ReadWholeFile(SettingsPath())) << "nothing written";
        EXPECT_FALSE(ReadRunValue("Kassimo").bPresent);
    }
}
