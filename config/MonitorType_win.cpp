#include "config/MonitorType.h"

#include "config/PosSettingInfo.h"
#include "ui/DialogData.h"
#include "res/resource.h"

CMonitorType::CMonitorType(CLanguage* pLanguage, bool bRightToLeft, bool bOposExists, bool bInfogenesisLoaded)
    : CSettingDialog(IDD_MONITOR_TYPE, pLanguage, bRightToLeft),
      m_bOposExists(bOposExists),
      m_bInfogenesisLoaded(bInfogenesisLoaded)
{
    OnCommand(IDOK, [this](WORD) { OnOK(); });
}

BOOL CMonitorType::OnInitDialog()
{
    UseFont({IDC_KIND_GROUP, IDC_KIND_LIST, IDOK, IDCANCEL});
    SetCaption("IDS_CHOOSE_MONITOR_TYPE");
    SetTexts({{IDC_KIND_GROUP, "IDS_MONITOR_TYPE"}, {IDOK, "IDS_PTS_OK"}, {IDCANCEL, "IDS_PTS_CANCEL"}});
    AddKind(Utf8Text("IDS_MONITOR_FILE"), KIND_FILE);
    AddKind(Utf8Text("IDS_MONITOR_INTERNET"), KIND_NETWORK);
    if (!m_bOposExists)
        AddKind(Utf8Text("IDS_MONITOR_OPOS"), KIND_OPOS);
    if (m_bInfogenesisLoaded)
        AddKind("Infogenesis", KIND_INFOGENESIS);
    SendDlgItemMessageA(Hwnd(), IDC_KIND_LIST, CB_SETCURSEL, 0, 0);
    return TRUE;
}

void CMonitorType::AddKind(const std::string& text, int nKind)
{
    const std::wstring wide = WideFromUtf8(text);
    const LRESULT item = SendDlgItemMessageW(Hwnd(), IDC_KIND_LIST, CB_ADDSTRING, 0,
                                             reinterpret_cast<LPARAM>(wide.c_str()));
    SendDlgItemMessageA(Hwnd(), IDC_KIND_LIST, CB_SETITEMDATA, static_cast<WPARAM>(item), nKind);
}

void CMonitorType::OnOK()
{
    // The list is unsorted but the item data, not the position, gives the kind.
    const LRESULT item = SendDlgItemMessageA(Hwnd(), IDC_KIND_LIST, CB_GETCURSEL, 0, 0);
    if (item == CB_ERR)
        return;
    m_nChosenKind = static_cast<int>(SendDlgItemMessageA(Hwnd(), IDC_KIND_LIST, CB_GETITEMDATA, static_cast<WPARAM>(item), 0));
    EndDialog(IDOK);
}
