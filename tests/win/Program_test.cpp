// The real Tillvox.exe under Wine, started as a user or the startup agent starts it.
#include "res/resource.h"
#include "tests/support/Bytes.h"
#include "tests/support/ComPortPair.h"
#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/ProgramFixture.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

struct ProgramFixture : CProgramFixture {
    CTempFolder folder;

    static POS_SETTING_INFO FileSource(const std::string& path, bool tcp, const std::string& port)
    {
        POS_SETTING_INFO r;
        r.nMonitorType = KIND_FILE;
        r.nReceiptType = 0;
        r.nInternetType = 0;
        r.strFilePath = path;
        r.strPosIndex = "POS" + port.substr(port.size() - 1);
        r.ePrinterType = tcp ? PRINTER_TYPE::Tcp : PRINTER_TYPE::Serial;
        r.strPort = port;
        r.strPassword = tcp ? "counter 3" : "NULL";
        r.strBaudRate = tcp ? "NULL" : "9600";
        r.strDataBits = tcp ? "NULL" : "8";
        r.strParity = tcp ? "NULL" : "None";
        r.strStopBits = tcp ? "NULL" : "1.0";
        return r;
    }
};

}  // namespace

TEST_F(ProgramFixture, MonitorModeCapturesAtOnceAndClosingStopsEverything)
{
    CComPortPair com(24);
    CAbsentComPort missing(35);
    const unsigned short port = FindFreeLoopbackPort();
    const std::string tcpFile = folder.File("till1.txt"), serialFile = folder.File("till2.txt");
    WriteWholeFile(tcpFile, "old receipt\r\n");
    WriteWholeFile(serialFile, "");
    WriteProgramSettings({FileSource(tcpFile, true, std::to_string(port)), FileSource(serialFile, false, com.Name()),
                          FileSource(folder.File("till3.txt"), false, missing.Name())});

    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("/Service /Monitor"));
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    EXPECT_EQ(3, program.ListRowCount());
    EXPECT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_WAIT_CONNECT")));
    EXPECT_TRUE(program.WaitForCell(1, 0, Text("IDS_PTS_COM_SETTING_DONE")));
    EXPECT_TRUE(program.WaitForCell(2, 0, Text("IDS_PTS_COM_SETTING_FAIL")));
    EXPECT_EQ(tcpFile, program.ListCell(0, 1));
    EXPECT_EQ("TCP(" + std::to_string(port) + ")", program.ListCell(0, 3));
    EXPECT_EQ("9600,8,None,1.0", program.ListCell(1, 4));
    EXPECT_EQ(Text("IDS_PTS_STOP"), program.ControlText(IDC_START));

    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(port));
    ASSERT_EQ(67u, recorder.Login("counter 3").size());
    EXPECT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_CONNECTED")));

    const std::string receipt = "ESPRESSO 2.10\r\nTOTAL 2.10\r\n";
    AppendToFile(tcpFile, receipt);
    EXPECT_EQ(Swapped(receipt + std::string(1, '\0')), recorder.ReceiveUpTo(receipt.size() + 1, 10000));
    AppendToFile(serialFile, receipt);
    EXPECT_EQ(Swapped(receipt + std::string(1, '\0')), com.Read(receipt.size() + 1, std::chrono::seconds(10)));

    PostMessageA(hMain, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit(15000)) << "closing the window while running ends the program";
    EXPECT_TRUE(recorder.WaitPeerClose(5000));
    EXPECT_TRUE(PortIsFree(port)) << "the recorder port is free again";
}

TEST_F(ProgramFixture, SecondStartEndsWithoutAWindowAndTheFirstKeepsRunning)
{
    WriteProgramSettings({});
    CProgramUnderTest first;
    ASSERT_TRUE(first.Start("/Service"));
    ASSERT_NE(nullptr, first.WaitForMainWindow());

    CProgramUnderTest second;
    const DWORD started = GetTickCount();
    ASSERT_TRUE(second.Start("/Service"));
    ASSERT_TRUE(second.WaitForExit(10000));
    std::printf("second instance ended after %lu ms\n", static_cast<unsigned long>(GetTickCount() - started));
    EXPECT_EQ(nullptr, second.WaitForMainWindow(0));
    EXPECT_TRUE(first.IsRunning());
}

TEST_F(ProgramFixture, LastArgumentDecidesMonitorMode)
{
    const struct { const char* arguments; bool monitor; } cases[] = {
        {"/Service /Monitor", true},
        {"/Monitor /Service", false},
        {"-\"Monitor\"", true},  // the form the Run key uses; Wine's token counts as elevated
        {"/Service", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        WriteProgramSettings({});
        CProgramUnderTest program;
        ASSERT_TRUE(program.Start(c.arguments));
        HWND hMain = program.WaitForMainWindow();
        ASSERT_NE(nullptr, hMain);
        // Monitor mode starts capture at once and keeps the window hidden in the tray.
        EXPECT_EQ(Text(c.monitor ? "IDS_PTS_STOP" : "IDS_PTS_START"), program.ControlText(IDC_START));
        EXPECT_EQ(!c.monitor, IsWindowVisible(hMain) != FALSE);
        PostMessageA(hMain, WM_CLOSE, 0, 0);
        EXPECT_TRUE(program.WaitForExit(15000));
    }
}

TEST_F(ProgramFixture, ScreenshotOfTheMainWindowWithAFewSources)
{
    CComPortPair com(25);
    CAbsentComPort missing(36);
    const unsigned short port = FindFreeLoopbackPort();
    WriteProgramSettings({FileSource(folder.File("front till.txt"), true, std::to_string(port)),
                          FileSource(folder.File("bar till.txt"), false, com.Name()),
                          FileSource(folder.File("kiosk.txt"), false, missing.Name())});
    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("/Service"));
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    PostMessageA(hMain, WM_COMMAND, IDC_START, 0);
    ASSERT_TRUE(program.WaitForCell(1, 0, Text("IDS_PTS_COM_SETTING_DONE")));
    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(port));
    recorder.Login("counter 3");
    ASSERT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_CONNECTED")));
    SetForegroundWindow(hMain);

    // Saved beside the build's programs, for anyone to look at.
    std::string bin = ProgramExePath();
    bin = bin.substr(0, bin.rfind('\\'));
    const std::string windowsPath = bin + "\\..\\main-window.png";
    DeleteFileA(windowsPath.c_str());
    const std::string unixBin = EnvironmentValue("TILLVOX_BIN_DIR");
    RECT rect = {};
    GetWindowRect(hMain, &rect);
    const std::string crop = std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top) +
                             "+" + std::to_string(rect.left) + "+" + std::to_string(rect.top);
    std::string command =
        std::string("/usr/bin/import -window root -crop ") + crop + " " + unixBin + "/../main-window.png";
    ASSERT_TRUE(LaunchCommand(command));
    std::string png;
    for (int k = 0; k < 100 && png.size() < 1000; ++k) {
        Sleep(100);
        png = ReadWholeFile(windowsPath);
    }
    EXPECT_EQ("\x89PNG", png.substr(0, 4));
    std::printf("screenshot: %s\n", windowsPath.c_str());
}

// The closing tool of the run command and of installers: a close request as a
// user's, only to copies of the very program file it names.
TEST_F(ProgramFixture, CloseProgramToolClosesOnlyThatProgramAsAUserWould)
{
    const unsigned short port = FindFreeLoopbackPort();
    WriteProgramSettings({FileSource(folder.File("r.txt"), true, std::to_string(port))});
    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("/Service /Monitor"));
    ASSERT_NE(nullptr, program.WaitForMainWindow());
    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(port));
    ASSERT_EQ(67u, recorder.Login("counter 3").size());

    const std::string tool = EnvironmentValue("TILLVOX_BIN_DIR") + "/closeprogram.exe";
    auto run = [&](const std::string& target) {
        HANDLE hProcess = nullptr;
        if (!LaunchCommand("\"" + UnixToWindowsPath(tool) + "\" \"" + target + "\" 10000", &hProcess))
            return -1;
        WaitForSingleObject(hProcess, 20000);
        DWORD code = 99;
        GetExitCodeProcess(hProcess, &code);
        CloseHandle(hProcess);
        return static_cast<int>(code);
    };
    const std::string exe = ProgramExePath();
    EXPECT_EQ(1, run(exe.substr(0, exe.rfind('\\')) + "\\other\\Tillvox.exe")) << "another file of the same name";
    EXPECT_TRUE(program.IsRunning());
    EXPECT_EQ(0, run(exe));
    EXPECT_TRUE(program.WaitForExit(5000));
    EXPECT_TRUE(recorder.WaitPeerClose(5000)) << "stopped as on a user's close";
    EXPECT_EQ(1, run(exe)) << "nothing left to close";
}
