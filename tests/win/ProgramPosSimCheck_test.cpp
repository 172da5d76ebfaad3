// possim.exe, as an installer runs it on the till's machine, against the real
// Tillvox.exe: it must say when the program refused its connection.
#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/ProgramFixture.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/SourceRecords.h"
#include "tools/possim/PosSimOptions.h"

#include <gtest/gtest.h>

namespace {

struct PosSimCheckFixture : CProgramDataFixture {
    static void WriteNetworkSource(const std::string& client, unsigned short clientPort, unsigned short recorderPort)
    {
        WriteProgramSettings({TcpNetworkSource(client, clientPort, recorderPort, "pw")});
    }

    // Runs the Windows possim of this build to its end; its exit code, or -1.
    static int RunPosSim(const std::string& arguments)
    {
        const std::string exe = UnixToWindowsPath(EnvironmentValue("TILLVOX_BIN_DIR") + "/possim.exe");
        HANDLE hProcess = nullptr;
        if (!LaunchCommand("\"" + exe + "\" " + arguments, &hProcess))
            return -1;
        DWORD code = static_cast<DWORD>(-1);
        if (WaitForSingleObject(hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(hProcess, &code);
        else
            TerminateProcess(hProcess, 99);
        CloseHandle(hProcess);
        return static_cast<int>(code);
    }
};

}  // namespace

TEST_F(PosSimCheckFixture, ConnectionFromAnAddressNoSourceHasFailsWithItsOwnCode)
{
    const unsigned short clientPort = FindFreeLoopbackPort(), recorderPort = FindFreeLoopbackPort();
    WriteNetworkSource("127.0.0.2", clientPort, recorderPort);
    CProgramUnderTest program;
    ASSERT_TRUE(program.Start("/Service /Monitor"));
    ASSERT_NE(nullptr, program.WaitForMainWindow());
    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(recorderPort));
    ASSERT_EQ(67u, recorder.Login("pw").size());
    const std::string endpoint = "127.0.0.1:" + std::to_string(clientPort);

    // From 127.0.0.1, which is not the source's client: the program closes the connection.
    for (const char* more : {"--count 1 --size 100", "--count 3 --size 5000 --reconnect", "--count 2 --linger-ms 500"}) {
        SCOPED_TRACE(more);
        EXPECT_EQ(POS_SIM_REFUSED, RunPosSim(endpoint + " --retry-ms 15000 " + more));
    }
    EXPECT_EQ("", recorder.ReceiveUpTo(1, 500)) << "nothing was forwarded";

    // From the source's own address the same receipt goes through and possim says so.
    EXPECT_EQ(POS_SIM_OK, RunPosSim(endpoint + " --from 127.0.0.2 --count 1 --size 100"));
    std::string swapped = PosSimSampleReceipt(1, 100);
    for (char& c : swapped) c = static_cast<char>(((static_cast<uint8_t>(c) & 0x0F) << 4) | (static_cast<uint8_t>(c) >> 4));
    EXPECT_EQ(swapped, recorder.ReceiveUpTo(swapped.size(), 10000)) << "the receipt went through";

    PostMessageA(program.WaitForMainWindow(1000), WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.WaitForExit(15000));
}
