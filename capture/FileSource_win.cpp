// File sources: the start snapshot, the directory watcher, and the capture of
// each change handed to the source's output.
#include "app/CaptureEngine.h"
#include "capture/FileCapture_win.h"
#include "capture/Trace.h"

#include <vector>

namespace {

std::string LowerCase(const std::string& text)
{
    std::vector<char> buffer(text.begin(), text.end());
    if (!buffer.empty())
        CharLowerBuffA(buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::string(buffer.begin(), buffer.end());
}

}  // namespace

int CCaptureEngine::FindFileSource(const std::string& strPath) const
{
    const std::string wanted = LowerCase(strPath);
    for (size_t i = 0; i < m_PosSettingArray.size(); ++i) {
        const POS_SETTING_INFO& record = *m_PosSettingArray[i];
        if (record.nMonitorType == KIND_FILE && LowerCase(record.strFilePath) == wanted)
            return static_cast<int>(i);
    }
    return -1;
}

void CCaptureEngine::StartFileInputs()
{
    for (int i = 0; i < SourceCount(); ++i) {
        const POS_SETTING_INFO& record = Source(i);
        if (record.nMonitorType != KIND_FILE)
            continue;
        CWinFileReader reader;
        m_FileCapture[i].TakeStartSnapshot(reader, record.strFilePath);
        if (m_OutputFailed[i] != -1)
            continue;
        const size_t slash = record.strFilePath.rfind('\\');
        const std::string folder = slash == std::string::npos ? std::string() : record.strFilePath.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? record.strFilePath : record.strFilePath.substr(slash + 1);
        m_DirWatcher[i].SetCallback(this);
        m_DirWatcher[i].StartWatch(folder, name, i);
    }
}

void CCaptureEngine::StopFileInput(int i)
{
    m_DirWatcher[i].StopWatch();
    m_FileCapture[i].SetUndecided();
}

int32_t CCaptureEngine::OnDirChange(uint32_t dwAction, const std::string& strPath, uint32_t)
{
    const int i = FindFileSource(strPath);
    if (i < 0 || i >= SourceCount())
        return 0;
    std::lock_guard<std::mutex> lock(m_FileCaptureMutex[i]);
    CWinFileReader reader;
    CWinTickSource ticks;
    const FILE_CHANGE_RESULT result =
        m_FileCapture[i].OnDirChange(dwAction, strPath, m_StartReceiptType[i], reader, ticks);
    if (result.eOutcome != FILE_OUTCOME::Piece)
        return 0;
    if (result.nReadPhase == FILE_PHASE_APPEND)
        Trace("kassimo This file is append mode\n");
    else if (result.nReadPhase == FILE_PHASE_REFRESH)
        Trace("kassimo This file is refresh mode\n");
    if (IsTcpOutput(i) && !m_bRunning)
        return 0;
    Deliver(i, result.pPiece, result.nPieceLen);
    return 0;
}
