// The TCP output and the recorder link on real loopback sockets.
#include "app/CaptureEngine.h"
#include "link/LinkCodec.h"
#include "link/Md5.h"
#include "tests/support/Bytes.h"
#include "tests/support/EngineHost.h"
#include "tests/support/RecorderPeer.h"

#include <gtest/gtest.h>

#include <future>
#include <random>

using namespace std::chrono_literals;

namespace {

const std::string PASSWORD = "till-7 pass";

struct LinkFixture : ::testing::Test {
    CWinsockInit winsock;
    CEngineHost host;
    CCaptureEngine engine{host};

    LinkFixture()
    {
        host.pEngine = &engine;
        engine.LoadTexts();
    }
    ~LinkFixture() override
    {
        if (engine.m_bRunning) engine.CloseOutputs();
    }
    unsigned short AddTcp(const std::string& password = PASSWORD, bool wrapped = false)
    {
        const unsigned short port = FindFreeLoopbackPort();
        auto r = std::make_unique<POS_SETTING_INFO>();
        r->nMonitorType = KIND_NETWORK;
        r->nReceiptType = 0;
        r->ePrinterType = PRINTER_TYPE::Tcp;
        r->strPort = wrapped ? "TCP(" + std::to_string(port) + ")" : std::to_string(port);
        r->strPassword = password;
        r->strBaudRate = r->strDataBits = r->strParity = r->strStopBits = "NULL";
        engine.AddSource(std::move(r));
        return port;
    }
    void Deliver(int i, const std::string& bytes)
    {
        engine.Deliver(i, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
    }
    bool Connected(int i) { return host.WaitForStatus(i, engine.m_strConnected, 10s); }
    bool Waiting(int i, std::chrono::milliseconds timeout = 10s)
    {
        return host.WaitForStatus(i, engine.m_strWaitConnect, timeout);
    }
    // Logs a recorder in and waits until the engine counts it as logged in.
    void LogIn(CRecorderPeer& peer, unsigned short port, int i = 0)
    {
        ASSERT_TRUE(peer.Connect(port));
        ASSERT_EQ(LINK_MSG_SIZE, peer.Login(PASSWORD).size());
        ASSERT_TRUE(Connected(i));
        for (int k = 0; k < 500 && !engine.IsOutputReady(i); ++k) Sleep(10);
        ASSERT_TRUE(engine.IsOutputReady(i));
    }
};

}  // namespace

TEST_F(LinkFixture, LoginReplyCarriesTheIdentityDigestAndEchoes)
{
    const unsigned short port = AddTcp();
    engine.OpenOutputs();
    EXPECT_EQ(engine.m_strWaitConnect, host.StatusOf(0));
    const struct { unsigned char key, a, b, y1, y2; } cases[] = {
        {0x5A, 29, 2, 2, 35}, {0x00, 30, 3, 5, 24}, {0xFF, 3, 255, 1, 9}, {0x13, 255, 100, 102, 249},
    };
    for (const auto& c : cases) {
        CRecorderPeer peer;
        ASSERT_TRUE(peer.Connect(port));
        const std::string reply = peer.Login(PASSWORD, c.key, c.a, c.b);
        ASSERT_EQ(LINK_MSG_SIZE, reply.size());
        const LINK_REPLY_FIELDS fields = DecodeLoginReply(reinterpret_cast<const uint8_t*>(reply.data()));
        EXPECT_EQ(Md5Hex("PX3QDLIRN"), fields.strDigest);
        EXPECT_EQ(0, (fields.nKey - 2) % 3) << int(fields.nKey);
        EXPECT_TRUE(fields.nKey >= 5 && fields.nKey <= 29) << int(fields.nKey);
        EXPECT_EQ(c.y1, fields.nY1);
        EXPECT_EQ(c.y2, fields.nY2);
        EXPECT_TRUE(Connected(0));
        peer.Close();
        EXPECT_TRUE(Waiting(0)) << "a closed connection returns the row to waiting";
    }
}

TEST_F(LinkFixture, EmptyPasswordAndWrappedPortForm)
{
    const unsigned short port = AddTcp("", true);
    engine.OpenOutputs();
    CRecorderPeer peer;
    ASSERT_TRUE(peer.Connect(port)) << "TCP(port) listens on the bare port";
    const std::string reply = peer.Login("");
    ASSERT_EQ(LINK_MSG_SIZE, reply.size());
    EXPECT_FALSE(IsRefusal(reinterpret_cast<const uint8_t*>(reply.data()), reply.size()));
    EXPECT_TRUE(Connected(0));
}

TEST_F(LinkFixture, WrongPasswordIsRefusedOnceAndTheConnectionStaysUsable)
{
    const unsigned short port = AddTcp();
    engine.OpenOutputs();
    CRecorderPeer peer;
    ASSERT_TRUE(peer.Connect(port));
    const std::string refusal = peer.Login("another password");
    EXPECT_EQ(std::string("LinErr") + std::string(61, '\0'), refusal);
    ASSERT_TRUE(host.WaitForCautions(1, 5s));
    EXPECT_EQ(std::vector<std::string>{HostText("IDS_PTS_WARNING_WRONG_PASSWORD")}, host.Cautions());
    EXPECT_FALSE(engine.IsOutputReady(0));
    EXPECT_EQ(engine.m_strWaitConnect, host.StatusOf(0));

    ASSERT_TRUE(peer.KeepAliveCheck());
    EXPECT_EQ("V3StillLive", peer.ReceiveUpTo(11, 5000));
    EXPECT_EQ(LINK_MSG_SIZE, peer.Login(PASSWORD).size());
    EXPECT_TRUE(Connected(0));
    EXPECT_EQ(1u, host.Cautions().size());
}

TEST_F(LinkFixture, KeepAliveAndAcknowledgementWords)
{
    const unsigned short port = AddTcp();
    engine.OpenOutputs();
    CRecorderPeer peer;
    LogIn(peer, port);

    ASSERT_TRUE(peer.KeepAliveCheck());
    EXPECT_EQ("V3StillLive", peer.ReceiveUpTo(100, 1000)) << "exactly the 11 bytes";

    // A keep-alive check padded to the size of a challenge is still a check.
    std::string padded = "ChkV3LiveStatus";
    padded.resize(LINK_MSG_SIZE, 'x');
    ASSERT_TRUE(peer.SendAll(padded));
    EXPECT_EQ("V3StillLive", peer.ReceiveUpTo(100, 1000));

    // Both words: served only as an acknowledgement, which with an empty queue sends nothing.
    ASSERT_TRUE(peer.SendAll("ChkV3LiveStatus gotdata"));
    EXPECT_EQ("", peer.ReceiveUpTo(100, 600));

    // A keyword after a zero byte is not seen.
    ASSERT_TRUE(peer.SendAll(std::string("abc\0ChkV3LiveStatus", 19)));
    EXPECT_EQ("", peer.ReceiveUpTo(100, 600));
}

TEST_F(LinkFixture, AcknowledgementsDrainTheQueueInChunks)
{
    const unsigned short port = AddTcp();
    engine.OpenOutputs();
    CRecorderPeer peer;
    LogIn(peer, port);

    const std::string big = Piece(8072, 1);
    Deliver(0, big);
    const std::string want = Swapped(big);
    EXPECT_EQ(want.substr(0, 3072), peer.ReceiveUpTo(3072, 5000));
    ASSERT_EQ(5000, engine.ReservedLen(0));
    ASSERT_TRUE(engine.IsWaitingForAck(0));

    ASSERT_TRUE(peer.Ack());
    EXPECT_EQ(want.substr(3072, 3072), peer.ReceiveUpTo(3072, 5000));
    ASSERT_TRUE(peer.Ack());
    EXPECT_EQ(want.substr(6144), peer.ReceiveUpTo(1928, 5000));
    EXPECT_EQ("", peer.ReceiveUpTo(1, 300));
    EXPECT_EQ(0, engine.ReservedLen(0));
    EXPECT_TRUE(engine.IsWaitingForAck(0)) << "the flag stays up until an acknowledgement finds the queue empty";
    ASSERT_TRUE(peer.Ack());
    for (int k = 0; k < 500 && engine.IsWaitingForAck(0); ++k) Sleep(10);
    EXPECT_FALSE(engine.IsWaitingForAck(0)) << "the third acknowledgement clears the flag";

    // Now a captured piece goes out at once.
    const std::string receipt = Piece(700, 2);
    Deliver(0, receipt);
    EXPECT_EQ(Swapped(receipt), peer.ReceiveUpTo(700, 5000));
    EXPECT_TRUE(engine.IsWaitingForAck(0));
}

TEST_F(LinkFixture, PieceDeliveredWhileAnAcknowledgementIsAwaited)
{
    const unsigned short port = AddTcp();
    engine.OpenOutputs();
    CRecorderPeer peer;
    LogIn(peer, port);

    const std::string first = Piece(100, 3), second = Piece(200, 4), third = Piece(300, 5);
    Deliver(0, first);
    EXPECT_EQ(Swapped(first), peer.ReceiveUpTo(100, 5000));
    EXPECT_TRUE(engine.IsWaitingForAck(0));
    Deliver(0, second);
    EXPECT_EQ(200, engine.ReservedLen(0)) << "stored while the acknowledgement is awaited";
    EXPECT_FALSE(engine.IsWaitingForAck(0)) << "storing clears the flag";
    EXPECT_EQ("", peer.ReceiveUpTo(1, 300));
    Deliver(0, third);
    EXPECT_EQ(Swapped(second + third), peer.ReceiveUpTo(500, 5000));
    EXPECT_EQ(0, engine.ReservedLen(0));
}

TEST_F(LinkFixture, LargePieceBehindStoredBytesSendsOneFullChunk)
{
    const unsigned short port = AddTcp();
    engine.OpenOutputs();
    const std::string stored = Piece(500, 6), piece = Piece(3000, 7);
    Deliver(0, stored);
    CRecorderPeer peer;
    LogIn(peer, port);
    Deliver(0, piece);
    const std::string all = Swapped(stored + piece);
    EXPECT_EQ(all.substr(0, 3072), peer.ReceiveUpTo(3072, 5000));
    EXPECT_EQ(428, engine.ReservedLen(0));
    EXPECT_TRUE(engine.IsWaitingForAck(0));
    ASSERT_TRUE(peer.Ack());
    EXPECT_EQ(all.substr(3072), peer.ReceiveUpTo(428, 5000));
}

TEST_F(LinkFixture, TextSentIntoABrokenConnectionReachesTheNextRecorder)
{
    const unsigned short port = AddTcp();
    engine.OpenOutputs();
    {
        CRecorderPeer gone;
        LogIn(gone, port);
        gone.Reset();
    }
    Sleep(100);
    const std::string receipt = Piece(900, 8);
    Deliver(0, receipt);  // into the reset connection, or stored if the link already noticed
    ASSERT_TRUE(Waiting(0));
    EXPECT_EQ(900, engine.ReservedLen(0)) << "nothing of the receipt may be lost";

    CRecorderPeer next;
    LogIn(next, port);
    const std::string more = Piece(50, 9);
    Deliver(0, more);
    EXPECT_EQ(Swapped(receipt + more), next.ReceiveUpTo(950, 5000));
}

TEST_F(LinkFixture, ResetAndSilenceDropTheConnectionAndTheNextIsServed)
{
    const unsigned short port = AddTcp();
    engine.OpenOutputs();
    {
        CRecorderPeer peer;
        LogIn(peer, port);
        peer.Reset();
        EXPECT_TRUE(Waiting(0));
        EXPECT_FALSE(engine.IsOutputReady(0));
    }
    {
        CRecorderPeer silent;
        LogIn(silent, port);
        EXPECT_TRUE(Waiting(0, 30s)) << "silence beyond the receive time-out drops the connection";
        EXPECT_TRUE(silent.WaitPeerClose(5000));
    }
    CRecorderPeer next;
    LogIn(next, port);
}

TEST_F(LinkFixture, GarbageNeverTouchesTheQueueOrBreaksTheLink)
{
    const unsigned short port = AddTcp();
    engine.OpenOutputs();
    CRecorderPeer peer;
    LogIn(peer, port);
    const std::string receipt = Piece(100, 10), stored = Piece(400, 11);
    Deliver(0, receipt);
    EXPECT_EQ(Swapped(receipt), peer.ReceiveUpTo(100, 5000));
    Deliver(0, stored);
    ASSERT_EQ(400, engine.ReservedLen(0));

    std::mt19937 random(1234);
    for (int k = 0; k < 300; ++k) {
        std::string junk(1 + random() % 66, '\0');
        for (auto& c : junk) c = static_cast<char>('A' + random() % 20);  // never forms a keyword
        ASSERT_TRUE(peer.SendAll(junk));
    }
    // Junk that happens to fill a whole block reads as a challenge from a stranger: refused.
    peer.ReceiveUpTo(1000000, 1500);
    EXPECT_EQ(400, engine.ReservedLen(0)) << "only an acknowledgement takes from the queue";
    ASSERT_TRUE(peer.KeepAliveCheck());
    const std::string answer = peer.ReceiveUpTo(LINK_MSG_SIZE * 10, 2000);
    EXPECT_NE(std::string::npos, answer.find("V3StillLive")) << "the link still answers";
    EXPECT_EQ(400, engine.ReservedLen(0));
}

TEST_F(LinkFixture, StopEndsEveryLinkWhateverItsStateAndFreesThePorts)
{
    const unsigned short idlePort = AddTcp();
    const unsigned short connectedPort = AddTcp();
    const unsigned short midLoginPort = AddTcp();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        engine.OpenOutputs();
        CRecorderPeer connected, midLogin;
        LogIn(connected, connectedPort, 1);
        ASSERT_TRUE(midLogin.Connect(midLoginPort));
        ASSERT_TRUE(midLogin.SendAll(CRecorderPeer::Challenge(PASSWORD)));  // reply is being built

        auto stopped = std::async(std::launch::async, [&] { engine.CloseOutputs(); });
        ASSERT_EQ(std::future_status::ready, stopped.wait_for(30s)) << "stop must end";
        EXPECT_TRUE(connected.WaitPeerClose(5000));
        for (unsigned short port : {idlePort, connectedPort, midLoginPort}) {
            CTimeOutSocket again;
            EXPECT_TRUE(again.Create(port)) << "port " << port << " is free again";
        }
    }
}
