#pragma once
#include <cstdint>
#include <memory>
#include <string>

// Decisions of the file source: which bytes of a watched receipt file are new.
// No system calls here; the file and the clock come in through the two small
// interfaces below so that every case can run without Windows.

constexpr int FILE_PIECE_MAX = 102400;         // most text taken from the file for one change
constexpr int SNAPSHOT_MAX = 40960;            // largest snapshot
constexpr uint32_t SEQUENTIAL_MIN_GAP_MS = 20; // receipt type 1: least gap between processed changes

enum : int {
    FILE_PHASE_UNDECIDED = -1,
    FILE_PHASE_APPEND = 0,
    FILE_PHASE_REFRESH = 1,
};

enum : int {
    RECEIPT_TYPE_NORMAL = 0,
    RECEIPT_TYPE_SEQUENTIAL = 1,
};

// Change codes as the directory watcher passes them on.
enum : uint32_t {
    FILE_CHANGE_RETRY = 0,  // not the system's: a skipped change taken again (see Retry)
    FILE_CHANGE_ADDED = 1,
    FILE_CHANGE_REMOVED = 2,
    FILE_CHANGE_MODIFIED = 3,
    FILE_CHANGE_RENAMED_OLD_NAME = 4,
    FILE_CHANGE_RENAMED_NEW_NAME = 5,
};

// Which file a path names at the moment: the same identity means the same file,
// even when its length or text changed; a file deleted and written anew, or
// renamed into place, has another. Zero fields mean "not known".
struct FILE_IDENTITY {
    uint32_t dwVolumeSerial = 0;
    uint64_t nFileIndex = 0;
    uint64_t nCreationTime = 0;  // 100 ns units since 1601, as the system keeps it

    bool IsKnown() const { return dwVolumeSerial != 0 || nFileIndex != 0 || nCreationTime != 0; }
    bool operator==(const FILE_IDENTITY& other) const
    {
        return dwVolumeSerial == other.dwVolumeSerial && nFileIndex == other.nFileIndex &&
               nCreationTime == other.nCreationTime;
    }
    bool operator!=(const FILE_IDENTITY& other) const { return !(*this == other); }
};

// Read state of one file source. The snapshot is the file's bytes from nOffset
// up to nLength as last seen (never more than SNAPSHOT_MAX bytes).
struct FILE_STATE {
    int64_t nOffset = 0;
    int64_t nLength = 0;
    std::unique_ptr<uint8_t[]> pSnapshot;  // FILE_PIECE_MAX bytes, allocated once
    int nPhase = FILE_PHASE_UNDECIDED;
    // The file the region was read from, as last made sure of; not known for a
    // refresh-mode file (it is taken whole anyway) or a file that was missing.
    FILE_IDENTITY identity;
};

// One file opened for reading while others keep reading and writing it.
class CFileReader {
public:
    virtual ~CFileReader() = default;
    virtual bool Open(const std::string& strPath) = 0;
    // After a failed Open: true when no file was there, false when one was there
    // but could not be opened (held by a writer that shares nothing, for one).
    virtual bool OpenFoundNoFile() const { return true; }
    // Identity of the open file; false (and nothing known) when it cannot be told.
    virtual bool Identity(FILE_IDENTITY& identity)
    {
        identity = FILE_IDENTITY();
        return false;
    }
    // Time of the open file's last write (100 ns units); false when it cannot be told.
    virtual bool LastWriteTime(uint64_t& nTime)
    {
        nTime = 0;
        return false;
    }
    // Current length in bytes, or a negative value when it cannot be told.
    virtual int64_t Size() = 0;
    // Bytes actually placed at pDst; 0 at the end of the file or on failure.
    virtual int ReadAt(int64_t nOffset, uint8_t* pDst, int nCount) = 0;
    virtual void Close() = 0;
};

// Milliseconds since some fixed moment, wrapping at 2^32 (the system tick count).
class CTickSource {
public:
    virtual ~CTickSource() = default;
    virtual uint32_t Now() = 0;
};

enum class FILE_OUTCOME {
    Ignored,    // change code or receipt type that is not acted upon
    NotOpened,  // file missing or locked
    Gated,      // receipt type 1, too soon after the last processed change
    Emptied,    // file length 0: state reset, nothing to hand over
    Unchanged,  // nothing differs from the text taken last (receipt type 0, a retry, a write reported twice)
    Moved,      // region moved to the end of the file without handing anything over
    Abandoned,  // file shrank during the read, or nothing could be read: state untouched
    Piece,      // pPiece / nPieceLen hold the piece to hand over
};

struct FILE_CHANGE_RESULT {
    FILE_OUTCOME eOutcome = FILE_OUTCOME::Ignored;
    // The phase by which the new text was read (for the trace), or -2 when no text was read.
    int nReadPhase = -2;
    // Raw file bytes followed by one zero byte, nPieceLen in all, NOT nibble-swapped:
    // the delivery stage swaps the whole piece (the separating zero stays zero).
    // Valid until the next call on the same object.
    const uint8_t* pPiece = nullptr;
    int nPieceLen = 0;
    // 0 or more: the change was skipped (file held by a writer, gate closed, read
    // failed) and is to be captured again after that many milliseconds; -1: not.
    int nRetryMs = -1;
};

// A file held by a writer is tried again after 20, 40, 80 ... ms, then once a second.
constexpr int CAPTURE_RETRY_FIRST_MS = 20;
constexpr int CAPTURE_RETRY_MAX_MS = 1000;

// The capture of one file source. One object per source slot, called one call
// at a time: by the start sequence before the source's watcher starts, then by
// the threads that report its changes and take them again, which the file input
// keeps apart with the source's lock. A change allocates nothing.
class CFileCapture {
public:
    CFileCapture();
    CFileCapture(const CFileCapture&) = delete;
    CFileCapture& operator=(const CFileCapture&) = delete;

    // First snapshot at start: the file's last bytes, at most SNAPSHOT_MAX, and the
    // undecided phase. A missing or unreadable file gives an empty snapshot.
    void TakeStartSnapshot(CFileReader& reader, const std::string& strPath);
    // At stop: the next start decides the mode afresh.
    void SetUndecided() { m_FileState.nPhase = FILE_PHASE_UNDECIDED; }

    // One change the watcher reported for this source's file. nReceiptType is the
    // source's receipt type as of the last load (1 sequential, 0 normal, others ignored).
    FILE_CHANGE_RESULT OnDirChange(uint32_t dwAction, const std::string& strPath, int nReceiptType,
                                   CFileReader& reader, CTickSource& ticks);
    // A change that was skipped, taken again once nRetryMs passed. Unlike a
    // reported change it hands over only what differs from the text taken
    // last, whatever the receipt type: a change gated out may have been a
    // second report of a write already taken.
    FILE_CHANGE_RESULT Retry(const std::string& strPath, int nReceiptType, CFileReader& reader, CTickSource& ticks);

    const FILE_STATE& State() const { return m_FileState; }
    uint32_t LastChangeTick() const { return m_dwLastChangeTick; }

private:
    int NextRetryMs();
    void KeepIdentity(CFileReader& reader, bool bFromStart, bool bChecked, const FILE_IDENTITY& checked);
    FILE_CHANGE_RESULT CaptureModified(const std::string& strPath, int nReceiptType, CFileReader& reader,
                                       CTickSource& ticks, bool bOnlyWhatDiffers);
    void ResetRegion();
    void RenewSnapshot(const uint8_t* pBytes, int nCount);

    FILE_STATE m_FileState;
    uint32_t m_dwLastChangeTick = 0;             // receipt type 1 only; kept across stop and start
    int m_nRetryAttempt = 0;                     // skipped changes in a row, for the back-off
    // Receipt type 1: the file's length and last write as the last processed
    // change found them, so that a change reported twice is taken once.
    bool m_bTakenWriteKnown = false;
    int64_t m_nTakenLength = 0;
    uint64_t m_nTakenWriteTime = 0;
    // Set when the file was removed, renamed away or found missing, or a file
    // was renamed onto its name: the next capture makes sure the file is still
    // the one the region was read from.
    bool m_bCheckIdentity = false;
    std::unique_ptr<uint8_t[]> m_pRecvCopyBuf;  // FILE_PIECE_MAX + 1: new text and its zero byte
    std::unique_ptr<uint8_t[]> m_pScratchBuf;   // SNAPSHOT_MAX: file bytes compared with the snapshot
};
