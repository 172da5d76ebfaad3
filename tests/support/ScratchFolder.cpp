#include "tests/support/ScratchFolder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

CScratchFolder::CScratchFolder()
{
    static std::atomic<unsigned> s_nNext{0};
    const auto nStamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int nTry = 0; nTry < 100; ++nTry) {
        const fs::path candidate = fs::temp_directory_path() /
            ("tillvox-scratch-" + std::to_string(nStamp) + "-" + std::to_string(s_nNext++));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            m_strPath = candidate.generic_string() + "/";
            return;
        }
    }
    throw std::runtime_error("no scratch folder could be made");
}

CScratchFolder::~CScratchFolder()
{
    std::error_code error;
    fs::remove_all(fs::path(m_strPath), error);
}

bool FileExists(const std::string& path)
{
    std::error_code error;
    return fs::is_regular_file(fs::path(path), error);
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fs::path(folder), error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
