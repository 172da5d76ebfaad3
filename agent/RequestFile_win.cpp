#include "agent/RequestFile_win.h"

#include "agent/AgentRequests.h"
#include "base/WinHandle.h"

#include <windows.h>

#include <cstring>

TAKEN_REQUEST_FILE TakeRequestFile(const std::string& path)
{
    TAKEN_REQUEST_FILE taken;
    CHandle hFile(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!hFile.IsValid()) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            taken.problem = "cannot open the request file, error " + std::to_string(error);
        return taken;
    }
    taken.bPresent = true;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(hFile.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks != 1) {
        taken.problem = "the request file is a link or not a plain file: removed";
        hFile.Close();
        DeleteFileA(path.c_str());
        return taken;
    }
    taken.nSize = static_cast<unsigned long long>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    const DWORD toRead = static_cast<DWORD>(std::min<unsigned long long>(taken.nSize, AGENT_REQUEST_FILE_MAX_BYTES + 1));
    taken.bytes.resize(toRead);
    DWORD read = 0;
    if (toRead && !ReadFile(hFile.Get(), &taken.bytes[0], toRead, &read, nullptr))
        read = 0;
    taken.bytes.resize(read);

    DWORD written = 0;
    const DWORD emptyLength = static_cast<DWORD>(std::strlen(AGENT_EMPTY_REQUEST_FILE));
    if (SetFilePointer(hFile.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER || !SetEndOfFile(hFile.Get()) ||
        !WriteFile(hFile.Get(), AGENT_EMPTY_REQUEST_FILE, emptyLength, &written, nullptr) || written != emptyLength) {
        taken.problem = "cannot empty the request file, error " + std::to_string(GetLastError()) + ": removed";
        hFile.Close();
        DeleteFileA(path.c_str());
    }
    return taken;
}
