// Network sources through the real engine: a POS client's bytes reach the
// source's recorder or COM port as the outputs send them, over real sockets.
#include "app/CaptureEngine.h"
#include "tests/support/Bytes.h"
#include "tests/support/ComPortPair.h"
#include "tests/support/EngineHost.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/SourceRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

struct NetworkSourceFixture : ::testing::Test {
    CWinsockInit winsock;
    CEngineHost host;
    CHostedEngine engine{host};
    unsigned short clientPort = FindFreeLoopbackPort();
    unsigned short recorderPort = FindFreeLoopbackPort();

    void AddNetworkSource(PRINTER_TYPE printer, const std::string& outputPort, const std::string& client = "127.0.0.1")
    {
        auto r = EngineSource(KIND_NETWORK, printer, outputPort, "till");
        r->nReceiptType = 0;
        r->nInternetType = 0;
        r->strInternetIP = client;
        r->nInternetPort = clientPort;
        engine.AddSource(std::move(r));
    }
    void Start()
    {
        engine.Start();
    }
    void LogIn(CRecorderPeer& recorder)
    {
        ASSERT_TRUE(recorder.Connect(recorderPort));
        ASSERT_EQ(67u, recorder.Login("till").size());
        ASSERT_TRUE(host.WaitForStatus(0, engine.m_strConnected, 10s));
    }
};

// Reads count bytes as a recorder does: one chunk, its acknowledgement, the next.
std::string ReceiveAcknowledged(CRecorderPeer& recorder, size_t count)
{
    std::string received;
    while (received.size() < count) {
        const std::string chunk = recorder.ReceiveSome(65536, 10000);
        if (chunk.empty()) break;
        EXPECT_LE(chunk.size(), 3072u) << "one chunk at a time";
        received += chunk;
        if (!recorder.Ack()) break;
    }
    return received;
}

std::string EveryByteValueAndLargeSends()
{
    std::string all;
    for (int v = 0; v < 256; ++v) all += static_cast<char>(v);
    return all + Piece(3073, 1) + Piece(20000, 2) + Piece(7, 3);
}

}  // namespace

TEST_F(NetworkSourceFixture, ClientBytesReachALoggedInRecorderSwappedWithNothingAdded)
{
    AddNetworkSource(PRINTER_TYPE::Tcp, std::to_string(recorderPort));
    Start();
    CRecorderPeer recorder;
    LogIn(recorder);
    CLoopbackClient till;
    ASSERT_TRUE(till.Connect(clientPort));
    const std::string sent = EveryByteValueAndLargeSends();
    ASSERT_TRUE(till.SendAll(sent));
    EXPECT_TRUE(Swapped(sent) == ReceiveAcknowledged(recorder, sent.size())) << "byte for byte, in order";
    EXPECT_EQ("", recorder.ReceiveUpTo(1, 500)) << "no zero byte or anything else after it";
}

TEST_F(NetworkSourceFixture, ClientBytesReachASerialPrinter)
{
    CComPortPair com(19);
    AddNetworkSource(PRINTER_TYPE::Serial, com.Name());
    Start();
    CLoopbackClient till;
    ASSERT_TRUE(till.Connect(clientPort));
    const std::string sent = EveryByteValueAndLargeSends();
    ASSERT_TRUE(till.SendAll(sent));
    EXPECT_TRUE(Swapped(sent) == com.Read(sent.size(), 20s));
    EXPECT_EQ("", com.Read(1, 500ms));
    const std::vector<METRICS_SOURCE> metrics = engine.MetricsSources();
    ASSERT_EQ(1u, metrics.size());
    EXPECT_TRUE(metrics[0].bOutputConnected) << "the COM port is open";
    EXPECT_FALSE(metrics[0].bRecorderLoggedIn) << "a serial line has no recorder login";
    EXPECT_EQ(sent.size(), metrics[0].counters.nBytesSent) << "every byte written to the port";
    EXPECT_EQ(0u, metrics[0].counters.nBytesQueued);
    engine.Stop();
    EXPECT_FALSE(engine.MetricsSources()[0].bOutputConnected) << "stopped: closed";
}

TEST_F(NetworkSourceFixture, ReceiptsStoredWhileTheRecorderWasAwaySurviveAReconnect)
{
    AddNetworkSource(PRINTER_TYPE::Tcp, std::to_string(recorderPort));
    Start();
    const std::string first = "STORED RECEIPT\r\n" + Piece(5000, 4), second = "AFTER RECONNECT\r\n";
    {
        CLoopbackClient till;
        ASSERT_TRUE(till.Connect(clientPort));
        ASSERT_TRUE(till.SendAll(first));
        for (int k = 0; k < 100 && engine.Queue(0).QueuedLen() < static_cast<int>(first.size()); ++k) Sleep(50);
        ASSERT_EQ(static_cast<int>(first.size()), engine.Queue(0).QueuedLen());
    }
    CLoopbackClient again;  // a new reader starts for the source
    ASSERT_TRUE(again.Connect(clientPort));
    ASSERT_TRUE(again.SendAll(second));
    for (int k = 0; k < 100 && engine.Queue(0).QueuedLen() < static_cast<int>(first.size() + second.size()); ++k) Sleep(50);
    CRecorderPeer recorder;
    LogIn(recorder);  // what waits goes out at login
    const std::string all = first + second;
    EXPECT_TRUE(Swapped(all) == ReceiveAcknowledged(recorder, all.size())) << "the stored bytes, not zeros";
}

TEST_F(NetworkSourceFixture, AFloodWithoutARecorderFillsTheQueueToItsBoundAndNoFurther)
{
    AddNetworkSource(PRINTER_TYPE::Tcp, std::to_string(recorderPort));
    Start();
    CLoopbackClient till;
    ASSERT_TRUE(till.Connect(clientPort));
    const std::string flood = Piece(4 * 1024 * 1024, 5);
    ASSERT_TRUE(till.SendAll(flood)) << "the reader keeps reading: the client is never stalled";
    till.Close();
    // Every byte is handed over to the queue, which keeps what fits and drops the rest.
    const auto captured = [&] { return engine.Queue(0).Counters().Snapshot().nBytesCaptured; };
    for (int k = 0; k < 400 && captured() < flood.size(); ++k) Sleep(50);
    ASSERT_EQ(flood.size(), captured());
    const int queued = engine.Queue(0).QueuedLen();
    EXPECT_LT(queued, RESERVED_BUF_SIZE);
    EXPECT_GE(queued, RESERVED_BUF_SIZE - MONITOR_RECV_MAX);
    EXPECT_EQ(flood.size() - static_cast<size_t>(queued), engine.Queue(0).Counters().Snapshot().nBytesDropped);
    // What was kept is the start of the flood, intact.
    CRecorderPeer recorder;
    LogIn(recorder);
    const std::string head = ReceiveAcknowledged(recorder, 3072 * 4);
    ASSERT_EQ(3072u * 4, head.size());
    EXPECT_TRUE(Swapped(flood.substr(0, head.size())) == head);
}

TEST_F(NetworkSourceFixture, StopWithAClientMidSendEndsEverythingAndStartWorksAgain)
{
    AddNetworkSource(PRINTER_TYPE::Tcp, std::to_string(recorderPort));
    Start();
    CRecorderPeer recorder;
    LogIn(recorder);
    CLoopbackClient till;
    ASSERT_TRUE(till.Connect(clientPort));
    std::atomic<bool> bSending{true};
    std::thread sender([&] {
        const std::string piece = Piece(4096, 6);
        for (int k = 0; k < 5000 && bSending && till.SendAll(piece); ++k) {}
    });
    ASSERT_FALSE(recorder.ReceiveSome(3072, 10000).empty());
    engine.Stop();
    bSending = false;
    sender.join();
    EXPECT_EQ("", till.ReceiveUpTo(1, 3000)) << "the client's connection is closed";
    CTimeOutSocket probe;
    EXPECT_TRUE(probe.Create(clientPort)) << "the client port is free again";
    probe.Close();

    // What the recorder had not acknowledged waits for the next start, ahead of what is new.
    const size_t left = static_cast<size_t>(engine.Queue(0).QueuedLen());
    Start();
    CRecorderPeer next;
    LogIn(next);
    CLoopbackClient again;
    ASSERT_TRUE(again.Connect(clientPort));
    ASSERT_TRUE(again.SendAll("AGAIN\r\n"));
    const std::string received = ReceiveAcknowledged(next, left + 7);
    ASSERT_EQ(left + 7, received.size());
    EXPECT_EQ(Swapped("AGAIN\r\n"), received.substr(left));
}

// A till whose address matches no source is closed and counted for the
// source whose port it came in on; the source's own till is served and counted as captured.
TEST_F(NetworkSourceFixture, AStrangerTillIsCountedAsRefusedOnTheSourceOfItsPort)
{
    AddNetworkSource(PRINTER_TYPE::Tcp, std::to_string(recorderPort), "127.0.0.1");
    Start();
    for (int k = 0; k < 3; ++k) {
        CLoopbackClient stranger;
        ASSERT_TRUE(stranger.Connect(clientPort, 5000, "127.0.0.2"));
        EXPECT_TRUE(stranger.WaitPeerClose(5000)) << "closed at once";
    }
    const auto refused = [&] {
        return engine.Queue(0).Counters().Snapshot().nRefused[static_cast<int>(REFUSAL_REASON::UNKNOWN_TILL)];
    };
    for (int k = 0; k < 500 && refused() < 3; ++k) Sleep(10);
    EXPECT_EQ(3u, refused());
    EXPECT_EQ(0u, engine.Queue(0).Counters().Snapshot().nBytesCaptured);

    CLoopbackClient till;
    ASSERT_TRUE(till.Connect(clientPort));
    ASSERT_TRUE(till.SendAll("TOTAL 4.50\r\n"));
    for (int k = 0; k < 500 && engine.Queue(0).Counters().Snapshot().nBytesCaptured < 12; ++k) Sleep(10);
    const SOURCE_COUNTERS_SNAPSHOT snap = engine.Queue(0).Counters().Snapshot();
    EXPECT_EQ(12u, snap.nBytesCaptured);
    EXPECT_EQ(12u, snap.nBytesQueued) << "no recorder: it waits";
    EXPECT_EQ(3u, snap.nRefused[static_cast<int>(REFUSAL_REASON::UNKNOWN_TILL)]);
}
