#include "capture/CapturePositions.h"

#include "base/Crc32.h"

#include <algorithm>
#include <cstring>

namespace {

const uint8_t POSITION_MAGIC[4] = {'T', 'V', 'X', 'P'};
const uint32_t POSITION_VERSION = 1;
const size_t POSITION_FIXED_LEN = 4 + 4 + 4 + 8 + 8 + 8 + 4;
const size_t POSITION_PATH_MAX = 32768;

void Put(std::vector<uint8_t>& out, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint64_t Get(const uint8_t* p, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}

}  // namespace

std::vector<uint8_t> EncodePosition(const CAPTURE_POSITION& position)
{
    std::vector<uint8_t> out(POSITION_MAGIC, POSITION_MAGIC + 4);
    Put(out, POSITION_VERSION, 4);
    Put(out, position.identity.dwVolumeSerial, 4);
    Put(out, position.identity.nFileIndex, 8);
    Put(out, position.identity.nCreationTime, 8);
    Put(out, static_cast<uint64_t>(position.nCaptured), 8);
    Put(out, position.strPath.size(), 4);
    out.insert(out.end(), position.strPath.begin(), position.strPath.end());
    Put(out, Crc32(out.data(), out.size()), 4);
    return out;
}

bool DecodePosition(const uint8_t* bytes, size_t count, CAPTURE_POSITION& position)
{
    if (count < POSITION_FIXED_LEN + 4 || std::memcmp(bytes, POSITION_MAGIC, 4) != 0 ||
        Get(bytes + 4, 4) != POSITION_VERSION)
        return false;
    const size_t pathLen = static_cast<size_t>(Get(bytes + 36, 4));
    if (pathLen > POSITION_PATH_MAX || count != POSITION_FIXED_LEN + pathLen + 4)
        return false;
    if (Get(bytes + POSITION_FIXED_LEN + pathLen, 4) != Crc32(bytes, POSITION_FIXED_LEN + pathLen))
        return false;
    const int64_t captured = static_cast<int64_t>(Get(bytes + 28, 8));
    if (captured < 0)
        return false;
    position.identity.dwVolumeSerial = static_cast<uint32_t>(Get(bytes + 8, 4));
    position.identity.nFileIndex = Get(bytes + 12, 8);
    position.identity.nCreationTime = Get(bytes + 20, 8);
    position.nCaptured = captured;
    position.strPath.assign(reinterpret_cast<const char*>(bytes + POSITION_FIXED_LEN), pathLen);
    return true;
}

namespace {

// The volume and the file index name a file (NTFS counts reuses of an index
// into the index itself). The creation time decides only where no index is
// known: some file systems report the time of the last change there.
bool SameFile(const FILE_IDENTITY& a, const FILE_IDENTITY& b)
{
    if (a.nFileIndex != 0 || b.nFileIndex != 0)
        return a.dwVolumeSerial == b.dwVolumeSerial && a.nFileIndex == b.nFileIndex;
    return a == b;
}

}  // namespace

CATCH_UP CatchUpRange(const CAPTURE_POSITION* pKnown, const std::string& strPath, const FILE_IDENTITY& current,
                      int64_t nEnd)
{
    CATCH_UP range;
    if (pKnown == nullptr || pKnown->strPath != strPath || !current.IsKnown() || !SameFile(pKnown->identity, current) ||
        nEnd <= pKnown->nCaptured)
        return range;
    range.nFrom = std::max(pKnown->nCaptured, nEnd - CATCH_UP_MAX);
    range.nTo = nEnd;
    return range;
}
