#include "output/OutputQueue.h"

#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An output that records what it was asked to send and, like the recorder
// link, puts up to a chunk in flight each time.
class CRecordingDrain : public CQueueDrain {
public:
    explicit CRecordingDrain(COutputQueue& queue, int nChunk) : m_queue(queue), m_nChunk(nChunk) {}
    void OnPieceQueuedLocked(bool bWasWaiting) override
    {
        calls.push_back(bWasWaiting);
        const int w = std::min(m_queue.UsedLenLocked(), m_nChunk);
        sent += std::string(reinterpret_cast<const char*>(m_queue.FrontLocked()), static_cast<size_t>(w));
        m_queue.SetInFlightLocked(w);
    }
    std::vector<bool> calls;
    std::string sent;

private:
    COutputQueue& m_queue;
    int m_nChunk;
};

void Deliver(COutputQueue& queue, const std::string& s)
{
    queue.Deliver(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int>(s.size()));
}

void SetReady(COutputQueue& queue, bool bReady)
{
    auto lock = queue.Lock();
    queue.SetReadyLocked(bReady);
}

}  // namespace

TEST(OutputQueue, PieceIsSentOnlyWhenTheOutputIsReadyAndNothingIsInFlight)
{
    const struct { bool ready; int inFlight; bool sent; } cases[] = {
        {false, 0, false},
        {true, 0, true},
        {true, 5, false},
        {false, 5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "ready " << c.ready << " in flight " << c.inFlight);
        COutputQueue queue;
        CRecordingDrain drain(queue, 3072);
        queue.Attach(&drain);
        if (c.inFlight) {
            Deliver(queue, Piece(c.inFlight, 1));
            auto lock = queue.Lock();
            queue.SetInFlightLocked(c.inFlight);
        }
        SetReady(queue, c.ready);
        Deliver(queue, "AB");
        EXPECT_EQ(c.sent ? 1u : 0u, drain.calls.size());
        EXPECT_EQ(c.inFlight + 2, queue.QueuedLen()) << "the piece is queued either way";
    }
}

TEST(OutputQueue, QueueWithoutAnOutputStoresAndSwapsNibbles)
{
    COutputQueue queue;
    SetReady(queue, true);
    Deliver(queue, "\x41\x0D");
    auto lock = queue.Lock();
    ASSERT_EQ(2, queue.UsedLenLocked());
    EXPECT_EQ(0x14, queue.FrontLocked()[0]);
    EXPECT_EQ(0xD0, queue.FrontLocked()[1]);
}

TEST(OutputQueue, InFlightBytesLeaveOnlyWithTheAcknowledgementAndGoAgainAfterADrop)
{
    COutputQueue queue;
    CRecordingDrain drain(queue, 3072);
    queue.Attach(&drain);
    SetReady(queue, true);
    const std::string first = Piece(5000, 2);
    Deliver(queue, first);
    EXPECT_EQ(3072, queue.InFlightLen());
    EXPECT_TRUE(queue.IsWaitingForAck());
    Deliver(queue, Piece(100, 3));
    EXPECT_EQ(1u, drain.calls.size()) << "nothing goes out behind a chunk in flight";
    EXPECT_EQ(5100, queue.QueuedLen());
    {
        auto lock = queue.Lock();
        queue.ForgetInFlightLocked();
        queue.AcknowledgeLocked();
    }
    EXPECT_EQ(5100, queue.QueuedLen()) << "a dropped connection takes nothing off";
    {
        auto lock = queue.Lock();
        queue.SetInFlightLocked(3072);
        queue.AcknowledgeLocked();
        EXPECT_EQ(0, queue.InFlightLocked());
        ASSERT_EQ(2028, queue.UsedLenLocked());
        EXPECT_EQ(Swapped(first.substr(3072)),
                  std::string(reinterpret_cast<const char*>(queue.FrontLocked()), first.size() - 3072));
    }
}

TEST(OutputQueue, HandOverLargerThanThePieceSizeArrivesWholeAndInOrder)
{
    COutputQueue queue;
    const std::string big = Piece(DELIVER_PIECE_MAX * 2 + 17, 4);
    Deliver(queue, big);
    auto lock = queue.Lock();
    ASSERT_EQ(static_cast<int>(big.size()), queue.UsedLenLocked());
    EXPECT_EQ(Swapped(big), std::string(reinterpret_cast<const char*>(queue.FrontLocked()), big.size()));
}

TEST(OutputQueue, PieceReachingTheBoundIsDroppedWholeAndTheRestStays)
{
    COutputQueue queue;
    Deliver(queue, Piece(RESERVED_BUF_SIZE - 100, 5));
    Deliver(queue, Piece(100, 6));
    EXPECT_EQ(RESERVED_BUF_SIZE - 100, queue.QueuedLen());
    Deliver(queue, Piece(99, 7));
    EXPECT_EQ(RESERVED_BUF_SIZE - 1, queue.QueuedLen());
}

TEST(OutputQueue, SerialWritesTakeFromTheFrontAndClearForgetsEverything)
{
    COutputQueue queue;
    Deliver(queue, "HELLO");
    {
        auto lock = queue.Lock();
        queue.TakeFrontLocked(2);
        EXPECT_EQ(3, queue.UsedLenLocked());
        EXPECT_EQ(Swapped("LLO"), std::string(reinterpret_cast<const char*>(queue.FrontLocked()), 3));
    }
    queue.SetFailed(true);
    SetReady(queue, true);
    queue.Clear();
    EXPECT_EQ(0, queue.QueuedLen());
    EXPECT_FALSE(queue.IsReady());
    EXPECT_FALSE(queue.IsFailed());
}

TEST(OutputQueue, CountsWhatWasCapturedAndDroppedAndKeepsTheLastReceiptUnswapped)
{
    COutputQueue queue;
    Deliver(queue, Piece(RESERVED_BUF_SIZE - 100, 5));
    Deliver(queue, "TOTAL 12.50\r\n");
    Deliver(queue, Piece(200, 6));  // does not fit: dropped whole
    const SOURCE_COUNTERS_SNAPSHOT snap = queue.Counters().Snapshot();
    EXPECT_EQ(3u, snap.nReceiptsCaptured);
    EXPECT_EQ(static_cast<uint64_t>(RESERVED_BUF_SIZE - 100 + 13 + 200), snap.nBytesCaptured);
    EXPECT_EQ(200u, snap.nBytesDropped);
    EXPECT_NE(0, snap.nLastReceiptTime);
    EXPECT_EQ(Piece(200, 6), queue.LastReceipt());
    Deliver(queue, "TOTAL 12.50\r\n");
    EXPECT_EQ("TOTAL 12.50\r\n", queue.LastReceipt());
}

TEST(OutputQueue, ALastReceiptLongerThanTheViewKeepsItsEnd)
{
    COutputQueue queue;
    const std::string big = Piece(static_cast<int>(LAST_RECEIPT_MAX) + 500, 9) + "END";
    Deliver(queue, big);
    EXPECT_EQ(big.substr(big.size() - LAST_RECEIPT_MAX), queue.LastReceipt());
}

namespace {

struct NOTED {
    LOG_LEVEL level;
    int nSource;
    std::string strKind;
    std::string strText;
};

class CNoteRecorder : public CDiagnostics {
public:
    void Note(LOG_LEVEL level, int nSource, const char* pszKind, const std::string& strText) override
    {
        notes.push_back(NOTED{level, nSource, pszKind ? pszKind : "", strText});
    }
    std::vector<NOTED> notes;
};

uint64_t QueuedGauge(const COutputQueue& queue) { return queue.Counters().Snapshot().nBytesQueued; }

}  // namespace

// The gauge says what waits after every change of the queue, whoever changed it.
TEST(OutputQueue, QueuedBytesGaugeFollowsEveryChange)
{
    COutputQueue queue;
    CRecordingDrain drain(queue, 100);
    Deliver(queue, Piece(300, 1));
    EXPECT_EQ(300u, QueuedGauge(queue));
    SetReady(queue, true);
    queue.Attach(&drain);
    Deliver(queue, Piece(50, 2));  // sent: 100 in flight, still queued
    EXPECT_EQ(350u, QueuedGauge(queue));
    {
        auto lock = queue.Lock();
        EXPECT_EQ(100, queue.AcknowledgeLocked());
    }
    EXPECT_EQ(250u, QueuedGauge(queue));
    {
        auto lock = queue.Lock();
        queue.TakeFrontLocked(40);
    }
    EXPECT_EQ(210u, QueuedGauge(queue));
    queue.Attach(nullptr);
    queue.Clear();
    EXPECT_EQ(0u, QueuedGauge(queue));
}

TEST(OutputQueue, AcknowledgementsCountTheBytesAndTheirTime)
{
    COutputQueue queue;
    CRecordingDrain drain(queue, 3072);
    SetReady(queue, true);
    queue.Attach(&drain);
    Deliver(queue, Piece(5000, 4));
    {
        auto lock = queue.Lock();
        EXPECT_EQ(3072, queue.AcknowledgeLocked());
        EXPECT_EQ(0, queue.AcknowledgeLocked()) << "nothing in flight: nothing acknowledged";
        queue.SetInFlightLocked(1928);
        EXPECT_EQ(1928, queue.AcknowledgeLocked());
    }
    const SOURCE_COUNTERS_SNAPSHOT snap = queue.Counters().Snapshot();
    EXPECT_EQ(5000u, snap.nBytesAcknowledged);
    EXPECT_NE(0, snap.nLastAckTime);
    EXPECT_EQ(0u, snap.nBytesQueued);
    queue.Attach(nullptr);
}

// A flood into a full queue makes two lines, not one per piece: one when it
// starts dropping, one with the total once it takes text again.
TEST(OutputQueue, ARunOfDropsIsReportedOnceWhenItStartsAndOnceWithItsTotal)
{
    COutputQueue queue;
    queue.SetSource(3);
    CNoteRecorder recorder;
    queue.SetDiagnostics(&recorder);
    Deliver(queue, Piece(RESERVED_BUF_SIZE - 1000, 5));
    EXPECT_TRUE(recorder.notes.empty());
    for (int k = 0; k < 50; ++k)
        Deliver(queue, Piece(3000, k));
    ASSERT_EQ(1u, recorder.notes.size());
    EXPECT_EQ(LOG_LEVEL::LEVEL_WARNING, recorder.notes[0].level);
    EXPECT_EQ(3, recorder.notes[0].nSource);
    EXPECT_EQ(DIAG_KIND_QUEUE_FULL, recorder.notes[0].strKind);
    EXPECT_NE(std::string::npos, recorder.notes[0].strText.find("3000 bytes")) << recorder.notes[0].strText;
    Deliver(queue, Piece(500, 6));  // fits: the run is over
    ASSERT_EQ(2u, recorder.notes.size());
    EXPECT_EQ(LOG_LEVEL::LEVEL_INFO, recorder.notes[1].level);
    EXPECT_NE(std::string::npos, recorder.notes[1].strText.find("150000 bytes in 50 pieces"))
        << recorder.notes[1].strText;
    Deliver(queue, Piece(400, 7));
    EXPECT_EQ(2u, recorder.notes.size()) << "a piece that fits after the run says nothing";
    Deliver(queue, Piece(3000, 8));  // full again: a new run
    EXPECT_EQ(3u, recorder.notes.size());
    EXPECT_EQ(150000u + 3000u, queue.Counters().Snapshot().nBytesDropped);
}

// Reconnects count every login after the first since the queue was made;
// a cleared queue (its source deleted, the row reused) starts from nothing.
TEST(OutputQueue, LoginsAfterTheFirstAreReconnectsAndClearForgetsTheCounts)
{
    COutputQueue queue;
    queue.CountLogin("10.0.0.5:50000");
    EXPECT_EQ(0u, queue.Counters().Snapshot().nRecorderReconnects);
    EXPECT_EQ("10.0.0.5:50000", queue.Counters().Snapshot().strRecorderAddress);
    queue.CountLogin("10.0.0.5:50001");
    queue.CountLogin("10.0.0.6:50002");
    EXPECT_EQ(2u, queue.Counters().Snapshot().nRecorderReconnects);
    Deliver(queue, "RECEIPT");
    queue.Clear();
    const SOURCE_COUNTERS_SNAPSHOT snap = queue.Counters().Snapshot();
    EXPECT_EQ(0u, snap.nRecorderReconnects);
    EXPECT_EQ(0u, snap.nBytesCaptured);
    EXPECT_EQ("", snap.strRecorderAddress);
    EXPECT_EQ("", queue.LastReceipt());
    queue.CountLogin("10.0.0.7:1");
    EXPECT_EQ(0u, queue.Counters().Snapshot().nRecorderReconnects) << "the first login of the new source";
}
