// A receipt written into a watched file reaches the recorder: real files, the
// real directory watcher, real outputs.
#include "app/CaptureEngine.h"
#include "tests/support/Bytes.h"
#include "tests/support/ComPortPair.h"
#include "tests/support/EngineHost.h"
#include "tests/support/Process.h"
#include "tests/support/RecorderPeer.h"
#include "tests/support/SourceRecords.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <functional>

using namespace std::chrono_literals;

namespace {

struct FileSourceFixture : ::testing::Test {
    CWinsockInit winsock;
    CTempFolder folder;
    std::string path = folder.File("receipts.txt");
    CEngineHost host;
    CHostedEngine engine{host};

    void AddFileSource(PRINTER_TYPE printer, const std::string& port, int receiptType = 0)
    {
        auto r = EngineSource(KIND_FILE, printer, port, "pw");
        r->nReceiptType = receiptType;
        r->strFilePath = path;
        engine.AddSource(std::move(r));
    }
    void Start()
    {
        engine.Start();
    }
};

std::string WithZero(const std::string& text) { return text + std::string(1, '\0'); }

}  // namespace

TEST_F(FileSourceFixture, AppendedReceiptsReachALoggedInRecorderInOrder)
{
    const unsigned short port = FindFreeLoopbackPort();
    WriteWholeFile(path, Piece(1000, 1));
    AddFileSource(PRINTER_TYPE::Tcp, std::to_string(port));
    Start();
    CRecorderPeer peer;
    ASSERT_TRUE(peer.Connect(port));
    ASSERT_EQ(67u, peer.Login("pw").size());
    ASSERT_TRUE(host.WaitForStatus(0, engine.m_strConnected, 10s));

    const std::string first = Piece(200, 2);
    AppendToFile(path, first);
    EXPECT_EQ(Swapped(WithZero(first)), peer.ReceiveUpTo(201, 10000));
    EXPECT_EQ(1000, engine.FileState(0).nOffset);
    EXPECT_EQ(1200, engine.FileState(0).nLength);

    // Receipts written back to back, the recorder acknowledging each chunk as it comes.
    std::string expected;
    for (int k = 0; k < 5; ++k) {
        const std::string receipt = "RECEIPT " + std::to_string(k) + "\r\nTOTAL 1.00\r\n";
        AppendToFile(path, receipt);
        expected += WithZero(receipt);
        Sleep(30);
    }
    std::string received;
    for (int k = 0; k < 100 && received.size() < expected.size(); ++k) {
        ASSERT_TRUE(peer.Ack());
        received += peer.ReceiveUpTo(expected.size() - received.size(), 200);
    }
    EXPECT_EQ(Swapped(expected), received);
}

// A folder removed while it is watched fails the watcher's wait on Windows and
// takes the same road; under Wine the folder stays until the watcher lets it
// go, so the missing folder is made here by starting without it.
TEST_F(FileSourceFixture, MissingFolderShowsAFailedStatusAndWatchingResumesWhenItComes)
{
    CComPortPair com(15);
    const std::string sub = folder.File("till");
    path = sub + "\\receipts.txt";
    AddFileSource(PRINTER_TYPE::Serial, com.Name());
    Start();
    EXPECT_TRUE(host.WaitForStatus(0, HostText("IDS_PTS_FOLDER_MISSING"), 5s)) << host.StatusOf(0);

    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    WriteWholeFile(path, "");
    // The folder is reported back once it is watched again: a write at once is captured.
    EXPECT_TRUE(host.WaitForStatus(0, HostText("IDS_PTS_COM_SETTING_DONE"), 10s))
        << "back to the output's status: " << host.StatusOf(0);
    const std::string receipt = "RECEIPT AFTER THE FOLDER CAME\r\n";
    AppendToFile(path, receipt);
    EXPECT_EQ(Swapped(WithZero(receipt)), com.Read(receipt.size() + 1, 10s));
    engine.Stop();
    DeleteFileA(path.c_str());
    RemoveDirectoryA(sub.c_str());
}

// A printer driver or a log rotation that truncates or re-creates the file in
// append mode: every receipt of the new file reaches the recorder, once.
TEST_F(FileSourceFixture, AppendModeFileTruncatedOrRecreatedLosesNoReceipt)
{
    CComPortPair com(16);
    WriteWholeFile(path, Piece(2000, 4));
    AddFileSource(PRINTER_TYPE::Serial, com.Name());
    Start();
    const std::string first = "FIRST APPENDED RECEIPT, PUTS THE FILE IN APPEND MODE\r\n";
    AppendToFile(path, first);
    ASSERT_EQ(Swapped(WithZero(first)), com.Read(first.size() + 1, 10s));

    const struct { const char* how; std::function<void(const std::string&)> write; } ways[] = {
        {"truncated and rewritten in one open", [&](const std::string& r) { WriteWholeFile(path, r); }},
        {"deleted and re-created shorter",
         [&](const std::string& r) {
             DeleteFileA(path.c_str());
             WriteWholeFile(path, r);
         }},
        {"truncated to zero, then written",
         [&](const std::string& r) {
             WriteWholeFile(path, "");
             Sleep(300);
             AppendToFile(path, r);
         }},
    };
    int n = 0;
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        const std::string receipt = "RECEIPT " + std::to_string(++n) + " OF THE NEW FILE\r\n";
        way.write(receipt);
        EXPECT_EQ(Swapped(WithZero(receipt)), com.Read(receipt.size() + 1, 10s));
        const std::string next = "RECEIPT " + std::to_string(n) + " APPENDED AFTER IT\r\n";
        Sleep(100);
        AppendToFile(path, next);
        EXPECT_EQ(Swapped(WithZero(next)), com.Read(next.size() + 1, 10s));
        EXPECT_EQ("", com.Read(1, 300ms)) << "nothing twice";
    }
}

TEST_F(FileSourceFixture, ReceiptReachesASerialOutput)
{
    CComPortPair com(11);
    WriteWholeFile(path, "");
    AddFileSource(PRINTER_TYPE::Serial, com.Name());
    Start();
    ASSERT_EQ(HostText("IDS_PTS_COM_SETTING_DONE"), host.StatusOf(0));
    const std::string receipt = "CHEESE 2.40\r\nBREAD 1.10\r\n";
    AppendToFile(path, receipt);
    EXPECT_EQ(Swapped(WithZero(receipt)), com.Read(receipt.size() + 1, 10s));
}

TEST_F(FileSourceFixture, RewrittenFileGoesOutWhole)
{
    CComPortPair com(13);
    WriteWholeFile(path, "FIRST RECEIPT, A LONG ONE\r\n");
    AddFileSource(PRINTER_TYPE::Serial, com.Name());
    Start();
    WriteWholeFile(path, "SHORT\r\n");
    EXPECT_EQ(Swapped(WithZero("SHORT\r\n")), com.Read(8, 10s));
}

// A working source in the same folder is the yardstick: the folder's watcher
// reports changes in the order they were written, so once the working source
// has its text, the failed source's earlier change was reported too, had its
// file been watched.
TEST_F(FileSourceFixture, FailedSerialPortStartsNoWatcherAndStopLeavesNoWakeUpFile)
{
    WriteWholeFile(path, "x");
    CAbsentComPort missing(33);
    AddFileSource(PRINTER_TYPE::Serial, missing.Name());
    const std::string failedPath = path;
    path = folder.File("working.txt");
    WriteWholeFile(path, "");
    AddFileSource(PRINTER_TYPE::Tcp, std::to_string(FindFreeLoopbackPort()));
    const std::string workingPath = path;
    path = failedPath;
    Start();
    ASSERT_TRUE(engine.Queue(0).IsFailed());
    AppendToFile(failedPath, "lost to a missing port");
    const std::string receipt = "WRITTEN AFTER IT\r\n";
    AppendToFile(workingPath, receipt);
    const int wanted = static_cast<int>(receipt.size()) + 1;
    for (int k = 0; k < 1000 && engine.Queue(1).QueuedLen() < wanted; ++k) Sleep(10);
    ASSERT_EQ(wanted, engine.Queue(1).QueuedLen()) << "the working source's text, the yardstick, never came";
    EXPECT_EQ(0, engine.Queue(0).QueuedLen());
    engine.Stop();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.File("RDC_temp.dat").c_str()));
}

TEST_F(FileSourceFixture, StopAndStartAgainTakesANewSnapshot)
{
    CComPortPair com(14);
    WriteWholeFile(path, Piece(50000, 3));
    AddFileSource(PRINTER_TYPE::Serial, com.Name());
    Start();
    EXPECT_EQ(50000 - 40960, engine.FileState(0).nOffset);
    EXPECT_EQ(50000, engine.FileState(0).nLength);
    engine.Stop();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.File("RDC_temp.dat").c_str()));
    AppendToFile(path, "written while stopped\r\n");
    Start();
    const std::string receipt = "AFTER RESTART\r\n";
    AppendToFile(path, receipt);
    EXPECT_EQ(Swapped(WithZero(receipt)), com.Read(receipt.size() + 1, 10s));
}

TEST_F(FileSourceFixture, TwoSourcesOnOneFileSendEachReceiptOnceThroughTheFirst)
{
    CComPortPair com(17), second(18);
    WriteWholeFile(path, "");
    AddFileSource(PRINTER_TYPE::Serial, com.Name());
    AddFileSource(PRINTER_TYPE::Serial, second.Name());  // the same file again, as a hand-edited file may have it
    Start();
    std::string expected;
    for (int k = 0; k < 20; ++k) {
        const std::string receipt = "RECEIPT " + std::to_string(k) + "\r\n";
        AppendToFile(path, receipt);
        expected += WithZero(receipt);
        Sleep(30);
    }
    EXPECT_EQ(Swapped(expected), com.Read(expected.size(), std::chrono::seconds(10))) << "every receipt, in order";
    EXPECT_EQ("", com.Read(1, std::chrono::milliseconds(500))) << "nothing doubled";
    EXPECT_EQ("", second.Read(1, std::chrono::milliseconds(300)));
}

// Sixteen tills writing at once, into one folder (one watcher serves it and
// hands each change to its source's worker) or into a folder each: every
// source takes exactly its own new text, none of what its file held before
// the start, and stop leaves no thread behind.
TEST(FileSourcesInOneFolder, EachTakesOnlyItsOwnNewTextAndStopLeavesNoThread)
{
    CWinsockInit winsock;
    CTempFolder folder;
    for (const bool oneFolder : {false, true}) {
        SCOPED_TRACE(oneFolder ? "one folder" : "a folder each");
        CEngineHost host;
        CCaptureEngine engine{host};
        host.pEngine = &engine;
        engine.LoadTexts();
        std::vector<std::string> paths;
        for (int i = 0; i < MAX_SOURCES; ++i) {
            const std::string sub = folder.File(oneFolder ? "shared" : "till" + std::to_string(i));
            CreateDirectoryA(sub.c_str(), nullptr);
            paths.push_back(sub + "\\Pos" + std::to_string(i) + ".txt");
            WriteWholeFile(paths.back(), "OLD RECEIPT OF TILL " + std::to_string(i) + "\r\n");
            auto r = std::make_unique<POS_SETTING_INFO>();
            r->nMonitorType = KIND_FILE;
            r->nReceiptType = 0;
            r->strFilePath = paths.back();
            r->ePrinterType = PRINTER_TYPE::Tcp;
            r->strPort = std::to_string(FindFreeLoopbackPort());
            r->strPassword = "pw";
            engine.AddSource(std::move(r));
        }
        const int before = ProcessThreadCount();
        engine.Start();
        std::vector<std::string> receipts;
        for (int i = 0; i < MAX_SOURCES; ++i) {
            receipts.push_back("RECEIPT " + std::to_string(i) + (i % 2 ? " CASH" : " CARD 12.50") + "\r\n");
            AppendToFile(paths[static_cast<size_t>(i)], receipts.back());
        }
        for (int i = 0; i < MAX_SOURCES; ++i) {
            const int wanted = static_cast<int>(receipts[static_cast<size_t>(i)].size()) + 1;
            for (int k = 0; k < 200 && engine.Queue(i).QueuedLen() < wanted; ++k) Sleep(25);
            EXPECT_EQ(wanted, engine.Queue(i).QueuedLen()) << "source " << i;
        }
        engine.Stop();
        for (int k = 0; k < 200 && ProcessThreadCount() > before; ++k) Sleep(25);
        EXPECT_EQ(before, ProcessThreadCount());
    }
}
