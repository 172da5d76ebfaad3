#include "tests/support/TopWindows.h"

namespace {

struct COLLECT_VISIBLE {
    DWORD dwProcessId;
    std::vector<HWND>* pWindows;
};

BOOL CALLBACK CollectVisible(HWND hWnd, LPARAM lParam)
{
    auto* pCollect = reinterpret_cast<COLLECT_VISIBLE*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if ((pCollect->dwProcessId == 0 || dwProcessId == pCollect->dwProcessId) && IsWindowVisible(hWnd))
        pCollect->pWindows->push_back(hWnd);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND hWnd, LPARAM lParam)
{
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}

}  // namespace

bool IsDialogWindow(HWND hWnd)
{
    char name[16] = {};
    GetClassNameA(hWnd, name, sizeof name);
    return std::string(name) == "#32770";
}

std::vector<HWND> VisibleTopWindows(DWORD dwProcessId)
{
    std::vector<HWND> windows;
    COLLECT_VISIBLE collect{dwProcessId, &windows};
    EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&collect));
    return windows;
}

std::vector<HWND> VisibleTopWindowsCaptioned(const std::string& caption, DWORD dwProcessId)
{
    std::vector<HWND> windows;
    for (HWND hWnd : VisibleTopWindows(dwProcessId)) {
        char text[256] = {};
        GetWindowTextA(hWnd, text, sizeof text);
        if (caption == text)
            windows.push_back(hWnd);
    }
    return windows;
}

std::vector<HWND> ChildWindows(HWND hParent)
{
    std::vector<HWND> children;
    EnumChildWindows(hParent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}
