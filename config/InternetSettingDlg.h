#pragma once
// Client address and port of a network or OPOS source, and the OPOS name.
#include "config/EditingRules.h"
#include "config/SettingDialog.h"

constexpr unsigned NETWORK_PORT_MIN = 1025;
constexpr unsigned NETWORK_PORT_MAX = 65535;

class CInternetSettingDlg : public CSettingDialog {
public:
    CInternetSettingDlg(CLanguage* pLanguage, bool bRightToLeft);

    int m_nMode = 1;
    int m_nEditIndex = 0;
    int m_nInternetType = 0;
    std::string m_strInternetIP;
    unsigned m_nInternetPort = 0;
    std::string m_strName;  // kept from showing to showing
    SOURCE_LIST m_Records;  // the configured sources, for the endpoint check

protected:
    BOOL OnInitDialog() override;

private:
    void OnOK();
};
