// The TCP output and the recorder link on real loopback sockets.
#include "app/CaptureEngine.h"
#include "link/LinkCodec.h"
#include "link/Md5.h"
#include "tests/support/Bytes.h"
#include "tests/support/EngineHost.h"
#include "tests/support/RecorderPeer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <mutex>
#include <thread>
#include <random>

using namespace std::chrono_literals;

namespace {

const std::string PASSWORD = "till-7 pass";

struct LinkFixture : ::testing::Test {
    CWinsockInit winsock;
    CEngineHost host;
    CHostedEngine engine{host};

    LinkFixture() { engine.SetLinkTiming(QuickLinkTiming()); }

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
        for (int k = 0; k < 500 && !engine.Queue(i).IsReady(); ++k) Sleep(10);
        ASSERT_TRUE(engine.Queue(i).IsReady());
    }
};

}  // namespace

TEST_F(LinkFixture, LoginReplyCarriesTheIdentityDigestAndEchoes)
{
    const unsigned short port = AddTcp();
    engine.Start();
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
    engine.Start();
    CRecorderPeer peer;
    ASSERT_TRUE(peer.Connect(port)) << "TCP(port) listens on the bare port";
    const std::string reply = peer.Login("");
    ASSERT_EQ(LINK_MSG_SIZE, reply.size());
    EXPECT_FALSE(IsRefusal(reinterpret_cast<const uint8_t*>(reply.data()), reply.size()));
    EXPECT_TRUE(Connected(0));
}

// A wrong password is refused once, with the warning, and the connection is
// closed at once: it must not keep the one connection from the recorder.
TEST_F(LinkFixture, WrongPasswordIsRefusedAndTheConnectionClosed)
{
    const unsigned short port = AddTcp();
    engine.Start();
    CRecorderPeer peer;
    ASSERT_TRUE(peer.Connect(port));
    ASSERT_TRUE(peer.KeepAliveCheck());
    EXPECT_EQ("V3StillLive", peer.ReceiveUpTo(11, 5000)) << "checks are answered before a login";
    const std::string refusal = peer.Login("another password");
    EXPECT_EQ(std::string("LinErr") + std::string(61, '\0'), refusal);
    EXPECT_TRUE(peer.WaitPeerClose(5000)) << "the connection stayed open after a wrong password";
    ASSERT_TRUE(host.WaitForCautions(1, 5s));
    EXPECT_EQ(std::vector<std::string>{HostText("IDS_PTS_WARNING_WRONG_PASSWORD")}, host.Cautions());
    EXPECT_FALSE(engine.Queue(0).IsReady());
    EXPECT_EQ(engine.m_strWaitConnect, host.StatusOf(0));

    CRecorderPeer recorder;
    LogIn(recorder, port);
    EXPECT_EQ(1u, host.Cautions().size());
}

TEST_F(LinkFixture, KeepAliveAndAcknowledgementWords)
{
    const unsigned short port = AddTcp();
    engine.Start();
    CRecorderPeer peer;
    LogIn(peer, port);

    ASSERT_TRUE(peer.KeepAliveCheck());
    EXPECT_EQ("V3StillLive", peer.ReceiveUpTo(100, 1000)) << "exactly the 11 bytes";

    // A keep-alive check padded to the size of a challenge is still a check.
    std::string padded = "ChkV3LiveStatus";
    padded.resize(LINK_MSG_SIZE, 'x');
    ASSERT_TRUE(peer.SendAll(padded));
    EXPECT_EQ("V3StillLive", peer.ReceiveUpTo(100, 1000));

    // Both words in one piece are two messages: the check is answered, and the
    // acknowledgement, with nothing in flight, sends nothing.
    ASSERT_TRUE(peer.SendAll("ChkV3LiveStatus gotdata"));
    EXPECT_EQ("V3StillLive", peer.ReceiveUpTo(100, 1000));

    // Noise before a check, a zero byte in it, is dropped; the check is answered.
    ASSERT_TRUE(peer.SendAll(std::string("abc\0ChkV3LiveStatus", 19)));
    EXPECT_EQ("V3StillLive", peer.ReceiveUpTo(100, 1000));
}

TEST_F(LinkFixture, AcknowledgementsDrainTheQueueInChunks)
{
    const unsigned short port = AddTcp();
    engine.Start();
    CRecorderPeer peer;
    LogIn(peer, port);

    const std::string big = Piece(8072, 1);
    Deliver(0, big);
    const std::string want = Swapped(big);
    EXPECT_EQ(want.substr(0, 3072), peer.ReceiveUpTo(3072, 5000));
    EXPECT_EQ(8072, engine.Queue(0).QueuedLen()) << "the chunk in flight stays queued until acknowledged";
    EXPECT_EQ(3072, engine.Queue(0).InFlightLen());

    ASSERT_TRUE(peer.Ack());
    EXPECT_EQ(want.substr(3072, 3072), peer.ReceiveUpTo(3072, 5000));
    EXPECT_EQ(5000, engine.Queue(0).QueuedLen());
    ASSERT_TRUE(peer.Ack());
    EXPECT_EQ(want.substr(6144), peer.ReceiveUpTo(1928, 5000));
    EXPECT_EQ("", peer.ReceiveUpTo(1, 300));
    EXPECT_TRUE(engine.Queue(0).IsWaitingForAck());
    ASSERT_TRUE(peer.Ack());
    for (int k = 0; k < 500 && engine.Queue(0).IsWaitingForAck(); ++k) Sleep(10);
    EXPECT_FALSE(engine.Queue(0).IsWaitingForAck());
    EXPECT_EQ(0, engine.Queue(0).QueuedLen());

    // Now a captured piece goes out at once.
    const std::string receipt = Piece(700, 2);
    Deliver(0, receipt);
    EXPECT_EQ(Swapped(receipt), peer.ReceiveUpTo(700, 5000));
    EXPECT_TRUE(engine.Queue(0).IsWaitingForAck());
}

TEST_F(LinkFixture, PiecesDeliveredWhileAChunkIsInFlightFollowItsAcknowledgement)
{
    const unsigned short port = AddTcp();
    engine.Start();
    CRecorderPeer peer;
    LogIn(peer, port);

    const std::string first = Piece(100, 3), second = Piece(200, 4), third = Piece(300, 5);
    Deliver(0, first);
    EXPECT_EQ(Swapped(first), peer.ReceiveUpTo(100, 5000));
    Deliver(0, second);
    Deliver(0, third);
    EXPECT_EQ("", peer.ReceiveUpTo(1, 300)) << "one chunk in flight at a time";
    EXPECT_EQ(600, engine.Queue(0).QueuedLen());
    ASSERT_TRUE(peer.Ack());
    EXPECT_EQ(Swapped(second + third), peer.ReceiveUpTo(500, 5000));
    ASSERT_TRUE(peer.Ack());
    for (int k = 0; k < 500 && engine.Queue(0).QueuedLen() > 0; ++k) Sleep(10);
    EXPECT_EQ(0, engine.Queue(0).QueuedLen());
}

TEST_F(LinkFixture, LargePieceBehindStoredBytesSendsOneFullChunk)
{
    const unsigned short port = AddTcp();
    engine.Start();
    const std::string stored = Piece(500, 6), piece = Piece(3000, 7);
    Deliver(0, stored);
    CRecorderPeer peer;
    LogIn(peer, port);
    const std::string all = Swapped(stored + piece);
    EXPECT_EQ(all.substr(0, 500), peer.ReceiveUpTo(500, 5000)) << "what waited goes out at login";
    Deliver(0, piece);
    ASSERT_TRUE(peer.Ack());
    EXPECT_EQ(all.substr(500, 3000), peer.ReceiveUpTo(3000, 5000));
}

// A recorder that logs in gets what waited at once, not with the next receipt,
// which on an idle till may be hours away.
TEST_F(LinkFixture, LoginSendsWhatWaitsAtOnce)
{
    const unsigned short port = AddTcp();
    engine.Start();
    const std::string receipt = Piece(1200, 12);
    Deliver(0, receipt);  // no recorder yet: stored
    CRecorderPeer peer;
    LogIn(peer, port);
    EXPECT_EQ(Swapped(receipt), peer.ReceiveUpTo(1200, 5000));
}

// Issue: a chunk sent into a connection that drops before its acknowledgement
// used to be gone; it must reach the next recorder, first, then the rest.
TEST_F(LinkFixture, ChunkUnacknowledgedWhenTheRecorderDropsGoesToTheNextRecorderFirst)
{
    const struct { const char* name; bool bReset; } cases[] = {{"reset", true}, {"orderly close", false}};
    const unsigned short port = AddTcp();
    engine.Start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string receipt = Piece(900, 8), later = Piece(50, 9);
        {
            CRecorderPeer gone;
            LogIn(gone, port);
            Deliver(0, receipt);
            ASSERT_EQ(Swapped(receipt), gone.ReceiveUpTo(900, 5000)) << "sent whole, never acknowledged";
            if (c.bReset) gone.Reset(); else gone.Close();
            ASSERT_TRUE(Waiting(0));
        }
        Deliver(0, later);  // stored behind it while no recorder is there
        EXPECT_EQ(950, engine.Queue(0).QueuedLen()) << "nothing of the receipt may be lost";
        CRecorderPeer next;
        LogIn(next, port);
        EXPECT_EQ(Swapped(receipt + later), next.ReceiveUpTo(950, 5000));
        ASSERT_TRUE(next.Ack());
        for (int k = 0; k < 500 && engine.Queue(0).QueuedLen() > 0; ++k) Sleep(10);
        EXPECT_EQ(0, engine.Queue(0).QueuedLen());
        next.Close();
        ASSERT_TRUE(Waiting(0));
    }
}

// Only the recorder that logged in may take the queued text: anyone else who
// reaches the port and says "gotdata" must not make the real recorder miss it.
TEST_F(LinkFixture, AcknowledgementsCountOnlyOnALoggedInConnection)
{
    const unsigned short port = AddTcp();
    engine.Start();
    const std::string receipt = Piece(400, 13);
    Deliver(0, receipt);
    {
        CRecorderPeer stranger;
        ASSERT_TRUE(stranger.Connect(port));
        ASSERT_TRUE(stranger.Ack());
        EXPECT_EQ("", stranger.ReceiveUpTo(1, 500));
        ASSERT_TRUE(stranger.KeepAliveCheck());
        EXPECT_EQ("V3StillLive", stranger.ReceiveUpTo(11, 5000)) << "keep-alive checks are answered to anyone";
        ASSERT_TRUE(stranger.Ack());
        EXPECT_EQ("", stranger.ReceiveUpTo(1, 500));
        EXPECT_EQ("LinErr", stranger.Login("wrong password").substr(0, 6));
        EXPECT_TRUE(stranger.WaitPeerClose(5000)) << "a refused login is no login";
    }
    ASSERT_TRUE(Waiting(0));
    EXPECT_EQ(400, engine.Queue(0).QueuedLen());
    CRecorderPeer recorder;
    LogIn(recorder, port);
    EXPECT_EQ(Swapped(receipt), recorder.ReceiveUpTo(400, 5000));
}

// Recorders that read a chunk and drop the connection before they acknowledge
// it, again and again while receipts keep coming: every byte still arrives,
// in order, and a byte arrives twice only as part of the one chunk that was in
// flight at a drop.
TEST_F(LinkFixture, RecordersDroppingBeforeTheirAcknowledgementLoseNoText)
{
    const int CYCLES = 60;
    const unsigned short port = AddTcp();
    engine.Start();
    std::mutex deliveredMutex;
    std::string delivered;  // as the recorder must see it
    std::atomic<bool> bWriting{true};
    std::thread writer([&] {
        for (int k = 0; bWriting; ++k) {
            // About 3 KB a second: less than the recorders of this test drain, so the queue never fills.
            const std::string receipt = "RECEIPT " + std::to_string(k) + " " + Piece(40 + (k * 97) % 300, k) + "\r\n";
            {
                std::lock_guard<std::mutex> lock(deliveredMutex);
                Deliver(0, receipt);
                delivered += Swapped(receipt);
            }
            Sleep(60);
        }
    });
    std::vector<std::string> sessions;
    for (int cycle = 0; cycle < CYCLES; ++cycle) {
        CRecorderPeer recorder;
        LogIn(recorder, port);
        std::string got;
        switch (cycle % 4) {
        case 0:  // acknowledges two chunks, reads a third and resets
            for (int a = 0; a < 2; ++a) {
                got += recorder.ReceiveUpTo(LINK_CHUNK_MAX, 300);
                ASSERT_TRUE(recorder.Ack());
            }
            got += recorder.ReceiveUpTo(LINK_CHUNK_MAX, 300);
            recorder.Reset();
            break;
        case 1:  // closes while the chunk is on its way, reading nothing
            recorder.Close();
            break;
        case 2:  // reads part of a chunk and resets
            got += recorder.ReceiveUpTo(100, 300);
            recorder.Reset();
            break;
        default:  // reads a chunk and closes without acknowledging it
            got += recorder.ReceiveUpTo(LINK_CHUNK_MAX, 300);
            recorder.Close();
            break;
        }
        ASSERT_TRUE(Waiting(0)) << "cycle " << cycle;
        sessions.push_back(got);
    }
    bWriting = false;
    writer.join();
    {
        CRecorderPeer last;
        LogIn(last, port);
        std::string got;
        for (int k = 0; k < 2000 && engine.Queue(0).QueuedLen() > 0; ++k) {
            got += last.ReceiveUpTo(LINK_CHUNK_MAX, 100);
            ASSERT_TRUE(last.Ack());
        }
        got += last.ReceiveUpTo(1 << 20, 300);
        sessions.push_back(got);
    }

    size_t at = 0, repeated = 0;
    for (size_t k = 0; k < sessions.size(); ++k) {
        const std::string& got = sessions[k];
        if (got.empty())
            continue;
        // This recorder's text must go on from where the last one stopped, or
        // repeat at most the chunk that was in flight when it dropped.
        size_t from = std::string::npos;
        for (size_t q = at > LINK_CHUNK_MAX ? at - LINK_CHUNK_MAX : 0; q <= at; ++q) {
            if (delivered.compare(q, got.size(), got) == 0) {
                from = q;
                break;
            }
        }
        ASSERT_NE(std::string::npos, from) << "recorder " << k << " missed text after byte " << at << " of "
                                           << delivered.size();
        repeated += at - from;
        at = from + got.size();
    }
    EXPECT_EQ(delivered.size(), at) << "every byte reached a recorder";
    EXPECT_LE(repeated, static_cast<size_t>(CYCLES) * LINK_CHUNK_MAX);
    std::printf("%zu bytes delivered over %d drops, %zu repeated\n", delivered.size(), CYCLES, repeated);
}

TEST_F(LinkFixture, QueueBoundCountsTheChunkInFlightAndStopKeepsIt)
{
    const unsigned short port = AddTcp();
    engine.Start();
    CRecorderPeer peer;
    LogIn(peer, port);
    Deliver(0, Piece(3000, 20));
    ASSERT_EQ(3000, engine.Queue(0).InFlightLen());
    Deliver(0, Piece(RESERVED_BUF_SIZE - 3000 - 100, 21));
    EXPECT_EQ(RESERVED_BUF_SIZE - 100, engine.Queue(0).QueuedLen());
    Deliver(0, Piece(100, 22));
    EXPECT_EQ(RESERVED_BUF_SIZE - 100, engine.Queue(0).QueuedLen()) << "a piece passing the bound is dropped whole";
    engine.Stop();
    EXPECT_EQ(RESERVED_BUF_SIZE - 100, engine.Queue(0).QueuedLen()) << "what waits stays for the next start";
    EXPECT_EQ(0, engine.Queue(0).InFlightLen()) << "the chunk in flight goes out again first";
}

TEST_F(LinkFixture, PortInUseShowsAFailedStatus)
{
    const unsigned short port = AddTcp();
    CTimeOutSocket holder;
    ASSERT_TRUE(holder.Create(port));
    ASSERT_TRUE(holder.Listen());
    engine.Start();
    EXPECT_TRUE(host.WaitForStatus(0, HostText("IDS_PTS_LISTEN_FAIL"), 5s)) << host.StatusOf(0);
    engine.Stop();
    holder.Close();
    engine.Start();
    EXPECT_TRUE(Waiting(0));
    CRecorderPeer peer;
    LogIn(peer, port);
}

TEST_F(LinkFixture, ResetAndSilenceDropTheConnectionAndTheNextIsServed)
{
    const unsigned short port = AddTcp();
    engine.Start();
    {
        CRecorderPeer peer;
        LogIn(peer, port);
        peer.Reset();
        EXPECT_TRUE(Waiting(0));
        EXPECT_FALSE(engine.Queue(0).IsReady());
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
    engine.Start();
    CRecorderPeer peer;
    LogIn(peer, port);
    const std::string receipt = Piece(100, 10), stored = Piece(400, 11);
    Deliver(0, receipt);
    EXPECT_EQ(Swapped(receipt), peer.ReceiveUpTo(100, 5000));
    Deliver(0, stored);
    ASSERT_EQ(500, engine.Queue(0).QueuedLen()) << "the chunk in flight and the piece behind it";

    std::mt19937 random(1234);
    for (int k = 0; k < 300; ++k) {
        std::string junk(1 + random() % 66, '\0');
        for (auto& c : junk) c = static_cast<char>('A' + random() % 20);  // never forms a keyword
        ASSERT_TRUE(peer.SendAll(junk));
    }
    // Junk that happens to fill a whole block reads as a challenge from a stranger: refused.
    peer.ReceiveUpTo(1000000, 1500);
    EXPECT_EQ(500, engine.Queue(0).QueuedLen()) << "only an acknowledgement takes from the queue";
    ASSERT_TRUE(peer.KeepAliveCheck());
    const std::string answer = peer.ReceiveUpTo(LINK_MSG_SIZE * 10, 2000);
    EXPECT_NE(std::string::npos, answer.find("V3StillLive")) << "the link still answers";
    EXPECT_EQ(500, engine.Queue(0).QueuedLen());
}

TEST_F(LinkFixture, StopEndsEveryLinkWhateverItsStateAndFreesThePorts)
{
    const unsigned short idlePort = AddTcp();
    const unsigned short connectedPort = AddTcp();
    const unsigned short midLoginPort = AddTcp();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        engine.Start();
        CRecorderPeer connected, midLogin;
        LogIn(connected, connectedPort, 1);
        ASSERT_TRUE(midLogin.Connect(midLoginPort));
        ASSERT_TRUE(midLogin.SendAll(CRecorderPeer::Challenge(PASSWORD)));  // reply is being built

        auto stopped = std::async(std::launch::async, [&] { engine.Stop(); });
        ASSERT_EQ(std::future_status::ready, stopped.wait_for(30s)) << "stop must end";
        EXPECT_TRUE(connected.WaitPeerClose(5000));
        for (unsigned short port : {idlePort, connectedPort, midLoginPort}) {
            CTimeOutSocket again;
            EXPECT_TRUE(again.Create(port)) << "port " << port << " is free again";
        }
    }
}

namespace {

// Sends a challenge for password and waits up to timeoutMs for the 67 bytes
// that answer it (fewer when none came).
std::string LoginWithin(CRecorderPeer& peer, const std::string& password, unsigned timeoutMs)
{
    if (!peer.SendAll(CRecorderPeer::Challenge(password)))
        return std::string();
    return peer.ReceiveUpTo(LINK_MSG_SIZE, timeoutMs);
}

bool IsGoodReply(const std::string& reply)
{
    if (reply.size() != LINK_MSG_SIZE)
        return false;
    const LINK_REPLY_FIELDS fields = DecodeLoginReply(reinterpret_cast<const uint8_t*>(reply.data()));
    return fields.strDigest == Md5Hex("PX3QDLIRN") && fields.nY1 == 2 && fields.nY2 == 35;
}

}  // namespace

// Whoever reaches the port first and never logs in (answering keep-alive
// checks to look alive), or offers a wrong password and stays, must not keep
// the real recorder out: it gets in within seconds and gets what waited.
TEST_F(LinkFixture, StrangersHoldingTheConnectionDoNotKeepTheRecorderOut)
{
    const unsigned short port = AddTcp();
    engine.Start();
    const std::string receipt = Piece(600, 30);
    Deliver(0, receipt);

    CRecorderPeer squatter;
    ASSERT_TRUE(squatter.Connect(port));
    std::atomic<int> answers{0};
    std::atomic<bool> squatterClosed{false};
    std::thread squatting([&] {
        // Sends a check every half second and reads the answer, as a live peer would.
        for (int k = 0; k < 80; ++k) {
            if (!squatter.KeepAliveCheck() || squatter.ReceiveUpTo(11, 5000) != "V3StillLive") {
                squatterClosed = true;  // the link let go of it (closed or reset)
                break;
            }
            ++answers;
            Sleep(500);
        }
    });
    for (int k = 0; k < 500 && answers == 0; ++k) Sleep(10);
    EXPECT_GT(answers.load(), 0) << "the squatter holds the connection";

    CRecorderPeer wrong;
    ASSERT_TRUE(wrong.Connect(port));
    ASSERT_TRUE(wrong.SendAll(CRecorderPeer::Challenge("not the password")));

    CRecorderPeer recorder;
    ASSERT_TRUE(recorder.Connect(port));
    const std::string reply = LoginWithin(recorder, PASSWORD, 30000);
    squatting.join();
    ASSERT_TRUE(IsGoodReply(reply)) << "the recorder did not get in; " << reply.size() << " bytes";
    EXPECT_TRUE(squatterClosed) << "the squatter kept its connection";
    EXPECT_EQ(std::string("LinErr") + std::string(61, '\0'), wrong.ReceiveUpTo(LINK_MSG_SIZE, 5000));
    EXPECT_TRUE(wrong.WaitPeerClose(5000));
    EXPECT_TRUE(Connected(0));
    EXPECT_EQ(Swapped(receipt), recorder.ReceiveUpTo(receipt.size(), 5000));
    // The squatter sent no login in time: turned away as junk; the other offered a wrong password.
    const SOURCE_COUNTERS_SNAPSHOT snap = engine.Queue(0).Counters().Snapshot();
    EXPECT_EQ(1u, snap.nRefused[static_cast<int>(REFUSAL_REASON::JUNK)]);
    EXPECT_EQ(1u, snap.nRefused[static_cast<int>(REFUSAL_REASON::WRONG_PASSWORD)]);
}

// With the link's real times: a recorder that sends its login 8 s after it
// connected is served, and a connection that sends none is dropped at 10 s,
// not seconds later, so that the recorder behind it gets in.
TEST_F(LinkFixture, TheRealLoginLimitKeepsASlowRecorderAndDropsAStrangerAtTenSeconds)
{
    engine.SetLinkTiming(LINK_TIMING());
    const unsigned short port = AddTcp();
    engine.Start();
    {
        CRecorderPeer slow;
        ASSERT_TRUE(slow.Connect(port));
        Sleep(8000);
        EXPECT_TRUE(IsGoodReply(LoginWithin(slow, PASSWORD, 5000))) << "a login at 8 s is answered";
        EXPECT_TRUE(Connected(0));
    }
    ASSERT_TRUE(Waiting(0));
    CRecorderPeer stranger;
    ASSERT_TRUE(stranger.Connect(port));
    const ULONGLONG nConnected = GetTickCount64();
    ASSERT_TRUE(stranger.WaitPeerClose(20000)) << "the stranger was never dropped";
    const ULONGLONG nHeld = GetTickCount64() - nConnected;
    EXPECT_GE(nHeld, 9500u);
    EXPECT_LE(nHeld, 12000u) << "the stranger held the port too long";
}

// TCP keeps no message boundaries: a challenge that comes in two pieces is
// answered once whole, and a check sent together with the challenge after it
// is answered and does not shift the challenge.
TEST_F(LinkFixture, ChallengeInPiecesOrJoinedToACheckIsAnswered)
{
    const unsigned short port = AddTcp();
    engine.Start();
    const std::string challenge = CRecorderPeer::Challenge(PASSWORD);
    for (size_t split : {size_t(1), size_t(5), size_t(21), size_t(30), size_t(62), size_t(66)}) {
        SCOPED_TRACE("split at " + std::to_string(split));
        CRecorderPeer peer;
        ASSERT_TRUE(peer.Connect(port));
        ASSERT_TRUE(peer.SendAll(challenge.substr(0, split)));
        EXPECT_EQ("", peer.ReceiveUpTo(1, 300)) << "half a challenge is no challenge";
        ASSERT_TRUE(peer.SendAll(challenge.substr(split)));
        EXPECT_TRUE(IsGoodReply(peer.ReceiveUpTo(LINK_MSG_SIZE, 5000)));
        EXPECT_TRUE(Connected(0));
        peer.Close();
        ASSERT_TRUE(Waiting(0));
    }
    CRecorderPeer joined;
    ASSERT_TRUE(joined.Connect(port));
    ASSERT_TRUE(joined.SendAll("ChkV3LiveStatus" + challenge));
    EXPECT_EQ("V3StillLive", joined.ReceiveUpTo(LINK_KEEPALIVE_ANSWER_SIZE, 5000));
    EXPECT_TRUE(IsGoodReply(joined.ReceiveUpTo(LINK_MSG_SIZE, 5000)));
    EXPECT_TRUE(Connected(0));
}

// A recorder that logs in again on its connection while a chunk is in flight
// gets nothing twice, and a chunk leaves the queue only with its own
// acknowledgement: a drop right after the next chunk went out loses nothing.
TEST_F(LinkFixture, LoginAgainWithAChunkInFlightKeepsEveryChunkUntilItsAcknowledgement)
{
    const unsigned short port = AddTcp();
    engine.Start();
    CRecorderPeer peer;
    LogIn(peer, port);
    const std::string text = Piece(5000, 31);
    const std::string want = Swapped(text);
    Deliver(0, text);
    ASSERT_EQ(want.substr(0, 3072), peer.ReceiveUpTo(3072, 5000));

    EXPECT_TRUE(IsGoodReply(peer.Login(PASSWORD)));
    ASSERT_TRUE(peer.Ack());  // for the first chunk
    // This recorder acknowledges every chunk it reads, and reads all that comes.
    std::string got = peer.ReceiveUpTo(want.size(), 1500);
    if (got.size() > 1928) {
        ASSERT_TRUE(peer.Ack());  // a repeat of the first chunk came: acknowledged as well
    }
    EXPECT_TRUE(got == want.substr(3072)) << "the rest, once: " << got.size() << " bytes came, not 1928";
    peer.Close();  // before the last chunk is acknowledged
    ASSERT_TRUE(Waiting(0));
    EXPECT_EQ(1928, engine.Queue(0).QueuedLen()) << "the chunk in flight at the drop stays queued";

    CRecorderPeer next;
    LogIn(next, port);
    EXPECT_TRUE(want.substr(3072) == next.ReceiveUpTo(1928, 5000)) << "the next recorder gets the chunk that was in flight";
}

// A port that another program holds at start is tried again: once free, it is
// listened on within seconds and the row goes from failed to waiting.
TEST_F(LinkFixture, BusyPortIsListenedOnOnceItIsFree)
{
    const unsigned short port = AddTcp();
    auto holder = std::make_unique<CTimeOutSocket>();
    ASSERT_TRUE(holder->Create(port));
    ASSERT_TRUE(holder->Listen());
    engine.Start();
    ASSERT_TRUE(host.WaitForStatus(0, HostText("IDS_PTS_LISTEN_FAIL"), 5s)) << host.StatusOf(0);
    const std::string receipt = Piece(300, 32);
    Deliver(0, receipt);
    holder.reset();
    EXPECT_TRUE(Waiting(0, 20s)) << host.StatusOf(0);
    CRecorderPeer peer;
    LogIn(peer, port);
    EXPECT_EQ(Swapped(receipt), peer.ReceiveUpTo(receipt.size(), 5000));
    engine.Stop();
    CTimeOutSocket again;
    EXPECT_TRUE(again.Create(port)) << "stop frees the port listened on after a retry";
}

namespace {

SOURCE_COUNTERS_SNAPSHOT CountersOf(CCaptureEngine& engine, int i) { return engine.Queue(i).Counters().Snapshot(); }

bool WaitForAcknowledged(CCaptureEngine& engine, int i, uint64_t nBytes)
{
    for (int k = 0; k < 500; ++k) {
        if (CountersOf(engine, i).nBytesAcknowledged >= nBytes)
            return true;
        Sleep(10);
    }
    return false;
}

uint64_t Refused(const SOURCE_COUNTERS_SNAPSHOT& snap, REFUSAL_REASON reason)
{
    return snap.nRefused[static_cast<int>(reason)];
}

}  // namespace

// What the link did shows in the source's counters: bytes sent and
// acknowledged, the logged-in recorder's address while it is there, and every
// login after the first as a reconnect, also across a stop and a start.
TEST_F(LinkFixture, CountersFollowSendsAcknowledgementsAndLogins)
{
    const unsigned short port = AddTcp();
    engine.Start();
    {
        CRecorderPeer peer;
        LogIn(peer, port);
        SOURCE_COUNTERS_SNAPSHOT snap = CountersOf(engine, 0);
        EXPECT_EQ("127.0.0.1:" + std::to_string(peer.LocalPort()), snap.strRecorderAddress);
        EXPECT_EQ(0u, snap.nRecorderReconnects) << "the first login is no reconnect";
        EXPECT_TRUE(engine.MetricsSources()[0].bRecorderLoggedIn);
        EXPECT_TRUE(engine.MetricsSources()[0].bOutputConnected);

        Deliver(0, Piece(5000, 1));
        ASSERT_EQ(3072u, peer.ReceiveUpTo(3072, 5000).size());
        snap = CountersOf(engine, 0);
        EXPECT_EQ(3072u, snap.nBytesSent);
        EXPECT_EQ(0u, snap.nBytesAcknowledged);
        EXPECT_EQ(5000u, snap.nBytesQueued) << "the chunk in flight still waits";
        EXPECT_EQ(0, snap.nLastAckTime);
        ASSERT_TRUE(peer.Ack());
        ASSERT_EQ(1928u, peer.ReceiveUpTo(1928, 5000).size());
        ASSERT_TRUE(peer.Ack());
        ASSERT_TRUE(WaitForAcknowledged(engine, 0, 5000));
        snap = CountersOf(engine, 0);
        EXPECT_EQ(5000u, snap.nBytesSent);
        EXPECT_EQ(5000u, snap.nBytesAcknowledged);
        EXPECT_EQ(0u, snap.nBytesQueued);
        EXPECT_NE(0, snap.nLastAckTime);
        peer.Close();
        ASSERT_TRUE(Waiting(0));
    }
    for (int k = 0; k < 500 && !CountersOf(engine, 0).strRecorderAddress.empty(); ++k) Sleep(10);
    EXPECT_EQ("", CountersOf(engine, 0).strRecorderAddress) << "cleared when the recorder goes";
    EXPECT_FALSE(engine.MetricsSources()[0].bRecorderLoggedIn);
    EXPECT_TRUE(engine.MetricsSources()[0].bOutputConnected) << "still listening";
    {
        CRecorderPeer again;
        LogIn(again, port);
        EXPECT_EQ(1u, CountersOf(engine, 0).nRecorderReconnects);
    }
    engine.Stop();
    EXPECT_EQ("", CountersOf(engine, 0).strRecorderAddress);
    engine.Start();
    CRecorderPeer afterRestart;
    LogIn(afterRestart, port);
    const SOURCE_COUNTERS_SNAPSHOT snap = CountersOf(engine, 0);
    EXPECT_EQ(2u, snap.nRecorderReconnects) << "counted since the program started, not since Start";
    EXPECT_EQ(5000u, snap.nBytesAcknowledged);
}

// A wrong password and junk are both refused and counted apart; only the
// wrong password warns a person, since only it means a recorder is set up wrong.
TEST_F(LinkFixture, RefusalsAreCountedByReasonAndOnlyAWrongPasswordWarns)
{
    const unsigned short port = AddTcp();
    engine.Start();
    {
        CRecorderPeer wrong;
        ASSERT_TRUE(wrong.Connect(port));
        EXPECT_EQ("LinErr", wrong.Login("another password").substr(0, 6));
        EXPECT_TRUE(wrong.WaitPeerClose(5000));
    }
    ASSERT_TRUE(host.WaitForCautions(1, 5s));
    {
        CRecorderPeer junk;
        ASSERT_TRUE(junk.Connect(port));
        ASSERT_TRUE(junk.SendAll(std::string(LINK_MSG_SIZE, 'A')));
        EXPECT_EQ("LinErr", junk.ReceiveUpTo(LINK_MSG_SIZE, 5000).substr(0, 6));
        EXPECT_TRUE(junk.WaitPeerClose(5000));
    }
    SOURCE_COUNTERS_SNAPSHOT snap = CountersOf(engine, 0);
    for (int k = 0; k < 500 && Refused(snap, REFUSAL_REASON::JUNK) == 0; ++k) {
        Sleep(10);
        snap = CountersOf(engine, 0);
    }
    EXPECT_EQ(1u, Refused(snap, REFUSAL_REASON::WRONG_PASSWORD));
    EXPECT_EQ(1u, Refused(snap, REFUSAL_REASON::JUNK));
    EXPECT_EQ(0u, Refused(snap, REFUSAL_REASON::UNKNOWN_TILL));
    Sleep(300);
    EXPECT_EQ(1u, host.Cautions().size()) << "junk raises no wrong-password warning";
    EXPECT_EQ("", snap.strRecorderAddress) << "a refused peer never counts as the recorder";
}

// The counts live with the source, not with its row: deleting a source above
// it moves them up with it, and the deleted source's counts are gone.
TEST_F(LinkFixture, CountsFollowTheirSourceWhenRowsShift)
{
    AddTcp();
    AddTcp();
    Deliver(0, Piece(10, 1));
    Deliver(1, Piece(25, 2));
    engine.DeleteSource(0);
    EXPECT_EQ(25u, CountersOf(engine, 0).nBytesCaptured);
    for (int i = 1; i < MAX_SOURCES; ++i) EXPECT_EQ(0u, CountersOf(engine, i).nBytesCaptured) << i;
    AddTcp();
    EXPECT_EQ(0u, CountersOf(engine, 1).nBytesCaptured) << "a new source starts from nothing";
}
