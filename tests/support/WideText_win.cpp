#include "tests/support/WideText.h"

#include "ui/DialogData.h"

#include <commctrl.h>

#include <iterator>

std::string Utf8(const std::wstring& text)
{
    return Utf8FromWide(text);
}

std::wstring WindowTextW(HWND hWnd)
{
    wchar_t text[1024] = {};
    GetWindowTextW(hWnd, text, static_cast<int>(std::size(text)));
    return text;
}

std::wstring ListCellW(HWND hList, int nRow, int nColumn)
{
    wchar_t text[512] = {};
    LVITEMW item = {};
    item.iSubItem = nColumn;
    item.pszText = text;
    item.cchTextMax = static_cast<int>(std::size(text));
    SendMessageW(hList, LVM_GETITEMTEXTW, static_cast<WPARAM>(nRow), reinterpret_cast<LPARAM>(&item));
    return text;
}
