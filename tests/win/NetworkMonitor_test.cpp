// The network monitor on real loopback sockets: listeners, the matching of a
// client to its source, readers, reconnects and stop. What the monitor
// delivers is recorded by a sink that stands in for the outputs.
#include "capture/NetworkMonitor.h"
#include "tests/support/Bytes.h"
#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/NativeTool.h"
#include "tools/possim/PosSimOptions.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Keeps every delivered byte per source, and the largest piece seen.
class CRecordingSink : public CDeliverySink {
public:
    void Deliver(int nSource, const uint8_t* bytes, int count) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (nSource < 0 || nSource >= MAX_SOURCES || count <= 0) {
            ++m_nBadCalls;
            return;
        }
        m_bytes[nSource].append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
        m_nLargestPiece = std::max(m_nLargestPiece, count);
        m_changed.notify_all();
    }
    // Waits until source s has at least count bytes (or the time passed) and returns them all.
    std::string WaitFor(int s, size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(15))
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, timeout, [&] { return m_bytes[s].size() >= count; });
        return m_bytes[s];
    }
    std::string Bytes(int s)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bytes[s];
    }
    int LargestPiece()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nLargestPiece;
    }
    int BadCalls()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nBadCalls;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_bytes[MAX_SOURCES];
    int m_nLargestPiece = 0;
    int m_nBadCalls = 0;
};


// The value the next new handle gets. The handle table gives out the lowest
// free entry, so this grows with every handle left open (the handle count
// itself is not reported under Wine).
uintptr_t NextHandleValue()
{
    const HANDLE h = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(h);
    return reinterpret_cast<uintptr_t>(h);
}

// True when a listening socket can be made on the port now.
bool CanListenOn(unsigned short port)
{
    CTimeOutSocket probe;
    return probe.Create(port) && probe.Listen(5);
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        Sleep(10);
    }
    return true;
}

struct NetworkMonitorFixture : ::testing::Test {
    CWinsockInit winsock;
    CRecordingSink sink;
    CNetworkMonitor monitor{sink};
    unsigned short port = FindFreeLoopbackPort();

    // Sources 0..n-1 on the fixture's port, client addresses as given.
    void StartWith(const std::vector<std::string>& addresses)
    {
        std::vector<NETWORK_SOURCE> sources;
        for (size_t i = 0; i < addresses.size(); ++i)
            sources.push_back(NETWORK_SOURCE{static_cast<int>(i), addresses[i], port});
        ASSERT_TRUE(monitor.Start(sources));
        ASSERT_EQ(std::vector<unsigned short>{port}, monitor.ListeningPorts());
    }
};

}  // namespace

// ---- bytes of one client ----

TEST_F(NetworkMonitorFixture, ClientBytesArriveWholeInOrderWithNothingAdded)
{
    StartWith({"127.0.0.1"});
    CLoopbackClient client;
    ASSERT_TRUE(client.Connect(port));
    std::string all;
    for (int v = 0; v < 256; ++v) all += static_cast<char>(v);  // every byte value, zero included
    const size_t sizes[] = {1, 3071, 3072, 3073, 10000, 70000, 1};
    int seed = 0;
    for (size_t size : sizes) all += Piece(size, ++seed);
    ASSERT_TRUE(client.SendAll(all.substr(0, 256)));
    ASSERT_TRUE(client.SendAll(all.substr(256)));
    EXPECT_EQ(all, sink.WaitFor(0, all.size()));
    Sleep(200);
    EXPECT_EQ(all.size(), sink.Bytes(0).size()) << "nothing more than was sent";
    EXPECT_LE(sink.LargestPiece(), MONITOR_RECV_MAX);
    EXPECT_EQ(0, sink.BadCalls());
}

TEST_F(NetworkMonitorFixture, SourcesOnOnePortEachGetTheirOwnClient)
{
    StartWith({"127.0.0.1", "127.0.0.2", "127.0.0.1"});  // source 2 repeats source 0
    CLoopbackClient first, second;
    ASSERT_TRUE(first.Connect(port, 5000, "127.0.0.1"));
    ASSERT_TRUE(second.Connect(port, 5000, "127.0.0.2"));
    const std::string a = Piece(20000, 1), b = Piece(15000, 2);
    std::thread sendA([&] { first.SendAll(a); });
    std::thread sendB([&] { second.SendAll(b); });
    sendA.join();
    sendB.join();
    EXPECT_EQ(a, sink.WaitFor(0, a.size()));
    EXPECT_EQ(b, sink.WaitFor(1, b.size()));
    // A second connection from the same address again goes to the earlier source.
    first.Close();
    CLoopbackClient again;
    ASSERT_TRUE(again.Connect(port, 5000, "127.0.0.1"));
    ASSERT_TRUE(again.SendAll("MORE"));
    EXPECT_EQ(a + "MORE", sink.WaitFor(0, a.size() + 4));
    Sleep(200);
    EXPECT_EQ("", sink.Bytes(2));
}

TEST_F(NetworkMonitorFixture, APeerThatIsNoSourcesClientIsClosedAtOnce)
{
    StartWith({"127.0.0.1"});
    CLoopbackClient stranger;
    ASSERT_TRUE(stranger.Connect(port, 5000, "127.0.0.3"));
    stranger.SendAll("NOT FOR YOU");
    // Closed by the monitor: an end of stream, or a reset once it had unread bytes.
    const std::string answer = stranger.ReceiveUpTo(1, 5000);
    EXPECT_EQ("", answer);
    EXPECT_FALSE(stranger.SendAll(std::string(200000, 'x'))) << "the connection is gone";
    Sleep(200);
    for (int s = 0; s < MAX_SOURCES; ++s) EXPECT_EQ("", sink.Bytes(s)) << s;
    EXPECT_EQ(0, monitor.ConnectedCount());
}

TEST_F(NetworkMonitorFixture, UdpAndOposLabelledSourcesReceiveOverTcp)
{
    POS_SETTING_INFO udp, opos, file;
    udp.nMonitorType = KIND_NETWORK;
    udp.nInternetType = 1;  // UDP label
    udp.strInternetIP = "127.0.0.2";
    udp.nInternetPort = port;
    opos.nMonitorType = KIND_OPOS;
    opos.nInternetType = 2;
    opos.strInternetIP = "127.0.0.1";
    opos.nInternetPort = port;
    file.nMonitorType = KIND_FILE;
    ASSERT_TRUE(monitor.Start(NetworkSourcesOf({&file, &udp, &opos})));
    CLoopbackClient toUdp, toOpos;
    ASSERT_TRUE(toUdp.Connect(port, 5000, "127.0.0.2"));
    ASSERT_TRUE(toOpos.Connect(port, 5000, "127.0.0.1"));
    ASSERT_TRUE(toUdp.SendAll("UDP LABEL"));
    ASSERT_TRUE(toOpos.SendAll("OPOS"));
    EXPECT_EQ("UDP LABEL", sink.WaitFor(1, 9));
    EXPECT_EQ("OPOS", sink.WaitFor(2, 4));
    EXPECT_EQ("", sink.Bytes(0));
}

// ---- reconnects ----

TEST_F(NetworkMonitorFixture, AClientThatReconnectsIsServedOnItsNewConnection)
{
    StartWith({"127.0.0.1"});
    CLoopbackClient old;
    ASSERT_TRUE(old.Connect(port));
    ASSERT_TRUE(old.SendAll("FIRST"));
    ASSERT_EQ("FIRST", sink.WaitFor(0, 5));
    old.Close();
    ASSERT_TRUE(WaitUntil([&] { return monitor.ConnectedCount() == 0; })) << "the reader ends with its connection";

    CLoopbackClient next;
    ASSERT_TRUE(next.Connect(port));
    const std::string second = Piece(50000, 7);
    ASSERT_TRUE(next.SendAll(second));  // at once, before any reader could be running
    EXPECT_EQ("FIRST" + second, sink.WaitFor(0, 5 + second.size()));
    EXPECT_EQ(1, monitor.ConnectedCount());
}

TEST_F(NetworkMonitorFixture, ANewConnectionOfAClientEndsItsOpenOldOne)
{
    StartWith({"127.0.0.1"});
    CLoopbackClient old;
    ASSERT_TRUE(old.Connect(port));
    ASSERT_TRUE(old.SendAll("OLD "));
    ASSERT_EQ("OLD ", sink.WaitFor(0, 4));
    // The old connection stays open (a till that lost it without noticing).
    CLoopbackClient next;
    ASSERT_TRUE(next.Connect(port));
    const std::string second = Piece(30000, 8);
    ASSERT_TRUE(next.SendAll(second));
    EXPECT_TRUE(old.WaitPeerClose(5000)) << "the old connection is closed";
    EXPECT_EQ("OLD " + second, sink.WaitFor(0, 4 + second.size())) << "nothing of the new connection lost";
    EXPECT_EQ(1, monitor.ConnectedCount());
    EXPECT_EQ(2, monitor.ThreadCount()) << "one accept thread and the one reader";
}

TEST_F(NetworkMonitorFixture, WhatAClientSentBeforeReconnectingIsReadFirst)
{
    StartWith({"127.0.0.1"});
    std::string expected;
    for (int k = 0; k < 20; ++k) {
        CLoopbackClient client;
        ASSERT_TRUE(client.Connect(port));
        const std::string receipt = "RECEIPT " + std::to_string(k) + "\r\n" + Piece(5000, k);
        ASSERT_TRUE(client.SendAll(receipt));
        expected += receipt;
        client.Close();  // and reconnect at once for the next receipt
    }
    EXPECT_EQ(expected, sink.WaitFor(0, expected.size()));
}

TEST_F(NetworkMonitorFixture, AListenerKeepsAcceptingForSixteenClientsReconnectingAgainAndAgain)
{
    std::vector<std::string> addresses;
    for (int i = 0; i < MAX_SOURCES; ++i) addresses.push_back("127.0.0." + std::to_string(i + 1));
    StartWith(addresses);
    std::string expected[MAX_SOURCES];
    for (int round = 0; round < 4; ++round) {
        CLoopbackClient clients[MAX_SOURCES];
        for (int i = 0; i < MAX_SOURCES; ++i) {
            ASSERT_TRUE(clients[i].Connect(port, 5000, addresses[i].c_str())) << round << " " << i;
            const std::string text = "R" + std::to_string(round) + " S" + std::to_string(i) + ";";
            ASSERT_TRUE(clients[i].SendAll(text));
            expected[i] += text;
        }
        for (int i = 0; i < MAX_SOURCES; ++i) EXPECT_EQ(expected[i], sink.WaitFor(i, expected[i].size())) << round;
    }
}

TEST_F(NetworkMonitorFixture, PossimReconnectingForEveryReceiptFromASecondAddress)
{
    StartWith({"127.0.0.1", "127.0.0.2"});
    ASSERT_TRUE(StartNativeTool("possim", "127.0.0.1:" + std::to_string(port) +
                                              " --from 127.0.0.2 --count 30 --size 5000 --reconnect --quiet"));
    std::string expected;
    for (long k = 1; k <= 30; ++k) expected += PosSimSampleReceipt(k, 5000);
    EXPECT_EQ(expected, sink.WaitFor(1, expected.size(), std::chrono::seconds(30)));
    EXPECT_EQ("", sink.Bytes(0));
}

// ---- idle and half-closed clients ----

TEST_F(NetworkMonitorFixture, AnIdleOrHalfClosedClientHoldsOnlyItsOwnReader)
{
    StartWith({"127.0.0.1", "127.0.0.2"});
    CLoopbackClient idle;
    ASSERT_TRUE(idle.Connect(port, 5000, "127.0.0.1"));
    ASSERT_TRUE(WaitUntil([&] { return monitor.ConnectedCount() == 1; }));
    EXPECT_EQ(2, monitor.ThreadCount());
    // The other source's client is served beside it.
    CLoopbackClient other;
    ASSERT_TRUE(other.Connect(port, 5000, "127.0.0.2"));
    ASSERT_TRUE(other.SendAll("BESIDE"));
    EXPECT_EQ("BESIDE", sink.WaitFor(1, 6));

    CLoopbackClient half;
    ASSERT_TRUE(half.Connect(port, 5000, "127.0.0.1"));  // replaces the idle one
    ASSERT_TRUE(half.SendAll("LAST WORDS"));
    half.ShutdownSend();
    EXPECT_EQ("LAST WORDS", sink.WaitFor(0, 10));
    EXPECT_TRUE(half.WaitPeerClose(5000)) << "the reader lets go of a half-closed connection";
    EXPECT_TRUE(idle.WaitPeerClose(5000));
    EXPECT_EQ(1, monitor.ConnectedCount());
}

// ---- stop ----

TEST_F(NetworkMonitorFixture, StopEndsEveryThreadFreesThePortsAndStartWorksAgain)
{
    enum class CLIENTS { None, Idle, MidSend, HalfClosed };
    const struct { CLIENTS clients; const char* name; } cases[] = {
        {CLIENTS::None, "none"}, {CLIENTS::Idle, "idle"}, {CLIENTS::MidSend, "mid-send"},
        {CLIENTS::HalfClosed, "half-closed"},
    };
    const unsigned short secondPort = FindFreeLoopbackPort();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<NETWORK_SOURCE> sources = {
            {0, "127.0.0.1", port}, {1, "127.0.0.2", port}, {2, "127.0.0.3", secondPort}};
        const int baseThreads = ProcessThreadCount();
        ASSERT_TRUE(monitor.Start(sources));
        ASSERT_EQ(2u, monitor.ListeningPorts().size());
        CLoopbackClient clients[3];
        std::atomic<bool> bSending{true};
        std::vector<std::thread> senders;
        if (c.clients != CLIENTS::None) {
            const char* from[3] = {"127.0.0.1", "127.0.0.2", "127.0.0.3"};
            const unsigned short to[3] = {port, port, secondPort};
            for (int i = 0; i < 3; ++i) ASSERT_TRUE(clients[i].Connect(to[i], 5000, from[i]));
            ASSERT_TRUE(WaitUntil([&] { return monitor.ConnectedCount() == 3; }));
        }
        if (c.clients == CLIENTS::MidSend) {
            for (int i = 0; i < 3; ++i)
                senders.emplace_back([&, i] {
                    const std::string piece = Piece(8192, i);
                    for (int k = 0; k < 20000 && bSending && clients[i].SendAll(piece); ++k) {}
                });
            ASSERT_TRUE(WaitUntil([&] { return sink.Bytes(2).size() > 100000; }));
        }
        if (c.clients == CLIENTS::HalfClosed) {
            for (auto& client : clients) client.ShutdownSend();
        }
        monitor.Stop();
        EXPECT_EQ(0, monitor.ThreadCount());
        EXPECT_EQ(0, monitor.ConnectedCount());
        EXPECT_FALSE(monitor.IsRunning());
        bSending = false;
        for (auto& t : senders) t.join();
        if (c.clients != CLIENTS::None) {
            for (auto& client : clients) EXPECT_EQ("", client.ReceiveUpTo(1, 3000)) << "closed by stop";
        }
        for (auto& client : clients) client.Close();
        EXPECT_TRUE(CanListenOn(port));
        EXPECT_TRUE(CanListenOn(secondPort));
        EXPECT_TRUE(WaitUntil([&] { return ProcessThreadCount() <= baseThreads; })) << "no thread left behind";
        // Handles made now may take the values stop closed; a second stop must not close them.
        SOCKET hLater[4];
        for (int i = 0; i < 4; ++i) hLater[i] = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        monitor.Stop();
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(IsLiveSocket(hLater[i])) << i;
            closesocket(hLater[i]);
        }

        // And capture starts again on the same ports.
        ASSERT_TRUE(monitor.Start(sources));
        CLoopbackClient again;
        ASSERT_TRUE(again.Connect(secondPort, 5000, "127.0.0.3"));
        const size_t before = sink.Bytes(2).size();
        ASSERT_TRUE(again.SendAll("AGAIN"));
        EXPECT_EQ("AGAIN", sink.WaitFor(2, before + 5).substr(before));
        monitor.Stop();
    }
}

TEST_F(NetworkMonitorFixture, APortThatIsTakenIsLeftOutAndTheOthersListen)
{
    CTimeOutSocket squatter;
    ASSERT_TRUE(squatter.Create(port));
    ASSERT_TRUE(squatter.Listen(5));
    const unsigned short free = FindFreeLoopbackPort();
    EXPECT_TRUE(monitor.Start({{0, "127.0.0.1", port}, {1, "127.0.0.1", free}}));
    EXPECT_EQ(std::vector<unsigned short>{free}, monitor.ListeningPorts());
    EXPECT_EQ(1, monitor.ThreadCount());
    CLoopbackClient client;
    ASSERT_TRUE(client.Connect(free));
    ASSERT_TRUE(client.SendAll("OK"));
    EXPECT_EQ("OK", sink.WaitFor(1, 2));
    monitor.Stop();
    EXPECT_FALSE(monitor.Start({}));
    EXPECT_TRUE(monitor.ListeningPorts().empty());
}

TEST_F(NetworkMonitorFixture, ThousandsOfConnectionsLeaveNoThreadOrHandleBehind)
{
    StartWith({"127.0.0.1"});
    // One round first, so that what the first connection creates once is counted in the base.
    {
        CLoopbackClient client;
        ASSERT_TRUE(client.Connect(port));
        ASSERT_TRUE(client.SendAll("x"));
        ASSERT_EQ(1u, sink.WaitFor(0, 1).size());
    }
    ASSERT_TRUE(WaitUntil([&] { return monitor.ConnectedCount() == 0; }));
    const int baseThreads = ProcessThreadCount();
    const uintptr_t baseHandle = NextHandleValue();
    ASSERT_GT(baseThreads, 0);
    const int cycles = 1000;
    for (int k = 0; k < cycles; ++k) {
        CLoopbackClient client;
        ASSERT_TRUE(client.Connect(port)) << k;
        if (k % 2 == 0)
            ASSERT_TRUE(client.SendAll("x")) << k;
        else if (k % 4 == 1)
            client.Reset();  // a reset would throw away what was sent and not yet read
    }
    EXPECT_EQ(static_cast<size_t>(1 + cycles / 2), sink.WaitFor(0, 1 + cycles / 2).size());
    ASSERT_TRUE(WaitUntil([&] { return monitor.ConnectedCount() == 0; }));
    EXPECT_LE(monitor.ThreadCount(), 2);
    EXPECT_TRUE(WaitUntil([&] { return ProcessThreadCount() <= baseThreads; }))
        << ProcessThreadCount() << " threads, " << baseThreads << " before";
    // A leak of one handle per connection would push the next free value up by hundreds of entries
    // (values step by 4); the slack covers what Wine itself holds for a while on a loaded machine
    // and what the one reader left of its last connection.
    EXPECT_TRUE(WaitUntil([&] { return NextHandleValue() <= baseHandle + 48 * 4; }))
        << "next handle " << NextHandleValue() << ", " << baseHandle << " before";
}
