// File-source capture over an in-memory file: which bytes of a watched file are new.
#include "capture/FileCapture.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include "capture/FileCapture_win.h"
#include "tests/support/TempFolder.h"
#endif

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

const std::string PATH = "C:\\Receipts\\till.txt";

// Printable text that does not repeat itself, so that no window of it equals another by chance.
std::string Text(size_t count, uint32_t seed)
{
    std::string text(count, ' ');
    uint32_t x = seed * 2654435761u + 1;
    for (auto& c : text) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>('!' + (x >> 16) % 94);
    }
    return text;
}

// A file in memory that can be missing, unreadable past a point, read in small
// pieces, or rewritten by someone else in the middle of a read.
class CMemoryFile : public CFileReader {
public:
    explicit CMemoryFile(std::string content = {}) : strContent(std::move(content)) {}

    std::string strContent;
    bool bExists = true;
    int nMaxPerRead = INT_MAX;
    int64_t nReadableEnd = -1;  // reads deliver nothing at or beyond this offset; -1: no limit
    int nRewriteAfterRead = 0;  // after the n-th read of a change the file holds strRewrite
    std::string strRewrite;
    bool bLocked = false;  // there, but held by a writer that shares nothing
    FILE_IDENTITY identity;
    int nIdentityAsked = 0;
    bool bWriteTimeKnown = false;
    uint64_t nWriteTime = 0;

    bool IsOpen() const { return m_bOpen; }

    bool Open(const std::string& path) override
    {
        EXPECT_EQ(PATH, path);
        EXPECT_FALSE(m_bOpen) << "opened twice";
        m_nReads = 0;
        m_bOpen = bExists && !bLocked;
        return m_bOpen;
    }
    bool OpenFoundNoFile() const override { return !bExists; }
    bool LastWriteTime(uint64_t& nTime) override
    {
        EXPECT_TRUE(m_bOpen);
        nTime = nWriteTime;
        return bWriteTimeKnown;
    }
    bool Identity(FILE_IDENTITY& id) override
    {
        EXPECT_TRUE(m_bOpen);
        ++nIdentityAsked;
        id = identity;
        return identity.IsKnown();
    }
    int64_t Size() override
    {
        EXPECT_TRUE(m_bOpen);
        return static_cast<int64_t>(strContent.size());
    }
    int ReadAt(int64_t offset, uint8_t* dst, int count) override
    {
        EXPECT_TRUE(m_bOpen);
        const int n = Read(offset, dst, count);
        if (++m_nReads == nRewriteAfterRead)
            strContent = strRewrite;
        return n;
    }
    void Close() override { m_bOpen = false; }

private:
    int Read(int64_t offset, uint8_t* dst, int count) const
    {
        int64_t end = static_cast<int64_t>(strContent.size());
        if (nReadableEnd >= 0)
            end = std::min(end, nReadableEnd);
        if (offset >= end)
            return 0;
        const int n = static_cast<int>(std::min<int64_t>({count, end - offset, nMaxPerRead}));
        std::memcpy(dst, strContent.data() + offset, static_cast<size_t>(n));
        return n;
    }

    bool m_bOpen = false;
    int m_nReads = 0;
};

class CFakeTicks : public CTickSource {
public:
    uint32_t dwNow = 0;
    uint32_t Now() override { return dwNow; }
};

std::string PieceOf(const FILE_CHANGE_RESULT& r)
{
    return r.pPiece ? std::string(reinterpret_cast<const char*>(r.pPiece), static_cast<size_t>(r.nPieceLen))
                    : std::string();
}

std::string WithZero(const std::string& text) { return text + std::string(1, '\0'); }

std::string SnapshotOf(const CFileCapture& capture)
{
    const FILE_STATE& s = capture.State();
    return std::string(reinterpret_cast<const char*>(s.pSnapshot.get()), static_cast<size_t>(s.nLength - s.nOffset));
}

struct EXPECTED_STATE {
    int64_t nOffset;
    int64_t nLength;
    int nPhase;
};

void ExpectState(const CFileCapture& capture, const EXPECTED_STATE& e)
{
    const FILE_STATE& s = capture.State();
    EXPECT_EQ(e.nOffset, s.nOffset);
    EXPECT_EQ(e.nLength, s.nLength);
    EXPECT_EQ(e.nPhase, s.nPhase);
}

// Also: the snapshot holds the file's bytes of its region.
void ExpectStateOfFile(const CFileCapture& capture, const std::string& file, const EXPECTED_STATE& e)
{
    ExpectState(capture, e);
    const FILE_STATE& s = capture.State();
    ASSERT_LE(s.nLength - s.nOffset, SNAPSHOT_MAX);
    ASSERT_LE(s.nLength, static_cast<int64_t>(file.size()));
    EXPECT_EQ(file.substr(static_cast<size_t>(s.nOffset), static_cast<size_t>(s.nLength - s.nOffset)),
              SnapshotOf(capture));
}

// ---------------------------------------------------------------------------
// Start snapshot

TEST(FileCaptureStart, SnapshotIsTheFilesLastBytesOrEmpty)
{
    const std::string big = Text(50000, 7);
    const struct {
        const char* szName;
        std::string strContent;
        bool bExists;
        int64_t nReadableEnd;
        EXPECTED_STATE expected;
    } cases[] = {
        {"small file", Text(1000, 1), true, -1, {0, 1000, FILE_PHASE_UNDECIDED}},
        {"exactly the largest snapshot", Text(40960, 2), true, -1, {0, 40960, FILE_PHASE_UNDECIDED}},
        {"one byte more", Text(40961, 3), true, -1, {1, 40961, FILE_PHASE_UNDECIDED}},
        {"large file", big, true, -1, {9040, 50000, FILE_PHASE_UNDECIDED}},
        {"empty file", "", true, -1, {0, 0, FILE_PHASE_UNDECIDED}},
        {"missing file", "", false, -1, {0, 0, FILE_PHASE_UNDECIDED}},
        {"unreadable file", big, true, 0, {0, 0, FILE_PHASE_UNDECIDED}},
        {"read ends early", big, true, 30000, {9040, 30000, FILE_PHASE_UNDECIDED}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        CMemoryFile file(c.strContent);
        file.bExists = c.bExists;
        file.nReadableEnd = c.nReadableEnd;
        CFileCapture capture;
        capture.TakeStartSnapshot(file, PATH);
        ExpectStateOfFile(capture, c.strContent, c.expected);
        EXPECT_FALSE(file.IsOpen());
    }
}

TEST(FileCaptureStart, NewStartForgetsTheModeAndTakesTheNewEnd)
{
    const std::string a = Text(1000, 1), b = Text(200, 2);
    CMemoryFile file(a);
    CFakeTicks ticks;
    CFileCapture capture;
    capture.TakeStartSnapshot(file, PATH);
    file.strContent = a + b;
    ASSERT_EQ(FILE_OUTCOME::Piece, capture.OnDirChange(FILE_CHANGE_MODIFIED, PATH, 0, file, ticks).eOutcome);
    ExpectStateOfFile(capture, file.strContent, {1000, 1200, FILE_PHASE_APPEND});

    capture.SetUndecided();
    EXPECT_EQ(FILE_PHASE_UNDECIDED, capture.State().nPhase);
    file.strContent = a + b + Text(300, 3);
    capture.TakeStartSnapshot(file, PATH);
    ExpectStateOfFile(capture, file.strContent, {0, 1500, FILE_PHASE_UNDECIDED});
}

// ---------------------------------------------------------------------------
// Sequences of changes. Every scenario runs twice: with a reader that delivers
// whole requests and with one that hands over at most 7 bytes per read; both
// must give the same pieces and states.

struct STEP {
    const char* szWhat;
    std::string strFile;  // the whole file when the change is reported
    uint32_t dwTick;
    uint32_t dwAction;
    bool bPiece;
    std::string strPiece;  // the new text, without the separating zero byte
    EXPECTED_STATE expected;
};

struct SCENARIO {
    const char* szName;
    std::string strStart;
    int nReceiptType;
    std::vector<STEP> steps;
};

constexpr uint32_t MOD = FILE_CHANGE_MODIFIED;
constexpr int APPEND = FILE_PHASE_APPEND, REFRESH = FILE_PHASE_REFRESH, UNDECIDED = FILE_PHASE_UNDECIDED;

std::vector<SCENARIO> Scenarios()
{
    const std::string A = Text(1000, 1), B = Text(200, 2), C = Text(37, 3), D = Text(5000, 4), E = Text(60, 5);
    const std::string R1 = Text(300, 11), R2 = Text(300, 12), R3 = Text(500, 13);
    const std::string big = Text(150000, 21), big50k = Text(50000, 24), start50k = Text(50000, 22), other60k = Text(60000, 23);
    const std::string T150 = Text(150, 31), T500 = Text(500, 32);
    const std::string binStart("\0\x01\0\0", 4), binMore("\0\xff\0", 3);
    const std::string binTrail("AB\0\0", 4);
    const std::string binA("A\0B", 3), binB("A\0C", 3), binC("A\0D", 3);
    const std::string none;
    return {
        {"append mode with successive appends", A, 0,
         {
             {"200 bytes appended", A + B, 0, MOD, true, B, {1000, 1200, APPEND}},
             {"37 more", A + B + C, 0, MOD, true, C, {1200, 1237, APPEND}},
             {"5000 more", A + B + C + D, 0, MOD, true, D, {1237, 6237, APPEND}},
             {"rewritten in place, same length: all of it is new", A + B + C + D.substr(0, 4999) + "#", 0, MOD,
              true, A + B + C + D.substr(0, 4999) + "#", {0, 6237, APPEND}},
             {"appended after it", A + B + C + D.substr(0, 4999) + "#" + E, 0, MOD, true, E, {6237, 6297, APPEND}},
         }},
        {"append mode, file replaced by a longer one", A, 0,
         {
             {"appended", A + B, 0, MOD, true, B, {1000, 1200, APPEND}},
             {"re-created longer than before", T500 + D, 0, MOD, true, T500 + D, {0, 5500, APPEND}},
             {"appended after it", T500 + D + C, 0, MOD, true, C, {5500, 5537, APPEND}},
         }},
        {"rewrite with a shorter receipt chooses refresh mode", A, 0,
         {
             {"300-byte receipt", R1, 0, MOD, true, R1, {0, 300, REFRESH}},
             {"another receipt of the same length", R2, 0, MOD, true, R2, {0, 300, REFRESH}},
             {"the same bytes again", R2, 0, MOD, false, none, {0, 300, REFRESH}},
             {"a longer receipt", R3, 0, MOD, true, R3, {0, 500, REFRESH}},
             {"a receipt beyond 102400 bytes", big, 0, MOD, true, big.substr(150000 - 102400),
              {150000 - 40960, 150000, REFRESH}},
         }},
        {"start with an empty file: the first text decides nothing", "", 0,
         {
             {"first receipt", R1, 0, MOD, true, R1, {0, 300, UNDECIDED}},
             {"appended", R1 + C, 0, MOD, true, C, {300, 337, APPEND}},
         }},
        {"receipt type 1 hands over a same-bytes rewrite again", A, 1,
         {
             {"300-byte receipt", R1, 100, MOD, true, R1, {0, 300, REFRESH}},
             {"the same bytes again", R1, 200, MOD, true, R1, {0, 300, REFRESH}},
         }},
        {"receipt type 1 skips changes within 20 ms, their bytes go with the next", A, 1,
         {
             {"first change", A + B, 100, MOD, true, B, {1000, 1200, APPEND}},
             {"10 ms later", A + B + C, 110, MOD, false, none, {1000, 1200, APPEND}},
             {"19 ms after the processed one", A + B + C + D, 119, MOD, false, none, {1000, 1200, APPEND}},
             {"20 ms after it", A + B + C + D + E, 120, MOD, true, C + D + E, {1200, 6297, APPEND}},
         }},
        {"receipt type 1 gate across the tick count's wrap", A, 1,
         {
             {"just before the wrap", A + B, 0xFFFFFFF0u, MOD, true, B, {1000, 1200, APPEND}},
             {"19 ms later, after the wrap", A + B + C, 3, MOD, false, none, {1000, 1200, APPEND}},
             {"20 ms later", A + B + C + E, 4, MOD, true, C + E, {1200, 1297, APPEND}},
         }},
        {"receipt type 1 change that adds nothing gives a lone zero byte", A, 1,
         {
             {"appended", A + B, 100, MOD, true, B, {1000, 1200, APPEND}},
             {"nothing added", A + B, 200, MOD, true, none, {1200, 1200, APPEND}},
         }},
        {"receipt type 0: a reprint, the same receipt appended again, goes out again", A, 0,
         {
             {"receipt", A + B, 0, MOD, true, B, {1000, 1200, APPEND}},
             {"the same receipt again", A + B + B, 0, MOD, true, B, {1200, 1400, APPEND}},
             {"a different one", A + B + B + C, 0, MOD, true, C, {1400, 1437, APPEND}},
             {"a long one", A + B + B + C + big50k, 0, MOD, true, big50k, {51437 - 40960, 51437, APPEND}},
             {"the long one again", A + B + B + C + big50k + big50k, 0, MOD, true, big50k,
              {101437 - 40960, 101437, APPEND}},
         }},
        {"receipt type 1: a reprint goes out again", A, 1,
         {
             {"receipt", A + B, 100, MOD, true, B, {1000, 1200, APPEND}},
             {"the same receipt again", A + B + B, 200, MOD, true, B, {1200, 1400, APPEND}},
         }},
        {"receipt type 0: text put in front moves the last piece to the end, nothing new", A, 0,
         {
             {"receipt", A + B, 0, MOD, true, B, {1000, 1200, APPEND}},
             {"200 bytes put in front", R1.substr(0, 200) + A + B, 0, MOD, false, none, {1200, 1400, APPEND}},
             {"appended after it", R1.substr(0, 200) + A + B + C, 0, MOD, true, C, {1400, 1437, APPEND}},
         }},
        {"refresh mode, a receipt rewritten in two writes: each byte once", A, 0,
         {
             {"a receipt", R1, 0, MOD, true, R1, {0, 300, REFRESH}},
             {"the next one's first part", R2.substr(0, 100), 0, MOD, true, R2.substr(0, 100), {0, 100, REFRESH}},
             {"its second part", R2, 0, MOD, true, R2.substr(100), {100, 300, REFRESH}},
             {"the next receipt", R3, 0, MOD, true, R3, {0, 500, REFRESH}},
         }},
        {"file emptied, then written from its start", A, 0,
         {
             {"appended", A + B, 0, MOD, true, B, {1000, 1200, APPEND}},
             {"emptied", "", 0, MOD, false, none, {0, 0, APPEND}},
             {"new content", R1, 0, MOD, true, R1, {0, 300, APPEND}},
             {"appended after it", R1 + C, 0, MOD, true, C, {300, 337, APPEND}},
         }},
        {"more than 102400 bytes appended at once", A, 0,
         {
             {"150000 bytes", A + big, 0, MOD, true, big.substr(150000 - 102400),
              {151000 - 40960, 151000, APPEND}},
         }},
        {"start file larger than the snapshot, appended", start50k, 0,
         {
             {"appended", start50k + B, 0, MOD, true, B, {50000, 50200, APPEND}},
         }},
        {"start file larger than the snapshot, rewritten", start50k, 0,
         {
             {"rewritten longer", other60k, 0, MOD, true, other60k, {60000 - 40960, 60000, REFRESH}},
         }},
        {"receipt type 2 is never processed", A, 2,
         {
             {"appended", A + B, 100, MOD, false, none, {0, 1000, UNDECIDED}},
             {"rewritten", R1, 200, MOD, false, none, {0, 1000, UNDECIDED}},
         }},
        {"binary text with zero bytes, appended", binStart, 0,
         {
             {"appended", binStart + binMore, 0, MOD, true, binMore, {4, 7, APPEND}},
         }},
        {"binary text ending in zero bytes, cut to the bytes before them", binTrail, 0,
         {
             {"cut", binTrail.substr(0, 2), 0, MOD, true, binTrail.substr(0, 2), {0, 2, REFRESH}},
         }},
        {"binary text with zero bytes, rewritten behind a zero byte", binA, 0,
         {
             {"differs after the zero byte", binB, 0, MOD, true, binB, {0, 3, REFRESH}},
             {"again", binC, 0, MOD, true, binC, {0, 3, REFRESH}},
             {"the same", binC, 0, MOD, false, none, {0, 3, REFRESH}},
         }},
        {"new name of a rename restarts from the file's start", A, 0,
         {
             {"appended", A + B, 0, MOD, true, B, {1000, 1200, APPEND}},
             {"renamed onto: all of it is new text", R1, 0, FILE_CHANGE_RENAMED_NEW_NAME, true, R1,
              {0, 300, APPEND}},
             {"modified without a new byte", R1, 0, MOD, false, none, {0, 300, APPEND}},
             {"renamed onto", T500, 0, FILE_CHANGE_RENAMED_NEW_NAME, true, T500, {0, 500, APPEND}},
             {"appended", T500 + C, 0, MOD, true, C, {500, 537, APPEND}},
         }},
        {"new name of a rename, receipt type 1, refresh mode", A, 1,
         {
             {"rewritten", R1, 100, MOD, true, R1, {0, 300, REFRESH}},
             {"renamed onto", R2, 200, FILE_CHANGE_RENAMED_NEW_NAME, true, R2, {0, 300, REFRESH}},
         }},
        {"other change codes do nothing", A, 0,
         {
             {"added", A + B, 0, FILE_CHANGE_ADDED, false, none, {0, 1000, UNDECIDED}},
             {"removed", A + B, 0, FILE_CHANGE_REMOVED, false, none, {0, 1000, UNDECIDED}},
             {"old name", A + B, 0, FILE_CHANGE_RENAMED_OLD_NAME, false, none, {0, 1000, UNDECIDED}},
             {"modified", A + B, 0, MOD, true, B, {1000, 1200, APPEND}},
         }},
        // A printer driver or a log rotation truncates the file and writes it anew:
        // the first receipt of the new file must not be lost.
        {"append-mode file truncated and rewritten: the new file is new text", A, 0,
         {
             {"appended", A + B, 0, MOD, true, B, {1000, 1200, APPEND}},
             {"rewritten, longer than the last piece", T500, 0, MOD, true, T500, {0, 500, APPEND}},
             {"appended", T500 + E, 0, MOD, true, E, {500, 560, APPEND}},
             {"appended more", T500 + E + D, 0, MOD, true, D, {560, 5560, APPEND}},
             {"rewritten, shorter than the last piece", T150, 0, MOD, true, T150, {0, 150, APPEND}},
             {"appended", T150 + C, 0, MOD, true, C, {150, 187, APPEND}},
             {"emptied", "", 0, MOD, false, none, {0, 0, APPEND}},
             {"written after emptying", C, 0, MOD, true, C, {0, 37, APPEND}},
             {"re-created with more than a piece", big, 0, MOD, true, big.substr(150000 - 102400),
              {150000 - 40960, 150000, APPEND}},
         }},
    };
}

TEST(FileCaptureChanges, ScenariosGiveTheExpectedPiecesAndStates)
{
    for (const auto& scenario : Scenarios()) {
        for (const int maxPerRead : {INT_MAX, 7}) {
            SCOPED_TRACE(std::string(scenario.szName) + (maxPerRead == 7 ? ", 7-byte reads" : ""));
            CMemoryFile file(scenario.strStart);
            file.nMaxPerRead = maxPerRead;
            CFakeTicks ticks;
            CFileCapture capture;
            capture.TakeStartSnapshot(file, PATH);
            for (const auto& step : scenario.steps) {
                SCOPED_TRACE(step.szWhat);
                file.strContent = step.strFile;
                ticks.dwNow = step.dwTick;
                const FILE_CHANGE_RESULT r =
                    capture.OnDirChange(step.dwAction, PATH, scenario.nReceiptType, file, ticks);
                if (step.bPiece) {
                    EXPECT_EQ(FILE_OUTCOME::Piece, r.eOutcome);
                    EXPECT_EQ(WithZero(step.strPiece), PieceOf(r));
                } else {
                    EXPECT_NE(FILE_OUTCOME::Piece, r.eOutcome);
                    EXPECT_EQ(0, r.nPieceLen);
                }
                // A change that was not taken leaves a snapshot of what the file held before.
                const bool bTaken = r.eOutcome == FILE_OUTCOME::Piece || r.eOutcome == FILE_OUTCOME::Moved ||
                                    r.eOutcome == FILE_OUTCOME::Emptied || r.eOutcome == FILE_OUTCOME::Unchanged;
                if (bTaken)
                    ExpectStateOfFile(capture, file.strContent, step.expected);
                else
                    ExpectState(capture, step.expected);
                EXPECT_FALSE(file.IsOpen()) << "the file stays open after the change";
            }
        }
    }
}

TEST(FileCaptureChanges, OutcomeTellsWhyNothingWasHandedOver)
{
    const std::string a = Text(1000, 1), b = Text(200, 2);
    const struct {
        const char* szName;
        int nReceiptType;
        uint32_t dwAction;
        std::string strFile;
        bool bExists;
        uint32_t dwTick;
        FILE_OUTCOME eOutcome;
        int nReadPhase;
    } cases[] = {
        {"other receipt type", 2, MOD, a + b, true, 100, FILE_OUTCOME::Ignored, -2},
        {"other change code", 0, FILE_CHANGE_ADDED, a + b, true, 100, FILE_OUTCOME::Ignored, -2},
        {"rename", 0, FILE_CHANGE_RENAMED_NEW_NAME, a + b, true, 100, FILE_OUTCOME::Piece, UNDECIDED},
        {"missing file", 0, MOD, a + b, false, 100, FILE_OUTCOME::NotOpened, -2},
        {"within 20 ms of program start", 1, MOD, a + b, true, 19, FILE_OUTCOME::Gated, -2},
        {"emptied", 0, MOD, "", true, 100, FILE_OUTCOME::Emptied, -2},
        {"same length, undecided", 0, MOD, a, true, 100, FILE_OUTCOME::Unchanged, -2},
        {"appended", 0, MOD, a + b, true, 100, FILE_OUTCOME::Piece, UNDECIDED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        CMemoryFile file(a);
        CFakeTicks ticks;
        CFileCapture capture;
        capture.TakeStartSnapshot(file, PATH);
        file.strContent = c.strFile;
        file.bExists = c.bExists;
        ticks.dwNow = c.dwTick;
        const FILE_CHANGE_RESULT r = capture.OnDirChange(c.dwAction, PATH, c.nReceiptType, file, ticks);
        EXPECT_EQ(c.eOutcome, r.eOutcome);
        EXPECT_EQ(c.nReadPhase, r.nReadPhase);
        EXPECT_FALSE(file.IsOpen());
    }
}

// ---------------------------------------------------------------------------
// Files that cannot be read whole

TEST(FileCaptureFaults, ReadEndingEarlySendsOnlyTheBytesReadAndTheRestLater)
{
    const std::string a = Text(1000, 1), b = Text(200, 2);
    for (const int receiptType : {0, 1}) {
        SCOPED_TRACE(receiptType);
        CMemoryFile file(a);
        CFakeTicks ticks;
        CFileCapture capture;
        capture.TakeStartSnapshot(file, PATH);

        file.strContent = a + b;
        file.nReadableEnd = 1120;
        ticks.dwNow = 100;
        FILE_CHANGE_RESULT r = capture.OnDirChange(MOD, PATH, receiptType, file, ticks);
        EXPECT_EQ(WithZero(b.substr(0, 120)), PieceOf(r));
        ExpectStateOfFile(capture, file.strContent, {1000, 1120, APPEND});

        file.nReadableEnd = -1;
        ticks.dwNow = 200;
        r = capture.OnDirChange(MOD, PATH, receiptType, file, ticks);
        EXPECT_EQ(WithZero(b.substr(120)), PieceOf(r));
        ExpectStateOfFile(capture, file.strContent, {1120, 1200, APPEND});
    }
}

TEST(FileCaptureFaults, FailedOpenOrReadLeavesStateAndTickForTheNextChange)
{
    const std::string a = Text(1000, 1), b = Text(200, 2), c = Text(50, 3);
    const struct {
        const char* szName;
        bool bExists;
        int64_t nReadableEnd;
        FILE_OUTCOME eOutcome;
    } cases[] = {
        {"cannot open", false, -1, FILE_OUTCOME::NotOpened},
        {"reads deliver nothing", true, 0, FILE_OUTCOME::Abandoned},
        {"new text cannot be read", true, 1200, FILE_OUTCOME::Abandoned},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.szName);
        CMemoryFile file(a);
        CFakeTicks ticks;
        CFileCapture capture;
        capture.TakeStartSnapshot(file, PATH);
        file.strContent = a + b;
        ticks.dwNow = 100;
        ASSERT_EQ(WithZero(b), PieceOf(capture.OnDirChange(MOD, PATH, 1, file, ticks)));

        file.strContent = a + b + c;
        file.bExists = k.bExists;
        file.nReadableEnd = k.nReadableEnd;
        ticks.dwNow = 200;
        const FILE_CHANGE_RESULT r = capture.OnDirChange(MOD, PATH, 1, file, ticks);
        EXPECT_EQ(k.eOutcome, r.eOutcome);
        EXPECT_EQ(0, r.nPieceLen);
        ExpectStateOfFile(capture, file.strContent, {1000, 1200, APPEND});
        EXPECT_EQ(100u, capture.LastChangeTick());

        file.bExists = true;
        file.nReadableEnd = -1;
        ticks.dwNow = 205;  // within 20 ms of the failed change, not of the last processed one
        EXPECT_EQ(WithZero(c), PieceOf(capture.OnDirChange(MOD, PATH, 1, file, ticks)));
        ExpectStateOfFile(capture, file.strContent, {1200, 1250, APPEND});
    }
}

TEST(FileCaptureFaults, FileShrinkingDuringTheReadSendsNothingAndTheNextChangeSeesTheNewFile)
{
    const std::string a = Text(1000, 1), b = Text(200, 2), c = Text(300, 3), rewritten = Text(100, 4);
    struct SETUP {
        const char* szName;
        std::vector<std::string> before;  // files that bring the source into its phase
        std::string strChanged;
        int nPhase;
    };
    const SETUP setups[] = {
        {"undecided", {}, a + b, UNDECIDED},
        {"append mode", {a + b}, a + b + c, APPEND},
        {"append mode, truncated", {a + b}, c.substr(0, 150), APPEND},
        {"refresh mode", {c}, b, REFRESH},
    };
    for (const auto& setup : setups) {
        for (int afterRead = 1; afterRead <= 3; ++afterRead) {
            SCOPED_TRACE(std::string(setup.szName) + ", shrinks after read " + std::to_string(afterRead));
            CMemoryFile file(a);
            CFakeTicks ticks;
            CFileCapture capture;
            capture.TakeStartSnapshot(file, PATH);
            for (const auto& content : setup.before) {
                file.strContent = content;
                ASSERT_EQ(FILE_OUTCOME::Piece, capture.OnDirChange(MOD, PATH, 0, file, ticks).eOutcome);
            }
            ASSERT_EQ(setup.nPhase, capture.State().nPhase);
            const FILE_STATE& s = capture.State();
            const EXPECTED_STATE before{s.nOffset, s.nLength, s.nPhase};
            const std::string snapshotBefore = SnapshotOf(capture);

            file.strContent = setup.strChanged;
            file.strRewrite = rewritten;
            file.nRewriteAfterRead = afterRead;
            const FILE_CHANGE_RESULT r = capture.OnDirChange(MOD, PATH, 0, file, ticks);
            if (file.strContent != rewritten) {
                // This phase reads fewer times: the file never shrank under it.
                EXPECT_TRUE(r.eOutcome == FILE_OUTCOME::Piece || r.eOutcome == FILE_OUTCOME::Moved);
                continue;
            }
            EXPECT_EQ(FILE_OUTCOME::Abandoned, r.eOutcome);
            EXPECT_EQ(0, r.nPieceLen);
            EXPECT_EQ(before.nOffset, s.nOffset);
            EXPECT_EQ(before.nLength, s.nLength);
            EXPECT_EQ(before.nPhase, s.nPhase);
            EXPECT_EQ(snapshotBefore, SnapshotOf(capture));

            file.nRewriteAfterRead = 0;
            const FILE_CHANGE_RESULT next = capture.OnDirChange(MOD, PATH, 0, file, ticks);
            EXPECT_EQ(WithZero(rewritten), PieceOf(next)) << "the shrunk file is new text, in every mode";
            ExpectStateOfFile(capture, file.strContent, {0, 100, setup.nPhase == APPEND ? APPEND : REFRESH});
        }
    }
}

// ---------------------------------------------------------------------------
// A file removed or renamed away and another put in its place

TEST(FileCaptureReplaced, AfterARemovalANewFileIsTakenWholeEvenWhereItsBytesMatch)
{
    const std::string a = Text(1000, 1), b = Text(200, 2), c = Text(50, 3);
    const FILE_IDENTITY first{7, 100, 5000};
    const FILE_IDENTITY other{7, 101, 6000};
    const struct {
        const char* szName;
        uint32_t dwRecord;  // reported before the change; 0: none
        FILE_IDENTITY identityAfter;
        std::string strPiece;
    } cases[] = {
        {"removed, another file", FILE_CHANGE_REMOVED, other, a + b + c},
        {"renamed away, another file", FILE_CHANGE_RENAMED_OLD_NAME, other, a + b + c},
        {"removed, the same file back", FILE_CHANGE_REMOVED, first, c},
        {"no removal reported: appended", 0, first, c},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.szName);
        CMemoryFile file(a);
        file.identity = first;
        CFakeTicks ticks;
        CFileCapture capture;
        capture.TakeStartSnapshot(file, PATH);
        EXPECT_EQ(first, capture.State().identity);
        file.strContent = a + b;
        ASSERT_EQ(WithZero(b), PieceOf(capture.OnDirChange(MOD, PATH, 0, file, ticks)));

        if (k.dwRecord != 0) {
            EXPECT_EQ(FILE_OUTCOME::Ignored, capture.OnDirChange(k.dwRecord, PATH, 0, file, ticks).eOutcome);
        }
        file.identity = k.identityAfter;
        file.strContent = a + b + c;
        EXPECT_EQ(WithZero(k.strPiece), PieceOf(capture.OnDirChange(MOD, PATH, 0, file, ticks)));
        EXPECT_EQ(k.identityAfter, capture.State().identity);
        EXPECT_EQ(APPEND, capture.State().nPhase);
    }
}

// A file renamed into place is another file, even with the text of the one
// before; reported twice (found by a look, then by its record), it is the same.
TEST(FileCaptureReplaced, AFileRenamedIntoPlaceIsTakenWholeOnce)
{
    const std::string a = Text(1000, 1), b = Text(200, 2), r = Text(300, 3);
    const struct {
        const char* szName;
        FILE_IDENTITY identityAfter;
        bool bPiece;
    } cases[] = {
        {"another file with the same text", FILE_IDENTITY{7, 101, 6000}, true},
        {"the file taken last, reported again", FILE_IDENTITY{7, 100, 5000}, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.szName);
        CMemoryFile file(a);
        file.identity = FILE_IDENTITY{7, 100, 5000};
        CFakeTicks ticks;
        CFileCapture capture;
        capture.TakeStartSnapshot(file, PATH);
        file.strContent = a + b;
        ASSERT_EQ(WithZero(b), PieceOf(capture.OnDirChange(MOD, PATH, 0, file, ticks)));
        // What the last rename brought, taken whole.
        file.identity = FILE_IDENTITY{7, 100, 5000};
        file.strContent = r;
        ASSERT_EQ(WithZero(r), PieceOf(capture.OnDirChange(FILE_CHANGE_RENAMED_NEW_NAME, PATH, 0, file, ticks)));

        file.identity = k.identityAfter;
        const FILE_CHANGE_RESULT again = capture.OnDirChange(FILE_CHANGE_RENAMED_NEW_NAME, PATH, 0, file, ticks);
        EXPECT_EQ(k.bPiece ? WithZero(r) : std::string(), PieceOf(again));
        ExpectStateOfFile(capture, r, {0, 300, APPEND});
    }
}

// Asking a file for its identity costs more than reading it: plain appends do not ask.
TEST(FileCaptureReplaced, PlainAppendsDoNotAskForTheIdentity)
{
    const std::string a = Text(1000, 1);
    CMemoryFile file(a);
    file.identity = FILE_IDENTITY{7, 100, 5000};
    CFakeTicks ticks;
    CFileCapture capture;
    capture.TakeStartSnapshot(file, PATH);
    file.nIdentityAsked = 0;
    for (uint32_t k = 0; k < 5; ++k) {
        file.strContent += Text(100, 10 + k);
        ASSERT_EQ(FILE_OUTCOME::Piece, capture.OnDirChange(MOD, PATH, 0, file, ticks).eOutcome);
    }
    EXPECT_EQ(0, file.nIdentityAsked);
    file.strContent = Text(300, 30);
    ASSERT_EQ(FILE_OUTCOME::Piece, capture.OnDirChange(MOD, PATH, 0, file, ticks).eOutcome);
    EXPECT_EQ(1, file.nIdentityAsked) << "the region restarted: the identity of the new file is kept";
}

// ---------------------------------------------------------------------------
// Changes that could not be taken are to be taken again later

TEST(FileCaptureRetry, ASkippedChangeAsksToBeTakenAgain)
{
    const std::string a = Text(1000, 1), b = Text(200, 2);
    CMemoryFile file(a);
    CFakeTicks ticks;
    CFileCapture capture;
    capture.TakeStartSnapshot(file, PATH);
    file.strContent = a + b;

    // Held by a writer: tried again later and later, but at least once a second.
    file.bLocked = true;
    const int expectedDelays[] = {20, 40, 80, 160, 320, 640, 1000, 1000, 1000};
    for (const int delay : expectedDelays) {
        const FILE_CHANGE_RESULT r = capture.OnDirChange(MOD, PATH, 0, file, ticks);
        EXPECT_EQ(FILE_OUTCOME::NotOpened, r.eOutcome);
        EXPECT_EQ(delay, r.nRetryMs);
    }
    file.bLocked = false;
    FILE_CHANGE_RESULT r = capture.OnDirChange(MOD, PATH, 0, file, ticks);
    EXPECT_EQ(WithZero(b), PieceOf(r));
    EXPECT_EQ(-1, r.nRetryMs);
    file.bLocked = true;
    EXPECT_EQ(20, capture.OnDirChange(MOD, PATH, 0, file, ticks).nRetryMs) << "the back-off starts afresh";

    // Missing: nothing to wait for; its return is a change of its own.
    file.bLocked = false;
    file.bExists = false;
    r = capture.OnDirChange(MOD, PATH, 0, file, ticks);
    EXPECT_EQ(FILE_OUTCOME::NotOpened, r.eOutcome);
    EXPECT_EQ(-1, r.nRetryMs);

    // Nothing could be read: tried again.
    file.bExists = true;
    file.strContent = a + b + b;
    file.nReadableEnd = 0;
    r = capture.OnDirChange(MOD, PATH, 0, file, ticks);
    EXPECT_EQ(FILE_OUTCOME::Abandoned, r.eOutcome);
    EXPECT_GE(r.nRetryMs, 0);
}

TEST(FileCaptureRetry, AGatedChangeIsTakenWhenTheGateOpens)
{
    const std::string a = Text(1000, 1), header = Text(40, 2), body = Text(300, 3);
    CMemoryFile file(a);
    CFakeTicks ticks;
    CFileCapture capture;
    capture.TakeStartSnapshot(file, PATH);

    file.strContent = a + header;
    ticks.dwNow = 1000;
    ASSERT_EQ(WithZero(header), PieceOf(capture.OnDirChange(MOD, PATH, 1, file, ticks)));
    file.strContent = a + header + body;
    ticks.dwNow = 1008;
    FILE_CHANGE_RESULT r = capture.OnDirChange(MOD, PATH, 1, file, ticks);
    EXPECT_EQ(FILE_OUTCOME::Gated, r.eOutcome);
    EXPECT_EQ(12, r.nRetryMs) << "the gate opens 20 ms after the last processed change";
    ticks.dwNow = 1020;
    r = capture.OnDirChange(MOD, PATH, 1, file, ticks);
    EXPECT_EQ(WithZero(body), PieceOf(r));
    EXPECT_EQ(-1, r.nRetryMs);
}

// A change gated out may have been a second report of a write already taken:
// taken again, it hands over only what differs from the text taken last.
TEST(FileCaptureRetry, ARetryHandsOverOnlyWhatIsNewWhateverTheReceiptType)
{
    const std::string a = Text(1000, 1), r1 = Text(300, 2), more = Text(80, 3), b = Text(200, 4);
    const struct {
        const char* szName;
        std::string strTaken;  // the file as the last processed change took it
        std::string strNow;
        FILE_OUTCOME eOutcome;
        std::string strPiece;
    } cases[] = {
        {"append mode, nothing new", a + b, a + b, FILE_OUTCOME::Unchanged, ""},
        {"append mode, appended", a + b, a + b + more, FILE_OUTCOME::Piece, more},
        {"refresh mode, the same receipt", r1, r1, FILE_OUTCOME::Unchanged, ""},
        {"refresh mode, its second part written", r1, r1 + more, FILE_OUTCOME::Piece, more},
        {"refresh mode, another receipt", r1, b, FILE_OUTCOME::Piece, b},
    };
    for (const int receiptType : {0, 1}) {
        for (const auto& k : cases) {
            SCOPED_TRACE(std::string(k.szName) + ", receipt type " + std::to_string(receiptType));
            CMemoryFile file(a);
            CFakeTicks ticks;
            CFileCapture capture;
            capture.TakeStartSnapshot(file, PATH);
            file.strContent = k.strTaken;
            ticks.dwNow = 1000;
            ASSERT_EQ(FILE_OUTCOME::Piece, capture.OnDirChange(MOD, PATH, receiptType, file, ticks).eOutcome);
            file.strContent = k.strNow;
            ticks.dwNow = 1020;
            const FILE_CHANGE_RESULT r = capture.OnDirChange(FILE_CHANGE_RETRY, PATH, receiptType, file, ticks);
            EXPECT_EQ(k.eOutcome, r.eOutcome);
            if (k.eOutcome == FILE_OUTCOME::Piece) {
                EXPECT_EQ(WithZero(k.strPiece), PieceOf(r));
            } else {
                EXPECT_EQ(receiptType == 1 ? 1000u : 0u, capture.LastChangeTick())
                    << "handing nothing over, the retry leaves the gate open";
            }
            EXPECT_EQ(-1, r.nRetryMs);
        }
    }
}

// Receipt type 1 takes every change 20 ms apart, even one that leaves the bytes
// as they were; but one write reported twice, later than that (by its record
// and by the watcher's look at the folder), is one change.
TEST(FileCaptureRetry, OneWriteReportedTwiceIsTakenOnce)
{
    const std::string a = Text(1000, 1), r1 = Text(300, 2), b = Text(200, 3);
    const struct {
        const char* szName;
        std::string strWritten;
        std::string strPiece;            // of the first report
        std::string strSameBytesAgain;   // what a rewrite with the same bytes hands over
    } cases[] = {
        {"refresh mode", r1, r1, r1},
        {"append mode", a + b, b, ""},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.szName);
        CMemoryFile file(a);
        file.bWriteTimeKnown = true;
        file.nWriteTime = 100;
        CFakeTicks ticks;
        CFileCapture capture;
        capture.TakeStartSnapshot(file, PATH);
        file.strContent = k.strWritten;
        file.nWriteTime = 200;
        ticks.dwNow = 1000;
        ASSERT_EQ(WithZero(k.strPiece), PieceOf(capture.OnDirChange(MOD, PATH, 1, file, ticks)));
        ticks.dwNow = 1300;
        const FILE_CHANGE_RESULT again = capture.OnDirChange(MOD, PATH, 1, file, ticks);
        EXPECT_EQ(FILE_OUTCOME::Unchanged, again.eOutcome);
        EXPECT_EQ(1000u, capture.LastChangeTick());
        file.nWriteTime = 300;
        ticks.dwNow = 1600;
        EXPECT_EQ(WithZero(k.strSameBytesAgain), PieceOf(capture.OnDirChange(MOD, PATH, 1, file, ticks)))
            << "written again with the same bytes";
    }
}

// A driver that empties its file and then writes the receipt: the empty file
// handed nothing over, so it does not close the gate on the receipt.
TEST(FileCaptureRetry, AnEmptiedFileLeavesTheGateOpen)
{
    const std::string a = Text(1000, 1), receipt = Text(300, 2);
    CMemoryFile file(a);
    CFakeTicks ticks;
    CFileCapture capture;
    capture.TakeStartSnapshot(file, PATH);
    file.strContent = "";
    ticks.dwNow = 1000;
    EXPECT_EQ(FILE_OUTCOME::Emptied, capture.OnDirChange(MOD, PATH, 1, file, ticks).eOutcome);
    file.strContent = receipt;
    ticks.dwNow = 1005;
    EXPECT_EQ(WithZero(receipt), PieceOf(capture.OnDirChange(MOD, PATH, 1, file, ticks)));
}

#ifdef _WIN32
// ---------------------------------------------------------------------------
// The system's reader on a real file that a writer keeps changing.

TEST(FileCaptureWin, RealFileAppendedByAWriterThatKeepsItOpen)
{
    CTempFolder folder;
    const std::string path = folder.File("till.txt");
    const std::string a = Text(1000, 1), b = Text(200, 2);
    WriteWholeFile(path, a);

    CWinFileReader reader;
    CWinTickSource ticks;
    CFileCapture capture;
    capture.TakeStartSnapshot(reader, path);
    EXPECT_EQ(1000, capture.State().nLength);

    HANDLE hWriter = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hWriter);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(hWriter, b.data(), static_cast<DWORD>(b.size()), &written, nullptr));
    const FILE_CHANGE_RESULT r = capture.OnDirChange(FILE_CHANGE_MODIFIED, path, 0, reader, ticks);
    CloseHandle(hWriter);
    EXPECT_EQ(WithZero(b), PieceOf(r));

    // The capture let go of the file: a writer can have it alone, and delete it.
    const HANDLE hAlone =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, hAlone) << GetLastError();
    if (hAlone != INVALID_HANDLE_VALUE)
        CloseHandle(hAlone);
    EXPECT_TRUE(DeleteFileA(path.c_str())) << GetLastError();
    EXPECT_EQ(FILE_OUTCOME::NotOpened, capture.OnDirChange(FILE_CHANGE_MODIFIED, path, 0, reader, ticks).eOutcome);
}

// The same file keeps its volume and index while it is written; a file deleted
// and written anew under the same name, or renamed into place, has another identity.
TEST(FileCaptureWin, IdentityTellsAnotherFileUnderTheSameName)
{
    CTempFolder folder;
    const std::string path = folder.File("till.txt");
    auto identityOf = [&](FILE_IDENTITY& id) {
        CWinFileReader reader;
        if (!reader.Open(path))
            return false;
        return reader.Identity(id);
    };
    WriteWholeFile(path, Text(1000, 1));
    FILE_IDENTITY first, now;
    ASSERT_TRUE(identityOf(first));
    EXPECT_TRUE(first.IsKnown());

    Sleep(20);
    AppendToFile(path, Text(200, 2));
    WriteWholeFile(path, Text(100, 3));
    ASSERT_TRUE(identityOf(now));
    // Wine gives the time of the file's last change as its creation time; the
    // volume and the file index stay.
    EXPECT_EQ(first.dwVolumeSerial, now.dwVolumeSerial) << "appended and truncated: the same file";
    EXPECT_EQ(first.nFileIndex, now.nFileIndex) << "appended and truncated: the same file";

    const struct {
        const char* szHow;
        std::function<void()> replace;
    } ways[] = {
        {"deleted and written anew",
         [&] {
             ASSERT_TRUE(DeleteFileA(path.c_str()));
             WriteWholeFile(path, Text(100, 3));
         }},
        {"renamed into place",
         [&] {
             WriteWholeFile(folder.File("incoming.tmp"), Text(100, 3));
             ASSERT_TRUE(MoveFileExA(folder.File("incoming.tmp").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
         }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.szHow);
        FILE_IDENTITY before;
        ASSERT_TRUE(identityOf(before));
        Sleep(20);
        way.replace();
        ASSERT_TRUE(identityOf(now));
        EXPECT_NE(before, now);
    }
    CWinFileReader reader;
    EXPECT_FALSE(reader.Open(folder.File("missing.txt")));
    EXPECT_TRUE(reader.OpenFoundNoFile());
}

// A driver deletes its file while the capture is reading it: the driver's
// call succeeds, and the capture reads on.
TEST(FileCaptureWin, ADriverCanDeleteTheFileWhileTheCaptureReadsIt)
{
    CTempFolder folder;
    const std::string path = folder.File("till.txt");
    const std::string first = Text(500, 1);
    WriteWholeFile(path, first);
    CWinFileReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_TRUE(DeleteFileA(path.c_str())) << GetLastError();
    uint8_t buffer[500] = {};
    EXPECT_EQ(500, reader.ReadAt(0, buffer, 500));
    EXPECT_EQ(first, std::string(reinterpret_cast<const char*>(buffer), 500));
}

// A writer that shares nothing holds the file: the open fails, and the file is known to be there.
TEST(FileCaptureWin, FileHeldByAWriterIsToldFromAMissingOne)
{
    CTempFolder folder;
    const std::string path = folder.File("till.txt");
    WriteWholeFile(path, "receipt\r\n");
    const HANDLE hWriter =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hWriter);
    CWinFileReader reader;
    EXPECT_FALSE(reader.Open(path));
    EXPECT_FALSE(reader.OpenFoundNoFile());
    CloseHandle(hWriter);
    EXPECT_TRUE(reader.Open(path));
}

TEST(FileCaptureWin, ReaderReportsWhatTheFileHolds)
{
    CTempFolder folder;
    const std::string path = folder.File("r.txt");
    const std::string content = Text(5000, 9);
    WriteWholeFile(path, content);
    CWinFileReader reader;
    EXPECT_EQ(-1, reader.Size()) << "not open";
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(5000, reader.Size());
    const struct {
        int64_t nOffset;
        int nCount;
        int nExpected;
    } cases[] = {{0, 10, 10}, {4990, 100, 10}, {5000, 10, 0}, {9000, 10, 0}};
    for (const auto& c : cases) {
        uint8_t buffer[100] = {};
        EXPECT_EQ(c.nExpected, reader.ReadAt(c.nOffset, buffer, c.nCount)) << c.nOffset;
        EXPECT_EQ(content.substr(static_cast<size_t>(std::min<int64_t>(c.nOffset, 5000)), static_cast<size_t>(c.nExpected)),
                  std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(c.nExpected)));
    }
    reader.Close();
    EXPECT_FALSE(reader.Open(folder.File("missing.txt")));
}
#endif

}  // namespace
