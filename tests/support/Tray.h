#pragma once
// The shell's notification area and pop-up menus, seen from a test, and the
// registry's Run value.
#include <windows.h>

#include <string>

// True when the shell shows the icon (hWnd, uId): the shell accepts a change
// only of an icon it has. Works across processes.
bool TrayIconShown(HWND hWnd, UINT uId);
// Removes the icon from the shell, as a restarting shell forgets it.
bool RemoveTrayIcon(HWND hWnd, UINT uId);

// The first pop-up menu window of the process that appears within the time; null when none.
HWND WaitForPopupMenu(DWORD dwProcessId, DWORD timeoutMs);
// Presses a key in an open menu (the menu's own loop reads it).
void PressMenuKey(HWND hMenuWindow, WPARAM vk);

// A value under HKEY_LOCAL_MACHINE's Run key.
struct RUN_VALUE {
    bool bPresent = false;
    DWORD dwType = 0;
    std::string strData;  // as stored, with its terminating zero
};
RUN_VALUE ReadRunValue(const std::string& name);
void DeleteRunValue(const std::string& name);
