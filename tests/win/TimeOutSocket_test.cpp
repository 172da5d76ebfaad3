// CTimeOutSocket over real loopback connections. Every wait is bounded: a
// call that should end is given a generous few seconds and is closed when it
// has not, so a fault fails the test instead of hanging it.
#include "net/TimeOutSocket.h"
#include "net/WinsockInit.h"
#include "tests/support/Loopback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const milliseconds ENDS_WITHIN{5000};
// More than the system buffers of a loopback connection hold, so a send of it
// has to wait for the peer.
const size_t BIGGER_THAN_BUFFERS = 64u << 20;

std::string Pattern(size_t nCount, unsigned nSeed)
{
    std::string bytes(nCount, '\0');
    for (size_t i = 0; i < nCount; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 4093 + nSeed) & 0xFF);
    return bytes;
}

// Ends the test program when a test runs far longer than its bounded waits
// allow, so a call that never returns fails the run instead of hanging it.
class CWatchdog {
public:
    explicit CWatchdog(milliseconds limit) : m_thread([this, limit] { Watch(limit); }) {}
    ~CWatchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bDone = true;
        }
        m_cvDone.notify_all();
        m_thread.join();
    }
    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;

private:
    void Watch(milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_cvDone.wait_for(lock, limit, [this] { return m_bDone; }))
            return;
        const ::testing::TestInfo* pTest = ::testing::UnitTest::GetInstance()->current_test_info();
        std::fprintf(stderr, "%s.%s still running after %lld ms: ending the program\n",
                     pTest ? pTest->test_suite_name() : "?", pTest ? pTest->name() : "?",
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        ExitProcess(3);
    }

    std::mutex m_mutex;
    std::condition_variable m_cvDone;
    bool m_bDone = false;
    std::thread m_thread;  // last: it uses the members above
};

// A call run on its own thread, as the program's worker threads run them.
template <class T>
class CBackgroundCall {
public:
    explicit CBackgroundCall(std::function<T()> call) : m_result(std::async(std::launch::async, std::move(call))) {}

    // False when the call still ran after the bound; it is then ended by
    // closing its socket, so the test fails rather than hangs.
    bool EndsWithin(CTimeOutSocket& unblock, milliseconds bound = ENDS_WITHIN)
    {
        if (m_result.wait_for(bound) == std::future_status::ready)
            return true;
        unblock.Close();
        return false;
    }
    T Result() { return m_result.get(); }

private:
    std::future<T> m_result;
};

// Attach is refused with WSAEINPROGRESS while a call blocks and with
// WSAEISCONN on an idle object that holds a handle; unlike a blocking call
// it never makes the call under test find the object busy.
bool WaitUntilBlocking(CTimeOutSocket& socket)
{
    const auto deadline = Clock::now() + ENDS_WITHIN;
    while (Clock::now() < deadline) {
        if (!socket.Attach(INVALID_SOCKET) && socket.ErrorCode() == WSAEINPROGRESS) {
            // Lets the call get from its bookkeeping into the system's wait.
            std::this_thread::sleep_for(milliseconds(50));
            return true;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    return false;
}

::testing::AssertionResult ListenOn(CTimeOutSocket& listener, unsigned short nPort)
{
    if (!listener.Create(nPort, LOOPBACK_ADDRESS))
        return ::testing::AssertionFailure() << "Create on port " << nPort << ": " << listener.ErrorCode();
    if (!listener.Listen(5))
        return ::testing::AssertionFailure() << "Listen: " << listener.ErrorCode();
    return ::testing::AssertionSuccess();
}

// Connects client to the listener's port and accepts the connection into server.
::testing::AssertionResult Connect(CTimeOutSocket& listener, CTimeOutSocket& server, CLoopbackClient& client)
{
    if (!client.Connect(BoundPort(listener.Handle())))
        return ::testing::AssertionFailure() << "client could not connect";
    listener.ArmTimeout(static_cast<unsigned>(ENDS_WITHIN.count()));
    const bool bAccepted = listener.Accept(server);
    listener.DisarmTimeout();
    if (!bAccepted)
        return ::testing::AssertionFailure() << "Accept: " << listener.ErrorCode();
    return ::testing::AssertionSuccess();
}

// Receives exactly nCount bytes within the bound, or fewer on failure.
std::string ReceiveExactly(CTimeOutSocket& socket, size_t nCount)
{
    std::string received;
    std::vector<char> chunk(256 * 1024);
    socket.ArmTimeout(30000);
    while (received.size() < nCount) {
        const int n = socket.Receive(chunk.data(), static_cast<int>(std::min(chunk.size(), nCount - received.size())));
        if (n <= 0)
            break;
        received.append(chunk.data(), static_cast<size_t>(n));
    }
    socket.DisarmTimeout();
    return received;
}

enum class BLOCKING_CALL { ACCEPT, RECEIVE, SEND };

const char* Name(BLOCKING_CALL call)
{
    switch (call) {
    case BLOCKING_CALL::ACCEPT:
        return "Accept";
    case BLOCKING_CALL::RECEIVE:
        return "Receive";
    case BLOCKING_CALL::SEND:
        return "Send";
    }
    return "?";
}

// A listener and, for Receive and Send, a connection whose client never
// sends nor reads: each blocking call has something to wait for.
struct SILENT_PEER {
    CTimeOutSocket listener;
    CTimeOutSocket server;
    CLoopbackClient client;
    std::string big;

    ::testing::AssertionResult Open(BLOCKING_CALL call, unsigned short nPort)
    {
        ::testing::AssertionResult result = ListenOn(listener, nPort);
        if (result && call != BLOCKING_CALL::ACCEPT)
            result = Connect(listener, server, client);
        if (call == BLOCKING_CALL::SEND)
            big = Pattern(BIGGER_THAN_BUFFERS, 1);
        return result;
    }
    CTimeOutSocket& Blocked(BLOCKING_CALL call) { return call == BLOCKING_CALL::ACCEPT ? listener : server; }
    // True when the call failed.
    std::function<bool()> Call(BLOCKING_CALL call)
    {
        switch (call) {
        case BLOCKING_CALL::ACCEPT:
            return [this] {
                CTimeOutSocket accepted;
                return !listener.Accept(accepted);
            };
        case BLOCKING_CALL::RECEIVE:
            return [this] {
                char buf[16];
                return server.Receive(buf, sizeof buf) == SOCKET_ERROR;
            };
        case BLOCKING_CALL::SEND:
            return [this] { return server.Send(big.data(), static_cast<int>(big.size())) == SOCKET_ERROR; };
        }
        return [] { return false; };
    }
};

const BLOCKING_CALL ALL_BLOCKING_CALLS[] = {BLOCKING_CALL::ACCEPT, BLOCKING_CALL::RECEIVE, BLOCKING_CALL::SEND};

class TimeOutSocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_winsock.IsReady()) << m_winsock.Error();
        m_nPort = FindFreeLoopbackPort();
        ASSERT_NE(m_nPort, 0);
    }

    CWatchdog m_watchdog{milliseconds(60000)};
    CWinsockInit m_winsock;
    unsigned short m_nPort = 0;
};

TEST_F(TimeOutSocketTest, AcceptReportsThePeerAndLargeTransfersArriveWholeBothWays)
{
    CTimeOutSocket listener;
    CTimeOutSocket server;
    CLoopbackClient client;
    ASSERT_TRUE(ListenOn(listener, m_nPort));
    ASSERT_TRUE(client.Connect(m_nPort));

    sockaddr_in peer = {};
    int nPeerLen = sizeof peer;
    listener.ArmTimeout(static_cast<unsigned>(ENDS_WITHIN.count()));
    ASSERT_TRUE(listener.Accept(server, reinterpret_cast<sockaddr*>(&peer), &nPeerLen)) << listener.ErrorCode();
    listener.DisarmTimeout();
    EXPECT_EQ(nPeerLen, 16);
    EXPECT_EQ(peer.sin_family, AF_INET);
    EXPECT_EQ(ntohl(peer.sin_addr.s_addr), static_cast<u_long>(INADDR_LOOPBACK));
    EXPECT_EQ(ntohs(peer.sin_port), client.LocalPort());
    EXPECT_FALSE(server.IsEmpty());
    EXPECT_FALSE(listener.IsEmpty());

    const std::string out = Pattern(BIGGER_THAN_BUFFERS / 8, 7);
    auto reader = std::async(std::launch::async, [&] { return client.ReceiveUpTo(out.size(), 30000); });
    server.ArmTimeout(30000);
    EXPECT_EQ(server.Send(out.data(), static_cast<int>(out.size())), static_cast<int>(out.size())) << server.ErrorCode();
    server.DisarmTimeout();
    const std::string arrived = reader.get();
    EXPECT_EQ(arrived.size(), out.size());
    EXPECT_TRUE(arrived == out);

    const std::string in = Pattern(BIGGER_THAN_BUFFERS / 16, 99);
    auto writer = std::async(std::launch::async, [&] { return client.SendAll(in); });
    const std::string received = ReceiveExactly(server, in.size());
    EXPECT_TRUE(writer.get());
    EXPECT_EQ(received.size(), in.size());
    EXPECT_TRUE(received == in);
}

TEST_F(TimeOutSocketTest, AcceptReportsThePeerWhetherItCameBeforeOrDuringTheWait)
{
    CTimeOutSocket listener;
    ASSERT_TRUE(ListenOn(listener, m_nPort));
    for (const bool connectFirst : {true, false}) {
        SCOPED_TRACE(connectFirst ? "connected before the accept" : "connected while the accept waited");
        CTimeOutSocket server;
        CLoopbackClient client;
        if (connectFirst) {
            ASSERT_TRUE(client.Connect(m_nPort));
        }
        sockaddr_in peer = {};
        int nPeerLen = sizeof peer;
        listener.ArmTimeout(static_cast<unsigned>(ENDS_WITHIN.count()));
        CBackgroundCall<bool> accepted(
            [&] { return listener.Accept(server, reinterpret_cast<sockaddr*>(&peer), &nPeerLen); });
        if (!connectFirst) {
            ASSERT_TRUE(WaitUntilBlocking(listener));
            ASSERT_TRUE(client.Connect(m_nPort));
        }
        ASSERT_TRUE(accepted.EndsWithin(listener));
        listener.DisarmTimeout();
        ASSERT_TRUE(accepted.Result()) << listener.ErrorCode();
        EXPECT_EQ(nPeerLen, 16);
        EXPECT_EQ(peer.sin_family, AF_INET);
        EXPECT_EQ(ntohl(peer.sin_addr.s_addr), static_cast<u_long>(INADDR_LOOPBACK));
        EXPECT_EQ(ntohs(peer.sin_port), client.LocalPort());
        EXPECT_EQ(server.Send("ok", 2), 2) << server.ErrorCode();
        EXPECT_EQ("ok", client.ReceiveUpTo(2));
        ASSERT_TRUE(client.SendAll("back"));
        EXPECT_EQ("back", ReceiveExactly(server, 4));
    }
}

TEST_F(TimeOutSocketTest, BlockedReceiveSeesHowThePeerEnded)
{
    struct CASE {
        const char* name;
        void (*end)(CLoopbackClient&);
        int nResult;
        int nError;  // 0: not looked at
    };
    const CASE cases[] = {
        {"orderly close", [](CLoopbackClient& c) { c.Close(); }, 0, 0},
        {"reset", [](CLoopbackClient& c) { c.Reset(); }, SOCKET_ERROR, WSAECONNRESET},
    };
    CTimeOutSocket listener;
    ASSERT_TRUE(ListenOn(listener, m_nPort));
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        CTimeOutSocket server;
        CLoopbackClient client;
        ASSERT_TRUE(Connect(listener, server, client));
        CBackgroundCall<int> receive([&] {
            char buf[64];
            return server.Receive(buf, sizeof buf);
        });
        ASSERT_TRUE(WaitUntilBlocking(server));
        c.end(client);
        ASSERT_TRUE(receive.EndsWithin(server));
        EXPECT_EQ(receive.Result(), c.nResult);
        if (c.nError != 0) {
            EXPECT_EQ(server.ErrorCode(), c.nError);
        }
    }
}

TEST_F(TimeOutSocketTest, SendToAPeerThatResetFails)
{
    CTimeOutSocket listener;
    CTimeOutSocket server;
    CLoopbackClient client;
    ASSERT_TRUE(ListenOn(listener, m_nPort));
    ASSERT_TRUE(Connect(listener, server, client));
    const std::string big = Pattern(BIGGER_THAN_BUFFERS, 3);
    CBackgroundCall<int> send([&] { return server.Send(big.data(), static_cast<int>(big.size())); });
    ASSERT_TRUE(WaitUntilBlocking(server));
    client.Reset();
    ASSERT_TRUE(send.EndsWithin(server));
    EXPECT_EQ(send.Result(), SOCKET_ERROR);
    EXPECT_TRUE(server.ErrorCode() == WSAECONNRESET || server.ErrorCode() == WSAECONNABORTED) << server.ErrorCode();
}

TEST_F(TimeOutSocketTest, ArmedTimeoutEndsEveryBlockingCallWithInterrupted)
{
    for (BLOCKING_CALL call : ALL_BLOCKING_CALLS) {
        SCOPED_TRACE(Name(call));
        SILENT_PEER peer;
        ASSERT_TRUE(peer.Open(call, FindFreeLoopbackPort()));
        CTimeOutSocket& socket = peer.Blocked(call);

        EXPECT_NE(socket.ArmTimeout(300), 0u);
        CBackgroundCall<bool> blocked(peer.Call(call));
        ASSERT_TRUE(blocked.EndsWithin(socket));
        socket.DisarmTimeout();

        EXPECT_TRUE(blocked.Result());
        EXPECT_EQ(socket.ErrorCode(), WSAEINTR);
        EXPECT_TRUE(IsLiveSocket(socket.Handle())) << "the time-out must leave the socket open";
    }
}

TEST_F(TimeOutSocketTest, ReceiveWaitsForLateDataWhenTheBoundIsLongerOrDisarmed)
{
    struct CASE {
        const char* name;
        unsigned nArmMs;
        bool bDisarmBeforeCall;
    };
    const CASE cases[] = {
        {"bound longer than the wait", 10000, false},
        {"bound shorter but disarmed", 100, true},
        {"armed with 0, which bounds nothing", 0, false},
    };
    CTimeOutSocket listener;
    ASSERT_TRUE(ListenOn(listener, m_nPort));
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        CTimeOutSocket server;
        CLoopbackClient client;
        ASSERT_TRUE(Connect(listener, server, client));
        EXPECT_EQ(server.ArmTimeout(c.nArmMs) == 0, c.nArmMs == 0);
        if (c.bDisarmBeforeCall)
            server.DisarmTimeout();
        std::string got(16, '\0');
        CBackgroundCall<int> receive([&] { return server.Receive(&got[0], static_cast<int>(got.size())); });
        ASSERT_TRUE(WaitUntilBlocking(server));
        std::this_thread::sleep_for(milliseconds(400));
        ASSERT_TRUE(client.SendAll("late"));
        ASSERT_TRUE(receive.EndsWithin(server));
        EXPECT_EQ(receive.Result(), 4) << server.ErrorCode();
        EXPECT_EQ(got.substr(0, 4), "late");
    }
}

TEST_F(TimeOutSocketTest, ClosingTheHandleFromAnotherThreadEndsABlockedCallWithNotASocket)
{
    enum class CLOSER { SAME_OBJECT, OTHER_OBJECT_ON_THE_HANDLE };
    for (CLOSER closer : {CLOSER::SAME_OBJECT, CLOSER::OTHER_OBJECT_ON_THE_HANDLE}) {
        for (BLOCKING_CALL call : ALL_BLOCKING_CALLS) {
            SCOPED_TRACE(std::string(Name(call)) + (closer == CLOSER::SAME_OBJECT ? ", Close" : ", other object"));
            SILENT_PEER peer;
            ASSERT_TRUE(peer.Open(call, FindFreeLoopbackPort()));
            CTimeOutSocket& socket = peer.Blocked(call);
            const SOCKET hSocket = socket.Handle();

            CBackgroundCall<bool> blocked(peer.Call(call));
            ASSERT_TRUE(WaitUntilBlocking(socket));
            if (closer == CLOSER::SAME_OBJECT) {
                socket.Close();
                // Close returns only after the call has: its failure is already recorded.
                EXPECT_EQ(socket.ErrorCode(), WSAENOTSOCK);
            } else {
                CTimeOutSocket stopper;
                ASSERT_TRUE(stopper.Attach(hSocket)) << stopper.ErrorCode();
                stopper.Close();
            }
            ASSERT_TRUE(blocked.EndsWithin(socket));

            EXPECT_TRUE(blocked.Result());
            EXPECT_EQ(socket.ErrorCode(), WSAENOTSOCK);
            EXPECT_FALSE(IsLiveSocket(hSocket));
            if (closer == CLOSER::SAME_OBJECT) {
                EXPECT_TRUE(socket.IsEmpty());
            } else {
                EXPECT_EQ(socket.Detach(), hSocket);
            }
        }
    }
}

TEST_F(TimeOutSocketTest, AFurtherCallWhileOneBlocksFailsAtOnceAndLeavesItRunning)
{
    struct CASE {
        const char* name;
        bool (*failed)(CTimeOutSocket& busy, CTimeOutSocket& spare);
    };
    const CASE cases[] = {
        {"Receive", [](CTimeOutSocket& s, CTimeOutSocket&) { char b[4]; return s.Receive(b, sizeof b) == SOCKET_ERROR; }},
        {"Send", [](CTimeOutSocket& s, CTimeOutSocket&) { return s.Send("x", 1) == SOCKET_ERROR; }},
        {"Accept", [](CTimeOutSocket& s, CTimeOutSocket& spare) { return !s.Accept(spare); }},
        {"Listen", [](CTimeOutSocket& s, CTimeOutSocket&) { return !s.Listen(5); }},
        {"Create", [](CTimeOutSocket& s, CTimeOutSocket&) { return !s.Create(0, LOOPBACK_ADDRESS); }},
        {"Attach", [](CTimeOutSocket& s, CTimeOutSocket& spare) { return !s.Attach(spare.Handle()); }},
        {"Detach", [](CTimeOutSocket& s, CTimeOutSocket&) { return s.Detach() == INVALID_SOCKET; }},
    };
    CTimeOutSocket listener;
    CTimeOutSocket server;
    CLoopbackClient client;
    ASSERT_TRUE(ListenOn(listener, m_nPort));
    ASSERT_TRUE(Connect(listener, server, client));
    const SOCKET hServer = server.Handle();
    CTimeOutSocket spare;
    ASSERT_TRUE(spare.Create(0, LOOPBACK_ADDRESS));

    std::string got(16, '\0');
    CBackgroundCall<int> first([&] { return server.Receive(&got[0], static_cast<int>(got.size())); });
    ASSERT_TRUE(WaitUntilBlocking(server));
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        CBackgroundCall<std::pair<bool, int>> further([&] {
            const bool bFailed = c.failed(server, spare);
            return std::make_pair(bFailed, WSAGetLastError());
        });
        ASSERT_TRUE(further.EndsWithin(server));
        const auto result = further.Result();
        EXPECT_TRUE(result.first);
        EXPECT_EQ(result.second, WSAEINPROGRESS);
        EXPECT_EQ(server.ErrorCode(), WSAEINPROGRESS);
    }
    EXPECT_EQ(server.Handle(), hServer);
    ASSERT_TRUE(client.SendAll("ok"));
    ASSERT_TRUE(first.EndsWithin(server));
    EXPECT_EQ(first.Result(), 2);
    EXPECT_EQ(got.substr(0, 2), "ok");
}

TEST_F(TimeOutSocketTest, EveryCallOnAnEmptyObjectFailsWithNotASocket)
{
    struct CASE {
        const char* name;
        bool (*failed)(CTimeOutSocket& empty);
    };
    const CASE cases[] = {
        {"Listen", [](CTimeOutSocket& s) { return !s.Listen(5); }},
        {"Accept", [](CTimeOutSocket& s) { CTimeOutSocket client; return !s.Accept(client); }},
        {"Receive", [](CTimeOutSocket& s) { char b[4]; return s.Receive(b, sizeof b) == SOCKET_ERROR; }},
        {"Send", [](CTimeOutSocket& s) { return s.Send("x", 1) == SOCKET_ERROR; }},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        CTimeOutSocket empty;
        EXPECT_TRUE(empty.IsEmpty());
        EXPECT_TRUE(c.failed(empty));
        EXPECT_EQ(empty.ErrorCode(), WSAENOTSOCK);
    }
}

TEST_F(TimeOutSocketTest, CallsTheHandleCannotServeFailAtOnceAndKeepTheHandle)
{
    struct CASE {
        const char* name;
        bool (*failed)(CTimeOutSocket& bound);
    };
    const CASE cases[] = {
        {"Accept without Listen", [](CTimeOutSocket& s) { CTimeOutSocket client; return !s.Accept(client); }},
        {"Receive without a connection", [](CTimeOutSocket& s) { char b[4]; return s.Receive(b, sizeof b) == SOCKET_ERROR; }},
        {"Send without a connection", [](CTimeOutSocket& s) { return s.Send("x", 1) == SOCKET_ERROR; }},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        CTimeOutSocket bound;
        ASSERT_TRUE(bound.Create(0, LOOPBACK_ADDRESS));
        CBackgroundCall<bool> call([&] { return c.failed(bound); });
        ASSERT_TRUE(call.EndsWithin(bound));
        EXPECT_TRUE(call.Result());
        EXPECT_NE(bound.ErrorCode(), 0);
        EXPECT_FALSE(bound.IsEmpty());
    }
}

TEST_F(TimeOutSocketTest, AcceptNeedsAnEmptyClientAndLeavesTheConnectionWaiting)
{
    CTimeOutSocket listener;
    CTimeOutSocket occupied;
    CTimeOutSocket server;
    CLoopbackClient client;
    ASSERT_TRUE(ListenOn(listener, m_nPort));
    ASSERT_TRUE(occupied.Create(0, LOOPBACK_ADDRESS));
    const SOCKET hOccupied = occupied.Handle();
    ASSERT_TRUE(client.Connect(m_nPort));

    EXPECT_FALSE(listener.Accept(occupied));
    EXPECT_EQ(listener.ErrorCode(), WSAEISCONN);
    EXPECT_EQ(occupied.Handle(), hOccupied);

    listener.ArmTimeout(static_cast<unsigned>(ENDS_WITHIN.count()));
    EXPECT_TRUE(listener.Accept(server)) << listener.ErrorCode();
    listener.DisarmTimeout();
    ASSERT_TRUE(client.SendAll("still here"));
    EXPECT_EQ(ReceiveExactly(server, 10), "still here");
}

TEST_F(TimeOutSocketTest, DetachHandsTheHandleOnOpenAndTheDestructorClosesOnlyWhatIsHeld)
{
    SOCKET hHanded;
    SOCKET hPeer;
    ASSERT_TRUE(MakeLoopbackPair(hHanded, hPeer));
    {
        CTimeOutSocket first;
        ASSERT_TRUE(first.Attach(hHanded)) << first.ErrorCode();
        EXPECT_EQ(first.Handle(), hHanded);
        EXPECT_EQ(first.Detach(), hHanded);
        EXPECT_TRUE(first.IsEmpty());
        first.Close();
    }
    ASSERT_TRUE(IsLiveSocket(hHanded));
    {
        CTimeOutSocket second;
        ASSERT_TRUE(second.Attach(hHanded)) << second.ErrorCode();
        EXPECT_EQ(second.Send("handed on", 9), 9) << second.ErrorCode();
        CTimeOutSocket peer;
        ASSERT_TRUE(peer.Attach(hPeer));
        EXPECT_EQ(ReceiveExactly(peer, 9), "handed on");
        EXPECT_EQ(peer.Detach(), hPeer);
    }
    EXPECT_FALSE(IsLiveSocket(hHanded)) << "the destructor closes the handle it still holds";
    EXPECT_TRUE(IsLiveSocket(hPeer));
    closesocket(hPeer);
}

TEST_F(TimeOutSocketTest, AttachRefusesWhatIsNoSocketAndAnObjectThatHoldsOne)
{
    SOCKET hClosed = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(hClosed, INVALID_SOCKET);
    closesocket(hClosed);
    CHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    struct CASE {
        const char* name;
        SOCKET hValue;
    };
    const CASE cases[] = {
        {"invalid value", INVALID_SOCKET},
        {"closed socket", hClosed},
        {"event handle", reinterpret_cast<SOCKET>(event.Get())},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        CTimeOutSocket socket;
        EXPECT_FALSE(socket.Attach(c.hValue));
        EXPECT_EQ(socket.ErrorCode(), WSAENOTSOCK);
        EXPECT_TRUE(socket.IsEmpty());
    }

    CTimeOutSocket holder;
    CTimeOutSocket other;
    ASSERT_TRUE(holder.Create(0, LOOPBACK_ADDRESS));
    ASSERT_TRUE(other.Create(0, LOOPBACK_ADDRESS));
    const SOCKET hHeld = holder.Handle();
    EXPECT_FALSE(holder.Attach(other.Handle()));
    EXPECT_EQ(holder.ErrorCode(), WSAEISCONN);
    EXPECT_EQ(holder.Handle(), hHeld);
}

TEST_F(TimeOutSocketTest, TwoObjectsOnOneHandleSendAndReceiveInTwoThreads)
{
    SOCKET hShared;
    SOCKET hPeer;
    ASSERT_TRUE(MakeLoopbackPair(hShared, hPeer));
    CTimeOutSocket peer;
    ASSERT_TRUE(peer.Attach(hPeer));
    {
        CTimeOutSocket receiver;
        CTimeOutSocket sender;
        ASSERT_TRUE(receiver.Attach(hShared));
        ASSERT_TRUE(sender.Attach(hShared));

        CBackgroundCall<std::string> replies([&] { return ReceiveExactly(receiver, 12); });
        ASSERT_TRUE(WaitUntilBlocking(receiver));
        std::string asked;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(sender.Send("ping", 4), 4) << sender.ErrorCode();
            asked += ReceiveExactly(peer, 4);
            EXPECT_EQ(peer.Send("pong", 4), 4);
        }
        ASSERT_TRUE(replies.EndsWithin(receiver));
        EXPECT_EQ(asked, "pingpingping");
        EXPECT_EQ(replies.Result(), "pongpongpong");
        EXPECT_EQ(sender.Detach(), hShared);
    }
    EXPECT_FALSE(IsLiveSocket(hShared));
}

TEST_F(TimeOutSocketTest, AClosedListeningPortCanBeBoundAgainAtOnce)
{
    enum class HISTORY { NO_CONNECTION, THIS_SIDE_CLOSED_FIRST, PEER_CLOSED_FIRST };
    struct CASE {
        const char* name;
        HISTORY history;
    };
    const CASE cases[] = {
        {"no connection", HISTORY::NO_CONNECTION},
        {"a connection this side closed first", HISTORY::THIS_SIDE_CLOSED_FIRST},
        {"a connection the peer closed first", HISTORY::PEER_CLOSED_FIRST},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        const unsigned short nPort = FindFreeLoopbackPort();
        {
            CTimeOutSocket listener;
            ASSERT_TRUE(ListenOn(listener, nPort));
            if (c.history != HISTORY::NO_CONNECTION) {
                CTimeOutSocket server;
                CLoopbackClient client;
                ASSERT_TRUE(Connect(listener, server, client));
                ASSERT_TRUE(client.SendAll("x"));
                EXPECT_EQ(ReceiveExactly(server, 1), "x");
                if (c.history == HISTORY::THIS_SIDE_CLOSED_FIRST) {
                    server.Close();
                    EXPECT_TRUE(client.WaitPeerClose());
                } else {
                    client.Close();
                    char b[4];
                    server.ArmTimeout(static_cast<unsigned>(ENDS_WITHIN.count()));
                    EXPECT_EQ(server.Receive(b, sizeof b), 0) << server.ErrorCode();
                    server.Close();
                }
            }
            listener.Close();
            EXPECT_TRUE(listener.IsEmpty());
        }
        CTimeOutSocket again;
        ASSERT_TRUE(ListenOn(again, nPort));
        CTimeOutSocket server;
        CLoopbackClient client;
        EXPECT_TRUE(Connect(again, server, client));
    }
}

TEST_F(TimeOutSocketTest, CreateBindsTheAskedAddressOrFailsEmpty)
{
    struct CASE {
        const char* name;
        const char* pszAddress;
        bool bCreated;
        u_long nBoundAddress;  // host order, when created
        int nError;            // when not created
    };
    const CASE cases[] = {
        {"all local addresses", nullptr, true, INADDR_ANY, 0},
        {"loopback", "127.0.0.1", true, INADDR_LOOPBACK, 0},
        {"not an address", "till.example", false, 0, WSAEINVAL},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        CTimeOutSocket socket;
        EXPECT_EQ(socket.Create(m_nPort, c.pszAddress), c.bCreated);
        if (c.bCreated) {
            sockaddr_in bound = {};
            int nLen = sizeof bound;
            ASSERT_EQ(getsockname(socket.Handle(), reinterpret_cast<sockaddr*>(&bound), &nLen), 0);
            EXPECT_EQ(ntohl(bound.sin_addr.s_addr), c.nBoundAddress);
            EXPECT_EQ(ntohs(bound.sin_port), m_nPort);
            EXPECT_FALSE(socket.Create(0, LOOPBACK_ADDRESS)) << "a second Create on a full object";
            EXPECT_EQ(socket.ErrorCode(), WSAEISCONN);
        } else {
            EXPECT_EQ(socket.ErrorCode(), c.nError);
            EXPECT_TRUE(socket.IsEmpty());
        }
    }
}

TEST_F(TimeOutSocketTest, CreateOnAPortInUseFailsAndLeavesTheObjectEmptyAndUsable)
{
    struct CASE {
        const char* name;
        bool bHolderListens;
    };
    const CASE cases[] = {
        {"held by a listening socket", true},
        {"held by a bound socket", false},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        const unsigned short nPort = FindFreeLoopbackPort();
        CTimeOutSocket holder;
        ASSERT_TRUE(holder.Create(nPort, LOOPBACK_ADDRESS)) << holder.ErrorCode();
        if (c.bHolderListens) {
            ASSERT_TRUE(holder.Listen(5));
        }

        CTimeOutSocket late;
        EXPECT_FALSE(late.Create(nPort, LOOPBACK_ADDRESS));
        EXPECT_EQ(late.ErrorCode(), WSAEADDRINUSE);
        EXPECT_TRUE(late.IsEmpty());
        EXPECT_TRUE(late.Create(0, LOOPBACK_ADDRESS)) << late.ErrorCode();
    }
}

TEST(WinsockInit, EveryObjectHoldsItsOwnReferenceOnTheLibrary)
{
    CWinsockInit outer;
    ASSERT_TRUE(outer.IsReady());
    EXPECT_EQ(outer.Error(), 0);
    {
        CWinsockInit inner;
        EXPECT_TRUE(inner.IsReady());
    }
    CTimeOutSocket socket;
    EXPECT_TRUE(socket.Create(0, LOOPBACK_ADDRESS)) << socket.ErrorCode();
}

}  // namespace
