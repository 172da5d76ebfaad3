#pragma once
#include <cstddef>
#include <string>

// A fresh folder under the system's temporary folder, removed with its contents
// when the object goes. Path() ends in a backslash.
class CTempFolder {
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& name) const { return m_strPath + name; }

private:
    std::string m_strPath;
};

// Removes a folder (path ending in a backslash) with everything in it.
void RemoveTree(const std::string& folder);

std::string ReadWholeFile(const std::string& path);
// Reads the file until it holds at least nSize bytes or nTimeoutMs passed; returns what it holds then.
std::string WaitForFileOfSize(const std::string& path, size_t nSize, unsigned long nTimeoutMs);
void WriteWholeFile(const std::string& path, const std::string& bytes);
void AppendToFile(const std::string& path, const std::string& bytes);
