#pragma once
// How far an append-mode file source captured its file, kept across runs of
// the program, so that a start captures the text appended while it was not
// running. Free of system calls; the file it lives in is CPositionFile.
#include "capture/FileCapture.h"

#include <cstdint>
#include <string>
#include <vector>

// The most text a start captures of what was appended while the program was not running.
constexpr int64_t CATCH_UP_MAX = FILE_PIECE_MAX;

struct CAPTURE_POSITION {
    std::string strPath;  // the watched file, as the source names it
    FILE_IDENTITY identity;
    int64_t nCaptured = 0;  // file bytes captured, counted from the file's start
};

// "TVXP", version (u32), volume (u32), file index (u64), creation time (u64),
// captured (u64), path length (u32), path, CRC-32 of all before it (u32); little-endian.
std::vector<uint8_t> EncodePosition(const CAPTURE_POSITION& position);
// False for anything torn, damaged or of another version.
bool DecodePosition(const uint8_t* bytes, size_t count, CAPTURE_POSITION& position);

struct CATCH_UP {
    int64_t nFrom = 0;
    int64_t nTo = 0;
    bool IsEmpty() const { return nTo <= nFrom; }
};

// The file bytes a start captures before anything new: what lies between the
// remembered position and nEnd (the end of the start snapshot), at most the
// last CATCH_UP_MAX bytes of it. Nothing when there is no position, or it is
// for another path, or the file is another one (volume and file index; the
// creation time only where no index is known) or shorter.
CATCH_UP CatchUpRange(const CAPTURE_POSITION* pKnown, const std::string& strPath, const FILE_IDENTITY& current,
                      int64_t nEnd);
