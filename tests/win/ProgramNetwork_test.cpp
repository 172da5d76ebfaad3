// End to end: Tillvox.exe with a network source and a TCP printer, possim as
// the till and dvrsim as the recorder, all three real programs.
#include "net/TimeOutSocket.h"
#include "tests/support/Loopback.h"
#include "tests/support/NativeTool.h"
#include "tests/support/ProgramFixture.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/SourceRecords.h"
#include "tests/support/TempFolder.h"
#include "tools/possim/PosSimOptions.h"

#include <gtest/gtest.h>

namespace {

struct ProgramNetworkFixture : CProgramFixture {
    CSharedTempFolder shared;
};

}  // namespace

TEST_F(ProgramNetworkFixture, WhatPossimSendsDvrsimWritesExactly)
{
    const unsigned short clientPort = FindFreeLoopbackPort(), recorderPort = FindFreeLoopbackPort();
    const unsigned short otherPort = FindFreeLoopbackPort();
    // Two tills: one sending files, one generated receipts on a new connection each.
    WriteProgramSettings({TcpNetworkSource("127.0.0.1", clientPort, recorderPort, "front till"),
                          TcpNetworkSource("127.0.0.2", clientPort, otherPort, "front till")});
    std::string fileReceipt;
    for (int v = 0; v < 256; ++v) fileReceipt += static_cast<char>(v);
    fileReceipt += "\r\nTOTAL 12.50\r\n";
    WriteWholeFile(shared.WindowsPath("r1.bin"), fileReceipt);
    WriteWholeFile(shared.WindowsPath("r2.bin"), std::string(5000, 'Z') + "\r\n");

    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("/Service /Monitor"));
    ASSERT_NE(nullptr, program.WaitForMainWindow());

    std::string expected1 = fileReceipt + std::string(5000, 'Z') + "\r\n";
    std::string expected2;
    for (long k = 1; k <= 10; ++k) expected2 += PosSimSampleReceipt(k, 4000);
    const struct { unsigned short port; const std::string& expected; const char* out; } recorders[] = {
        {recorderPort, expected1, "received1.txt"}, {otherPort, expected2, "received2.txt"}};
    for (const auto& r : recorders)
        ASSERT_TRUE(StartNativeTool("dvrsim", "127.0.0.1:" + std::to_string(r.port) +
                                                  " --password \"front till\" --retry-ms 15000 --quiet"
                                                  " --idle-exit-ms 30000 --max-bytes " + std::to_string(r.expected.size()) +
                                                  " --out " + shared.UnixPath(r.out)));
    // Receipts that come while no recorder is logged in wait for the next one; here every receipt goes out live.
    for (int row = 0; row < 2; ++row)
        ASSERT_TRUE(program.WaitForCell(row, 0, pTexts->GetString("IDS_PTS_CONNECTED"), 30000)) << row;
    const std::string endpoint = "127.0.0.1:" + std::to_string(clientPort);
    ASSERT_TRUE(StartNativeTool("possim", endpoint + " --retry-ms 15000 --interval 300 --quiet " +
                                              shared.UnixPath("r1.bin") + " " + shared.UnixPath("r2.bin")));
    ASSERT_TRUE(StartNativeTool("possim", endpoint + " --from 127.0.0.2 --retry-ms 15000 --count 10 --size 4000"
                                                     " --interval 100 --reconnect --quiet"));

    const std::string received1 = WaitForFileOfSize(shared.WindowsPath("received1.txt"), expected1.size(), 40000);
    const std::string received2 = WaitForFileOfSize(shared.WindowsPath("received2.txt"), expected2.size(), 40000);
    EXPECT_EQ(expected1.size(), received1.size());
    EXPECT_TRUE(expected1 == received1) << "the file receipts, byte for byte";
    EXPECT_EQ(expected2.size(), received2.size());
    EXPECT_TRUE(expected2 == received2) << "the generated receipts of the second till";

    PostMessageA(program.WaitForMainWindow(1000), WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit(15000));
    CTimeOutSocket probe;
    EXPECT_TRUE(probe.Create(clientPort)) << "the client port is free once the program ended";
}
