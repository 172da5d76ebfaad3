#include "capture/FileCapture.h"

#include <algorithm>
#include <cstring>

namespace {

// Readers may hand over less than asked (a share, a pipe); keep asking until the
// count is reached or a read brings nothing.
int ReadFully(CFileReader& reader, int64_t nOffset, uint8_t* pDst, int nCount)
{
    int nGot = 0;
    while (nGot < nCount) {
        const int nStep = reader.ReadAt(nOffset + nGot, pDst + nGot, nCount - nGot);
        if (nStep <= 0)
            break;
        nGot += std::min(nStep, nCount - nGot);
    }
    return nGot;
}

// Bytes that were not read count as different, whatever the snapshot holds there.
bool DiffersFromSnapshot(const uint8_t* pRead, int nRead, const uint8_t* pSnapshot, int nSnapshot)
{
    return nRead != nSnapshot || std::memcmp(pRead, pSnapshot, static_cast<size_t>(nSnapshot)) != 0;
}

class CCloseOnExit {
public:
    explicit CCloseOnExit(CFileReader& reader) : m_Reader(reader) {}
    ~CCloseOnExit() { m_Reader.Close(); }
    CCloseOnExit(const CCloseOnExit&) = delete;
    CCloseOnExit& operator=(const CCloseOnExit&) = delete;

private:
    CFileReader& m_Reader;
};

}  // namespace

CFileCapture::CFileCapture()
    : m_pRecvCopyBuf(new uint8_t[FILE_PIECE_MAX + 1]()), m_pScratchBuf(new uint8_t[SNAPSHOT_MAX]())
{
    m_FileState.pSnapshot.reset(new uint8_t[FILE_PIECE_MAX]());
}

void CFileCapture::ResetRegion()
{
    m_FileState.nOffset = 0;
    m_FileState.nLength = 0;
    std::memset(m_FileState.pSnapshot.get(), 0, 4);
}

void CFileCapture::RenewSnapshot(const uint8_t* pBytes, int nCount)
{
    uint8_t* pSnapshot = m_FileState.pSnapshot.get();
    std::memmove(pSnapshot, pBytes, static_cast<size_t>(nCount));
    std::memset(pSnapshot + nCount, 0, static_cast<size_t>(SNAPSHOT_MAX - nCount));
}

void CFileCapture::TakeStartSnapshot(CFileReader& reader, const std::string& strPath)
{
    ResetRegion();
    m_FileState.nPhase = FILE_PHASE_UNDECIDED;
    if (!reader.Open(strPath))
        return;
    CCloseOnExit closer(reader);
    const int64_t nLength = reader.Size();
    if (nLength <= 0)
        return;
    const int nWanted = static_cast<int>(std::min<int64_t>(nLength, SNAPSHOT_MAX));
    const int64_t nFrom = nLength - nWanted;
    const int nGot = ReadFully(reader, nFrom, m_pScratchBuf.get(), nWanted);
    if (nGot == 0)
        return;
    // A partial read leaves the snapshot over exactly the bytes that were read.
    RenewSnapshot(m_pScratchBuf.get(), nGot);
    m_FileState.nOffset = nFrom;
    m_FileState.nLength = nFrom + nGot;
}

FILE_CHANGE_RESULT CFileCapture::OnDirChange(uint32_t dwAction, const std::string& strPath, int nReceiptType,
                                             CFileReader& reader, CTickSource& ticks)
{
    FILE_CHANGE_RESULT result;
    if (dwAction == FILE_CHANGE_MODIFIED)
        return CaptureModified(strPath, nReceiptType, reader, ticks);
    if (dwAction == FILE_CHANGE_RENAMED_NEW_NAME) {
        ResetRegion();
        result.eOutcome = FILE_OUTCOME::Restarted;
    }
    return result;
}

FILE_CHANGE_RESULT CFileCapture::CaptureModified(const std::string& strPath, int nReceiptType, CFileReader& reader,
                                                 CTickSource& ticks)
{
    FILE_CHANGE_RESULT result;
    if (nReceiptType != RECEIPT_TYPE_NORMAL && nReceiptType != RECEIPT_TYPE_SEQUENTIAL)
        return result;
    if (!reader.Open(strPath)) {
        result.eOutcome = FILE_OUTCOME::NotOpened;
        return result;
    }
    CCloseOnExit closer(reader);

    const uint32_t dwPreviousTick = m_dwLastChangeTick;
    if (nReceiptType == RECEIPT_TYPE_SEQUENTIAL) {
        const uint32_t dwNow = ticks.Now();
        if (dwNow - m_dwLastChangeTick < SEQUENTIAL_MIN_GAP_MS) {
            result.eOutcome = FILE_OUTCOME::Gated;
            return result;
        }
        m_dwLastChangeTick = dwNow;
    }
    // An abandoned change gives its tick back, so the change that follows is not gated out.
    auto abandon = [&]() {
        m_dwLastChangeTick = dwPreviousTick;
        result.eOutcome = FILE_OUTCOME::Abandoned;
        return result;
    };

    const int64_t L = reader.Size();
    if (L < 0)
        return abandon();
    if (L == 0) {
        ResetRegion();
        result.eOutcome = FILE_OUTCOME::Emptied;
        return result;
    }

    // Work on copies: a change abandoned half-way must leave the state as it was.
    int64_t nOffset = m_FileState.nOffset;
    int64_t nLength = m_FileState.nLength;
    const int nPhase = m_FileState.nPhase;
    const int S = static_cast<int>(std::clamp<int64_t>(nLength - nOffset, 0, SNAPSHOT_MAX));
    const uint8_t* pSnapshot = m_FileState.pSnapshot.get();
    uint8_t* pScratch = m_pScratchBuf.get();
    uint8_t* pRecv = m_pRecvCopyBuf.get();

    if (L < nLength) {
        nOffset = 0;
        nLength = 0;
    }
    const int nTailWanted = static_cast<int>(std::min<int64_t>(L, S));
    const int64_t nTailFrom = L - nTailWanted;
    const int nTailGot = ReadFully(reader, nTailFrom, pScratch, nTailWanted);
    const bool bTailDiffers = DiffersFromSnapshot(pScratch, nTailGot, pSnapshot, S);
    auto shrankUnderUs = [&]() { return reader.Size() < L; };

    if (nReceiptType == RECEIPT_TYPE_NORMAL) {
        bool bNew;
        if (L != nLength) {
            bNew = bTailDiffers || nOffset == 0;
            if (!bNew) {
                // The same receipt again: follow the file's end without reading it.
                m_FileState.nOffset = (L - nLength > SNAPSHOT_MAX) ? L - SNAPSHOT_MAX : nLength;
                m_FileState.nLength = L;
                result.eOutcome = FILE_OUTCOME::Moved;
                return result;
            }
        } else {
            bNew = nPhase != FILE_PHASE_APPEND && bTailDiffers;
        }
        if (!bNew) {
            result.eOutcome = FILE_OUTCOME::Unchanged;
            return result;
        }
    }

    bool bRewritten;
    bool bShrank = false;
    int64_t nReadFrom;
    result.nReadPhase = nPhase;
    if (nPhase == FILE_PHASE_APPEND) {
        // An append-mode file that shrank was truncated and rewritten, or
        // re-created: what it holds now is new text, handed over from its start.
        bShrank = nLength == 0 && S != 0;
        bRewritten = false;
    } else if (nPhase == FILE_PHASE_REFRESH) {
        bRewritten = true;
    } else {
        if (L <= FILE_PIECE_MAX && L < nOffset)
            nOffset = 0;
        const int nGot = ReadFully(reader, nOffset, pScratch, S);
        bRewritten = DiffersFromSnapshot(pScratch, nGot, pSnapshot, S);
    }
    if (bRewritten || bShrank) {
        nOffset = (L > FILE_PIECE_MAX) ? L - FILE_PIECE_MAX : 0;
        nReadFrom = nOffset;
    } else {
        if (L - nLength > FILE_PIECE_MAX)
            nLength = L - FILE_PIECE_MAX;
        nReadFrom = nLength;
    }

    const int nWanted = static_cast<int>(L - nReadFrom);
    const int nGot = ReadFully(reader, nReadFrom, pRecv, nWanted);
    if ((nWanted > 0 && nGot == 0) || shrankUnderUs())
        return abandon();

    // Only the bytes actually read count: the region ends where the reading ended,
    // and whatever was not read goes with a later change.
    const int64_t nEnd = nReadFrom + nGot;
    const int nKept = std::min(nGot, SNAPSHOT_MAX);
    RenewSnapshot(pRecv + (nGot - nKept), nKept);
    m_FileState.nOffset = nEnd - nKept;
    m_FileState.nLength = nEnd;
    if (bRewritten)
        m_FileState.nPhase = FILE_PHASE_REFRESH;
    else if (nLength != 0)
        m_FileState.nPhase = FILE_PHASE_APPEND;

    pRecv[nGot] = 0;
    result.eOutcome = FILE_OUTCOME::Piece;
    result.pPiece = pRecv;
    result.nPieceLen = nGot + 1;
    return result;
}
