#pragma once
// Writes a source's queue through to its file (the format in QueueRecord.h):
// every piece queued becomes a data record before it can be sent, every move
// of the front a front record, and the file is started afresh whenever the
// queue runs empty or the file grows well past what a queue holds. Free of
// system calls: the file itself is behind CQueueFileIo.
//
// Called with the owning queue's lock held; it never waits for the disk to
// flush (the file's own thread does that in groups).
#include "output/QueueRecord.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
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
    // Moves the file out of the way under another name, for a person or a newer program to read.
    virtual bool KeepAside() = 0;
};

// Written data beyond this, with the queue empty, starts the file afresh.
constexpr size_t QUEUE_FILE_RESTART_EMPTY = 65536;
// A file this long is rewritten to hold only what waits.
constexpr size_t QUEUE_FILE_RESTART_LONG = 2 * QUEUE_RECORD_MAX;

class CQueueJournal {
public:
    explicit CQueueJournal(std::unique_ptr<CQueueFileIo> io) : m_pIo(std::move(io)) {}

    // Reads what the file holds, keeps a damaged or newer file aside, and
    // starts the file afresh with what waits (content.pending).
    QUEUE_FILE_CONTENT Open();
    // Starts the file afresh with the bytes given (a queue that waited in memory).
    void Rewrite(const uint8_t* bytes, size_t count);

    void Appended(const uint8_t* bytes, size_t count);
    // count bytes left the front; rest (restLen bytes) is what still waits.
    void Consumed(size_t count, const uint8_t* rest, size_t restLen);

    // False while writes fail (disk full, folder not writable): the queue then lives in memory only.
    bool IsWritable() const { return m_bWritable; }
    size_t FileLen() const { return m_nFileLen; }
    CQueueFileIo& Io() { return *m_pIo; }

private:
    bool Write(const std::vector<uint8_t>& bytes);

    std::unique_ptr<CQueueFileIo> m_pIo;
    std::atomic<bool> m_bWritable{false};
    size_t m_nFileLen = 0;
    uint64_t m_nFileData = 0;  // queued bytes in the file's data records
    uint64_t m_nConsumed = 0;  // of them, gone from the front
    std::vector<uint8_t> m_Record;
};
