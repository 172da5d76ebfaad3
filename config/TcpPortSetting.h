#pragma once
// The port on which the program listens for the recorder, and the password it must give.
#include "config/SettingDialog.h"

constexpr unsigned TCP_PRINTER_PORT_MIN = 1025;
constexpr unsigned TCP_PRINTER_PORT_MAX = 65535;

class CTCPPortSetting : public CSettingDialog {
public:
    CTCPPortSetting(CLanguage* pLanguage, bool bRightToLeft);

    int m_nMode = 1;
    std::string m_strPort;
    std::string m_strPassword;
    unsigned m_nPortNumber = 0;

protected:
    BOOL OnInitDialog() override;

private:
    void OnOK();
};
