#include "tests/support/WideText.h"

#include <iterator>

std::string Utf8(const std::wstring& text)
{
    const int size = static_cast<int>(text.size());
    const int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(count > 0 ? count : 0), '\0');
    if (count > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &out[0], count, nullptr, nullptr);
    return out;
}

std::wstring WindowTextW(HWND hWnd)
{
    wchar_t text[1024] = {};
    GetWindowTextW(hWnd, text, static_cast<int>(std::size(text)));
    return text;
}
