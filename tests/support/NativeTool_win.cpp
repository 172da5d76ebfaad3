#include "tests/support/NativeTool.h"

#include "tests/support/TempFolder.h"

#include <windows.h>

#include <atomic>

namespace {

std::string Env(const char* name)
{
    char value[2048] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value) : std::string();
}

std::string UnixToWindows(const std::string& unixPath)
{
    std::string windows = "Z:" + unixPath;
    for (char& c : windows)
        if (c == '/') c = '\\';
    return windows;
}

}  // namespace

bool StartNativeTool(const std::string& name, const std::string& arguments)
{
    const std::string folder = Env("TILLVOX_NATIVE_BIN_DIR");
    if (folder.empty())
        return false;
    std::string command = folder + "/" + name + " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

CSharedTempFolder::CSharedTempFolder()
{
    static std::atomic<int> counter{0};
    m_strUnix = "/tmp/tillvox-shared-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) +
                "-" + std::to_string(counter++) + "/";
    m_strWindows = UnixToWindows(m_strUnix);
    CreateDirectoryA(m_strWindows.c_str(), nullptr);
}

CSharedTempFolder::~CSharedTempFolder()
{
    RemoveTree(m_strWindows);
}
