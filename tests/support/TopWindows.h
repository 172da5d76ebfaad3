#pragma once
// Finding windows, of this process or another one, as a person sees them on
// the screen.
#include <windows.h>

#include <string>
#include <vector>

// True when the window is of the system's dialog class ("#32770").
bool IsDialogWindow(HWND hWnd);
// The visible top-level windows, topmost first, of one process (0: of every process).
std::vector<HWND> VisibleTopWindows(DWORD dwProcessId = 0);
// Those of them whose caption is exactly this text.
std::vector<HWND> VisibleTopWindowsCaptioned(const std::string& caption, DWORD dwProcessId = 0);
// Every window below hParent, children of children too, as EnumChildWindows gives them.
std::vector<HWND> ChildWindows(HWND hParent);
