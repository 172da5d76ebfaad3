#pragma once
// Windows side of the file capture: the file reader and the tick count.
// Include only from Windows-only code.
#include "capture/FileCapture.h"

#include <windows.h>

// Opens for reading while the POS driver keeps reading, writing, deleting or
// renaming onto the file: a driver must never fail to write a receipt because
// the capture was reading the last one.
class CWinFileReader : public CFileReader {
public:
    CWinFileReader() = default;
    CWinFileReader(const CWinFileReader&) = delete;
    CWinFileReader& operator=(const CWinFileReader&) = delete;
    ~CWinFileReader() override { Close(); }

    bool Open(const std::string& strPath) override
    {
        Close();
        m_hFile = CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_hFile != INVALID_HANDLE_VALUE)
            return true;
        const DWORD dwError = GetLastError();
        m_bNoFile = dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND;
        return false;
    }

    bool OpenFoundNoFile() const override { return m_bNoFile; }

    bool LastWriteTime(uint64_t& nTime) override
    {
        nTime = 0;
        FILETIME written;
        if (m_hFile == INVALID_HANDLE_VALUE || !GetFileTime(m_hFile, nullptr, nullptr, &written))
            return false;
        nTime = (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
        return true;
    }

    int64_t Size() override
    {
        LARGE_INTEGER size;
        if (m_hFile == INVALID_HANDLE_VALUE || !GetFileSizeEx(m_hFile, &size))
            return -1;
        return size.QuadPart;
    }

    int ReadAt(int64_t nOffset, uint8_t* pDst, int nCount) override
    {
        if (m_hFile == INVALID_HANDLE_VALUE || nCount <= 0 || nOffset < 0)
            return 0;
        // Moving the file pointer and reading from it costs no more than the read
        // itself; a read given an OVERLAPPED also queues a completion nobody waits for.
        LARGE_INTEGER at;
        at.QuadPart = nOffset;
        DWORD dwRead = 0;
        if (!SetFilePointerEx(m_hFile, at, nullptr, FILE_BEGIN) ||
            !ReadFile(m_hFile, pDst, static_cast<DWORD>(nCount), &dwRead, nullptr))
            return 0;
        return static_cast<int>(dwRead);
    }

    bool Identity(FILE_IDENTITY& identity) override
    {
        identity = FILE_IDENTITY();
        BY_HANDLE_FILE_INFORMATION info;
        if (m_hFile == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(m_hFile, &info))
            return false;
        identity.dwVolumeSerial = info.dwVolumeSerialNumber;
        identity.nFileIndex = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        identity.nCreationTime = (static_cast<uint64_t>(info.ftCreationTime.dwHighDateTime) << 32) |
                                 info.ftCreationTime.dwLowDateTime;
        return true;
    }

    void Close() override
    {
        if (m_hFile != INVALID_HANDLE_VALUE)
            CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    bool m_bNoFile = false;
};

class CWinTickSource : public CTickSource {
public:
    uint32_t Now() override { return GetTickCount(); }
};
