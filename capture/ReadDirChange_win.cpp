#include "capture/ReadDirChange.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace {

void TraceFailure(const char* szWhat, const std::string& strFolder, DWORD dwError)
{
    char line[600];
    std::snprintf(line, sizeof line, "[Tillvox] directory watcher: %s %s failed, error %lu\n", szWhat,
                  strFolder.c_str(), static_cast<unsigned long>(dwError));
    OutputDebugStringA(line);
}

std::string LowerCase(std::string text)
{
    if (!text.empty())
        CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::string ToAnsi(const WCHAR* pName, int nChars)
{
    if (nChars <= 0)
        return std::string();
    const int nBytes = WideCharToMultiByte(CP_ACP, 0, pName, nChars, nullptr, 0, nullptr, nullptr);
    std::string name(static_cast<size_t>(nBytes > 0 ? nBytes : 0), '\0');
    if (nBytes > 0)
        WideCharToMultiByte(CP_ACP, 0, pName, nChars, &name[0], nBytes, nullptr, nullptr);
    return name;
}

constexpr DWORD RECORD_HEADER_SIZE = offsetof(FILE_NOTIFY_INFORMATION, FileName);
constexpr DWORD WATCH_ARM_WAIT_MS = 2000;
// How often a watcher tries again to open a folder that is missing.
constexpr DWORD FOLDER_RETRY_MS = 2000;

// A look by path: the file's attributes as the directory shows them, without opening it.
FILE_LOOK LookAt(const std::string& strPath)
{
    FILE_LOOK look;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(strPath.c_str(), GetFileExInfoStandard, &data))
        return look;
    look.bPresent = true;
    look.nSize = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    look.nWriteTime =
        (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    look.nCreationTime =
        (static_cast<uint64_t>(data.ftCreationTime.dwHighDateTime) << 32) | data.ftCreationTime.dwLowDateTime;
    return look;
}

// The name as the folder spells it, as a change record would; the name as
// given when the file cannot be found.
std::string SpelledOnDisk(const std::string& strFolder, const std::string& strFileName)
{
    WIN32_FIND_DATAA found;
    const HANDLE hFind = FindFirstFileA((strFolder + strFileName).c_str(), &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return strFileName;
    FindClose(hFind);
    return found.cFileName;
}

}  // namespace

bool CRDCHandle::IsValid() const
{
    return m_hHandle != nullptr && m_hHandle != INVALID_HANDLE_VALUE;
}

void CRDCHandle::Reset(void* hHandle)
{
    if (IsValid())
        CloseHandle(m_hHandle);
    m_hHandle = hHandle;
}

CReadDirChange::~CReadDirChange()
{
    StopWatch();
}

int CReadDirChange::SetCallback(CRDCCallback* pCallback)
{
    m_pCallback = pCallback;
    return 1;
}

int CReadDirChange::StartWatch(const std::string& strFolder, const std::string& strFileName, int nSlot)
{
    return StartWatch(strFolder, std::vector<WATCHED_NAME>{WATCHED_NAME{strFileName, nSlot}});
}

int CReadDirChange::StartWatch(const std::string& strFolder, const std::vector<WATCHED_NAME>& files)
{
    if (m_pCallback == nullptr || m_Worker.joinable())
        return 0;
    std::vector<int> slots;
    for (const WATCHED_NAME& file : files)
        if (file.nSlot >= 0 && file.nSlot < RDC_TABLE_SIZE)
            slots.push_back(file.nSlot);
    if (slots.empty())
        return 0;
    m_nStop = 0;
    m_strFolder = strFolder;
    m_Slots = slots;
    for (auto& entry : m_FileTable)
        entry = WATCHED_FILE();
    for (const WATCHED_NAME& file : files)
        if (file.nSlot >= 0 && file.nSlot < RDC_TABLE_SIZE)
            m_FileTable[file.nSlot] =
                WATCHED_FILE{file.strFileName, LowerCase(file.strFileName), this, FILE_LOOK(), file.strFileName};
    m_hStopEvent.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!m_hStopEvent.IsValid()) {
        TraceFailure("stop event for", strFolder, GetLastError());
        return 0;
    }
    m_hArmedEvent.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    try {
        m_Worker = std::thread(WatchThreadProc, this);
    } catch (const std::system_error&) {
        TraceFailure("worker thread for", strFolder, GetLastError());
        m_hStopEvent.Reset();
        return 0;
    }
    // A change written right after the start snapshot must not be missed.
    WaitForSingleObject(m_hArmedEvent.Get(), WATCH_ARM_WAIT_MS);
    return 0;
}

int CReadDirChange::StopWatch()
{
    if (!m_Worker.joinable())
        return 0;
    m_nStop = 1;
    SetEvent(m_hStopEvent.Get());
    // The stop event alone ends the wait. The wake-up file is still created, as other
    // watchers of the folder and observers of it have always seen at a stop.
    const std::string strWakeUp = m_strFolder + RDC_WAKE_UP_FILE;
    HANDLE hWakeUp = CreateFileA(strWakeUp.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hWakeUp != INVALID_HANDLE_VALUE)
        CloseHandle(hWakeUp);
    m_Worker.join();
    m_hStopEvent.Reset();
    DeleteFileA(strWakeUp.c_str());
    return 1;
}

int CReadDirChange::FindWatchedFile(const std::string& strName) const
{
    const std::string strLower = LowerCase(strName);
    for (int i = 0; i < RDC_TABLE_SIZE; ++i) {
        if (m_FileTable[i].pOwner != nullptr && m_FileTable[i].strLowerName == strLower)
            return i;
    }
    return -1;
}

void CReadDirChange::ReportRecords(const uint8_t* pBuffer, uint32_t dwBytes)
{
    uint32_t dwAt = 0;
    while (m_nStop == 0 && dwAt <= dwBytes && dwBytes - dwAt >= RECORD_HEADER_SIZE) {
        FILE_NOTIFY_INFORMATION header;
        std::memcpy(&header, pBuffer + dwAt, RECORD_HEADER_SIZE);
        if (header.FileNameLength > dwBytes - dwAt - RECORD_HEADER_SIZE)
            break;
        const int nChars = static_cast<int>(header.FileNameLength / sizeof(WCHAR));
        std::wstring wideName(static_cast<size_t>(nChars), L'\0');
        if (nChars > 0)
            std::memcpy(&wideName[0], pBuffer + dwAt + RECORD_HEADER_SIZE, static_cast<size_t>(nChars) * sizeof(WCHAR));
        const std::string strName = ToAnsi(wideName.c_str(), nChars);
        const int nSlot = FindWatchedFile(strName);
        if (nSlot >= 0 && m_FileTable[nSlot].pOwner == this) {
            // Looked at before the report, so a write after the capture's read shows at the next sweep.
            m_FileTable[nSlot].look = LookAt(m_strFolder + m_FileTable[nSlot].strFileName);
            m_FileTable[nSlot].strSpelledName = strName;
            m_pCallback->OnDirChange(header.Action, m_strFolder + strName, 0);
        }
        if (header.NextEntryOffset == 0)
            break;
        dwAt += header.NextEntryOffset;
    }
}

void CReadDirChange::LookAtWatchedFiles()
{
    for (auto& entry : m_FileTable) {
        if (entry.pOwner != this)
            continue;
        entry.look = LookAt(m_strFolder + entry.strFileName);
        if (entry.look.bPresent)
            entry.strSpelledName = SpelledOnDisk(m_strFolder, entry.strFileName);
    }
}

void CReadDirChange::SweepWatchedFiles()
{
    m_dwLastSweepTick = GetTickCount();
    for (auto& entry : m_FileTable) {
        if (m_nStop != 0)
            return;
        if (entry.pOwner != this)
            continue;
        const FILE_LOOK now = LookAt(m_strFolder + entry.strFileName);
        const bool bChanged = ChangedSince(entry.look, now);
        // Only a file that came back unreported may be spelled anew; asking the
        // folder for every change found would cost a busy folder dearly.
        if (bChanged && !entry.look.bPresent)
            entry.strSpelledName = SpelledOnDisk(m_strFolder, entry.strFileName);
        entry.look = now;
        if (bChanged)
            m_pCallback->OnDirChange(FILE_ACTION_MODIFIED, m_strFolder + entry.strSpelledName, 0);
    }
}

void CReadDirChange::ReportFolderState(bool bPresent)
{
    for (int nSlot : m_Slots)
        m_pCallback->OnFolderState(nSlot, bPresent);
}

void CReadDirChange::WatchThreadProc(CReadDirChange* pWatcher)
{
    CReadDirChange& w = *pWatcher;
    struct CArmedSignal {
        HANDLE hEvent;
        ~CArmedSignal() { SetEvent(hEvent); }
    } armedOnAnyExit{w.m_hArmedEvent.Get()};
    bool bMissing = false;
    while (w.m_nStop == 0) {
        CRDCHandle hDirectory(CreateFileA(w.m_strFolder.c_str(), FILE_LIST_DIRECTORY,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
        if (hDirectory.IsValid()) {
            const bool bCameBack = bMissing;
            if (bMissing) {
                bMissing = false;
                // The file may have come back with its folder.
                w.SweepWatchedFiles();
            }
            // A removed folder fails the wait: it is opened again, or reported missing.
            if (!w.WatchOpenFolder(hDirectory.Get(), bCameBack) && w.m_nStop == 0)
                continue;
            return;
        }
        if (!bMissing) {
            TraceFailure("opening", w.m_strFolder, GetLastError());
            bMissing = true;
            w.ReportFolderState(false);
        }
        SetEvent(w.m_hArmedEvent.Get());
        WaitForSingleObject(w.m_hStopEvent.Get(), FOLDER_RETRY_MS);
    }
}

bool CReadDirChange::WatchOpenFolder(void* hDirectory, bool bCameBack)
{
    CRDCHandle hIoDone(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!hIoDone.IsValid())
        return true;
    const HANDLE waits[2] = {hIoDone.Get(), m_hStopEvent.Get()};
    alignas(DWORD) uint8_t buffer[WATCH_BUFFER_SIZE];
    bool bArmedSignalled = false;
    // Before the first wait is armed: a write in between shows at the first sweep.
    LookAtWatchedFiles();
    DWORD dwNextLookMs = RDC_SWEEP_MS;

    while (m_nStop == 0) {
        std::memset(buffer, 0, sizeof buffer);
        OVERLAPPED pending = {};
        pending.hEvent = hIoDone.Get();
        if (!ReadDirectoryChangesW(hDirectory, buffer, sizeof buffer, TRUE, RDC_NOTIFY_FILTER, nullptr, &pending,
                                   nullptr)) {
            TraceFailure("waiting for changes in", m_strFolder, GetLastError());
            return false;
        }
        if (!bArmedSignalled) {
            bArmedSignalled = true;
            SetEvent(m_hArmedEvent.Get());
            // Told only now that the folder is watched again, so that whoever
            // hears it may write at once; a write since the look above shows here.
            if (bCameBack) {
                ReportFolderState(true);
                SweepWatchedFiles();
            }
        }
        DWORD dwBytes = 0;
        DWORD dwWait;
        while ((dwWait = WaitForMultipleObjects(2, waits, FALSE, dwNextLookMs)) == WAIT_TIMEOUT && m_nStop == 0) {
            SweepWatchedFiles();
            dwNextLookMs = RDC_SWEEP_MS;
        }
        if (dwWait != WAIT_OBJECT_0) {
            CancelIo(hDirectory);
            // The system may write into the buffer until the cancelled wait has completed.
            GetOverlappedResult(hDirectory, &pending, &dwBytes, TRUE);
            return true;
        }
        const BOOL bDone = GetOverlappedResult(hDirectory, &pending, &dwBytes, FALSE);
        const DWORD dwError = bDone ? ERROR_SUCCESS : GetLastError();
        if (!bDone && dwError != ERROR_NOTIFY_ENUM_DIR) {
            TraceFailure("waiting for changes in", m_strFolder, dwError);
            return false;
        }
        // An overflowed batch names no file: only the files whose look changed
        // are reported, as a refresh-mode source would send an unchanged file again.
        if (!bDone || dwBytes == 0)
            SweepWatchedFiles();
        else
            ReportRecords(buffer, dwBytes);
        // A write whose notification the system dropped shows here, at a later
        // change of the folder; a folder busy with many files is not looked at
        // on every one of them.
        if (GetTickCount() - m_dwLastSweepTick >= RDC_BUSY_SWEEP_MS)
            SweepWatchedFiles();
        dwNextLookMs = RDC_QUIET_LOOK_MS;
    }
    return true;
}
