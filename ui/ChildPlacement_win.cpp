#include "ui/ChildPlacement.h"

RECT ChildRect(HWND hDialog, HWND hChild)
{
    RECT rect = {};
    GetWindowRect(hChild, &rect);
    MapWindowPoints(nullptr, hDialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void Place(HWND hChild, const RECT& rect)
{
    SetWindowPos(hChild, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}
