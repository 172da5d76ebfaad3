// The real Tillvox.exe with a file source sent over TCP: whoever else reaches
// the recorder's port, or holds it when capture starts, the recorder still
// gets in and gets the receipts.
#include "net/TimeOutSocket.h"
#include "tests/support/Bytes.h"
#include "tests/support/Loopback.h"
#include "tests/support/NativeTool.h"
#include "tests/support/ProgramFixture.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/SourceRecords.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

const char PASSWORD[] = "counter 3";

struct RecorderPortFixture : CProgramFixture {
    CTempFolder folder;
    unsigned short port = FindFreeLoopbackPort();
    std::string receiptFile = folder.File("till1.txt");

    RecorderPortFixture()
    {
        WriteWholeFile(receiptFile, "");
        WriteProgramSettings({TcpFileSource(receiptFile, "POS1", port, PASSWORD)});
    }
};

}  // namespace

// The recorder simulator waits 20 s for its login reply, as recorders do; a
// stranger that took the one connection first and never logs in must be gone
// well before that.
TEST_F(RecorderPortFixture, AStrangerOnThePortDoesNotKeepTheRecorderFromTheReceipt)
{
    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("/Service /Monitor"));
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    ASSERT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_WAIT_CONNECT")));

    CRecorderPeer stranger;
    ASSERT_TRUE(stranger.Connect(port));
    ASSERT_TRUE(stranger.KeepAliveCheck());
    ASSERT_EQ("V3StillLive", stranger.ReceiveUpTo(11, 5000)) << "the stranger holds the connection";

    const std::string receipt = "ESPRESSO 2.10\r\nTOTAL 2.10\r\n";
    AppendToFile(receiptFile, receipt);
    CSharedTempFolder shared;
    ASSERT_TRUE(StartNativeTool("dvrsim", "127.0.0.1:" + std::to_string(port) + " --password \"" + PASSWORD +
                                              "\" --retry-ms 5000 --quiet --idle-exit-ms 40000 --max-bytes " +
                                              std::to_string(receipt.size() + 1) + " --out " +
                                              shared.UnixPath("received.txt")));
    EXPECT_EQ(receipt + std::string(1, '\0'),
              WaitForFileOfSize(shared.WindowsPath("received.txt"), receipt.size() + 1, 40000));
    EXPECT_TRUE(stranger.WaitPeerClose(5000)) << "the stranger kept its connection";
    CloseProgram(program, hMain);
}

TEST_F(RecorderPortFixture, APortHeldAtStartIsListenedOnOnceFreed)
{
    auto holder = std::make_unique<CTimeOutSocket>();
    ASSERT_TRUE(holder->Create(port));
    ASSERT_TRUE(holder->Listen());
    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("/Service /Monitor"));
    HWND hMain = program.WaitForMainWindow();
    ASSERT_NE(nullptr, hMain);
    ASSERT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_LISTEN_FAIL"))) << program.ListCell(0, 0);
    const std::string receipt = "TEA 1.80\r\n";
    AppendToFile(receiptFile, receipt);

    holder.reset();
    EXPECT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_WAIT_CONNECT"))) << program.ListCell(0, 0);
    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(port));
    ASSERT_EQ(67u, recorder.Login(PASSWORD).size());
    EXPECT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_CONNECTED")));
    EXPECT_EQ(Swapped(receipt + std::string(1, '\0')), recorder.ReceiveUpTo(receipt.size() + 1, 10000));
    CloseProgram(program, hMain);
}
