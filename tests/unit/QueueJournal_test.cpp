#include "output/OutputQueue.h"
#include "output/QueueJournal.h"

#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

// A file in memory that can be made to fail; what a later start reads is its bytes.
struct MEMORY_FILE {
    std::vector<uint8_t> bytes;
    bool bFailWrites = false;   // every change fails (no rights, a folder in the file's place)
    bool bFailReads = false;    // a read error
    size_t nDiskFree = SIZE_MAX;  // a write that does not fit fails once the disk is full
    int nKeptAside = 0;
    int nReplaces = 0;
    int nTruncates = 0;
};

class CMemoryFileIo : public CQueueFileIo {
public:
    explicit CMemoryFileIo(MEMORY_FILE& file) : m_file(file) {}
    bool ReadAll(std::vector<uint8_t>& out) override
    {
        if (m_file.bFailReads)
            return false;
        out = m_file.bytes;
        return true;
    }
    bool Append(const uint8_t* bytes, size_t count) override
    {
        if (m_file.bFailWrites)
            return false;
        // What fits is written, as a full disk does: the record is torn.
        const size_t fits = std::min(count, m_file.nDiskFree);
        m_file.bytes.insert(m_file.bytes.end(), bytes, bytes + fits);
        if (m_file.nDiskFree != SIZE_MAX)
            m_file.nDiskFree -= fits;
        return fits == count;
    }
    bool Replace(const uint8_t* bytes, size_t count) override
    {
        // The new file is written beside the old one: it must fit whole.
        if (m_file.bFailWrites || count > m_file.nDiskFree)
            return false;
        ++m_file.nReplaces;
        if (m_file.nDiskFree != SIZE_MAX)
            m_file.nDiskFree = m_file.nDiskFree + m_file.bytes.size() - count;
        m_file.bytes.assign(bytes, bytes + count);
        return true;
    }
    bool TruncateTo(size_t count) override
    {
        // Cutting needs no space.
        if (m_file.bFailWrites || count > m_file.bytes.size())
            return false;
        ++m_file.nTruncates;
        if (m_file.nDiskFree != SIZE_MAX)
            m_file.nDiskFree += m_file.bytes.size() - count;
        m_file.bytes.resize(count);
        return true;
    }
    bool KeepAside() override
    {
        ++m_file.nKeptAside;
        return true;
    }

private:
    MEMORY_FILE& m_file;
};

std::unique_ptr<CQueueJournal> Journal(MEMORY_FILE& file)
{
    return std::make_unique<CQueueJournal>(std::make_unique<CMemoryFileIo>(file));
}

// A journal whose clock is the test's.
std::unique_ptr<CQueueJournal> Journal(MEMORY_FILE& file, const uint64_t& nNowMs)
{
    return std::make_unique<CQueueJournal>(std::make_unique<CMemoryFileIo>(file), [&nNowMs] { return nNowMs; });
}

void Deliver(COutputQueue& queue, const std::string& s)
{
    queue.Deliver(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int>(s.size()));
}

std::string Queued(COutputQueue& queue)
{
    auto lock = queue.Lock();
    return std::string(reinterpret_cast<const char*>(queue.FrontLocked()), static_cast<size_t>(queue.UsedLenLocked()));
}

// What a new start of the program finds in the file.
std::string ReadBack(const MEMORY_FILE& file)
{
    const QUEUE_FILE_CONTENT content = ReadQueueFile(file.bytes.data(), file.bytes.size());
    return std::string(content.pending.begin(), content.pending.end());
}

// Checks, at the moment the output is asked to send, that the file already holds the piece.
class CFileCheckingDrain : public CQueueDrain {
public:
    CFileCheckingDrain(COutputQueue& queue, MEMORY_FILE& file) : m_queue(queue), m_file(file) {}
    void OnPieceQueuedLocked(bool) override
    {
        const QUEUE_FILE_CONTENT content = ReadQueueFile(m_file.bytes.data(), m_file.bytes.size());
        bFileHeldIt = static_cast<int>(content.pending.size()) == m_queue.UsedLenLocked();
        m_queue.SetInFlightLocked(m_queue.UsedLenLocked());
    }
    bool bFileHeldIt = false;

private:
    COutputQueue& m_queue;
    MEMORY_FILE& m_file;
};

}  // namespace

TEST(QueueJournal, PieceIsInTheFileBeforeTheOutputMaySendIt)
{
    MEMORY_FILE file;
    COutputQueue queue;
    queue.OpenStore("q", Journal(file));
    CFileCheckingDrain drain(queue, file);
    queue.Attach(&drain);
    {
        auto lock = queue.Lock();
        queue.SetReadyLocked(true);
    }
    Deliver(queue, "RECEIPT ONE");
    EXPECT_TRUE(drain.bFileHeldIt);
}

TEST(QueueJournal, ANewStartFindsWhatWaitedAtEveryPointOfTheRun)
{
    MEMORY_FILE file;
    COutputQueue queue;
    queue.OpenStore("q", Journal(file));
    const std::string a = Piece(3000, 1), b = Piece(500, 2), c = Piece(4000, 3);
    Deliver(queue, a);
    Deliver(queue, b);
    EXPECT_EQ(Swapped(a + b), ReadBack(file));
    {
        auto lock = queue.Lock();
        queue.SetInFlightLocked(3072);
    }
    EXPECT_EQ(Swapped(a + b), ReadBack(file)) << "bytes in flight stay in the file until acknowledged";
    {
        auto lock = queue.Lock();
        queue.AcknowledgeLocked();
    }
    EXPECT_EQ(Swapped(a + b).substr(3072), ReadBack(file));
    Deliver(queue, c);
    {
        auto lock = queue.Lock();
        queue.TakeFrontLocked(100);
    }
    EXPECT_EQ(Swapped(a + b + c).substr(3172), ReadBack(file));
    EXPECT_EQ(Queued(queue), ReadBack(file));
}

TEST(QueueJournal, FileStaysNearTheSizeOfWhatIsQueued)
{
    MEMORY_FILE file;
    COutputQueue queue;
    queue.OpenStore("q", Journal(file));
    // A busy source: pieces in, the front following them; first the queue
    // never runs empty, then it runs empty now and then.
    for (int round = 0; round < 3000; ++round) {
        Deliver(queue, Piece(700, round));
        auto lock = queue.Lock();
        if (round < 2500 || round % 50 != 49)
            queue.TakeFrontLocked(650);
        else
            queue.TakeFrontLocked(queue.UsedLenLocked());
        ASSERT_LT(file.bytes.size(), QUEUE_FILE_RESTART_LONG + 1000u);
    }
    EXPECT_EQ(Queued(queue), ReadBack(file));
    EXPECT_GT(file.nReplaces, 1) << "a queue that never runs empty is rewritten";
    EXPECT_GT(file.nTruncates, 1) << "one that runs empty is cut";
}

TEST(QueueJournal, StartTakesTheFileOverAndKeepsADamagedOneAside)
{
    MEMORY_FILE file;
    {
        COutputQueue first;
        first.OpenStore("q", Journal(file));
        Deliver(first, "INTACT");
        Deliver(first, "TORN");
    }
    file.bytes.resize(file.bytes.size() - 2);
    COutputQueue next;
    const QUEUE_FILE_CONTENT content = next.OpenStore("q", Journal(file));
    EXPECT_EQ(QUEUE_FILE_STATE::DamagedTail, content.eState);
    EXPECT_EQ(Swapped("INTACT"), Queued(next));
    EXPECT_EQ(1, file.nKeptAside);
    EXPECT_EQ(Swapped("INTACT"), ReadBack(file)) << "the file is started afresh with what was read";
    Deliver(next, "MORE");
    EXPECT_EQ(Swapped("INTACTMORE"), ReadBack(file));
}

TEST(QueueJournal, FailingWritesLeaveTheQueueInMemoryUntilTheDiskTakesItAgain)
{
    MEMORY_FILE file;
    COutputQueue queue;
    queue.OpenStore("q", Journal(file));
    Deliver(queue, "ONE");
    file.bFailWrites = true;
    Deliver(queue, "TWO");
    EXPECT_FALSE(queue.IsStoreWritable());
    EXPECT_EQ(Swapped("ONETWO"), Queued(queue)) << "forwarding goes on from memory";
    file.bFailWrites = false;
    {
        auto lock = queue.Lock();
        queue.TakeFrontLocked(6);
    }
    EXPECT_TRUE(queue.IsStoreWritable());
    Deliver(queue, "THREE");
    EXPECT_EQ(Swapped("THREE"), ReadBack(file));
}

TEST(QueueJournal, QueueThatLivedInMemoryWritesItselfToTheFileAgain)
{
    MEMORY_FILE file;
    file.bFailWrites = true;
    COutputQueue queue;
    queue.OpenStore("q", Journal(file));
    EXPECT_FALSE(queue.IsStoreWritable());
    Deliver(queue, "KEPT");
    file.bFailWrites = false;
    queue.OpenStore("q", Journal(file));
    EXPECT_TRUE(queue.IsStoreWritable());
    EXPECT_EQ(Swapped("KEPT"), Queued(queue));
    EXPECT_EQ(Swapped("KEPT"), ReadBack(file));
}

namespace {

void Acknowledge(COutputQueue& queue, size_t count)
{
    auto lock = queue.Lock();
    queue.TakeFrontLocked(static_cast<int>(count));
}

// What a new start finds: never a torn record (no damage reported for a full
// disk), never text the recorder acknowledged already.
void ExpectANewStartFinds(const MEMORY_FILE& file, const std::string& expected, const char* when)
{
    const QUEUE_FILE_CONTENT content = ReadQueueFile(file.bytes.data(), file.bytes.size());
    EXPECT_TRUE(content.eState == QUEUE_FILE_STATE::Intact || content.eState == QUEUE_FILE_STATE::Empty) << when;
    EXPECT_EQ(expected, std::string(content.pending.begin(), content.pending.end())) << when;
}

}  // namespace

// The disk fills while receipts wait: R3's record is torn, R4 finds no room,
// then R2 and R3 are acknowledged. Whenever the process ends, a new start
// neither reads a torn record nor sends R2 or R3 again; once room is made the
// whole queue is on disk again with the next piece, never sooner than the
// retry time, and a last try is made when the store closes.
TEST(QueueJournal, AFullDiskLeavesNoTornRecordNorAcknowledgedTextAndCatchesUpOnceThereIsRoom)
{
    const std::string R1 = "R1-first receipt", R2 = "R2-second receipt", R3 = "R3-third receipt",
                      R4 = "R4-fourth receipt", R5 = "R5-fifth receipt";
    MEMORY_FILE file;
    uint64_t nNow = 1000;
    COutputQueue queue;
    queue.OpenStore("q", Journal(file, nNow));
    Deliver(queue, R1);
    Deliver(queue, R2);
    Acknowledge(queue, R1.size());
    ExpectANewStartFinds(file, Swapped(R2), "before the disk filled");

    file.nDiskFree = 10;
    Deliver(queue, R3);
    EXPECT_FALSE(queue.IsStoreWritable());
    ExpectANewStartFinds(file, Swapped(R2), "R3 torn");
    Deliver(queue, R4);
    EXPECT_EQ(Swapped(R2 + R3 + R4), Queued(queue)) << "forwarding goes on from memory";

    Acknowledge(queue, R2.size() + R3.size());
    ExpectANewStartFinds(file, "", "R2 and R3 acknowledged while the disk is full");
    EXPECT_EQ(Swapped(R4), Queued(queue));

    file.nDiskFree = SIZE_MAX;
    nNow += QUEUE_FILE_RETRY_MS - 1;
    Deliver(queue, R5);
    EXPECT_FALSE(queue.IsStoreWritable()) << "not tried again before its time";
    nNow += 1;
    Deliver(queue, "R6");
    EXPECT_TRUE(queue.IsStoreWritable());
    ExpectANewStartFinds(file, Swapped(R4 + R5 + "R6"), "room made, the next piece");
    Acknowledge(queue, R4.size());
    ExpectANewStartFinds(file, Swapped(R5 + "R6"), "appending again");

    // Out of step again with nothing happening after the room came back: the store's close tries once more.
    file.nDiskFree = 0;
    Deliver(queue, "R7");
    EXPECT_FALSE(queue.IsStoreWritable());
    file.nDiskFree = SIZE_MAX;
    queue.CloseStore();
    ExpectANewStartFinds(file, Swapped(R5 + "R6R7"), "after the last try");
}

// A file too long is written anew; when that fails the file is cut back, and
// the next tries go on (not only once the queue has run empty).
TEST(QueueJournal, AFailedRewriteOfALongFileIsTriedAgainWithoutWaitingForAnEmptyQueue)
{
    MEMORY_FILE file;
    uint64_t nNow = 0;
    COutputQueue queue;
    queue.OpenStore("q", Journal(file, nNow));
    const std::string piece(60000, 'p');
    // Pieces in and out, four bytes always waiting, until the file is long.
    Deliver(queue, "HEAD");
    for (;;) {
        Deliver(queue, piece);
        if (file.bytes.size() >= QUEUE_FILE_RESTART_LONG)
            break;
        Acknowledge(queue, piece.size());
    }
    ASSERT_EQ(4 + piece.size(), Queued(queue).size());
    file.nDiskFree = 1000;  // room for a front record, none for a new file
    Acknowledge(queue, 4);
    EXPECT_FALSE(queue.IsStoreWritable());
    ExpectANewStartFinds(file, "", "the long file could not be written anew");
    file.nDiskFree = SIZE_MAX;
    nNow += QUEUE_FILE_RETRY_MS;
    Deliver(queue, "NEXT");
    EXPECT_TRUE(queue.IsStoreWritable());
    ExpectANewStartFinds(file, Swapped(piece + "NEXT"), "tried again with the next piece");
}

// A queue file that cannot be read now (a read error, no rights) may hold
// receipts: it is neither set aside nor written over, but left for the next
// start; this run's queue lives in memory.
TEST(QueueJournal, AnUnreadableFileIsLeftAsItIsForTheNextStart)
{
    MEMORY_FILE file;
    {
        COutputQueue before;
        before.OpenStore("q", Journal(file));
        Deliver(before, "WAITING IN THE FILE");
    }
    const std::vector<uint8_t> kept = file.bytes;
    file.bFailReads = true;
    uint64_t nNow = 0;
    COutputQueue queue;
    EXPECT_EQ(QUEUE_FILE_STATE::Unreadable, queue.OpenStore("q", Journal(file, nNow)).eState);
    EXPECT_FALSE(queue.IsStoreWritable());
    Deliver(queue, "NEW");
    nNow += QUEUE_FILE_RETRY_MS;
    Acknowledge(queue, 1);
    Deliver(queue, "MORE");
    EXPECT_EQ(Swapped("EWMORE"), Queued(queue)) << "forwarding goes on from memory";
    queue.CloseStore();
    EXPECT_EQ(kept, file.bytes) << "the file is not touched";
    EXPECT_EQ(0, file.nKeptAside);
    file.bFailReads = false;
    ExpectANewStartFinds(file, Swapped("WAITING IN THE FILE"), "the next start");
}

