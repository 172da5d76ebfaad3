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
    m_FileState.identity = FILE_IDENTITY();
    m_nRetryAttempt = 0;
    m_bCheckIdentity = false;
    m_bTakenWriteKnown = false;
    if (!reader.Open(strPath))
        return;
    CCloseOnExit closer(reader);
    reader.Identity(m_FileState.identity);
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
    switch (dwAction) {
    case FILE_CHANGE_RETRY:
        return Retry(strPath, nReceiptType, reader, ticks);
    case FILE_CHANGE_MODIFIED:
        return CaptureModified(strPath, nReceiptType, reader, ticks, nReceiptType == RECEIPT_TYPE_NORMAL);
    case FILE_CHANGE_RENAMED_NEW_NAME:
        // A driver that writes elsewhere and renames onto the name: no write
        // follows, so the file moved in is captured now, as another file, from
        // its start. The watcher's look may have found it before this record
        // came; then it is the file taken last, and nothing is new.
        m_bCheckIdentity = true;
        return CaptureModified(strPath, nReceiptType, reader, ticks, nReceiptType == RECEIPT_TYPE_NORMAL);
    case FILE_CHANGE_REMOVED:
    case FILE_CHANGE_RENAMED_OLD_NAME:
        m_bCheckIdentity = true;
        return result;
    default:
        return result;
    }
}

FILE_CHANGE_RESULT CFileCapture::Retry(const std::string& strPath, int nReceiptType, CFileReader& reader,
                                       CTickSource& ticks)
{
    return CaptureModified(strPath, nReceiptType, reader, ticks, true);
}

int CFileCapture::NextRetryMs()
{
    const int nShift = std::min(m_nRetryAttempt, 16);
    ++m_nRetryAttempt;
    return static_cast<int>(std::min<int64_t>(static_cast<int64_t>(CAPTURE_RETRY_FIRST_MS) << nShift,
                                              CAPTURE_RETRY_MAX_MS));
}

// Keeps the identity of the file the region now comes from. Asking for it may
// cost more than the read, so it is asked only when the region restarted or
// the check had asked already.
void CFileCapture::KeepIdentity(CFileReader& reader, bool bFromStart, bool bChecked, const FILE_IDENTITY& checked)
{
    if (m_FileState.nPhase == FILE_PHASE_REFRESH) {
        m_FileState.identity = FILE_IDENTITY();
    } else if (bChecked) {
        m_FileState.identity = checked;
    } else if (bFromStart || !m_FileState.identity.IsKnown()) {
        FILE_IDENTITY now;
        reader.Identity(now);
        m_FileState.identity = now;
    }
    m_bCheckIdentity = false;
}

FILE_CHANGE_RESULT CFileCapture::CaptureModified(const std::string& strPath, int nReceiptType, CFileReader& reader,
                                                 CTickSource& ticks, bool bOnlyWhatDiffers)
{
    FILE_CHANGE_RESULT result;
    if (nReceiptType != RECEIPT_TYPE_NORMAL && nReceiptType != RECEIPT_TYPE_SEQUENTIAL)
        return result;
    if (!reader.Open(strPath)) {
        result.eOutcome = FILE_OUTCOME::NotOpened;
        if (reader.OpenFoundNoFile()) {
            // Gone: whatever comes back under the name may be another file.
            m_nRetryAttempt = 0;
            m_bCheckIdentity = true;
        } else {
            result.nRetryMs = NextRetryMs();
        }
        return result;
    }
    CCloseOnExit closer(reader);

    const uint32_t dwPreviousTick = m_dwLastChangeTick;
    if (nReceiptType == RECEIPT_TYPE_SEQUENTIAL) {
        const uint32_t dwNow = ticks.Now();
        const uint32_t dwGap = dwNow - m_dwLastChangeTick;
        if (dwGap < SEQUENTIAL_MIN_GAP_MS) {
            result.eOutcome = FILE_OUTCOME::Gated;
            result.nRetryMs = static_cast<int>(SEQUENTIAL_MIN_GAP_MS - dwGap);
            return result;
        }
        m_dwLastChangeTick = dwNow;
    }
    // A change that hands nothing over gives its tick back, so that the change
    // that follows is not gated out.
    auto abandon = [&]() {
        m_dwLastChangeTick = dwPreviousTick;
        result.eOutcome = FILE_OUTCOME::Abandoned;
        result.nRetryMs = NextRetryMs();
        return result;
    };

    const int64_t L = reader.Size();
    if (L < 0)
        return abandon();
    // A write reported twice (by its record and by the watcher's look, or by two
    // records) is one change: the second report finds the file as the first left it.
    uint64_t nWriteTime = 0;
    const bool bWriteKnown = nReceiptType == RECEIPT_TYPE_SEQUENTIAL && reader.LastWriteTime(nWriteTime);
    if (bWriteKnown && m_bTakenWriteKnown && nWriteTime == m_nTakenWriteTime && L == m_nTakenLength)
        bOnlyWhatDiffers = true;
    auto noteTaken = [&]() {
        m_bTakenWriteKnown = bWriteKnown;
        m_nTakenWriteTime = nWriteTime;
        m_nTakenLength = L;
    };
    if (L == 0) {
        ResetRegion();
        m_dwLastChangeTick = dwPreviousTick;
        m_nRetryAttempt = 0;
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
    auto shrankUnderUs = [&]() { return reader.Size() < L; };

    // A file removed or renamed away and a new one under the name: the new one
    // is taken from its start even where its bytes look like the old ones.
    FILE_IDENTITY checked;
    bool bChecked = false;
    bool bReplaced = false;
    if (m_bCheckIdentity && nPhase != FILE_PHASE_REFRESH) {
        bChecked = reader.Identity(checked);
        bReplaced = bChecked && m_FileState.identity.IsKnown() && checked != m_FileState.identity;
    }
    if (L < nLength || bReplaced) {
        nOffset = 0;
        nLength = 0;
    }
    // Is the text taken last still where it was? Then whatever lies beyond it is
    // new, even when it repeats that text (a reprint); if not, the file was
    // rewritten or replaced.
    bool bInPlace = false;
    if (nLength != 0) {
        const int nGot = ReadFully(reader, nOffset, pScratch, S);
        if (nGot < S)
            return abandon();
        bInPlace = !DiffersFromSnapshot(pScratch, nGot, pSnapshot, S);
    }

    if (bOnlyWhatDiffers) {
        if (L == nLength) {
            if (bInPlace) {
                m_dwLastChangeTick = dwPreviousTick;
                m_nRetryAttempt = 0;
                noteTaken();
                KeepIdentity(reader, false, bChecked, checked);
                result.eOutcome = FILE_OUTCOME::Unchanged;
                return result;
            }
        } else if (!bInPlace && nOffset != 0) {
            const int nTailWanted = static_cast<int>(std::min<int64_t>(L, S));
            const int nTailGot = ReadFully(reader, L - nTailWanted, pScratch, nTailWanted);
            if (!DiffersFromSnapshot(pScratch, nTailGot, pSnapshot, S)) {
                // The text taken last moved to the end of the file: nothing new.
                m_FileState.nOffset = (L - nLength > SNAPSHOT_MAX) ? L - SNAPSHOT_MAX : nLength;
                m_FileState.nLength = L;
                m_dwLastChangeTick = dwPreviousTick;
                m_nRetryAttempt = 0;
                noteTaken();
                KeepIdentity(reader, false, bChecked, checked);
                result.eOutcome = FILE_OUTCOME::Moved;
                return result;
            }
        }
    }

    // bRewritten: the whole file is the receipt (refresh mode). bFromStart: the
    // file was rewritten or replaced under an append-mode source, whose new
    // text is then all of it, as after a shrink.
    bool bRewritten = false;
    bool bFromStart = false;
    result.nReadPhase = nPhase;
    if (nPhase == FILE_PHASE_APPEND) {
        bFromStart = !bInPlace;
    } else if (nPhase == FILE_PHASE_REFRESH) {
        // A rewrite in several writes: what the last one left is still in place
        // and only the rest is new.
        bRewritten = !(bInPlace && L > nLength);
    } else if (nLength != 0) {
        bRewritten = !bInPlace;
    } else {
        const int nGot = ReadFully(reader, 0, pScratch, S);
        bRewritten = DiffersFromSnapshot(pScratch, nGot, pSnapshot, S);
    }
    int64_t nReadFrom;
    if (bRewritten || bFromStart) {
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
    else if (nLength != 0 && nPhase != FILE_PHASE_REFRESH)
        m_FileState.nPhase = FILE_PHASE_APPEND;
    m_nRetryAttempt = 0;
    if (nEnd == L)
        noteTaken();
    else
        m_bTakenWriteKnown = false;
    KeepIdentity(reader, bRewritten || bFromStart || nLength == 0, bChecked, checked);

    pRecv[nGot] = 0;
    result.eOutcome = FILE_OUTCOME::Piece;
    result.pPiece = pRecv;
    result.nPieceLen = nGot + 1;
    return result;
}
