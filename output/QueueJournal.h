#pragma once
// Writes a source's queue through to its file (the format in QueueRecord.h):
// every piece queued becomes a data record before it can be sent, every move
// of the front a front record, and the file is started afresh whenever the
// queue runs empty or the file grows well past what a queue holds. Free of
// system calls: the file itself is behind CQueueFileIo.
//
// A write that fails (a full disk) puts the file out of step with the queue,
// which then lives in memory. The file is cut back at once to what is still
// true of the queue (cutting needs no space): a torn record goes, and once the
// front moves past what the file holds, all but its header goes. So a new
// start never reads a torn record nor sends acknowledged text again; it may
// only lack the newest pieces. The whole queue is written anew (a new file
// that replaces the old one) with the next piece or move of the front once
// QUEUE_FILE_RETRY_MS have passed, and once more when the store closes.
//
// Called with the owning queue's lock held; it never waits for the disk to
// flush (the file's own thread does that in groups).
#include "output/QueueRecord.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CQueueFileIo {
public:
    virtual ~CQueueFileIo() = default;
    // The whole file; true with nothing read when there is no file.
    virtual bool ReadAll(std::vector<uint8_t>& out) = 0;
    // Appends at the end of the file.
    virtual bool Append(const uint8_t* bytes, size_t count) = 0;
    // Replaces the whole file so that a crash leaves either the old or the new one.
    virtual bool Replace(const uint8_t* bytes, size_t count) = 0;
    // Cuts the file to its first count bytes, in place.
    virtual bool TruncateTo(size_t count) = 0;
    // Copies the file under another name, for a person or a newer program to
    // read, never over a copy kept before; the file itself stays until it is
    // replaced, so a crash in between loses nothing of it.
    virtual bool KeepAside() = 0;
};

// How often a file out of step with its queue is tried again.
constexpr uint64_t QUEUE_FILE_RETRY_MS = 3000;
// Written data beyond this, with the queue empty, starts the file afresh.
constexpr size_t QUEUE_FILE_RESTART_EMPTY = 65536;
// A file this long is rewritten to hold only what waits.
constexpr size_t QUEUE_FILE_RESTART_LONG = 2 * QUEUE_RECORD_MAX;

class CQueueJournal {
public:
    // clock: milliseconds from any fixed point (a steady clock; tests pass their own).
    explicit CQueueJournal(std::unique_ptr<CQueueFileIo> io,
                           std::function<uint64_t()> clock = SteadyMilliseconds);

    // Reads what the file holds, keeps a damaged or newer file aside, and
    // starts the file afresh with what waits (content.pending). A file that
    // cannot be read is left as it is, for the next start to read: the queue
    // then lives in memory and the file is not touched.
    QUEUE_FILE_CONTENT Open();
    // Starts the file afresh with the bytes given (a queue that waited in memory).
    void Rewrite(const uint8_t* bytes, size_t count);

    // count bytes were queued at the end of queue (queueLen bytes, those included).
    void Appended(const uint8_t* bytes, size_t count, const uint8_t* queue, size_t queueLen);
    // count bytes left the front; rest (restLen bytes) is what still waits.
    void Consumed(size_t count, const uint8_t* rest, size_t restLen);
    // The last try, when the store closes, to bring a file out of step up to the queue.
    void CatchUp(const uint8_t* queue, size_t queueLen);

    // False while the file is out of step with the queue (a write failed: disk
    // full, folder not writable): the queue then lives in memory.
    bool IsWritable() const { return m_bWritable; }
    size_t FileLen() const { return m_nFileLen; }
    CQueueFileIo& Io() { return *m_pIo; }

    static uint64_t SteadyMilliseconds();

private:
    bool Write(const std::vector<uint8_t>& bytes, bool bFrontRecord);
    // A write failed: the file is cut back to what is still true of the queue.
    void FallOutOfStep(bool bFrontMoved);
    void CutToHeader();
    void RewriteIfDue(const uint8_t* queue, size_t queueLen);

    std::unique_ptr<CQueueFileIo> m_pIo;
    std::function<uint64_t()> m_Clock;
    uint64_t m_nRetryAtMs = 0;
    std::atomic<bool> m_bWritable{false};
    bool m_bHandsOff = false;  // the file could not be read: never written
    size_t m_nFileLen = 0;     // what the file holds, whole records only
    uint64_t m_nFileData = 0;  // queued bytes in the file's data records
    uint64_t m_nConsumed = 0;  // of them, gone from the front
    std::vector<uint8_t> m_Record;
};
