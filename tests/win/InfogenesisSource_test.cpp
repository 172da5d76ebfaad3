// Infogenesis sources in-process, against the simulator adapter library
// (tools/infogenesis-sim) loaded as the program loads InfogenesisPos.dll:
// real library threads calling back, real outputs, real recorder peers.
#include "app/CaptureEngine.h"
#include "tests/support/Bytes.h"
#include "tests/support/ComPortPair.h"
#include "tests/support/EngineHost.h"
#include "tests/support/Process.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/SimulatorClient.h"
#include "tests/support/SourceRecords.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <sstream>

using namespace std::chrono_literals;

namespace {

std::string SimulatorPath()
{
    return UnixToWindowsPath(EnvironmentValue("TILLVOX_BIN_DIR") + "/../infogenesis-sim/InfogenesisPos.dll");
}

std::string Hex(const std::string& bytes)
{
    std::string out = "0x";
    char pair[3];
    for (unsigned char c : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", c);
        out += pair;
    }
    return out;
}

// The library loaded as the program loads it.
struct CSimulatorLibrary {
    HMODULE hModule = LoadLibraryA(SimulatorPath().c_str());
    ~CSimulatorLibrary()
    {
        if (hModule) FreeLibrary(hModule);
    }
    INFOGENESIS_LIBRARY Exports() const
    {
        INFOGENESIS_LIBRARY library;
        library.pfnCreatePtr = reinterpret_cast<PFN_INFOGENESIS_CREATE_PTR>(
            reinterpret_cast<void (*)()>(GetProcAddress(hModule, "CreatePtr")));
        library.pfnDeletePtr = reinterpret_cast<PFN_INFOGENESIS_DELETE_PTR>(
            reinterpret_cast<void (*)()>(GetProcAddress(hModule, "DeletePtr")));
        return library;
    }
};

std::string Record(unsigned short port)
{
    CSimulatorClient client;
    if (!client.Connect(port)) return "no simulator";
    return client.Ask("RECORD");
}

std::string RecordOf(const char* ip, int send, int recv, std::vector<int> ids)
{
    std::ostringstream out;
    out << "RECORD " << ip << ' ' << send << ' ' << recv << ' ' << ids.size();
    ids.resize(16, 0);
    for (int id : ids) out << ' ' << id;
    return out.str();
}

struct InfogenesisFixture : ::testing::Test {
    CWinsockInit winsock;
    CSimulatorLibrary library;
    CEngineHost host;
    CHostedEngine engine{host};

    void SetUp() override
    {
        ASSERT_NE(nullptr, library.hModule) << SimulatorPath();
        engine.SetInfogenesisLibrary(library.Exports());
    }
    void Add(int send, int recv, const char* ids, PRINTER_TYPE printer, const std::string& port)
    {
        auto r = EngineSource(KIND_INFOGENESIS, printer, port, "pw");
        r->nReceiptType = 0;
        std::snprintf(r->infogenesis.szIP, sizeof r->infogenesis.szIP, "127.0.0.1");
        r->infogenesis.nSendPort = send;
        r->infogenesis.nRecvPort = recv;
        std::snprintf(r->infogenesis.szTerminalIDs, sizeof r->infogenesis.szTerminalIDs, "%s", ids);
        engine.AddSource(std::move(r));
    }
    std::string Row(int i, const std::string& suffix)
    {
        const INFOGENESIS_SETTING& s = engine.Source(i).infogenesis;
        char text[700];
        std::snprintf(text, sizeof text, "Infogenesis: %s, %d, %d, %s %s", s.szIP, s.nSendPort, s.nRecvPort,
                      s.szTerminalIDs, suffix.c_str());
        return text;
    }
    std::string Waiting(int i) { return Row(i, "(" + engine.m_strWaitConnect + ")"); }
    std::string Connected(int i) { return Row(i, "(" + engine.m_strConnected + ")"); }
    std::string Reconnecting(int i) { return Row(i, " (" + engine.m_strReconnect + ")"); }
    std::string Failed(int i) { return Row(i, " (Failed)"); }
};

}  // namespace

TEST_F(InfogenesisFixture, SourcesWithTheSameServerShareOneObjectWhoseRecordListsEveryTerminal)
{
    const unsigned short shared = FindFreeLoopbackPort(), other = FindFreeLoopbackPort(), many = FindFreeLoopbackPort();
    Add(7001, shared, "1,2", PRINTER_TYPE::Tcp, std::to_string(FindFreeLoopbackPort()));
    Add(7002, other, "0,5,100000,7", PRINTER_TYPE::Tcp, std::to_string(FindFreeLoopbackPort()));
    Add(7001, shared, "3", PRINTER_TYPE::Tcp, std::to_string(FindFreeLoopbackPort()));
    Add(7003, many, "1,2,3,4,5,6,7,8,9,10,11,12", PRINTER_TYPE::Tcp, std::to_string(FindFreeLoopbackPort()));
    Add(7003, many, "13,14,15,16,17,18", PRINTER_TYPE::Tcp, std::to_string(FindFreeLoopbackPort()));
    engine.Start();

    ASSERT_EQ(3, engine.Infogenesis().ConnectionCount());
    EXPECT_EQ(0, engine.Source(0).infogenesis.nSlot);
    EXPECT_EQ(1, engine.Source(1).infogenesis.nSlot);
    EXPECT_EQ(0, engine.Source(2).infogenesis.nSlot);
    EXPECT_EQ(2, engine.Source(4).infogenesis.nSlot);
    EXPECT_EQ(RecordOf("127.0.0.1", 7001, shared, {1, 2, 3}), Record(shared));
    EXPECT_EQ(RecordOf("127.0.0.1", 7002, other, {5, 7}), Record(other));
    EXPECT_EQ(RecordOf("127.0.0.1", 7003, many, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}),
              Record(many));
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(host.WaitForSourceText(i, Waiting(i), 5s)) << i << ": " << host.SourceTextOf(i);

    engine.Stop();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Row(i, "").substr(0, Row(i, "").size() - 1), host.SourceTextOf(i));
    CLoopbackClient gone;
    EXPECT_FALSE(gone.Connect(shared, 500)) << "the library was not stopped";
}

// The delivery goes by the source's printer type: a serial source's receipt
// reaches its COM port, a TCP source's its recorder, each byte for byte.
TEST_F(InfogenesisFixture, DataReachesItsSourcesOutputByteForByteAndUnclaimedTerminalsAreDropped)
{
    const unsigned short sim = FindFreeLoopbackPort(), recorderPort = FindFreeLoopbackPort();
    CComPortPair com(41);
    Add(7001, sim, "1", PRINTER_TYPE::Tcp, std::to_string(recorderPort));
    Add(7001, sim, "2,3", PRINTER_TYPE::Serial, com.Name());
    engine.Start();
    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(recorderPort));
    ASSERT_EQ(67u, recorder.Login("pw").size());
    ASSERT_TRUE(host.WaitForStatus(0, engine.m_strConnected, 10s));
    ASSERT_TRUE(host.WaitForSourceText(1, Waiting(1), 5s));

    CSimulatorClient client;
    ASSERT_TRUE(client.Connect(sim));
    const std::string receipt = Piece(600, 3);
    EXPECT_EQ("OK", client.Ask("DATA 2 " + Hex(receipt)));
    EXPECT_EQ(Swapped(receipt), com.Read(receipt.size(), 10s));
    EXPECT_TRUE(host.WaitForSourceText(1, Connected(1), 5s)) << host.SourceTextOf(1);
    EXPECT_EQ(Waiting(0), host.SourceTextOf(0));

    EXPECT_EQ("OK", client.Ask("DATA 9 nobody claims this"));
    EXPECT_EQ("OK", client.Ask("DATA 0 nor this"));
    EXPECT_EQ("OK", client.Ask("DATA 1 TOTAL 4.50"));
    EXPECT_EQ(Swapped("TOTAL 4.50"), recorder.ReceiveUpTo(10, 10000));
    EXPECT_TRUE(host.WaitForSourceText(0, Connected(0), 5s));
    EXPECT_EQ("", com.Read(1, 300ms));

    // More than the delivery buffers hold at once, in acknowledged chunks.
    const std::string big = Piece(150000, 5);
    EXPECT_EQ("OK", client.Ask("DATA 1 " + Hex(big)));
    std::string received;
    for (int k = 0; k < 400 && received.size() < big.size(); ++k) {
        ASSERT_TRUE(recorder.Ack());
        received += recorder.ReceiveUpTo(big.size() - received.size(), 200);
    }
    EXPECT_EQ(big.size(), received.size());
    EXPECT_TRUE(received == Swapped(big));
}

TEST_F(InfogenesisFixture, EventsTurnIntoRowStatusesAndALostConnectionIsRestarted)
{
    const unsigned short sim = FindFreeLoopbackPort();
    Add(7001, sim, "1", PRINTER_TYPE::Tcp, std::to_string(FindFreeLoopbackPort()));
    Add(7001, sim, "2", PRINTER_TYPE::Tcp, std::to_string(FindFreeLoopbackPort()));
    engine.Start();
    {
        CSimulatorClient client;
        ASSERT_TRUE(client.Connect(sim));
        EXPECT_EQ("OK", client.Ask("EVENT 8 0"));
        for (int i = 0; i < 2; ++i) EXPECT_TRUE(host.WaitForSourceText(i, Connected(i), 5s)) << i;
        EXPECT_EQ("OK", client.Ask("EVENT 2 2"));
        EXPECT_TRUE(host.WaitForSourceText(1, Failed(1), 5s));
        EXPECT_EQ(Connected(0), host.SourceTextOf(0));
        EXPECT_EQ("OK", client.Ask("EVENT 2 77"));  // no source has terminal 77
        EXPECT_EQ("OK", client.Ask("EVENT 8 0"));
        for (int i = 0; i < 2; ++i) EXPECT_TRUE(host.WaitForSourceText(i, Connected(i), 5s)) << i;
        EXPECT_EQ("OK", client.Ask("EVENT 5 0"));
        for (int i = 0; i < 2; ++i) EXPECT_TRUE(host.WaitForSourceText(i, Failed(i), 5s)) << i;
        EXPECT_TRUE(host.RetryRequests().empty());

        EXPECT_EQ("OK", client.Ask("DROP"));
        for (int i = 0; i < 2; ++i) EXPECT_TRUE(host.WaitForSourceText(i, Reconnecting(i), 5s)) << i;
        EXPECT_EQ(std::vector<int>{0}, host.RetryRequests());
    }
    // The window's timer fires: the object is stopped and started again.
    engine.RestartInfogenesis(0);
    EXPECT_TRUE(engine.Infogenesis().IsStarted(0));
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(host.WaitForSourceText(i, Waiting(i), 5s)) << i;
    EXPECT_EQ(RecordOf("127.0.0.1", 7001, sim, {1, 2}), Record(sim));

    // A timer that fires after stop restarts nothing.
    engine.Stop();
    engine.RestartInfogenesis(0);
    EXPECT_FALSE(engine.Infogenesis().IsStarted(0));
    CLoopbackClient gone;
    EXPECT_FALSE(gone.Connect(sim, 500));
}

TEST_F(InfogenesisFixture, WithoutTheLibraryTheSourceDoesNotStartAndItsRowShowsFailed)
{
    engine.SetInfogenesisLibrary(INFOGENESIS_LIBRARY{});
    EXPECT_FALSE(engine.HasInfogenesisLibrary());
    const unsigned short sim = FindFreeLoopbackPort();
    Add(7001, sim, "1", PRINTER_TYPE::Tcp, std::to_string(FindFreeLoopbackPort()));
    engine.Start();
    EXPECT_TRUE(host.WaitForSourceText(0, Failed(0), 5s)) << host.SourceTextOf(0);
    EXPECT_FALSE(engine.Infogenesis().HasAdapter(0));
    CLoopbackClient nobody;
    EXPECT_FALSE(nobody.Connect(sim, 500));
    engine.Stop();
}

namespace {

// Counts what the input hands over, and when.
struct CCountingSink : CDeliverySink {
    std::atomic<long long> nBytes{0};
    std::atomic<long long> nLateCalls{0};
    std::atomic<DWORD> dwLateFrom{0};  // tick after which a delivery counts as late; 0 = none is
    void Deliver(int, const uint8_t*, int count) override
    {
        nBytes += count;
        const DWORD from = dwLateFrom;
        if (from && static_cast<LONG>(GetTickCount() - from) >= 0) ++nLateCalls;
    }
};

struct CStatusSink : CInfogenesisEvents {
    std::atomic<int> nCalls{0};
    void OnInfogenesisStatus(int, int) override { ++nCalls; }
    void OnInfogenesisLost(int) override { ++nCalls; }
};

}  // namespace

// The library calls back in a tight loop while stop runs: stop returns, no
// handler runs after it, and the next start works.
TEST(InfogenesisStop, StopWhileTheLibraryCallsBackInATightLoop)
{
    CWinsockInit winsock;
    CSimulatorLibrary library;
    ASSERT_NE(nullptr, library.hModule);
    const unsigned short sim = FindFreeLoopbackPort();
    const std::vector<INFOGENESIS_SOURCE> sources = {{0, "127.0.0.1", 1, sim, "1"}, {1, "127.0.0.1", 1, sim, "2"}};
    CCountingSink sink;
    CStatusSink events;
    CInfogenesisInput input;
    for (bool lazy : {false, true, false, true}) {
        std::vector<int> slots;
        input.Start(sources, library.Exports(), sink, events, slots);
        CSimulatorClient client;
        ASSERT_TRUE(client.Connect(sim));
        if (lazy) {
            // A library whose threads still call back for a second after its stop returned.
            ASSERT_EQ("OK", client.Ask("LAZYSTOP"));
        }
        ASSERT_EQ("OK", client.Ask("FLOOD 1 RECEIPT LINE"));
        ASSERT_EQ("OK", client.Ask("FLOOD 2 OTHER LINE"));
        const long long before = sink.nBytes;
        for (int k = 0; k < 200 && sink.nBytes < before + 100000; ++k) Sleep(10);
        ASSERT_GE(sink.nBytes, before + 100000) << "the flood did not run";

        sink.dwLateFrom = GetTickCount() + 150;
        input.Stop();
        const long long atStop = sink.nBytes;
        const int statusesAtStop = events.nCalls;
        Sleep(lazy ? 1300 : 300);
        EXPECT_EQ(atStop, sink.nBytes.load()) << "a handler delivered after stop returned";
        EXPECT_EQ(statusesAtStop, events.nCalls.load());
        EXPECT_EQ(0, sink.nLateCalls.load()) << "events during stop were delivered";
        sink.dwLateFrom = 0;
    }
}

namespace {

// Runs the simulator's command sender (the Windows build beside the program) and returns its exit code.
DWORD RunSender(const std::string& arguments)
{
    const std::string exe = UnixToWindowsPath(EnvironmentValue("TILLVOX_BIN_DIR") + "/infogenesis-send.exe");
    HANDLE hProcess = nullptr;
    if (!LaunchCommand("\"" + exe + "\" " + arguments, &hProcess)) return 1000;
    DWORD code = 1001;
    if (WaitForSingleObject(hProcess, 20000) == WAIT_OBJECT_0) GetExitCodeProcess(hProcess, &code);
    CloseHandle(hProcess);
    return code;
}

}  // namespace

TEST_F(InfogenesisFixture, TheCommandSenderDrivesTheSimulator)
{
    const unsigned short sim = FindFreeLoopbackPort();
    Add(7001, sim, "4", PRINTER_TYPE::Tcp, std::to_string(FindFreeLoopbackPort()));
    engine.Start();
    ASSERT_TRUE(host.WaitForSourceText(0, Waiting(0), 5s));
    EXPECT_EQ(0u, RunSender(std::to_string(sim) + " EVENT 8 0"));
    EXPECT_TRUE(host.WaitForSourceText(0, Connected(0), 5s)) << host.SourceTextOf(0);
    EXPECT_EQ(0u, RunSender(std::to_string(sim) + " DROP"));
    EXPECT_TRUE(host.WaitForSourceText(0, Reconnecting(0), 5s)) << host.SourceTextOf(0);
    EXPECT_EQ(1u, RunSender(std::to_string(sim) + " NO SUCH COMMAND"));
    EXPECT_EQ(1u, RunSender(std::to_string(sim) + " DATA 4 0xABC"));  // odd number of hex digits
    engine.Stop();
    EXPECT_EQ(1u, RunSender(std::to_string(sim) + " DROP")) << "nothing listens after stop";
}
