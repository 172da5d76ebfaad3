#pragma once
// Where a dialog's child window lies, in the dialog's client coordinates, and
// moving it there again: what the resizable windows lay out with.
#include <windows.h>

RECT ChildRect(HWND hDialog, HWND hChild);
void Place(HWND hChild, const RECT& rect);
