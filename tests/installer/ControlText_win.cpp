// controltext PROGRAM.exe CONTROL [check|click]: prints the text of a control of
// the main window of a running PROGRAM.exe (that very file), read from outside:
// the installer test reads the program's Start button to know that capture has
// started, and walks the setup program's pages. CONTROL is a control id, or the
// control's text; it is looked for among all the window's descendants. With
// "check" it prints 1 or 0 instead (the check box state); with "click" it also
// clicks the control.
// Exit codes: 0 done, 1 no such window or control, 2 wrong usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct SEARCH {
    std::string strImage;
    HWND hFound = nullptr;
};

struct CONTROL_SEARCH {
    int nId = 0;
    std::string strText;
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

std::string TextOf(HWND hWnd)
{
    char text[512] = "";
    SendMessageTimeoutA(hWnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    return text;
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

BOOL CALLBACK FindControl(HWND hWnd, LPARAM lParam)
{
    CONTROL_SEARCH& search = *reinterpret_cast<CONTROL_SEARCH*>(lParam);
    // Its own style: the program's main window may be hidden in the tray, but a
    // setup page's hidden controls are not the ones meant.
    if ((GetWindowLongA(hWnd, GWL_STYLE) & WS_VISIBLE) == 0)
        return TRUE;
    if (search.strText.empty() ? GetDlgCtrlID(hWnd) == search.nId : TextOf(hWnd) == search.strText) {
        search.hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string action = argc == 4 ? argv[3] : "";
    if ((argc != 3 && argc != 4) || (argc == 4 && action != "check" && action != "click")) {
        std::fputs("usage: controltext PROGRAM.exe CONTROL-ID|CONTROL-TEXT [check|click]\n", stderr);
        return 2;
    }
    SEARCH search;
    char full[MAX_PATH * 2] = {};
    const DWORD n = GetFullPathNameA(argv[1], sizeof full, full, nullptr);
    search.strImage = n > 0 && n < sizeof full ? full : argv[1];
    EnumWindows(FindMain, reinterpret_cast<LPARAM>(&search));
    if (!search.hFound)
        return 1;
    CONTROL_SEARCH control;
    char* end = nullptr;
    control.nId = static_cast<int>(std::strtol(argv[2], &end, 10));
    if (*argv[2] == '\0' || *end != '\0')
        control.strText = argv[2];
    EnumChildWindows(search.hFound, FindControl, reinterpret_cast<LPARAM>(&control));
    if (!control.hFound)
        return 1;
    if (action == "check") {
        DWORD_PTR state = 0;
        SendMessageTimeoutA(control.hFound, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
        std::printf("%d\n", state == BST_CHECKED ? 1 : 0);
        return 0;
    }
    std::printf("%s\n", TextOf(control.hFound).c_str());
    if (action == "click")
        PostMessageA(control.hFound, BM_CLICK, 0, 0);
    return 0;
}
