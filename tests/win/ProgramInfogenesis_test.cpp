// The real Tillvox.exe with the simulator adapter library beside it as
// InfogenesisPos.dll (and without it): rows, statuses, the 5-second retry,
// stop and start while the library calls back.
#include "res/resource.h"
#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/ProgramFixture.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/SimulatorClient.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

std::string BinFile(const std::string& relative)
{
    return UnixToWindowsPath(EnvironmentValue("TILLVOX_BIN_DIR") + "/" + relative);
}

struct ProgramInfogenesisFixture : CProgramFixture {
    CTempFolder folder;  // the program's own folder for this test
    unsigned short simPort = FindFreeLoopbackPort();

    ProgramInfogenesisFixture()
    {
        CopyFileA(BinFile("Tillvox.exe").c_str(), folder.File("Tillvox.exe").c_str(), FALSE);
        CopyFileA(BinFile("Tillvox.xml").c_str(), folder.File("Tillvox.xml").c_str(), FALSE);
        WriteProgramSettings({Source(simPort, "1"), Source(simPort, "2,3")});
    }
    void WithLibrary()
    {
        ASSERT_TRUE(CopyFileA(BinFile("../infogenesis-sim/InfogenesisPos.dll").c_str(),
                              folder.File("InfogenesisPos.dll").c_str(), FALSE));
    }
    static POS_SETTING_INFO Source(unsigned short recv, const char* ids)
    {
        POS_SETTING_INFO r;
        r.nMonitorType = KIND_INFOGENESIS;
        r.nReceiptType = 0;
        r.strPosIndex = "POS1";
        r.ePrinterType = PRINTER_TYPE::Tcp;
        r.strPort = std::to_string(FindFreeLoopbackPort());
        r.strPassword = "pw";
        r.strBaudRate = r.strDataBits = r.strParity = r.strStopBits = "NULL";
        std::snprintf(r.infogenesis.szIP, sizeof r.infogenesis.szIP, "127.0.0.1");
        r.infogenesis.nSendPort = 7001;
        r.infogenesis.nRecvPort = recv;
        std::snprintf(r.infogenesis.szTerminalIDs, sizeof r.infogenesis.szTerminalIDs, "%s", ids);
        return r;
    }
    std::string Description(int i)
    {
        return "Infogenesis: 127.0.0.1, 7001, " + std::to_string(simPort) + ", " + (i == 0 ? "1" : "2,3");
    }
    std::string Row(int i, const std::string& suffix) { return Description(i) + " " + suffix; }
    std::string Waiting(int i) { return Row(i, "(" + pTexts->GetString("IDS_PTS_WAIT_CONNECT") + ")"); }
    std::string Connected(int i) { return Row(i, "(" + pTexts->GetString("IDS_PTS_CONNECTED") + ")"); }
    std::string Reconnecting(int i) { return Row(i, " (" + pTexts->GetString("IDS_RECONNECT") + ")"); }
    std::string Failed(int i) { return Row(i, " (Failed)"); }
};

}  // namespace

TEST_F(ProgramInfogenesisFixture, StatusesAndTheFiveSecondRetryOnTheRows)
{
    WithLibrary();
    CProgramUnderTest program;
    ASSERT_TRUE(program.StartExe(folder.File("Tillvox.exe"), "/Service /Monitor"));
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(program.WaitForCell(i, 1, Waiting(i))) << program.ListCell(i, 1);

    CSimulatorClient client;
    ASSERT_TRUE(client.Connect(simPort));
    EXPECT_EQ("RECORD 127.0.0.1 7001 " + std::to_string(simPort) + " 3 1 2 3 0 0 0 0 0 0 0 0 0 0 0 0 0",
              client.Ask("RECORD"));
    EXPECT_EQ("OK", client.Ask("DATA 2 FIRST RECEIPT"));
    EXPECT_TRUE(program.WaitForCell(1, 1, Connected(1))) << program.ListCell(1, 1);
    EXPECT_EQ(Waiting(0), program.ListCell(0, 1));
    EXPECT_EQ("OK", client.Ask("EVENT 2 1"));
    EXPECT_TRUE(program.WaitForCell(0, 1, Failed(0))) << program.ListCell(0, 1);

    EXPECT_EQ("OK", client.Ask("DROP"));
    const DWORD dropped = GetTickCount();
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(program.WaitForCell(i, 1, Reconnecting(i), 4000)) << program.ListCell(i, 1);
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(program.WaitForCell(i, 1, Waiting(i), 15000)) << program.ListCell(i, 1);
    const DWORD elapsed = GetTickCount() - dropped;
    EXPECT_GE(elapsed, 4500u);
    EXPECT_TRUE(client.WaitPeerClose(5000)) << "the restart did not stop the library";
    CSimulatorClient again;
    ASSERT_TRUE(again.Connect(simPort)) << "the restart did not start the library";
    EXPECT_EQ("OK", again.Ask("EVENT 8 0"));
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(program.WaitForCell(i, 1, Connected(i))) << program.ListCell(i, 1);
    EXPECT_EQ("OK", again.Ask("EVENT 9 0"));
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(program.WaitForCell(i, 1, Failed(i))) << program.ListCell(i, 1);
    CloseProgram(program, hMain);
}

TEST_F(ProgramInfogenesisFixture, StopAndStartWhileTheLibraryCallsBackInATightLoop)
{
    WithLibrary();
    CProgramUnderTest program;
    ASSERT_TRUE(program.StartExe(folder.File("Tillvox.exe"), "/Service /Monitor"));
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 2; ++i) ASSERT_TRUE(program.WaitForCell(i, 1, Waiting(i))) << round;
        CSimulatorClient client;
        ASSERT_TRUE(client.Connect(simPort));
        ASSERT_EQ("OK", client.Ask("FLOOD 1 RECEIPT LINE"));
        ASSERT_EQ("OK", client.Ask("FLOOD 3 OTHER LINE"));
        EXPECT_TRUE(program.WaitForCell(0, 1, Connected(0)));
        Sleep(300);
        SendMessageA(hMain, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);  // Stop
        ASSERT_TRUE(program.IsRunning());
        for (int i = 0; i < 2; ++i) EXPECT_TRUE(program.WaitForCell(i, 1, Description(i))) << program.ListCell(i, 1);
        CLoopbackClient gone;
        EXPECT_FALSE(gone.Connect(simPort, 500)) << "the library still listens after stop";
        SendMessageA(hMain, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);  // Start again
    }
    ASSERT_TRUE(program.IsRunning());
    CloseProgram(program, hMain);
}

TEST_F(ProgramInfogenesisFixture, WithoutTheLibraryTheProgramRunsAndTheSourcesShowFailed)
{
    CProgramUnderTest program;
    ASSERT_TRUE(program.StartExe(folder.File("Tillvox.exe"), "/Service /Monitor"));
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(program.WaitForCell(i, 1, Failed(i))) << program.ListCell(i, 1);
    CLoopbackClient nobody;
    EXPECT_FALSE(nobody.Connect(simPort, 500));
    ASSERT_TRUE(program.IsRunning());
    CloseProgram(program, hMain);
}

// The program runs with full rights: a library of the adapter's name that
// someone put in the folder it is started from, or in a folder on the search
// path, must not be loaded when its own folder has none.
TEST_F(ProgramInfogenesisFixture, ALibraryOutsideTheProgramFolderIsNeverLoaded)
{
    const struct { const char* name; bool bWorkingFolder; } cases[] = {{"working folder", true}, {"search path", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTempFolder planted;
        ASSERT_TRUE(CopyFileA(BinFile("../infogenesis-sim/InfogenesisPos.dll").c_str(),
                              planted.File("InfogenesisPos.dll").c_str(), FALSE));
        // The program inherits the working folder and the search path of the test.
        char savedFolder[MAX_PATH] = {};
        GetCurrentDirectoryA(sizeof savedFolder, savedFolder);
        const std::string savedPath = EnvironmentValue("PATH");
        if (c.bWorkingFolder)
            ASSERT_TRUE(SetCurrentDirectoryA(planted.Path().c_str()));
        else
            ASSERT_TRUE(SetEnvironmentVariableA("PATH", (planted.Path() + ";" + savedPath).c_str()));
        CProgramUnderTest program;
        const bool bStarted = program.StartExe(folder.File("Tillvox.exe"), "/Service /Monitor");
        SetCurrentDirectoryA(savedFolder);
        SetEnvironmentVariableA("PATH", savedPath.c_str());
        ASSERT_TRUE(bStarted);
        HWND hMain = program.WaitForMainWindow();
        ASSERT_NE(nullptr, hMain);
        for (int i = 0; i < 2; ++i) EXPECT_TRUE(program.WaitForCell(i, 1, Failed(i))) << program.ListCell(i, 1);
        CLoopbackClient nobody;
        EXPECT_FALSE(nobody.Connect(simPort, 500)) << "the planted library was started";
        CloseProgram(program, hMain);
    }
}
