#pragma once
// What the source editing dialogs share: language texts, the user-interface
// font, right-to-left layout from creation and message boxes with language texts.
#include "ui/DialogBase.h"

#include <initializer_list>
#include <string>
#include <utility>

class CLanguage;

class CSettingDialog : public CDialogBase {
public:
    CSettingDialog(UINT nTemplateId, CLanguage* pLanguage, bool bRightToLeft)
        : CDialogBase(nTemplateId), m_pLanguage(pLanguage), m_bRightToLeft(bRightToLeft)
    {
        SetRightToLeftLayout(bRightToLeft);
    }

protected:
    std::string Text(const char* key) const;
    std::wstring WideText(const char* key) const;
    // For the plain text functions that fill in a language text.
    std::string Utf8Text(const char* key) const;
    // The user-interface font on the dialog and on the given controls.
    void UseFont(std::initializer_list<int> ids);
    void SetTexts(std::initializer_list<std::pair<int, const char*>> idsAndKeys);
    void SetCaption(const char* key);
    void ShowText(const std::string& text);
    void ShowText(const std::wstring& text);
    void ShowKey(const char* key) { ShowText(WideText(key)); }
    void LimitText(int nId, int nChars);

    CLanguage* m_pLanguage;
    bool m_bRightToLeft;
};
