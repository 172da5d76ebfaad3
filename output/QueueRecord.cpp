#include "output/QueueRecord.h"

#include <algorithm>
#include <cstring>

namespace {

const uint8_t QUEUE_MAGIC[4] = {'T', 'V', 'X', 'Q'};

void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t GetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint64_t GetU64(const uint8_t* p)
{
    return static_cast<uint64_t>(GetU32(p)) | static_cast<uint64_t>(GetU32(p + 4)) << 32;
}

}  // namespace

std::vector<uint8_t> QueueFileHeader()
{
    std::vector<uint8_t> out(QUEUE_MAGIC, QUEUE_MAGIC + 4);
    PutU32(out, QUEUE_FORMAT_VERSION);
    PutU32(out, 0);
    PutU32(out, Crc32(out.data(), out.size()));
    return out;
}

void AppendQueueRecord(std::vector<uint8_t>& out, uint8_t kind, const uint8_t* payload, size_t count)
{
    const size_t start = out.size();
    out.push_back(kind);
    out.insert(out.end(), 3, 0);
    PutU32(out, static_cast<uint32_t>(count));
    if (count > 0)
        out.insert(out.end(), payload, payload + count);
    PutU32(out, Crc32(out.data() + start, out.size() - start));
}

void AppendFrontRecord(std::vector<uint8_t>& out, uint64_t consumed)
{
    uint8_t payload[8];
    for (int i = 0; i < 8; ++i) payload[i] = static_cast<uint8_t>(consumed >> (8 * i));
    AppendQueueRecord(out, QUEUE_RECORD_FRONT, payload, sizeof payload);
}

QUEUE_FILE_CONTENT ReadQueueFile(const uint8_t* bytes, size_t count)
{
    QUEUE_FILE_CONTENT content;
    if (count == 0)
        return content;
    if (count < QUEUE_HEADER_LEN || std::memcmp(bytes, QUEUE_MAGIC, 4) != 0 ||
        GetU32(bytes + 12) != Crc32(bytes, 12)) {
        content.eState = QUEUE_FILE_STATE::NotAQueue;
        content.nDroppedLen = count;
        return content;
    }
    if (GetU32(bytes + 4) != QUEUE_FORMAT_VERSION) {
        content.eState = GetU32(bytes + 4) > QUEUE_FORMAT_VERSION ? QUEUE_FILE_STATE::NewerFormat
                                                                 : QUEUE_FILE_STATE::NotAQueue;
        content.nDroppedLen = count;
        return content;
    }
    std::vector<uint8_t> data;
    uint64_t consumed = 0;
    size_t pos = QUEUE_HEADER_LEN;
    while (count - pos >= QUEUE_RECORD_OVERHEAD) {
        const uint8_t* record = bytes + pos;
        const uint32_t len = GetU32(record + 4);
        if (len > QUEUE_RECORD_MAX || count - pos - QUEUE_RECORD_OVERHEAD < len)
            break;
        if (record[1] != 0 || record[2] != 0 || record[3] != 0 ||
            GetU32(record + 8 + len) != Crc32(record, 8 + static_cast<size_t>(len)))
            break;
        const uint8_t kind = record[0];
        if (kind == QUEUE_RECORD_DATA) {
            data.insert(data.end(), record + 8, record + 8 + len);
        } else if (kind == QUEUE_RECORD_FRONT && len == 8) {
            // The front never moves back nor past what was queued before it.
            const uint64_t front = GetU64(record + 8);
            if (front < consumed || front > data.size())
                break;
            consumed = front;
        } else {
            break;
        }
        pos += QUEUE_RECORD_OVERHEAD + len;
    }
    content.nIntactLen = pos;
    content.nDroppedLen = count - pos;
    content.eState = pos == count ? QUEUE_FILE_STATE::Intact : QUEUE_FILE_STATE::DamagedTail;
    content.pending.assign(data.begin() + static_cast<std::ptrdiff_t>(consumed), data.end());
    return content;
}
