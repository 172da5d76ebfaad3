#include "capture/FileInput.h"

#include "base/Trace.h"
#include "capture/FileCapture_win.h"

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
    for (const FILE_SOURCE& source : m_Sources)
        if (LowerCase(source.strPath) == wanted)
            return source.nSource;
    return -1;
}

void CFileInput::Start(const std::vector<FILE_SOURCE>& sources, CDeliverySink& sink, CInputEvents& events)
{
    Stop();
    m_Sources = sources;
    m_pSink = &sink;
    m_pEvents = &events;
    for (const FILE_SOURCE& source : m_Sources) {
        const int i = source.nSource;
        if (i < 0 || i >= MAX_SOURCES)
            continue;
        // The watcher's first report waits for this lock, so it sees the snapshot.
        std::lock_guard<std::mutex> lock(m_FileCaptureMutex[i]);
        if (source.bWatch) {
            const size_t slash = source.strPath.rfind('\\');
            const std::string folder = slash == std::string::npos ? std::string() : source.strPath.substr(0, slash + 1);
            const std::string name = slash == std::string::npos ? source.strPath : source.strPath.substr(slash + 1);
            m_DirWatcher[i].SetCallback(this);
            m_DirWatcher[i].StartWatch(folder, name, i);
        }
        CWinFileReader reader;
        m_FileCapture[i].TakeStartSnapshot(reader, source.strPath);
    }
}

void CFileInput::Stop()
{
    for (int i = 0; i < MAX_SOURCES; ++i) {
        m_DirWatcher[i].StopWatch();
        m_FileCapture[i].SetUndecided();
    }
}

int32_t CFileInput::OnDirChange(uint32_t dwAction, const std::string& strPath, uint32_t)
{
    const int i = FindFileSource(strPath);
    if (i < 0 || i >= MAX_SOURCES)
        return 0;
    int nReceiptType = -1;
    for (const FILE_SOURCE& source : m_Sources)
        if (source.nSource == i)
            nReceiptType = source.nReceiptType;
    std::lock_guard<std::mutex> lock(m_FileCaptureMutex[i]);
    CWinFileReader reader;
    CWinTickSource ticks;
    const FILE_CHANGE_RESULT result = m_FileCapture[i].OnDirChange(dwAction, strPath, nReceiptType, reader, ticks);
    if (result.eOutcome != FILE_OUTCOME::Piece)
        return 0;
    if (result.nReadPhase == FILE_PHASE_APPEND)
        Trace("kassimo This file is append mode\n");
    else if (result.nReadPhase == FILE_PHASE_REFRESH)
        Trace("kassimo This file is refresh mode\n");
    m_pSink->Deliver(i, result.pPiece, result.nPieceLen);
    return 0;
}

void CFileInput::OnFolderState(int nSlot, bool bPresent)
{
    if (m_pEvents)
        m_pEvents->OnInputStatus(nSlot, bPresent ? INPUT_STATUS::FolderBack : INPUT_STATUS::FolderMissing);
}
