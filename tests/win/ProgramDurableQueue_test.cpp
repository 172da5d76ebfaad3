// The real Tillvox.exe keeps each source's queue in a file: receipts waiting
// for an absent recorder survive a forced end, a clean close and Stop then
// Start, and a damaged queue file costs only what is damaged.
#include "link/LinkCodec.h"
#include "output/QueueRecord.h"
#include "res/resource.h"
#include "tests/support/Bytes.h"
#include "tests/support/ProgramFixture.h"
#include "tests/support/ProgramUnderTest.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/SourceRecords.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TopWindows.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace {

const std::string PASSWORD = "counter 9";

std::string QueueFile(int nQueueId)
{
    return ProgramQueueFolder() + "source-" + std::to_string(nQueueId) + ".queue";
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

size_t PendingLen(const std::string& path)
{
    const std::string bytes = ReadWholeFile(path);
    return ReadQueueFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()).pending.size();
}

std::string Receipt(int n)
{
    char head[64];
    std::snprintf(head, sizeof head, "RECEIPT %04d\r\n", n);
    std::string text = head;
    for (int line = 0; line < 24; ++line) text += "ITEM " + std::to_string(line) + " ........ " + std::to_string(n) + ".50\r\n";
    return text + "TOTAL\r\n";
}

// The stream a recorder receives for the receipts from..to-1, each captured on its own.
std::string Stream(int from, int to)
{
    std::string s;
    for (int n = from; n < to; ++n) s += Receipt(n) + std::string(1, '\0');
    return Swapped(s);
}

struct ProgramQueueFixture : CProgramFixture {
    CTempFolder folder;
    std::string till = folder.File("till.txt");
    unsigned short port = FindFreeLoopbackPort();

    ProgramQueueFixture()
    {
        ClearProgramQueues();
        WriteWholeFile(till, "");
        POS_SETTING_INFO r = TcpFileSource(till, "POS9", port, PASSWORD);
        r.nQueueId = 1;
        WriteProgramSettings({r});
    }
    ~ProgramQueueFixture() override { ClearProgramQueues(); }

    void StartProgram(CProgramUnderTest& program)
    {
        ASSERT_TRUE(program.Start("/Service /Monitor"));
        ASSERT_NE(nullptr, program.WaitForMainWindow());
        ASSERT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_WAIT_CONNECT")));
    }
    // Appends receipts one by one, each once it is captured: in the queue file.
    void WriteReceipts(int from, int to, size_t alreadyQueued)
    {
        size_t queued = alreadyQueued;
        for (int n = from; n < to; ++n) {
            AppendToFile(till, Receipt(n));
            queued += Receipt(n).size() + 1;
            for (int k = 0; k < 200 && PendingLen(QueueFile(1)) < queued; ++k) Sleep(25);
            ASSERT_EQ(queued, PendingLen(QueueFile(1))) << "receipt " << n << " is in the queue file";
        }
    }
    void LogIn(CRecorderPeer& peer)
    {
        ASSERT_TRUE(peer.Connect(port));
        ASSERT_EQ(LINK_MSG_SIZE, peer.Login(PASSWORD).size());
    }
    // Takes what the recorder is sent, acknowledging every chunk, until count bytes came.
    static std::string Collect(CRecorderPeer& peer, size_t count)
    {
        std::string got;
        for (int k = 0; k < 400 && got.size() < count; ++k) {
            const std::string chunk = peer.ReceiveSome(LINK_CHUNK_MAX, 5000);
            if (chunk.empty())
                break;
            got += chunk;
            peer.Ack();
        }
        return got;
    }
};

enum class END { Forced, Clean, StopThenStart };

}  // namespace

TEST_F(ProgramQueueFixture, ReceiptsForAnAbsentRecorderSurviveEveryWayTheProgramEnds)
{
    const struct { END eEnd; const char* name; } cases[] = {
        {END::Forced, "ended by force"}, {END::Clean, "closed"}, {END::StopThenStart, "stopped and started"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearProgramQueues();
        WriteWholeFile(till, "");
        const int RECEIPTS = 30;
        std::string received;
        {
            CProgramUnderTest program;
            StartProgram(program);
            WriteReceipts(0, RECEIPTS, 0);
            program.KeepQueues();
            CProgramUnderTest again;
            CProgramUnderTest* pRunning = &program;
            if (c.eEnd == END::StopThenStart) {
                HWND hMain = program.WaitForMainWindow(1000);
                SendMessageA(hMain, WM_COMMAND, IDC_START, 0);
                ASSERT_EQ(Text("IDS_PTS_START"), program.ControlText(IDC_START));
                SendMessageA(hMain, WM_COMMAND, IDC_START, 0);
                ASSERT_EQ(Text("IDS_PTS_STOP"), program.ControlText(IDC_START));
            } else {
                if (c.eEnd == END::Forced)
                    TerminateProcess(program.Process(), 1);
                else
                    PostMessageA(program.WaitForMainWindow(1000), WM_CLOSE, 0, 0);
                ASSERT_TRUE(program.WaitForExit(15000));
                StartProgram(again);
                pRunning = &again;
            }
            ASSERT_TRUE(pRunning->WaitForCell(0, 0, Text("IDS_PTS_WAIT_CONNECT")));
            CRecorderPeer peer;
            LogIn(peer);
            const std::string expected = Stream(0, RECEIPTS);
            received = Collect(peer, expected.size());
            EXPECT_EQ(expected.size(), received.size());
            EXPECT_TRUE(expected == received) << "every receipt, in order, once";
            EXPECT_EQ("", peer.ReceiveSome(LINK_CHUNK_MAX, 300));
            std::printf("%s: %d receipts (%zu bytes) written, %zu bytes delivered, %s\n", c.name, RECEIPTS,
                        expected.size(), received.size(),
                        expected == received ? "each once, in order" : "NOT as written");
        }
    }
}

TEST_F(ProgramQueueFixture, ForcedEndWithAChunkInFlightRepeatsOnlyThatChunk)
{
    const int RECEIPTS = 30;
    const std::string expected = Stream(0, RECEIPTS);
    std::string acked, inFlight;
    {
        CProgramUnderTest program;
        StartProgram(program);
        CRecorderPeer peer;
        LogIn(peer);
        ASSERT_TRUE(program.WaitForCell(0, 0, Text("IDS_PTS_CONNECTED")));
        // The recorder holds back its acknowledgement: all but the first chunk wait.
        WriteReceipts(0, RECEIPTS, 0);
        // The first receipt went out alone as it came; the chunks behind it are full.
        for (int k = 0; k < 3; ++k) {
            const size_t size = k == 0 ? Stream(0, 1).size() : static_cast<size_t>(LINK_CHUNK_MAX);
            const std::string chunk = peer.ReceiveUpTo(size, 10000);
            ASSERT_EQ(size, chunk.size());
            if (k < 2) {
                acked += chunk;
                peer.Ack();
            } else {
                inFlight = chunk;
            }
        }
        program.KeepQueues();
        TerminateProcess(program.Process(), 1);
        ASSERT_TRUE(program.WaitForExit(15000));
    }
    ASSERT_EQ(expected.substr(0, acked.size() + inFlight.size()), acked + inFlight);
    CProgramUnderTest again;
    StartProgram(again);
    CRecorderPeer peer;
    LogIn(peer);
    const std::string rest = Collect(peer, expected.size() - acked.size());
    EXPECT_TRUE(expected.substr(acked.size()) == rest) << "from the chunk in flight on, all of it";
    EXPECT_EQ(inFlight, rest.substr(0, inFlight.size()));
    std::printf("forced end mid-stream: %d receipts (%zu bytes) written, %zu bytes delivered, %zu repeated\n",
                RECEIPTS, expected.size(), acked.size() + inFlight.size() + rest.size(), inFlight.size());
}

TEST_F(ProgramQueueFixture, DamagedQueueFileDeliversWhatIsIntactReportsTheRestAndCaptureGoesOn)
{
    const std::string r1 = Stream(1, 2), r2 = Stream(2, 3), r3 = Stream(3, 4);
    std::vector<uint8_t> good = QueueFileHeader();
    AppendQueueRecord(good, QUEUE_RECORD_DATA, reinterpret_cast<const uint8_t*>(r1.data()), r1.size());
    const size_t secondAt = good.size();
    AppendQueueRecord(good, QUEUE_RECORD_DATA, reinterpret_cast<const uint8_t*>(r2.data()), r2.size());
    AppendQueueRecord(good, QUEUE_RECORD_DATA, reinterpret_cast<const uint8_t*>(r3.data()), r3.size());
    std::vector<uint8_t> newer = good;
    newer[4] = static_cast<uint8_t>(QUEUE_FORMAT_VERSION + 1);
    const uint32_t crc = Crc32(newer.data(), 12);
    for (int i = 0; i < 4; ++i) newer[12 + static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
    std::vector<uint8_t> random(700);
    std::mt19937 generator(9);
    for (uint8_t& b : random) b = static_cast<uint8_t>(generator());
    std::vector<uint8_t> flipped = good;
    flipped[secondAt + 20] ^= 0x04;

    const struct { const char* name; std::vector<uint8_t> file; std::string intact; bool damaged; } cases[] = {
        {"torn last record", std::vector<uint8_t>(good.begin(), good.end() - 5), r1 + r2, true},
        {"flipped byte in the middle", flipped, r1, true},
        {"zero length", {}, "", false},
        {"random bytes", random, "", true},
        {"newer format", newer, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearProgramQueues();
        CreateDirectoryA(ProgramQueueFolder().c_str(), nullptr);
        WriteWholeFile(QueueFile(1), std::string(c.file.begin(), c.file.end()));
        CProgramUnderTest program;
        StartProgram(program);
        CRecorderPeer peer;
        LogIn(peer);
        EXPECT_TRUE(c.intact == Collect(peer, c.intact.size())) << "every intact record before the damage";
        EXPECT_EQ(c.damaged, FileExists(QueueFile(1) + ".damaged")) << "the damaged file is kept aside";
        if (c.damaged) {
            bool bShown = false;
            for (int k = 0; k < 100 && !bShown; ++k) {
                bShown = !VisibleTopWindowsCaptioned(Text("IDS_CAUTION"), program.ProcessId()).empty();
                if (!bShown) Sleep(50);
            }
            EXPECT_TRUE(bShown) << "the damage is reported";
        }
        AppendToFile(till, Receipt(7));
        EXPECT_TRUE(Stream(7, 8) == Collect(peer, Stream(7, 8).size())) << "capture goes on";
        EXPECT_TRUE(program.IsRunning());
    }
}

TEST_F(ProgramQueueFixture, AppendModeTextWrittenWhileTheProgramWasDownIsDeliveredOnceAtStart)
{
    enum class DOWN { Appended, Replaced, Truncated };
    const struct { DOWN eDown; const char* name; } cases[] = {
        {DOWN::Appended, "appended"}, {DOWN::Replaced, "replaced by another file"}, {DOWN::Truncated, "truncated"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearProgramQueues();
        WriteWholeFile(till, "");
        {
            CProgramUnderTest program;
            StartProgram(program);
            CRecorderPeer peer;
            LogIn(peer);
            for (int n = 0; n < 3; ++n) {
                AppendToFile(till, Receipt(n));
                ASSERT_TRUE(Stream(n, n + 1) == Collect(peer, Stream(n, n + 1).size())) << "receipt " << n;
            }
            program.KeepQueues();
            PostMessageA(program.WaitForMainWindow(1000), WM_CLOSE, 0, 0);
            ASSERT_TRUE(program.WaitForExit(15000));
        }
        std::string whileDown;
        if (c.eDown == DOWN::Appended) {
            for (int n = 3; n < 8; ++n) {
                AppendToFile(till, Receipt(n));
                whileDown += Receipt(n);
            }
        } else if (c.eDown == DOWN::Replaced) {
            const std::string other = folder.File("other.txt");
            WriteWholeFile(other, ReadWholeFile(till) + Receipt(3) + Receipt(4));
            ASSERT_TRUE(MoveFileExA(other.c_str(), till.c_str(), MOVEFILE_REPLACE_EXISTING));
        } else {
            WriteWholeFile(till, Receipt(3));
        }
        for (int round = 0; round < (c.eDown == DOWN::Appended ? 2 : 1); ++round) {
            SCOPED_TRACE(round == 0 ? "first start" : "next start");
            CProgramUnderTest program;
            StartProgram(program);
            CRecorderPeer peer;
            LogIn(peer);
            if (round == 0 && !whileDown.empty()) {
                const std::string expected = Swapped(whileDown + std::string(1, '\0'));
                const std::string got = Collect(peer, expected.size());
                EXPECT_EQ(expected.size(), got.size());
                EXPECT_TRUE(expected == got) << "what was appended while down";
            }
            EXPECT_EQ("", peer.ReceiveSome(LINK_CHUNK_MAX, 1000)) << "nothing else, nothing twice";
            AppendToFile(till, Receipt(9 + round));
            EXPECT_TRUE(Stream(9 + round, 10 + round) == Collect(peer, Stream(9 + round, 10 + round).size()))
                << "capture goes on from the end";
            program.KeepQueues();
            PostMessageA(program.WaitForMainWindow(1000), WM_CLOSE, 0, 0);
            ASSERT_TRUE(program.WaitForExit(15000));
        }
    }
}
