#include "tests/support/TempFolder.h"

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA((folder + "*").c_str(), &found);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + "\\");
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(hFind, &found));
        FindClose(hFind);
    }
    RemoveDirectoryA(folder.c_str());
}

CTempFolder::CTempFolder()
{
    static std::atomic<int> counter{0};
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::ostringstream name;
    name << temp << "tillvox-test-" << GetCurrentProcessId() << "-" << GetTickCount() << "-" << counter++ << "\\";
    m_strPath = name.str();
    if (!CreateDirectoryA(m_strPath.c_str(), nullptr))
        throw std::runtime_error("cannot create " + m_strPath);
}

CTempFolder::~CTempFolder()
{
    RemoveTree(m_strPath);
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string WaitForFileOfSize(const std::string& path, size_t nSize, unsigned long nTimeoutMs)
{
    const ULONGLONG nStart = GetTickCount64();
    std::string content = ReadWholeFile(path);
    while (content.size() < nSize && GetTickCount64() - nStart < nTimeoutMs) {
        Sleep(50);
        content = ReadWholeFile(path);
    }
    return content;
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void AppendToFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
