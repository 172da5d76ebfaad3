#include "ui/DialogData.h"

#include "ui/NumberBox.h"
#include "res/resource.h"

namespace {

std::string ResourceString(UINT nId)
{
    char text[256] = {};
    LoadStringA(GetModuleHandleA(nullptr), nId, text, sizeof text);
    return text;
}

std::string Title()
{
    return ResourceString(IDS_APP_TITLE);
}

std::wstring Widen(const std::string& text, UINT codePage)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int count = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(count > 0 ? count : 0), L'\0');
    if (count > 0)
        MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], count);
    return wide;
}

}  // namespace

std::string ItemText(HWND hDialog, int nId)
{
    HWND hItem = GetDlgItem(hDialog, nId);
    const int length = hItem ? GetWindowTextLengthA(hItem) : 0;
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int got = GetWindowTextA(hItem, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::string ComboText(HWND hDialog, int nId)
{
    const LRESULT item = SendDlgItemMessageA(hDialog, nId, CB_GETCURSEL, 0, 0);
    if (item == CB_ERR)
        return std::string();
    const LRESULT length = SendDlgItemMessageA(hDialog, nId, CB_GETLBTEXTLEN, static_cast<WPARAM>(item), 0);
    if (length == CB_ERR || length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendDlgItemMessageA(hDialog, nId, CB_GETLBTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    return text;
}

bool ReadNumberBox(HWND hDialog, int nId, unsigned nMin, unsigned nMax, unsigned& nValue)
{
    unsigned value = 0;
    const NUMBER_BOX_CHECK check = CheckNumberBox(ItemText(hDialog, nId), nMin, nMax, value);
    if (check == NUMBER_BOX_CHECK::Ok) {
        nValue = value;
        return true;
    }
    const std::string text = check == NUMBER_BOX_CHECK::NotPositiveInteger
                                 ? ResourceString(IDS_NUMBER_NOT_POSITIVE)
                                 : FillRangeText(ResourceString(IDS_NUMBER_RANGE), nMin, nMax);
    MessageBoxA(hDialog, text.c_str(), Title().c_str(), MB_OK | MB_ICONEXCLAMATION);
    HWND hBox = GetDlgItem(hDialog, nId);
    SetFocus(hBox);
    SendMessageA(hBox, EM_SETSEL, 0, -1);
    return false;
}

void WriteNumberBox(HWND hDialog, int nId, unsigned nValue)
{
    SetDlgItemTextA(hDialog, nId, std::to_string(nValue).c_str());
}

void LanguageMessageBox(HWND hOwner, const std::string& text, bool bRightToLeft)
{
    UINT flags = MB_OK | MB_ICONEXCLAMATION;
    if (bRightToLeft)
        flags |= MB_RTLREADING | MB_RIGHT;
    MessageBoxA(hOwner, text.c_str(), Title().c_str(), flags);
}

void LanguageMessageBox(HWND hOwner, const std::wstring& text, bool bRightToLeft)
{
    UINT flags = MB_OK | MB_ICONEXCLAMATION;
    if (bRightToLeft)
        flags |= MB_RTLREADING | MB_RIGHT;
    MessageBoxW(hOwner, text.c_str(), WideFromAnsi(Title()).c_str(), flags);
}

std::wstring WideFromAnsi(const std::string& text)
{
    return Widen(text, CP_ACP);
}

std::wstring WideFromUtf8(const std::string& text)
{
    return Widen(text, CP_UTF8);
}

std::string Utf8FromWide(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(count > 0 ? count : 0), '\0');
    if (count > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &narrow[0], count, nullptr, nullptr);
    return narrow;
}

std::string Utf8FromAnsi(const std::string& text)
{
    return Utf8FromWide(WideFromAnsi(text));
}

std::wstring WideFromUtf8OrAnsi(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0) > 0)
        return Widen(text, CP_UTF8);
    return Widen(text, CP_ACP);
}
