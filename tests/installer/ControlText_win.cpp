// controltext PROGRAM.exe CONTROL-ID: prints the text of a control of the main
// window of a running PROGRAM.exe (that very file), read from outside, as the
// installer test reads the Start button to know that capture has started.
// Exit codes: 0 printed, 1 no such window or control, 2 wrong usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct SEARCH {
    std::string strImage;
    HWND hFound = nullptr;
};

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

BOOL CALLBACK FindMain(HWND hWnd, LPARAM lParam)
{
    SEARCH& search = *reinterpret_cast<SEARCH*>(lParam);
    char className[16] = "";
    GetClassNameA(hWnd, className, sizeof className);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (std::string(className) != "#32770" || GetWindow(hWnd, GW_OWNER) != nullptr ||
        lstrcmpiA(ImagePath(dwProcessId).c_str(), search.strImage.c_str()) != 0)
        return TRUE;
    search.hFound = hWnd;
    return FALSE;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: controltext PROGRAM.exe CONTROL-ID\n", stderr);
        return 2;
    }
    SEARCH search;
    char full[MAX_PATH * 2] = {};
    const DWORD n = GetFullPathNameA(argv[1], sizeof full, full, nullptr);
    search.strImage = n > 0 && n < sizeof full ? full : argv[1];
    EnumWindows(FindMain, reinterpret_cast<LPARAM>(&search));
    HWND hControl = search.hFound ? GetDlgItem(search.hFound, std::atoi(argv[2])) : nullptr;
    if (!hControl)
        return 1;
    char text[512] = "";
    SendMessageTimeoutA(hControl, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    std::printf("%s\n", text);
    return 0;
}
