#include "tests/support/Tray.h"

#include <shellapi.h>

namespace {

NOTIFYICONDATAA Probe(HWND hWnd, UINT uId)
{
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = hWnd;
    data.uID = uId;
    return data;
}

struct FIND_MENU {
    DWORD dwProcessId;
    HWND hFound;
};

BOOL CALLBACK FindMenu(HWND hWnd, LPARAM lParam)
{
    auto* pFind = reinterpret_cast<FIND_MENU*>(lParam);
    char className[32] = {};
    GetClassNameA(hWnd, className, sizeof className);
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (pid == pFind->dwProcessId && std::string(className) == "#32768" && IsWindowVisible(hWnd)) {
        pFind->hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

const char RUN_KEY[] = "software\\Microsoft\\Windows\\CurrentVersion\\Run";

}  // namespace

bool TrayIconShown(HWND hWnd, UINT uId)
{
    NOTIFYICONDATAA data = Probe(hWnd, uId);
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

bool RemoveTrayIcon(HWND hWnd, UINT uId)
{
    NOTIFYICONDATAA data = Probe(hWnd, uId);
    return Shell_NotifyIconA(NIM_DELETE, &data) != FALSE;
}

HWND WaitForPopupMenu(DWORD dwProcessId, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    do {
        FIND_MENU find = {dwProcessId, nullptr};
        EnumWindows(FindMenu, reinterpret_cast<LPARAM>(&find));
        if (find.hFound)
            return find.hFound;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

void PressMenuKey(HWND hMenuWindow, WPARAM vk)
{
    PostMessageA(hMenuWindow, WM_KEYDOWN, vk, 0);
    PostMessageA(hMenuWindow, WM_KEYUP, vk, 0xC0000000);
}

RUN_VALUE ReadRunValue(const std::string& name)
{
    RUN_VALUE value;
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RUN_KEY, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return value;
    char data[1024] = {};
    DWORD dwSize = sizeof data;
    if (RegQueryValueExA(hKey, name.c_str(), nullptr, &value.dwType, reinterpret_cast<BYTE*>(data), &dwSize) ==
        ERROR_SUCCESS) {
        value.bPresent = true;
        value.strData.assign(data, dwSize);
    }
    RegCloseKey(hKey);
    return value;
}

void DeleteRunValue(const std::string& name)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RUN_KEY, 0, KEY_SET_VALUE, &hKey) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(hKey, name.c_str());
    RegCloseKey(hKey);
}
