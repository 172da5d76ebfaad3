#include "output/QueueFile.h"

#include "base/Trace.h"

CQueueFile::CQueueFile(std::string strPath, std::function<void(bool)> onWritable)
    : m_strPath(std::move(strPath)), m_OnWritable(std::move(onWritable))
{
    m_FlushThread = std::thread(&CQueueFile::FlushThreadProc, this);
}

CQueueFile::~CQueueFile()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bStop = true;
    }
    m_Wake.notify_all();
    m_FlushThread.join();
    if (m_hFile.IsValid())
        FlushFileBuffers(m_hFile.Get());
}

bool CQueueFile::ReadAll(std::vector<uint8_t>& out)
{
    out.clear();
    CHandle hFile(CreateFileA(m_strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile.IsValid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return true;
        Trace("[Tillvox] queue file %s cannot be read, error %lu\n", m_strPath.c_str(), error);
        return false;
    }
    uint8_t buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(hFile.Get(), buffer, sizeof buffer, &got, nullptr)) {
            Trace("[Tillvox] queue file %s read failed, error %lu\n", m_strPath.c_str(), GetLastError());
            return false;
        }
        if (got == 0)
            return true;
        out.insert(out.end(), buffer, buffer + got);
    }
}

bool CQueueFile::Append(const uint8_t* bytes, size_t count)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    DWORD written = 0;
    const bool bOk = m_hFile.IsValid() &&
                     WriteFile(m_hFile.Get(), bytes, static_cast<DWORD>(count), &written, nullptr) &&
                     written == count;
    if (!bOk && m_bOk)
        Trace("[Tillvox] queue file %s write failed, error %lu\n", m_strPath.c_str(), GetLastError());
    m_bOk = bOk;
    m_bDirty = true;
    return bOk;
}

bool CQueueFile::Replace(const uint8_t* bytes, size_t count)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_hFile.Close();
    const std::string temp = m_strPath + ".new";
    bool bOk = false;
    {
        CHandle hTemp(CreateFileA(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        bOk = hTemp.IsValid() && WriteFile(hTemp.Get(), bytes, static_cast<DWORD>(count), &written, nullptr) &&
              written == count;
        // Bytes that wait go to the disk before the new file takes the old one's place.
        if (bOk && count > QUEUE_HEADER_LEN)
            bOk = FlushFileBuffers(hTemp.Get()) != FALSE;
    }
    bOk = bOk && MoveFileExA(temp.c_str(), m_strPath.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    if (!bOk) {
        if (m_bOk)
            Trace("[Tillvox] queue file %s cannot be written, error %lu\n", m_strPath.c_str(), GetLastError());
        DeleteFileA(temp.c_str());
    }
    // The new file, or the old one, which the journal may still have to cut
    // back. Only this handle writes: its position stays at the end, where every record goes.
    HANDLE hFile = CreateFileA(m_strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    m_hFile.Reset(hFile == INVALID_HANDLE_VALUE ? nullptr : hFile);
    const LARGE_INTEGER zero = {};
    const bool bAtEnd = m_hFile.IsValid() && SetFilePointerEx(m_hFile.Get(), zero, nullptr, FILE_END);
    bOk = bOk && bAtEnd;
    m_bOk = bOk;
    m_bDirty = true;
    m_Wake.notify_all();
    return bOk;
}

bool CQueueFile::TruncateTo(size_t count)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(count);
    const bool bOk = m_hFile.IsValid() && SetFilePointerEx(m_hFile.Get(), at, nullptr, FILE_BEGIN) &&
                     SetEndOfFile(m_hFile.Get());
    m_bDirty = true;
    return bOk;
}

bool CQueueFile::KeepAside()
{
    // ".damaged", then ".damaged-2" and on: a copy kept before is never overwritten.
    for (int n = 1; n <= QUEUE_ASIDE_COPIES_MAX; ++n) {
        const std::string aside = m_strPath + ".damaged" + (n == 1 ? std::string() : "-" + std::to_string(n));
        if (CopyFileA(m_strPath.c_str(), aside.c_str(), TRUE)) {
            Trace("[Tillvox] queue file %s is damaged or newer; kept as %s\n", m_strPath.c_str(), aside.c_str());
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    Trace("[Tillvox] queue file %s is damaged or newer and could not be kept aside, error %lu\n", m_strPath.c_str(),
          GetLastError());
    return false;
}

void CQueueFile::FlushThreadProc()
{
    bool bReported = true;  // writable until a write fails
    std::unique_lock<std::mutex> lock(m_Mutex);
    while (!m_bStop) {
        m_Wake.wait_for(lock, std::chrono::milliseconds(QUEUE_FLUSH_INTERVAL_MS));
        if (m_bStop)
            break;
        HANDLE hDuplicate = nullptr;
        if (m_bDirty && m_hFile.IsValid())
            DuplicateHandle(GetCurrentProcess(), m_hFile.Get(), GetCurrentProcess(), &hDuplicate, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
        m_bDirty = false;
        const bool bOk = m_bOk;
        lock.unlock();
        if (hDuplicate) {
            FlushFileBuffers(hDuplicate);
            CloseHandle(hDuplicate);
        }
        if (bOk != bReported && m_OnWritable) {
            bReported = bOk;
            m_OnWritable(bOk);
        }
        lock.lock();
    }
}

std::string QueueFolderOf(const std::string& strDataFolder)
{
    return strDataFolder + "Queues\\";
}

std::string QueueFileName(int nQueueId)
{
    return "source-" + std::to_string(nQueueId) + ".queue";
}

std::string PositionFileName(int nQueueId)
{
    return "source-" + std::to_string(nQueueId) + ".position";
}
