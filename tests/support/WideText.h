#pragma once
// Texts read with the W calls, compared as UTF-8 so that a failure prints them legibly.
#include <windows.h>

#include <string>

// The text in UTF-8.
std::string Utf8(const std::wstring& text);
// A window's text as GetWindowTextW reads it (up to 1023 characters).
std::wstring WindowTextW(HWND hWnd);
// A list view's cell as LVM_GETITEMTEXTW reads it (up to 511 characters).
std::wstring ListCellW(HWND hList, int nRow, int nColumn);
