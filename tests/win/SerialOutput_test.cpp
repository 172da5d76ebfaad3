// Delivery to a serial output through real COM ports (pty pairs in the Wine prefix).
#include "app/CaptureEngine.h"
#include "output/NibbleSwap.h"
#include "tests/support/Bytes.h"
#include "tests/support/ComPortPair.h"
#include "tests/support/EngineHost.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

struct WRITE_SEEN {
    int nCount;
    bool bFromWriter;
    bool operator==(const WRITE_SEEN& o) const { return nCount == o.nCount && bFromWriter == o.bFromWriter; }
};

std::ostream& operator<<(std::ostream& out, const WRITE_SEEN& w)
{
    return out << w.nCount << (w.bFromWriter ? "(writer)" : "(deliverer)");
}

// Records the serial writes; can hold the writer thread at its wake-up.
class CRecordingProbe : public COutputProbe {
public:
    void OnComWrite(int, int count, bool fromWriter) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_writes.push_back({count, fromWriter});
        m_changed.notify_all();
    }
    void OnComDataSignalled(int) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nSignals;
    }
    void OnWriterWake(int) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_bWriterAtGate = true;
        m_changed.notify_all();
        m_changed.wait_for(lock, 10s, [&] { return !m_bHoldWriter; });
    }

    void OnWriterAwaited(int) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bWriterAwaited = true;
        m_changed.notify_all();
    }

    void HoldWriter() { std::lock_guard<std::mutex> lock(m_mutex); m_bHoldWriter = true; }
    void ReleaseWriter()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bHoldWriter = false;
        m_changed.notify_all();
    }
    bool WaitWriterAtGate()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_bWriterAtGate; });
    }
    bool WaitWriterAwaited()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_bWriterAwaited; });
    }
    std::vector<WRITE_SEEN> WaitWrites(size_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, 10s, [&] { return m_writes.size() >= count; });
        return m_writes;
    }
    int Signals() { std::lock_guard<std::mutex> lock(m_mutex); return m_nSignals; }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<WRITE_SEEN> m_writes;
    int m_nSignals = 0;
    bool m_bHoldWriter = false;
    bool m_bWriterAtGate = false;
    bool m_bWriterAwaited = false;
};

struct SerialFixture : ::testing::Test {
    CTempFolder folder;  // the sources watch a file here; the tests deliver directly
    CEngineHost host;
    CCaptureEngine engine{host};
    CRecordingProbe probe;

    SerialFixture()
    {
        host.pEngine = &engine;
        engine.LoadTexts();
        engine.SetOutputProbe(&probe);
    }
    ~SerialFixture() override
    {
        if (engine.m_bRunning) engine.Stop();
    }
    void AddSerial(const std::string& port, const std::string& parity = "None", const std::string& stop = "1.0")
    {
        auto r = std::make_unique<POS_SETTING_INFO>();
        r->nMonitorType = KIND_FILE;
        r->nReceiptType = 0;
        r->strFilePath = folder.File("receipts.txt");
        r->ePrinterType = PRINTER_TYPE::Serial;
        r->strPort = port;
        r->strBaudRate = "9600";
        r->strDataBits = "8";
        r->strParity = parity;
        r->strStopBits = stop;
        engine.AddSource(std::move(r));
    }
    void Deliver(int i, const std::string& bytes)
    {
        engine.Deliver(i, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
    }
};

}  // namespace

TEST_F(SerialFixture, PieceOnAnEmptyQueueGoesOutInBlocksOf256)
{
    CComPortPair com(7);
    AddSerial(com.Name());
    engine.Start();
    EXPECT_EQ(HostText("IDS_PTS_COM_SETTING_DONE"), host.StatusOf(0));

    const std::string piece = Piece(600, 1);
    Deliver(0, piece);
    EXPECT_EQ(Swapped(piece), com.Read(600, 10s));
    const std::vector<WRITE_SEEN> want = {{256, false}, {256, true}, {88, true}};
    EXPECT_EQ(want, probe.WaitWrites(3));
    EXPECT_EQ(1, probe.Signals());
    EXPECT_EQ(0, engine.Queue(0).QueuedLen());
}

TEST_F(SerialFixture, PieceArrivingWhileBytesWaitIsAppendedAndWrittenWithoutSignal)
{
    CComPortPair com(8);
    AddSerial(com.Name(), "Space", "1.5");
    engine.Start();
    probe.HoldWriter();

    const std::string first = Piece(600, 2), second = Piece(100, 3);
    Deliver(0, first);
    ASSERT_TRUE(probe.WaitWriterAtGate());
    EXPECT_EQ(344, engine.Queue(0).QueuedLen());
    Deliver(0, second);
    EXPECT_EQ(188, engine.Queue(0).QueuedLen());
    probe.ReleaseWriter();

    EXPECT_EQ(Swapped(first + second), com.Read(700, 10s));
    const std::vector<WRITE_SEEN> want = {{256, false}, {256, false}, {188, true}};
    EXPECT_EQ(want, probe.WaitWrites(3));
    EXPECT_EQ(1, probe.Signals());
}

TEST_F(SerialFixture, PortAboveCom9IsReached)
{
    CComPortPair com(12);
    AddSerial(com.Name());
    engine.Start();
    const std::string receipt = "TOTAL 12.50\r\n";
    Deliver(0, receipt);
    EXPECT_EQ(Swapped(receipt), com.Read(receipt.size(), 10s));
}

TEST_F(SerialFixture, MissingPortFailsItsSourceOnlyAndKeepsItsBytes)
{
    CComPortPair com(9);
    CAbsentComPort missing(31);
    AddSerial(missing.Name());
    AddSerial(com.Name());
    engine.Start();

    EXPECT_EQ(HostText("IDS_PTS_COM_SETTING_FAIL"), host.StatusOf(0));
    EXPECT_TRUE(engine.Queue(0).IsFailed());
    EXPECT_FALSE(engine.Queue(0).IsReady());
    EXPECT_EQ(HostText("IDS_PTS_COM_SETTING_DONE"), host.StatusOf(1));
    EXPECT_FALSE(engine.Queue(1).IsFailed());

    Deliver(0, Piece(500, 4));
    EXPECT_EQ(500, engine.Queue(0).QueuedLen()) << "a failed output stores what it is given";
    const std::string receipt = Piece(300, 5);
    Deliver(1, receipt);
    EXPECT_EQ(Swapped(receipt), com.Read(300, 10s));
}

TEST_F(SerialFixture, StoredQueueIsBoundedAndOversizedHandOverIsNotOverrun)
{
    CAbsentComPort missing(32);
    AddSerial(missing.Name());
    engine.Start();
    // More than the copy buffers hold in one call: delivered in pieces, nothing lost.
    Deliver(0, Piece(250000, 6));
    EXPECT_EQ(250000, engine.Queue(0).QueuedLen());
    Deliver(0, Piece(RESERVED_BUF_SIZE - 250000 - 100, 7));
    EXPECT_EQ(RESERVED_BUF_SIZE - 100, engine.Queue(0).QueuedLen());
    Deliver(0, Piece(100, 8));
    EXPECT_EQ(RESERVED_BUF_SIZE - 100, engine.Queue(0).QueuedLen()) << "a piece reaching the limit is dropped whole";
    Deliver(0, Piece(99, 9));
    EXPECT_EQ(RESERVED_BUF_SIZE - 1, engine.Queue(0).QueuedLen());
}

TEST_F(SerialFixture, StopDiscardsTheQueueEndsTheWriterAndFreesThePort)
{
    CComPortPair com(10);
    AddSerial(com.Name());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        engine.Start();
        ASSERT_EQ(HostText("IDS_PTS_COM_SETTING_DONE"), host.StatusOf(0)) << "the port must be free again";
        const std::string receipt = Piece(1000, round);
        Deliver(0, receipt);
        EXPECT_EQ(Swapped(receipt), com.Read(1000, 10s));
        engine.Stop();
        EXPECT_EQ(HostText("IDS_PTS_WAIT_CONNECT"), host.StatusOf(0));
        EXPECT_EQ(0, engine.Queue(0).QueuedLen());
        EXPECT_FALSE(engine.Queue(0).IsReady());
        EXPECT_FALSE(engine.Queue(0).IsFailed());
    }
}

TEST_F(SerialFixture, LineSettingsThePortRefusesShowAFailedStatus)
{
    CComPortPair com(21);
    AddSerial(com.Name());
    engine.Source(0).strBaudRate = "fast";  // no line speed the system can set
    engine.Start();
    EXPECT_EQ(HostText("IDS_PTS_COM_SETTING_FAIL"), host.StatusOf(0));
}

// What a failed output stored comes out of the port at the next start, ahead of what is new.
TEST_F(SerialFixture, BytesStoredBeforeAStopGoOutFirstAtTheNextStart)
{
    const std::string stored = Piece(500, 11);
    {
        CAbsentComPort missing(34);
        AddSerial(missing.Name());
        engine.Start();
        ASSERT_TRUE(engine.Queue(0).IsFailed());
        Deliver(0, stored);
        engine.Stop();
    }
    CComPortPair com(34);
    engine.Start();
    ASSERT_EQ(HostText("IDS_PTS_COM_SETTING_DONE"), host.StatusOf(0));
    const std::string receipt = "AND THIS\r\n";
    Deliver(0, receipt);
    EXPECT_EQ(Swapped(stored + receipt), com.Read(stored.size() + receipt.size(), 10s));
}

// Stop ends the writer before it closes the port: a block the writer is about
// to write when stop comes still goes out whole, never into a closed handle.
TEST_F(SerialFixture, StopWaitsForTheWriterBeforeItClosesThePort)
{
    CComPortPair com(20);
    AddSerial(com.Name());
    engine.Start();
    probe.HoldWriter();
    const std::string receipt = Piece(600, 12);
    Deliver(0, receipt);
    ASSERT_TRUE(probe.WaitWriterAtGate());
    std::thread stopper([&] { engine.Stop(); });
    const bool bAwaited = probe.WaitWriterAwaited();
    probe.ReleaseWriter();
    stopper.join();
    ASSERT_TRUE(bAwaited) << "stop never came to wait for the writer";
    EXPECT_EQ(Swapped(receipt), com.Read(600, 5s));
}

// Two tests that run at once must never share a port: a number in use is
// refused at once, with its name, rather than linked twice.
TEST(ComPortNumbers, ANumberInUseIsRefusedAndNamed)
{
    CComPortPair com(7);
    const auto refusal = [](const std::function<void()>& claim) -> std::string {
        try {
            claim();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "no refusal";
    };
    EXPECT_NE(std::string::npos, refusal([] { CComPortPair again(7); }).find("COM7 is in use"));
    EXPECT_NE(std::string::npos, refusal([] { CAbsentComPort absent(7); }).find("COM7 is in use"));
    {
        CComNumberClaim other(9);
        EXPECT_NE(std::string::npos, refusal([] { CAbsentComPort absent(9); }).find("COM9 is in use"));
    }
    EXPECT_EQ("no refusal", refusal([] { CAbsentComPort absent(9); })) << "a claim ends with its owner";
    // The refused claims left the pair in use as it was.
    CHandle hPort(CreateFileA("\\\\.\\COM7", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(hPort.IsValid()) << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(hPort.Get(), "STILL MINE", 10, &written, nullptr));
    EXPECT_EQ("STILL MINE", com.Read(10, 10s));
}

