#include "tests/support/ProgramEventLog.h"

#include "tests/support/Process.h"
#include "tests/support/WineEventLines.h"

#include <ctime>

namespace {

std::string Utf8FromWide(const wchar_t* text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

// Bytes of the file from offset on; false when it cannot be opened.
bool ReadFrom(const std::string& path, long long offset, std::string& text, long long* pSize = nullptr)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size = {};
    GetFileSizeEx(h, &size);
    if (pSize)
        *pSize = size.QuadPart;
    text.clear();
    LARGE_INTEGER at = {};
    at.QuadPart = offset;
    if (offset < size.QuadPart && SetFilePointerEx(h, at, nullptr, FILE_BEGIN)) {
        text.resize(static_cast<size_t>(size.QuadPart - offset));
        DWORD dwRead = 0;
        if (!ReadFile(h, &text[0], static_cast<DWORD>(text.size()), &dwRead, nullptr))
            dwRead = 0;
        text.resize(dwRead);
    }
    CloseHandle(h);
    return true;
}

}  // namespace

void CProgramEventLog::Begin()
{
    m_dwStartTime = static_cast<DWORD>(std::time(nullptr));
    // Only Wine reads WINEDEBUG; a program started from here inherits it.
    SetEnvironmentVariableA("WINEDEBUG", "-all,warn+eventlog,err+eventlog");
    const std::string unixPath = EnvironmentValue("TILLVOX_STDERR_FILE");
    m_strFile = unixPath.empty() ? std::string() : UnixToWindowsPath(unixPath);
    std::string ignored;
    m_nFileOffset = 0;
    if (!m_strFile.empty())
        ReadFrom(m_strFile, 0, ignored, &m_nFileOffset);
}

bool CProgramEventLog::Read(std::vector<PROGRAM_EVENT>& entries, std::string& strWhyNot) const
{
    entries.clear();
    bool bEmptyLog = false;
    if (ReadFromApi(entries, bEmptyLog) && !bEmptyLog)
        return true;
    return ReadFromWineOutput(entries, strWhyNot);
}

bool CProgramEventLog::ReadFromApi(std::vector<PROGRAM_EVENT>& entries, bool& bEmptyLog) const
{
    HANDLE hLog = OpenEventLogW(nullptr, L"Application");
    if (!hLog)
        return false;
    bEmptyLog = true;
    std::vector<BYTE> buffer(0x10000);
    for (;;) {
        DWORD dwRead = 0, dwNeeded = 0;
        if (!ReadEventLogW(hLog, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                static_cast<DWORD>(buffer.size()), &dwRead, &dwNeeded)) {
            if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && dwNeeded > buffer.size()) {
                buffer.resize(dwNeeded);
                continue;
            }
            break;
        }
        bEmptyLog = false;
        for (DWORD dwAt = 0; dwAt + sizeof(EVENTLOGRECORD) <= dwRead;) {
            const auto* record = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + dwAt);
            const auto* source = reinterpret_cast<const wchar_t*>(record + 1);
            const auto* strings = reinterpret_cast<const wchar_t*>(buffer.data() + dwAt + record->StringOffset);
            if (std::wstring(source) == L"Tillvox" && record->NumStrings == 1 &&
                record->TimeWritten >= m_dwStartTime)
                entries.push_back(PROGRAM_EVENT{record->EventType == EVENTLOG_ERROR_TYPE, Utf8FromWide(strings)});
            dwAt += record->Length;
        }
    }
    CloseEventLog(hLog);
    return true;
}

bool CProgramEventLog::ReadFromWineOutput(std::vector<PROGRAM_EVENT>& entries, std::string& strWhyNot) const
{
    if (m_strFile.empty()) {
        strWhyNot = "the event log API answers as an empty log and TILLVOX_STDERR_FILE names no file of Wine's "
                    "debug output (run the test through ctest)";
        return false;
    }
    std::string output;
    if (!ReadFrom(m_strFile, m_nFileOffset, output)) {
        strWhyNot = "the event log API answers as an empty log and " + m_strFile + " cannot be read";
        return false;
    }
    for (const WINE_EVENT_ENTRY& entry : WineEventEntries(output))
        entries.push_back(PROGRAM_EVENT{entry.bError, entry.strText});
    return true;
}
