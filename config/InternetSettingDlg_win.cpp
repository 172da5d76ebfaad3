#include "config/InternetSettingDlg.h"

#include "ui/DialogData.h"
#include "res/resource.h"

#include <cstdlib>

namespace {
constexpr UINT WM_CHECK_STORED_PORT = WM_APP + 20;
}

CInternetSettingDlg::CInternetSettingDlg(CLanguage* pLanguage, bool bRightToLeft)
    : CSettingDialog(IDD_INTERNET_SETTING, pLanguage, bRightToLeft)
{
    OnCommand(IDOK, [this](WORD) { OnOK(); });
    OnMessage(WM_CHECK_STORED_PORT, [this](WPARAM, LPARAM) {
        unsigned port = m_nInternetPort;
        ReadNumberBox(Hwnd(), IDC_PORT_BOX, NETWORK_PORT_MIN, NETWORK_PORT_MAX, port);
        return INT_PTR(TRUE);
    });
}

BOOL CInternetSettingDlg::OnInitDialog()
{
    WriteNumberBox(Hwnd(), IDC_PORT_BOX, m_nInternetPort);
    SetDlgItemTextA(Hwnd(), IDC_NAME_BOX, m_strName.c_str());
    UseFont({IDC_TYPE_LABEL, IDC_TYPE_TEXT, IDC_KIND_LIST, IDC_CLIENT_IP_LABEL, IDC_PORT_LABEL, IDC_NAME_LABEL, IDOK,
             IDCANCEL});
    SetCaption("IDS_NETWORK_SETTING_DLG_NAME");
    SetTexts({{IDC_TYPE_LABEL, "IDS_PTS_TYPE"}, {IDC_CLIENT_IP_LABEL, "IDS_PTS_CLIENT_IP"}, {IDC_PORT_LABEL, "IDS_PTS_PORT"},
              {IDC_NAME_LABEL, "IDS_NAME"}, {IDOK, "IDS_PTS_OK"}, {IDCANCEL, "IDS_PTS_CANCEL"}});
    LimitText(IDC_CLIENT_IP, INTERNET_IP_MAX);
    LimitText(IDC_PORT_BOX, 5);
    LimitText(IDC_NAME_BOX, RECORD_TEXT_MAX);

    for (const char* type : {"TCP", "UDP"})
        SendDlgItemMessageA(Hwnd(), IDC_KIND_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(type));
    SendDlgItemMessageA(Hwnd(), IDC_KIND_LIST, CB_SETCURSEL, static_cast<WPARAM>(m_nInternetType), 0);
    SetDlgItemTextA(Hwnd(), IDC_CLIENT_IP, m_strInternetIP.c_str());

    const bool bOpos = m_nInternetType == 2;
    if (bOpos)
        SetDlgItemTextW(Hwnd(), IDC_TYPE_TEXT, WideText("IDS_MONITOR_OPOS").c_str());
    else
        SetDlgItemTextA(Hwnd(), IDC_TYPE_TEXT, m_nInternetType == 1 ? "UDP" : "TCP");
    // The OPOS client is always on this machine: its address is the one handed in.
    EnableWindow(Item(IDC_CLIENT_IP), bOpos ? FALSE : TRUE);
    ShowWindow(Item(IDC_NAME_LABEL), bOpos ? SW_SHOW : SW_HIDE);
    ShowWindow(Item(IDC_NAME_BOX), bOpos ? SW_SHOW : SW_HIDE);
    ShowWindow(Item(IDC_KIND_LIST), SW_HIDE);

    // A stored port outside the range is reported as the dialog opens.
    if (m_nInternetPort < NETWORK_PORT_MIN || m_nInternetPort > NETWORK_PORT_MAX)
        PostMessageA(Hwnd(), WM_CHECK_STORED_PORT, 0, 0);
    return TRUE;
}

void CInternetSettingDlg::OnOK()
{
    const std::string ip = ItemText(Hwnd(), IDC_CLIENT_IP);
    const int port = std::atoi(ItemText(Hwnd(), IDC_PORT_BOX).c_str());
    const bool bInUse = NetworkEndpointInUse(m_Records, m_nMode, m_nEditIndex, ip, port);
    if (!ReadNumberBox(Hwnd(), IDC_PORT_BOX, NETWORK_PORT_MIN, NETWORK_PORT_MAX, m_nInternetPort))
        return;
    m_strName = ItemText(Hwnd(), IDC_NAME_BOX);
    // The network monitor compares this text with each client's address: a
    // text that is no address would refuse every till without a word.
    if (IsWindowEnabled(Item(IDC_CLIENT_IP)) && !IsIPv4Address(ip)) {
        ShowKey("IDS_PTS_WARNING_INVALID_IP");
        SetFocus(Item(IDC_CLIENT_IP));
        SendDlgItemMessageA(Hwnd(), IDC_CLIENT_IP, EM_SETSEL, 0, -1);
        return;
    }
    if (bInUse) {
        ShowText(WideFromUtf8(FormatWithNumber(Utf8Text("IDS_PORT_IN_USE"), port)));
        return;
    }
    m_strInternetIP = ip;
    EndDialog(IDOK);
}
