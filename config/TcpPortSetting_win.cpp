#include "config/TcpPortSetting.h"

#include "ui/DialogData.h"
#include "config/EditingRules.h"
#include "config/SettingsFile.h"
#include "res/resource.h"

CTCPPortSetting::CTCPPortSetting(CLanguage* pLanguage, bool bRightToLeft)
    : CSettingDialog(IDD_TCPPORT_SETTING, pLanguage, bRightToLeft)
{
    OnCommand(IDOK, [this](WORD) { OnOK(); });
}

BOOL CTCPPortSetting::OnInitDialog()
{
    WriteNumberBox(Hwnd(), IDC_PORT_BOX, m_nPortNumber);
    UseFont({IDC_DEVICE_PORT_LABEL, IDC_PORT_BOX, IDC_PASSWORD_LABEL, IDC_PASSWORD_BOX, IDOK, IDCANCEL});
    SetCaption("IDS_PTS_TCPPORT_DLG_NAME");
    SetTexts({{IDC_DEVICE_PORT_LABEL, "IDS_PTS_DEVICE_PORT"}, {IDC_PASSWORD_LABEL, "IDS_PTS_PASSWORD"},
              {IDOK, "IDS_PTS_OK"}, {IDCANCEL, "IDS_PTS_CANCEL"}});
    LimitText(IDC_PORT_BOX, 5);
    LimitText(IDC_PASSWORD_BOX, RECORD_TEXT_MAX);
    if (m_nMode == EDIT_MODE_NEW) {
        // Reopened for the same new source, it shows what the port button shows.
        SetDlgItemTextA(Hwnd(), IDC_PORT_BOX, m_strPort.empty() ? "4000" : m_strPort.c_str());
        SetDlgItemTextA(Hwnd(), IDC_PASSWORD_BOX, m_strPassword.c_str());
    } else if (m_nMode == EDIT_MODE_MODIFY) {
        // A port still in either stored wrapper form shows its number alone,
        // whichever direction the language writes.
        SetDlgItemTextA(Hwnd(), IDC_PORT_BOX, UnwrapTcpPort(m_strPort).c_str());
        SetDlgItemTextA(Hwnd(), IDC_PASSWORD_BOX, m_strPassword.c_str());
    }
    return TRUE;
}

void CTCPPortSetting::OnOK()
{
    const std::string port = ItemText(Hwnd(), IDC_PORT_BOX);
    const std::string password = ItemText(Hwnd(), IDC_PASSWORD_BOX);
    if (port.empty()) {
        ShowKey("IDS_PTS_WARNING_INPUT_PORT");
        return;
    }
    if (password.empty()) {
        ShowKey("IDS_PTS_WARNING_INPUT_PASSWORD");
        return;
    }
    if (!ReadNumberBox(Hwnd(), IDC_PORT_BOX, TCP_PRINTER_PORT_MIN, TCP_PRINTER_PORT_MAX, m_nPortNumber))
        return;
    // The number as the program writes it, so "04000" and "4000" are one port to the checks.
    m_strPort = std::to_string(m_nPortNumber);
    m_strPassword = password;
    EndDialog(IDOK);
}
