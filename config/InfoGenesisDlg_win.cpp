#include "config/InfoGenesisDlg.h"

#include "ui/DialogData.h"
#include "config/EditingRules.h"
#include "res/resource.h"

CInfoGenesisDlg::CInfoGenesisDlg() : CDialogBase(IDD_INFOGENESIS)
{
    OnCommand(IDOK, [this](WORD) { OnOK(); });
}

BOOL CInfoGenesisDlg::OnInitDialog()
{
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
    if (serverIP.empty())
        return;
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
