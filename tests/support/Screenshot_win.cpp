#include "tests/support/Screenshot.h"

#include "tests/support/Process.h"

#include <windows.h>

namespace {
const DWORD SCREENSHOT_TIMEOUT_MS = 20000;

long long FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
}  // namespace

std::string ScreenshotFolder()
{
    const std::string bin = EnvironmentValue("TILLVOX_BIN_DIR");
    return bin.empty() ? std::string() : bin + "/../screenshots/";
}

CScreenshot::CScreenshot(const std::string& name)
{
    const std::string folder = ScreenshotFolder();
    if (folder.empty()) {
        m_bFailed = true;
        return;
    }
    CreateDirectoryA(UnixToWindowsPath(folder).c_str(), nullptr);
    m_strUnixPath = folder + name + ".png";
    m_strWindowsPath = UnixToWindowsPath(m_strUnixPath);
}

bool CScreenshot::Poll()
{
    if (m_bFailed)
        return true;
    if (!m_bStarted) {
        DeleteFileA(m_strWindowsPath.c_str());
        m_bStarted = true;
        m_nStarted = GetTickCount();
        if (!LaunchCommand("/usr/bin/import -window root " + m_strUnixPath))
            m_bFailed = true;
        return m_bFailed;
    }
    // import writes the file when it has the picture: done once its size stays put.
    const long long size = FileSize(m_strWindowsPath);
    if (size <= 0 || size != m_nLastSize) {
        m_nLastSize = size;
        m_nStableSince = GetTickCount();
    } else if (GetTickCount() - m_nStableSince >= 300) {
        return true;
    }
    if (GetTickCount() - m_nStarted > SCREENSHOT_TIMEOUT_MS) {
        m_bFailed = true;
        return true;
    }
    return false;
}
