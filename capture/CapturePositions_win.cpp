#include "capture/CapturePositions_win.h"

#include "base/Trace.h"

#include <vector>

bool CPositionFile::Open(const std::string& strPath, CAPTURE_POSITION& known)
{
    Close();
    m_strPath = strPath;
    m_hFile = CreateFileA(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        Trace("[Tillvox] position file %s cannot be opened, error %lu\n", strPath.c_str(), GetLastError());
        return false;
    }
    std::vector<uint8_t> bytes(65536);
    DWORD got = 0;
    if (!ReadFile(m_hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
        got = 0;
    m_bHolds = got > 0;
    m_nSavedLen = got;
    return DecodePosition(bytes.data(), got, known);
}

void CPositionFile::Save(const CAPTURE_POSITION& position)
{
    if (m_hFile == INVALID_HANDLE_VALUE)
        return;
    const std::vector<uint8_t> bytes = EncodePosition(position);
    // One write at the start of the file; the length changes only with the path.
    OVERLAPPED at = {};
    DWORD written = 0;
    bool bOk = WriteFile(m_hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &at) != FALSE;
    if (bOk && bytes.size() != m_nSavedLen) {
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(bytes.size());
        bOk = SetFilePointerEx(m_hFile, end, nullptr, FILE_BEGIN) && SetEndOfFile(m_hFile);
    }
    if (!bOk)
        Trace("[Tillvox] position file %s cannot be written, error %lu\n", m_strPath.c_str(), GetLastError());
    m_nSavedLen = bOk ? bytes.size() : 0;
    m_bHolds = true;
}

void CPositionFile::Forget()
{
    if (m_hFile == INVALID_HANDLE_VALUE || !m_bHolds)
        return;
    LARGE_INTEGER start = {};
    SetFilePointerEx(m_hFile, start, nullptr, FILE_BEGIN);
    SetEndOfFile(m_hFile);
    m_bHolds = false;
    m_nSavedLen = 0;
}

void CPositionFile::Close()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}
