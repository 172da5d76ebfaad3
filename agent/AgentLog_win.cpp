#include "agent/AgentLog_win.h"

#include "base/Trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace {
const LONGLONG AGENT_LOG_MAX_BYTES = 256 * 1024;
}

void CAgentLog::Write(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Trace("[TillvoxAgent] %s", text);

    SYSTEMTIME now{};
    GetLocalTime(&now);
    char line[1100];
    const int n = snprintf(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u %s\r\n", now.wYear, now.wMonth, now.wDay,
                           now.wHour, now.wMinute, now.wSecond, text);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExA(m_strPath.c_str(), GetFileExInfoStandard, &data) &&
        (static_cast<LONGLONG>(data.nFileSizeHigh) << 32 | data.nFileSizeLow) > AGENT_LOG_MAX_BYTES)
        MoveFileExA(m_strPath.c_str(), (m_strPath + ".old").c_str(), MOVEFILE_REPLACE_EXISTING);
    HANDLE h = CreateFileA(m_strPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(h, line, n > 0 ? static_cast<DWORD>(std::min<size_t>(n, sizeof line - 1)) : 0, &written, nullptr);
    CloseHandle(h);
}
