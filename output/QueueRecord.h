#pragma once
// The format of a source's queue file, free of system calls.
//
// A file is a header, then records in the order they were written:
//   header: "TVXQ", format version (u32), 4 zero bytes, CRC-32 of those 12 bytes (u32)
//   record: kind (u8: 'D' queued bytes, 'F' front), 3 zero bytes, payload length (u32),
//           payload, CRC-32 of kind, zeros, length and payload (u32)
// Numbers are little-endian. A data record holds nibble-swapped bytes as
// queued; a front record holds how many queued bytes of the file (counted
// from its first data record) have left the queue, as a u64. Reading stops at
// the first record that is torn or fails its check; what follows is dropped.
#include "base/Crc32.h"

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint32_t QUEUE_FORMAT_VERSION = 1;
constexpr size_t QUEUE_HEADER_LEN = 16;
constexpr size_t QUEUE_RECORD_OVERHEAD = 12;
constexpr uint8_t QUEUE_RECORD_DATA = 'D';
constexpr uint8_t QUEUE_RECORD_FRONT = 'F';
// No record is longer: a queue never holds more.
constexpr uint32_t QUEUE_RECORD_MAX = 409600;

std::vector<uint8_t> QueueFileHeader();
// Appends a whole record to out.
void AppendQueueRecord(std::vector<uint8_t>& out, uint8_t kind, const uint8_t* payload, size_t count);
void AppendFrontRecord(std::vector<uint8_t>& out, uint64_t consumed);

enum class QUEUE_FILE_STATE {
    Empty,         // no bytes at all (a new file)
    Intact,        // every record read
    DamagedTail,   // records read up to damage; the rest dropped
    NotAQueue,     // no valid header: nothing read
    NewerFormat,   // written by a newer program: nothing read, the file must be kept
    Unreadable,    // could not be read (a read error, no rights): left where it is for the next start
};

struct QUEUE_FILE_CONTENT {
    QUEUE_FILE_STATE eState = QUEUE_FILE_STATE::Empty;
    // What still waits: the queued bytes of the intact records past the front.
    std::vector<uint8_t> pending;
    size_t nIntactLen = 0;   // file bytes read as intact, header included
    size_t nDroppedLen = 0;  // file bytes after them, dropped
};

QUEUE_FILE_CONTENT ReadQueueFile(const uint8_t* bytes, size_t count);
