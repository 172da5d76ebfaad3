#pragma once
// The serial line settings of a serial printer.
#include "config/SettingDialog.h"

class CCOMPortSetting : public CSettingDialog {
public:
    CCOMPortSetting(CLanguage* pLanguage, bool bRightToLeft);

    int m_nMode = 1;
    std::string m_strBaudRate;
    std::string m_strDataBits;
    std::string m_strParity;
    std::string m_strStopBits;

protected:
    BOOL OnInitDialog() override;

private:
    void OnOK();
};
