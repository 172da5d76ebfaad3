#pragma once
// The Infogenesis server's address, its two ports and the terminal ids. Its
// caption is the adapter's own name; it is never mirrored.
#include "config/SettingDialog.h"

#include <string>

constexpr unsigned INFOGENESIS_PORT_MIN = 1;
constexpr unsigned INFOGENESIS_PORT_MAX = 65535;

class CInfoGenesisDlg : public CSettingDialog {
public:
    explicit CInfoGenesisDlg(CLanguage* pLanguage, bool bRightToLeft = false);

    std::string m_strServerIP = "127.0.0.1";
    unsigned m_nSendPort = 0;
    unsigned m_nRecvPort = 0;
    std::string m_strTerminalIDs = "999";

protected:
    BOOL OnInitDialog() override;

private:
    void OnOK();
};
