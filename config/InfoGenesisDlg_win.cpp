#include "config/InfoGenesisDlg.h"

#include "ui/DialogData.h"
#include "config/EditingRules.h"
#include "res/resource.h"

CInfoGenesisDlg::CInfoGenesisDlg(CLanguage* pLanguage, bool bRightToLeft)
    : CSettingDialog(IDD_INFOGENESIS, pLanguage, bRightToLeft)
{
    // Its messages read right to left in such a language; its layout stays as drawn.
    SetRightToLeftLayout(false);
    OnCommand(IDOK, [this](WORD) { OnOK(); });
}

BOOL CInfoGenesisDlg::OnInitDialog()
{
    UseFont({IDC_INFO_SERVER_IP_LABEL, IDC_INFO_SEND_PORT_LABEL, IDC_INFO_RECV_PORT_LABEL, IDC_INFO_TERMINALS_LABEL,
             IDC_INFO_EXAMPLE, IDOK, IDCANCEL});
    SetTexts({{IDC_INFO_SERVER_IP_LABEL, "IDS_INFO_SERVER_IP"}, {IDC_INFO_SEND_PORT_LABEL, "IDS_INFO_SEND_PORT"},
              {IDC_INFO_RECV_PORT_LABEL, "IDS_INFO_RECV_PORT"}, {IDC_INFO_TERMINALS_LABEL, "IDS_INFO_TERMINAL_ID"},
              {IDC_INFO_EXAMPLE, "IDS_INFO_TERMINAL_EXAMPLE"}, {IDOK, "IDS_PTS_OK"}, {IDCANCEL, "IDS_PTS_CANCEL"}});
    // The record holds both texts in fixed fields: the boxes take no more than fits.
    SendMessageA(Item(IDC_INFO_SERVER_IP), EM_LIMITTEXT, RECORD_TEXT_MAX, 0);
    SendMessageA(Item(IDC_INFO_TERMINALS), EM_LIMITTEXT, RECORD_TEXT_MAX, 0);
    SendMessageA(Item(IDC_INFO_SEND_PORT), EM_LIMITTEXT, 5, 0);
    SendMessageA(Item(IDC_INFO_RECV_PORT), EM_LIMITTEXT, 5, 0);
    SetDlgItemTextA(Hwnd(), IDC_INFO_SERVER_IP, m_strServerIP.c_str());
    WriteNumberBox(Hwnd(), IDC_INFO_SEND_PORT, m_nSendPort);
    WriteNumberBox(Hwnd(), IDC_INFO_RECV_PORT, m_nRecvPort);
    SetDlgItemTextA(Hwnd(), IDC_INFO_TERMINALS, m_strTerminalIDs.c_str());
    return TRUE;
}

void CInfoGenesisDlg::OnOK()
{
    const std::string serverIP = ItemText(Hwnd(), IDC_INFO_SERVER_IP);
    if (serverIP.empty()) {
        ShowKey("IDS_INFO_WARNING_INPUT_SERVER_IP");
        SetFocus(Item(IDC_INFO_SERVER_IP));
        return;
    }
    unsigned sendPort = m_nSendPort, recvPort = m_nRecvPort;
    if (!ReadNumberBox(Hwnd(), IDC_INFO_SEND_PORT, INFOGENESIS_PORT_MIN, INFOGENESIS_PORT_MAX, sendPort))
        return;
    if (!ReadNumberBox(Hwnd(), IDC_INFO_RECV_PORT, INFOGENESIS_PORT_MIN, INFOGENESIS_PORT_MAX, recvPort))
        return;
    m_nSendPort = sendPort;
    m_nRecvPort = recvPort;
    m_strServerIP = serverIP;
    m_strTerminalIDs = ItemText(Hwnd(), IDC_INFO_TERMINALS);
    EndDialog(IDOK);
}
