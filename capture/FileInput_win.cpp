#include "capture/FileInput.h"

#include "base/Trace.h"
#include "capture/FileCapture_win.h"

#include <algorithm>

namespace {

std::string LowerCase(std::string text)
{
    if (!text.empty())
        CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace

int CFileInput::FindFileSource(const std::string& strPath) const
{
    const std::string wanted = LowerCase(strPath);
    for (size_t k = 0; k < m_Sources.size(); ++k)
        if (m_LowerPaths[k] == wanted)
            return m_Sources[k].nSource;
    return -1;
}

void CFileInput::Start(const std::vector<FILE_SOURCE>& sources, CDeliverySink& sink, CInputEvents& events)
{
    Stop();
    m_Sources = sources;
    m_LowerPaths.clear();
    for (const FILE_SOURCE& source : m_Sources) m_LowerPaths.push_back(LowerCase(source.strPath));
    m_pSink = &sink;
    m_pEvents = &events;
    if (!m_Sources.empty())
        m_Retry.Start([this](int i) { RetryChange(i); });

    // One watcher per folder, kept in the slot of the folder's first source.
    struct FOLDER_GROUP {
        std::string strFolder;
        std::vector<WATCHED_NAME> files;
    };
    std::vector<FOLDER_GROUP> groups;
    std::vector<const FILE_SOURCE*> unwatched;
    for (const FILE_SOURCE& source : m_Sources) {
        if (source.nSource < 0 || source.nSource >= MAX_SOURCES)
            continue;
        if (!source.bWatch) {
            unwatched.push_back(&source);
            continue;
        }
        const size_t slash = source.strPath.rfind('\\');
        const std::string folder = slash == std::string::npos ? std::string() : source.strPath.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? source.strPath : source.strPath.substr(slash + 1);
        const std::string lowerFolder = LowerCase(folder);
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const FOLDER_GROUP& g) { return LowerCase(g.strFolder) == lowerFolder; });
        if (group == groups.end())
            group = groups.insert(groups.end(), FOLDER_GROUP{folder, {}});
        group->files.push_back(WATCHED_NAME{name, source.nSource});
    }
    for (const FOLDER_GROUP& group : groups) {
        // The watcher's first report of a file waits for its source's lock, so it
        // sees the snapshot; a change written in between is captured, not lost.
        // Locks are taken in slot order, as the watcher never holds two.
        std::vector<int> slots;
        for (const WATCHED_NAME& file : group.files) slots.push_back(file.nSlot);
        std::sort(slots.begin(), slots.end());
        slots.erase(std::unique(slots.begin(), slots.end()), slots.end());
        std::vector<std::unique_lock<std::mutex>> locks;
        for (int i : slots) locks.emplace_back(m_FileCaptureMutex[i]);
        // A watcher serving several sources hands each change to its source's
        // worker, so that files written at once are read side by side.
        if (slots.size() > 1)
            for (int i : slots)
                m_ChangeWorker[i].Start([this, i](uint32_t dwAction, const std::string& strPath) {
                    CaptureChange(i, dwAction, strPath);
                });
        CReadDirChange& watcher = m_DirWatcher[group.files.front().nSlot];
        watcher.SetCallback(this);
        watcher.StartWatch(group.strFolder, group.files);
        for (const WATCHED_NAME& file : group.files) {
            CWinFileReader reader;
            m_FileCapture[file.nSlot].TakeStartSnapshot(reader, group.strFolder + file.strFileName);
            CatchUp(file.nSlot);
        }
    }
    for (const FILE_SOURCE* source : unwatched) {
        std::lock_guard<std::mutex> lock(m_FileCaptureMutex[source->nSource]);
        CWinFileReader reader;
        m_FileCapture[source->nSource].TakeStartSnapshot(reader, source->strPath);
        CatchUp(source->nSource);
    }
}

void CFileInput::Stop()
{
    for (int i = 0; i < MAX_SOURCES; ++i)
        m_DirWatcher[i].StopWatch();
    for (int i = 0; i < MAX_SOURCES; ++i)
        m_ChangeWorker[i].Stop();
    m_Retry.Stop();
    for (int i = 0; i < MAX_SOURCES; ++i) {
        m_FileCapture[i].SetUndecided();
        m_Positions[i].Close();
    }
}

const FILE_SOURCE* CFileInput::SourceOf(int i) const
{
    for (const FILE_SOURCE& source : m_Sources)
        if (source.nSource == i)
            return &source;
    return nullptr;
}

void CFileInput::CatchUp(int i)
{
    const FILE_SOURCE* pSource = SourceOf(i);
    if (pSource == nullptr || pSource->strPositionFile.empty())
        return;
    CAPTURE_POSITION known;
    const bool bKnown = m_Positions[i].Open(pSource->strPositionFile, known);
    m_PositionIdentity[i] = FILE_IDENTITY();
    m_nPositionLength[i] = 0;
    CWinFileReader reader;
    FILE_IDENTITY identity;
    if (!reader.Open(pSource->strPath) || !reader.Identity(identity))
        return;
    const int64_t nEnd = m_FileCapture[i].State().nLength;
    m_PositionIdentity[i] = identity;
    m_nPositionLength[i] = nEnd;
    const CATCH_UP range = CatchUpRange(bKnown ? &known : nullptr, pSource->strPath, identity, nEnd);
    if (range.IsEmpty())
        return;
    std::vector<uint8_t> piece(static_cast<size_t>(range.nTo - range.nFrom) + 1, 0);
    int nGot = 0;
    while (nGot < static_cast<int>(piece.size()) - 1) {
        const int n = reader.ReadAt(range.nFrom + nGot, piece.data() + nGot, static_cast<int>(piece.size()) - 1 - nGot);
        if (n <= 0)
            break;
        nGot += n;
    }
    if (nGot <= 0)
        return;
    Trace("[Tillvox] POS:%d %d bytes appended to %s while not captured\n", i, nGot, pSource->strPath.c_str());
    piece[static_cast<size_t>(nGot)] = 0;
    m_pSink->Deliver(i, piece.data(), nGot + 1);
    m_Positions[i].Save(CAPTURE_POSITION{pSource->strPath, identity, range.nFrom + nGot});
}

void CFileInput::RememberPosition(int i, const std::string& strPath, int nReadPhase)
{
    if (!m_Positions[i].IsOpen())
        return;
    if (nReadPhase != FILE_PHASE_APPEND) {
        m_Positions[i].Forget();
        return;
    }
    const FILE_SOURCE* pSource = SourceOf(i);
    if (pSource == nullptr)
        return;
    const int64_t nLength = m_FileCapture[i].State().nLength;
    if (!m_PositionIdentity[i].IsKnown() || nLength < m_nPositionLength[i]) {
        CWinFileReader reader;
        if (!reader.Open(strPath) || !reader.Identity(m_PositionIdentity[i]))
            return;
    }
    m_nPositionLength[i] = nLength;
    m_Positions[i].Save(CAPTURE_POSITION{pSource->strPath, m_PositionIdentity[i], nLength});
}

int32_t CFileInput::OnDirChange(uint32_t dwAction, const std::string& strPath, uint32_t)
{
    const int i = FindFileSource(strPath);
    if (i < 0 || i >= MAX_SOURCES)
        return 0;
    if (m_ChangeWorker[i].IsRunning())
        m_ChangeWorker[i].Post(dwAction, strPath);
    else
        CaptureChange(i, dwAction, strPath);
    return 0;
}

void CFileInput::CaptureChange(int i, uint32_t dwAction, const std::string& strPath)
{
    int nReceiptType = -1;
    for (const FILE_SOURCE& source : m_Sources)
        if (source.nSource == i)
            nReceiptType = source.nReceiptType;
    std::lock_guard<std::mutex> lock(m_FileCaptureMutex[i]);
    CWinFileReader reader;
    CWinTickSource ticks;
    const FILE_CHANGE_RESULT result = m_FileCapture[i].OnDirChange(dwAction, strPath, nReceiptType, reader, ticks);
    if (result.nRetryMs >= 0) {
        m_RetryPath[i] = strPath;
        m_Retry.Schedule(i, result.nRetryMs);
    } else if (result.eOutcome != FILE_OUTCOME::Ignored) {
        m_Retry.Cancel(i);
    }
    if (result.eOutcome != FILE_OUTCOME::Piece)
        return;
    if (result.nReadPhase == FILE_PHASE_APPEND)
        Trace("kassimo This file is append mode\n");
    else if (result.nReadPhase == FILE_PHASE_REFRESH)
        Trace("kassimo This file is refresh mode\n");
    m_pSink->Deliver(i, result.pPiece, result.nPieceLen);
    RememberPosition(i, strPath, result.nReadPhase);
}

void CFileInput::RetryChange(int i)
{
    std::string strPath;
    {
        std::lock_guard<std::mutex> lock(m_FileCaptureMutex[i]);
        strPath = m_RetryPath[i];
    }
    CaptureChange(i, FILE_CHANGE_RETRY, strPath);
}

void CFileInput::OnFolderState(int nSlot, bool bPresent)
{
    if (m_pEvents)
        m_pEvents->OnInputStatus(nSlot, bPresent ? INPUT_STATUS::FolderBack : INPUT_STATUS::FolderMissing);
}
