#include "output/QueueJournal.h"

#include <chrono>

uint64_t CQueueJournal::SteadyMilliseconds()
{
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

CQueueJournal::CQueueJournal(std::unique_ptr<CQueueFileIo> io, std::function<uint64_t()> clock)
    : m_pIo(std::move(io)), m_Clock(std::move(clock))
{
}

QUEUE_FILE_CONTENT CQueueJournal::Open()
{
    std::vector<uint8_t> bytes;
    QUEUE_FILE_CONTENT content;
    if (!m_pIo->ReadAll(bytes)) {
        // Perhaps readable at the next start: what it holds is not given up for this run's queue.
        content.eState = QUEUE_FILE_STATE::Unreadable;
        m_bHandsOff = true;
        m_bWritable = false;
        return content;
    } else {
        content = ReadQueueFile(bytes.data(), bytes.size());
        if (content.pending.size() >= QUEUE_RECORD_MAX) {
            // More than a queue holds is not what this program wrote.
            content.nDroppedLen += content.pending.size() - (QUEUE_RECORD_MAX - 1);
            content.pending.resize(QUEUE_RECORD_MAX - 1);
            content.eState = QUEUE_FILE_STATE::DamagedTail;
        }
    }
    if (content.eState != QUEUE_FILE_STATE::Empty && content.eState != QUEUE_FILE_STATE::Intact)
        m_pIo->KeepAside();
    // Should the file not be written anew, it still holds what waits: cut
    // back as soon as the front moves.
    m_nFileLen = bytes.size();
    m_nFileData = content.pending.size();
    Rewrite(content.pending.data(), content.pending.size());
    return content;
}

void CQueueJournal::Rewrite(const uint8_t* bytes, size_t count)
{
    std::vector<uint8_t> file = QueueFileHeader();
    if (count > 0)
        AppendQueueRecord(file, QUEUE_RECORD_DATA, bytes, count);
    m_bWritable = m_pIo->Replace(file.data(), file.size());
    if (m_bWritable) {
        m_nFileLen = file.size();
        m_nFileData = count;
        m_nConsumed = 0;
    } else {
        // The old file stays as it was: an earlier state of the queue.
        m_nRetryAtMs = m_Clock() + QUEUE_FILE_RETRY_MS;
    }
}

bool CQueueJournal::Write(const std::vector<uint8_t>& bytes, bool bFrontRecord)
{
    if (!m_pIo->Append(bytes.data(), bytes.size())) {
        FallOutOfStep(bFrontRecord);
        return false;
    }
    m_nFileLen += bytes.size();
    return true;
}

void CQueueJournal::FallOutOfStep(bool bFrontMoved)
{
    m_bWritable = false;
    m_nRetryAtMs = m_Clock() + QUEUE_FILE_RETRY_MS;
    if (bFrontMoved && m_nFileData > 0) {
        CutToHeader();
        return;
    }
    // The record that did not fit may be in the file in part: a new start would take it for damage.
    m_pIo->TruncateTo(m_nFileLen);
}

void CQueueJournal::CutToHeader()
{
    if (m_nFileData == 0)
        return;
    if (m_pIo->TruncateTo(QUEUE_HEADER_LEN)) {
        m_nFileLen = QUEUE_HEADER_LEN;
        m_nFileData = 0;
        m_nConsumed = 0;
    }
}

void CQueueJournal::RewriteIfDue(const uint8_t* queue, size_t queueLen)
{
    if (m_Clock() >= m_nRetryAtMs)
        Rewrite(queue, queueLen);
}

void CQueueJournal::Appended(const uint8_t* bytes, size_t count, const uint8_t* queue, size_t queueLen)
{
    if (count == 0 || m_bHandsOff)
        return;
    if (!m_bWritable) {
        RewriteIfDue(queue, queueLen);
        return;
    }
    m_Record.clear();
    AppendQueueRecord(m_Record, QUEUE_RECORD_DATA, bytes, count);
    if (Write(m_Record, false))
        m_nFileData += count;
}

void CQueueJournal::Consumed(size_t count, const uint8_t* rest, size_t restLen)
{
    if (m_bHandsOff)
        return;
    if (!m_bWritable) {
        // The file's front is behind the queue's now: nothing in it may be sent again.
        if (count > 0)
            CutToHeader();
        // A queue that ran empty is cheap to write again: try the disk at once.
        if (restLen == 0)
            Rewrite(nullptr, 0);
        else if (count > 0)
            RewriteIfDue(rest, restLen);
        return;
    }
    if (count == 0)
        return;
    m_nConsumed += count;
    if (restLen == 0 && m_nFileLen >= QUEUE_FILE_RESTART_EMPTY) {
        // An empty queue is the header alone: cut in place, cheaper than a new file.
        if (m_pIo->TruncateTo(QUEUE_HEADER_LEN)) {
            m_nFileLen = QUEUE_HEADER_LEN;
            m_nFileData = 0;
            m_nConsumed = 0;
        } else {
            Rewrite(nullptr, 0);
        }
        return;
    }
    if (m_nFileLen >= QUEUE_FILE_RESTART_LONG) {
        Rewrite(rest, restLen);
        if (!m_bWritable)
            CutToHeader();
        return;
    }
    m_Record.clear();
    AppendFrontRecord(m_Record, m_nConsumed);
    Write(m_Record, true);
}

void CQueueJournal::CatchUp(const uint8_t* queue, size_t queueLen)
{
    if (!m_bWritable && !m_bHandsOff)
        Rewrite(queue, queueLen);
}
