// The real Tillvox.exe in the notification area and in the Run key: started as
// Windows starts it at log-on, driven through the shell's tray and its check box.
#include "app/AutoRun.h"
#include "base/IniProfile.h"
#include "res/resource.h"
#include "tests/support/DialogDriver.h"
#include "tests/support/Loopback.h"
#include "tests/support/ProgramFixture.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/SourceRecords.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TopWindows.h"
#include "tests/support/Tray.h"

#include <gtest/gtest.h>

namespace {

const UINT WM_TRAY_NOTIFY_ID = 0x464;

struct ProgramTrayFixture : CProgramFixture {
    CTempFolder folder;

    ProgramTrayFixture() { DeleteRunValue(AUTORUN_VALUE); }
    // A Run value left behind would start the program whenever the prefix starts.
    ~ProgramTrayFixture() override { DeleteRunValue(AUTORUN_VALUE); }
    void WriteTcpSource(unsigned short port)
    {
        WriteWholeFile(ProgramSettingsPath(),
                       "[Main]\r\nFile Number=1\r\n" + TcpSourceSection(1, 0, port, folder.File("till.txt")));
    }
};

template <typename F>
bool WaitUntil(F condition, DWORD ms)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(25);
    }
    return true;
}

// A message box the process shows, or null.
HWND MessageBoxOfProcess(DWORD dwProcessId)
{
    HWND hBox = nullptr;
    std::string text;
    for (HWND h : VisibleTopWindows(dwProcessId))
        if (MessageBoxText(h, text))
            hBox = h;
    return hBox;
}

}  // namespace

TEST_F(ProgramTrayFixture, StartedAtLogOnItCapturesInTheTrayAndExitFromTheMenuEndsEverything)
{
    const unsigned short port = FindFreeLoopbackPort();
    WriteTcpSource(port);
    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("-\"Monitor\""));  // the arguments of the Run value
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    EXPECT_EQ(Text("IDS_PTS_STOP"), program.ControlText(IDC_START)) << "capture runs";
    EXPECT_FALSE(IsWindowVisible(hMain));
    EXPECT_TRUE(TrayIconShown(hMain, IDI_TRAY));
    EXPECT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_WAIT_CONNECT")));
    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(port));
    ASSERT_EQ(67u, recorder.Login("pw").size());

    // A left click on the icon brings the window back; minimising sends it to the tray again.
    PostMessageA(hMain, WM_TRAY_NOTIFY_ID, IDI_TRAY, WM_LBUTTONDOWN);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(hMain) && !IsIconic(hMain); }, 5000));
    PostMessageA(hMain, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(hMain); }, 5000));
    EXPECT_TRUE(TrayIconShown(hMain, IDI_TRAY));

    // Right click, last item: Exit.
    PostMessageA(hMain, WM_TRAY_NOTIFY_ID, IDI_TRAY, WM_RBUTTONDOWN);
    HWND hMenu = WaitForPopupMenu(GetProcessId(program.Process()), 5000);
    ASSERT_NE(nullptr, hMenu);
    PressMenuKey(hMenu, VK_UP);
    PressMenuKey(hMenu, VK_RETURN);
    ASSERT_TRUE(program.WaitForExit(15000)) << "Exit ends the program";
    EXPECT_TRUE(recorder.WaitPeerClose(5000)) << "capture was stopped";
    EXPECT_TRUE(PortIsFree(port)) << "the recorder port is free again";
}

TEST_F(ProgramTrayFixture, RestartedShellGetsTheIconBack)
{
    WriteWholeFile(ProgramSettingsPath(), "");
    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("/Service"));
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    EXPECT_FALSE(TrayIconShown(hMain, IDI_TRAY)) << "no icon before the first minimise";
    PostMessageA(hMain, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(WaitUntil([&] { return TrayIconShown(hMain, IDI_TRAY); }, 5000));
    EXPECT_FALSE(IsWindowVisible(hMain));

    // A restarted shell has forgotten the icon and tells every top-level window.
    ASSERT_TRUE(RemoveTrayIcon(hMain, IDI_TRAY));
    ASSERT_FALSE(TrayIconShown(hMain, IDI_TRAY));
    PostMessageA(hMain, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return TrayIconShown(hMain, IDI_TRAY); }, 5000));
    EXPECT_FALSE(IsWindowVisible(hMain));

    PostMessageA(hMain, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.WaitForExit(15000));
}

TEST_F(ProgramTrayFixture, AutoRunBoxWritesTheRunValueTheProgramStartsFrom)
{
    WriteWholeFile(ProgramSettingsPath(), "");
    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("/Service"));
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    HWND hBox = GetDlgItem(hMain, IDC_AUTORUN);
    CIniProfile settings(ProgramSettingsPath());

    SendMessageA(hBox, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, SendMessageA(hBox, BM_GETCHECK, 0, 0));
    const RUN_VALUE value = ReadRunValue("Kassimo");
    ASSERT_TRUE(value.bPresent);
    EXPECT_EQ(DWORD(REG_SZ), value.dwType);
    const std::string command = "\"" + ProgramExePath() + "\" -\"Monitor\"";
    EXPECT_EQ(command + std::string(1, '\0'), value.strData);
    EXPECT_EQ("1", settings.GetString("AutoExecute", "AutoExecute", "", 16));

    SendMessageA(hBox, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_UNCHECKED, SendMessageA(hBox, BM_GETCHECK, 0, 0));
    EXPECT_FALSE(ReadRunValue("Kassimo").bPresent);
    EXPECT_EQ("0", settings.GetString("AutoExecute", "AutoExecute", "", 16));
    PostMessageA(hMain, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit(15000));

    // Started from the command the value held: capture runs, hidden in the tray.
    WritePrivateProfileStringA("AutoExecute", "AutoExecute", "1", ProgramSettingsPath().c_str());
    CProgramUnderTest atLogOn;
    ASSERT_TRUE(atLogOn.Start(command.substr(command.find(' ') + 1)));
    HWND hHidden = atLogOn.WaitForMainWindow();
    ASSERT_NE(nullptr, hHidden);
    EXPECT_EQ(Text("IDS_PTS_STOP"), atLogOn.ControlText(IDC_START));
    EXPECT_FALSE(IsWindowVisible(hHidden));
    EXPECT_TRUE(TrayIconShown(hHidden, IDI_TRAY));
    EXPECT_EQ(BST_CHECKED, SendMessageA(GetDlgItem(hHidden, IDC_AUTORUN), BM_GETCHECK, 0, 0));
}

// The real question box of the real program: the close box while capture runs
// asks, its default answer keeps capturing with the window in the tray, and a
// close another program posts still ends the program at once.
TEST_F(ProgramTrayFixture, CloseBoxWhileCapturingKeepsCapturingUnlessTheUserSaysStop)
{
    const unsigned short port = FindFreeLoopbackPort();
    WriteTcpSource(port);
    WriteWholeFile(folder.File("till.txt"), "");
    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("/Service"));
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(hMain) != FALSE; }, 5000));
    PostMessageA(hMain, WM_COMMAND, IDC_START, 0);
    ASSERT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_WAIT_CONNECT")));
    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(port));
    ASSERT_EQ(67u, recorder.Login("pw").size());

    PostMessageA(hMain, WM_SYSCOMMAND, SC_CLOSE, 0);  // what a click on the close box sends
    std::string question;
    int nDefault = 0;
    CDialogDriver user;
    user.Then("answer with the default button", [&](HWND h) {
        if (!MessageBoxText(h, question))
            return false;
        nDefault = DefaultButton(h);
        PostClick(h, nDefault);
        return true;
    });
    user.Drive(program.ProcessId(), 15000);
    ASSERT_TRUE(user.AllDone()) << ::testing::PrintToString(user.m_Failures);
    EXPECT_EQ(Text("IDS_PTS_CLOSE_WHILE_CAPTURING"), question);
    EXPECT_EQ(IDNO, nDefault);

    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(hMain); }, 5000)) << "the window went to the tray";
    EXPECT_TRUE(WaitUntil([&] { return TrayIconShown(hMain, IDI_TRAY); }, 5000));
    EXPECT_TRUE(program.IsRunning());
    EXPECT_EQ(Text("IDS_PTS_STOP"), program.ControlText(IDC_START)) << "capture runs";
    const std::string receipt = "TOTAL 4.50 after the close box\r\n";
    AppendToFile(folder.File("till.txt"), receipt);
    EXPECT_EQ(receipt.size() + 1, recorder.ReceiveUpTo(receipt.size() + 1, 10000).size())
        << "the recorder still gets every receipt";

    PostMessageA(hMain, WM_CLOSE, 0, 0);  // as closeprogram and the setup program's upgrade do
    ASSERT_TRUE(program.WaitForExit(15000)) << "a posted close ends the program without asking";
    EXPECT_TRUE(recorder.WaitPeerClose(5000));
}

// An upgrade closes the program while nobody is at the shop: a close question
// left open must not keep the old program running.
TEST_F(ProgramTrayFixture, APostedCloseEndsTheProgramWhileTheCloseQuestionIsOpen)
{
    const unsigned short port = FindFreeLoopbackPort();
    WriteTcpSource(port);
    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("/Service"));
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(hMain) != FALSE; }, 5000));
    PostMessageA(hMain, WM_COMMAND, IDC_START, 0);
    ASSERT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_WAIT_CONNECT")));
    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(port));
    ASSERT_EQ(67u, recorder.Login("pw").size());

    PostMessageA(hMain, WM_SYSCOMMAND, SC_CLOSE, 0);
    // Nobody answers: the box is only looked for, never touched.
    ASSERT_TRUE(WaitUntil([&] { return MessageBoxOfProcess(program.ProcessId()) != nullptr; }, 15000));

    PostMessageA(hMain, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit(15000)) << "the posted close does not wait for an answer";
    EXPECT_TRUE(recorder.WaitPeerClose(5000)) << "capture was stopped";
    EXPECT_TRUE(PortIsFree(port));
}
