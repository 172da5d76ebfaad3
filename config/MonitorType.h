#pragma once
// The source type chooser that New shows first.
#include "config/SettingDialog.h"

class CMonitorType : public CSettingDialog {
public:
    CMonitorType(CLanguage* pLanguage, bool bRightToLeft, bool bOposExists, bool bInfogenesisLoaded);

    // The chosen kind (0 to 3) after OK; -1 otherwise.
    int m_nChosenKind = -1;

protected:
    BOOL OnInitDialog() override;

private:
    void AddKind(const std::string& text, int nKind);
    void OnOK();

    bool m_bOposExists;
    bool m_bInfogenesisLoaded;
};
