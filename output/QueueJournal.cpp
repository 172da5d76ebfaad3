#include "output/QueueJournal.h"

QUEUE_FILE_CONTENT CQueueJournal::Open()
{
    std::vector<uint8_t> bytes;
    QUEUE_FILE_CONTENT content;
    if (!m_pIo->ReadAll(bytes)) {
        content.eState = QUEUE_FILE_STATE::NotAQueue;
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
    Rewrite(content.pending.data(), content.pending.size());
    return content;
}

void CQueueJournal::Rewrite(const uint8_t* bytes, size_t count)
{
    std::vector<uint8_t> file = QueueFileHeader();
    if (count > 0)
        AppendQueueRecord(file, QUEUE_RECORD_DATA, bytes, count);
    m_bWritable = m_pIo->Replace(file.data(), file.size());
    m_nFileLen = m_bWritable ? file.size() : 0;
    m_nFileData = count;
    m_nConsumed = 0;
}

bool CQueueJournal::Write(const std::vector<uint8_t>& bytes)
{
    if (!m_pIo->Append(bytes.data(), bytes.size())) {
        m_bWritable = false;
        return false;
    }
    m_nFileLen += bytes.size();
    return true;
}

void CQueueJournal::Appended(const uint8_t* bytes, size_t count)
{
    if (!m_bWritable || count == 0)
        return;
    m_Record.clear();
    AppendQueueRecord(m_Record, QUEUE_RECORD_DATA, bytes, count);
    if (Write(m_Record))
        m_nFileData += count;
}

void CQueueJournal::Consumed(size_t count, const uint8_t* rest, size_t restLen)
{
    if (!m_bWritable) {
        // A queue that ran empty is cheap to write again: try the disk once more.
        if (restLen == 0)
            Rewrite(nullptr, 0);
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
        return;
    }
    m_Record.clear();
    AppendFrontRecord(m_Record, m_nConsumed);
    Write(m_Record);
}
