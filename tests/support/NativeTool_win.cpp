#include "tests/support/NativeTool.h"

#include "tests/support/Process.h"
#include "tests/support/TempFolder.h"

#include <windows.h>

#include <atomic>


bool StartNativeTool(const std::string& name, const std::string& arguments)
{
    const std::string folder = EnvironmentValue("TILLVOX_NATIVE_BIN_DIR");
    return !folder.empty() && LaunchCommand(folder + "/" + name + " " + arguments);
}

CSharedTempFolder::CSharedTempFolder()
{
    static std::atomic<int> counter{0};
    m_strUnix = "/tmp/tillvox-shared-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) +
                "-" + std::to_string(counter++) + "/";
    m_strWindows = UnixToWindowsPath(m_strUnix);
    CreateDirectoryA(m_strWindows.c_str(), nullptr);
}

CSharedTempFolder::~CSharedTempFolder()
{
    RemoveTree(m_strWindows);
}
