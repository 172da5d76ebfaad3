#include "tests/support/Process.h"

#include <tlhelp32.h>

std::string EnvironmentValue(const char* name)
{
    char value[2048] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value) : std::string();
}

std::string UnixToWindowsPath(const std::string& unixPath)
{
    std::string windows = "Z:" + unixPath;
    for (char& c : windows)
        if (c == '/') c = '\\';
    return windows;
}

bool LaunchCommand(const std::string& command, HANDLE* phProcess, DWORD* pdwProcessId)
{
    std::string mutableCommand = command;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &mutableCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    if (phProcess)
        *phProcess = process.hProcess;
    else
        CloseHandle(process.hProcess);
    if (pdwProcessId)
        *pdwProcessId = process.dwProcessId;
    return true;
}

int ProcessThreadCount()
{
    const HANDLE hSnap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (hSnap == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int n = 0;
    for (BOOL ok = Thread32First(hSnap, &entry); ok; ok = Thread32Next(hSnap, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++n;
    }
    CloseHandle(hSnap);
    return n;
}
