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
