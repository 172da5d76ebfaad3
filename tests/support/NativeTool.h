#pragma once
#include <string>

// Starts a native (Linux) program of this build, e.g. the DVR simulator, from
// a test running under Wine. Wine starts Unix executables but cannot wait for
// them, so such tools are given options that make them end by themselves.
// Returns false when the program could not be started.
bool StartNativeTool(const std::string& name, const std::string& arguments);

// A fresh folder under /tmp for files a native tool writes: its Unix path
// and the same folder as the program sees it (Z:\...). Removed when it goes.
class CSharedTempFolder {
public:
    CSharedTempFolder();
    ~CSharedTempFolder();
    CSharedTempFolder(const CSharedTempFolder&) = delete;
    CSharedTempFolder& operator=(const CSharedTempFolder&) = delete;

    std::string UnixPath(const std::string& name) const { return m_strUnix + name; }
    std::string WindowsPath(const std::string& name) const { return m_strWindows + name; }

private:
    std::string m_strUnix;     // ends in '/'
    std::string m_strWindows;  // ends in '\'
};
