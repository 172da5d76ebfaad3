#pragma once
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, built on the standard
// library only so that it works natively and under Wine alike; removed with
// its contents when the object goes. Path() ends in '/'.
class CScratchFolder {
public:
    CScratchFolder();
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& name) const { return m_strPath + name; }

private:
    std::string m_strPath;
};

bool FileExists(const std::string& path);
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::vector<std::string> FolderEntries(const std::string& folder);  // names, sorted
