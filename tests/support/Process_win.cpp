#include "tests/support/Process.h"

#include <tlhelp32.h>

#include <cstdio>

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
    // Under Wine a start now and then fails though the program is there (a new
    // process that dies while Wine sets it up); that is no fault of the program
    // under test, so such a start is tried again. A missing program is not.
    const int ATTEMPTS = 3;
    PROCESS_INFORMATION process = {};
    for (int attempt = 1;; ++attempt) {
        std::string mutableCommand = command;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (CreateProcessA(nullptr, &mutableCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process))
            break;
        const DWORD error = GetLastError();
        std::fprintf(stderr, "cannot start %s: error %lu (attempt %d)\n", command.c_str(),
                     static_cast<unsigned long>(error), attempt);
        std::fflush(stderr);
        if (attempt == ATTEMPTS || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return false;
        Sleep(200);
    }
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
