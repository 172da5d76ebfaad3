// Queues written through to files, in process: the engine with a queue folder
// of its own, real files, and a recorder driven by hand over loopback.
#include "app/CaptureEngine.h"
#include "link/LinkCodec.h"
#include "output/QueueFile.h"
#include "output/QueueRecord.h"
#include "tests/support/Bytes.h"
#include "tests/support/EngineHost.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;

namespace {

const std::string PASSWORD = "queue pass";

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What a start would read back from a queue file, as the recorder would receive it.
std::string PendingIn(const std::string& path)
{
    const std::string bytes = ReadWholeFile(path);
    const QUEUE_FILE_CONTENT content = ReadQueueFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return std::string(content.pending.begin(), content.pending.end());
}

struct EngineRun {
    CEngineHost host;
    CHostedEngine engine{host};
    explicit EngineRun(const std::string& queueFolder) { engine.SetQueueFolder(queueFolder); }
    void Deliver(int i, const std::string& bytes)
    {
        engine.Deliver(i, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
    }
    // Logs a recorder in on port and takes everything it is sent until count bytes came, acknowledging each chunk.
    std::string Collect(CRecorderPeer& peer, unsigned short port, size_t count, int i = 0)
    {
        EXPECT_TRUE(peer.Connect(port));
        EXPECT_EQ(LINK_MSG_SIZE, peer.Login(PASSWORD).size());
        std::string got;
        for (int k = 0; k < 200 && got.size() < count; ++k) {
            const std::string chunk = peer.ReceiveSome(LINK_CHUNK_MAX, 5000);
            if (chunk.empty())
                break;
            got += chunk;
            peer.Ack();
        }
        (void)i;
        return got;
    }
};

struct DurableQueueFixture : ::testing::Test {
    CWinsockInit winsock;
    CTempFolder data;
    std::string queues = data.Path() + "Queues\\";

    static std::unique_ptr<POS_SETTING_INFO> Source(PRINTER_TYPE type, const std::string& port)
    {
        auto r = std::make_unique<POS_SETTING_INFO>();
        r->nMonitorType = KIND_NETWORK;
        r->nReceiptType = 0;
        r->nInternetType = 0;
        r->strInternetIP = "127.0.0.9";
        r->nInternetPort = FindFreeLoopbackPort();
        r->ePrinterType = type;
        r->strPort = port;
        r->strPassword = PASSWORD;
        r->strBaudRate = r->strDataBits = r->strParity = r->strStopBits = "NULL";
        return r;
    }
    static std::unique_ptr<POS_SETTING_INFO> Tcp(unsigned short port)
    {
        return Source(PRINTER_TYPE::Tcp, std::to_string(port));
    }
};

}  // namespace

TEST_F(DurableQueueFixture, WhatWaitsIsInTheFileAndANewEngineDeliversItFirst)
{
    const unsigned short port = FindFreeLoopbackPort();
    const std::string ini = data.File("FileMapPOS.ini");
    const std::string first = Piece(7000, 1), second = Piece(900, 2);
    std::string path;
    {
        EngineRun run(queues);
        run.engine.AddSource(Tcp(port));
        run.engine.SaveSettings(ini);
        run.engine.Start();
        run.Deliver(0, first);
        path = run.engine.QueueFilePath(0);
        EXPECT_EQ(Swapped(first), PendingIn(path)) << "a piece is in the file as soon as it is handed over";
    }
    EXPECT_EQ(Swapped(first), PendingIn(path)) << "closing keeps the queue";
    EngineRun run(queues);
    run.engine.LoadSettings(ini);
    run.engine.Start();
    EXPECT_EQ(static_cast<int>(first.size()), run.engine.Queue(0).QueuedLen());
    run.Deliver(0, second);
    CRecorderPeer peer;
    EXPECT_EQ(Swapped(first + second), run.Collect(peer, port, first.size() + second.size()));
    for (int k = 0; k < 500 && run.engine.Queue(0).QueuedLen() > 0; ++k) Sleep(10);
    EXPECT_EQ("", PendingIn(path)) << "acknowledged bytes leave the file";
}

TEST_F(DurableQueueFixture, StopKeepsTheQueueAndAChangedOutputDeliversIt)
{
    EngineRun run(queues);
    run.engine.AddSource(Source(PRINTER_TYPE::Serial, "COM36"));
    run.engine.Start();
    ASSERT_TRUE(run.engine.Queue(0).IsFailed());
    const std::string stored = Piece(1500, 3);
    run.Deliver(0, stored);
    run.engine.Stop();
    EXPECT_EQ(static_cast<int>(stored.size()), run.engine.Queue(0).QueuedLen());
    const unsigned short port = FindFreeLoopbackPort();
    POS_SETTING_INFO& record = run.engine.Source(0);
    record.ePrinterType = PRINTER_TYPE::Tcp;
    record.strPort = std::to_string(port);
    run.engine.Start();
    const std::string next = "NEXT\r\n";
    run.Deliver(0, next);
    CRecorderPeer peer;
    EXPECT_EQ(Swapped(stored + next), run.Collect(peer, port, stored.size() + next.size()));
}

TEST_F(DurableQueueFixture, DeletedSourceTakesItsQueueFileAndNothingOfItReachesTheSourcesBelow)
{
    const unsigned short portA = FindFreeLoopbackPort(), portB = FindFreeLoopbackPort();
    const unsigned short portC = FindFreeLoopbackPort();
    EngineRun run(queues);
    run.engine.AddSource(Tcp(portA));
    run.engine.AddSource(Tcp(portB));
    run.engine.Start();
    const std::string a = Piece(2000, 4), b = Piece(300, 5);
    run.Deliver(0, a);
    run.Deliver(1, b);
    run.engine.Stop();
    const std::string pathA = run.engine.QueueFilePath(0), pathB = run.engine.QueueFilePath(1);
    ASSERT_TRUE(FileExists(pathA));
    run.engine.DeleteSource(0);
    EXPECT_FALSE(FileExists(pathA));
    EXPECT_EQ(pathB, run.engine.QueueFilePath(0)) << "the file follows its source up the list";
    // A new source may take the deleted one's name: it starts empty.
    run.engine.AddSource(Tcp(portC));
    run.engine.Start();
    EXPECT_EQ(0, run.engine.Queue(1).QueuedLen());
    EXPECT_EQ(static_cast<int>(b.size()), run.engine.Queue(0).QueuedLen());
    CRecorderPeer peerB;
    EXPECT_EQ(Swapped(b), run.Collect(peerB, portB, b.size()));
    EXPECT_EQ("", peerB.ReceiveSome(LINK_CHUNK_MAX, 500)) << "nothing of the deleted source follows";
}

TEST_F(DurableQueueFixture, UnwritableFolderKeepsForwardingFromMemoryAndTheRowSaysSo)
{
    // The queue folder would have to be made inside a plain file.
    WriteWholeFile(data.File("plain"), "x");
    EngineRun run(data.File("plain") + "\\Queues\\");
    const unsigned short port = FindFreeLoopbackPort();
    run.engine.AddSource(Tcp(port));
    run.engine.Start();
    const std::string note = " (" + HostText("IDS_PTS_QUEUE_IN_MEMORY") + ")";
    EXPECT_TRUE(run.host.WaitForStatus(0, HostText("IDS_PTS_WAIT_CONNECT") + note, 5s)) << run.host.StatusOf(0);
    const std::string receipt = Piece(5000, 6);
    run.Deliver(0, receipt);
    CRecorderPeer peer;
    EXPECT_EQ(Swapped(receipt), run.Collect(peer, port, receipt.size()));
    EXPECT_TRUE(run.host.WaitForStatus(0, HostText("IDS_PTS_CONNECTED") + note, 5s)) << run.host.StatusOf(0);
}

// A damaged file is copied aside, never moved: whatever the moment the program
// ends, the intact part is still in the queue file for the next start; and a
// second damaged file never takes the place of the first one kept.
TEST_F(DurableQueueFixture, ADamagedFileIsCopiedAsideAndNoCopyKeptBeforeIsOverwritten)
{
    ASSERT_TRUE(CreateDirectoryA(queues.c_str(), nullptr));
    const std::string path = queues + QueueFileName(7);
    auto damaged = [](const std::string& intact, char junk) {
        std::vector<uint8_t> file = QueueFileHeader();
        AppendQueueRecord(file, QUEUE_RECORD_DATA, reinterpret_cast<const uint8_t*>(intact.data()), intact.size());
        return std::string(file.begin(), file.end()) + std::string(40, junk);
    };
    const std::string first = damaged("FIRST INTACT", '\x01'), second = damaged("SECOND INTACT", '\x02');
    WriteWholeFile(path, first);
    {
        CQueueFile file(path, nullptr);
        ASSERT_TRUE(file.KeepAside());
    }
    // Ended right here: the file itself is still there, and read again.
    EXPECT_EQ(first, ReadWholeFile(path));
    EXPECT_EQ(first, ReadWholeFile(path + ".damaged"));
    EXPECT_EQ("FIRST INTACT", PendingIn(path));

    WriteWholeFile(path, second);
    {
        CQueueJournal journal(std::make_unique<CQueueFile>(path, nullptr));
        EXPECT_EQ(QUEUE_FILE_STATE::DamagedTail, journal.Open().eState);
    }
    EXPECT_EQ(first, ReadWholeFile(path + ".damaged")) << "the first copy kept";
    EXPECT_EQ(second, ReadWholeFile(path + ".damaged-2"));
    EXPECT_EQ("SECOND INTACT", PendingIn(path)) << "the intact part written anew";
}

