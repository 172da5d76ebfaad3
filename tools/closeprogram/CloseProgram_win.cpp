// closeprogram: closes a running program the way a user would. Every process
// whose executable is the given file gets a close request on its top-level
// windows, and the tool waits for those processes to end. Other programs,
// even ones with the same file name elsewhere, are left alone.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string FullPath(const char* path)
{
    char full[MAX_PATH * 2] = {};
    const DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full) : std::string(path);
}

std::string ImagePath(DWORD dwProcessId)
{
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId);
    if (!hProcess)
        return std::string();
    char path[MAX_PATH * 2] = {};
    DWORD size = sizeof path;
    const BOOL ok = QueryFullProcessImageNameA(hProcess, 0, path, &size);
    CloseHandle(hProcess);
    return ok ? std::string(path, size) : std::string();
}

struct SEARCH {
    std::string strImage;
    std::vector<DWORD> processes;
};

BOOL CALLBACK CloseIfOurs(HWND hWnd, LPARAM lParam)
{
    SEARCH& search = *reinterpret_cast<SEARCH*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId == 0 || GetWindow(hWnd, GW_OWNER) != nullptr)
        return TRUE;
    if (lstrcmpiA(ImagePath(dwProcessId).c_str(), search.strImage.c_str()) != 0)
        return TRUE;
    PostMessageA(hWnd, WM_CLOSE, 0, 0);
    search.processes.push_back(dwProcessId);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3 || std::string(argv[1]) == "--help") {
        std::fprintf(argc == 2 ? stdout : stderr,
                     "usage: closeprogram PROGRAM.exe [TIMEOUT_MS]\n"
                     "Asks every running copy of PROGRAM.exe (that very file) to close, as a user's close\n"
                     "would, and waits for it to end (default 10000 ms).\n"
                     "Exit codes: 0 closed, 1 none was running, 2 one did not end in time.\n");
        return argc == 2 ? 0 : 2;
    }
    const DWORD dwTimeoutMs = argc == 3 ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) : 10000;
    SEARCH search;
    search.strImage = FullPath(argv[1]);
    EnumWindows(CloseIfOurs, reinterpret_cast<LPARAM>(&search));
    if (search.processes.empty()) {
        std::printf("%s is not running\n", search.strImage.c_str());
        return 1;
    }
    const DWORD dwStart = GetTickCount();
    int result = 0;
    for (DWORD dwProcessId : search.processes) {
        HANDLE hProcess = OpenProcess(SYNCHRONIZE, FALSE, dwProcessId);
        if (!hProcess)
            continue;  // already gone
        const DWORD dwSpent = GetTickCount() - dwStart;
        if (WaitForSingleObject(hProcess, dwSpent < dwTimeoutMs ? dwTimeoutMs - dwSpent : 0) != WAIT_OBJECT_0)
            result = 2;
        CloseHandle(hProcess);
    }
    if (result == 2)
        std::fprintf(stderr, "%s did not end within %lu ms\n", search.strImage.c_str(), dwTimeoutMs);
    return result;
}
