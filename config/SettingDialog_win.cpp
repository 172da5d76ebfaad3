#include "config/SettingDialog.h"

#include "ui/DialogData.h"
#include "lang/Language.h"

std::string CSettingDialog::Text(const char* key) const
{
    return m_pLanguage ? m_pLanguage->GetString(key) : std::string();
}

std::wstring CSettingDialog::WideText(const char* key) const
{
    return m_pLanguage ? m_pLanguage->GetText(key) : std::wstring();
}

std::string CSettingDialog::Utf8Text(const char* key) const
{
    return Utf8FromWide(WideText(key));
}

void CSettingDialog::UseFont(std::initializer_list<int> ids)
{
    HFONT hFont = m_pLanguage ? m_pLanguage->GetFont() : nullptr;
    if (!hFont)
        return;
    SendMessageA(Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);
    for (int id : ids)
        SendMessageA(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);
}

void CSettingDialog::SetTexts(std::initializer_list<std::pair<int, const char*>> idsAndKeys)
{
    for (const auto& idAndKey : idsAndKeys)
        SetDlgItemTextW(Hwnd(), idAndKey.first, WideText(idAndKey.second).c_str());
}

void CSettingDialog::SetCaption(const char* key)
{
    SetWindowTextW(Hwnd(), WideText(key).c_str());
}

void CSettingDialog::ShowText(const std::string& text)
{
    LanguageMessageBox(Hwnd(), text, m_bRightToLeft);
}

void CSettingDialog::ShowText(const std::wstring& text)
{
    LanguageMessageBox(Hwnd(), text, m_bRightToLeft);
}

void CSettingDialog::LimitText(int nId, int nChars)
{
    SendMessageA(Item(nId), EM_LIMITTEXT, static_cast<WPARAM>(nChars), 0);
}
