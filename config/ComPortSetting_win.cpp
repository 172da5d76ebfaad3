#include "config/ComPortSetting.h"

#include "ui/DialogData.h"
#include "config/EditingRules.h"
#include "res/resource.h"

namespace {

template <size_t N>
void Fill(HWND hDialog, int nId, const char* const (&texts)[N], int nSelected)
{
    for (const char* text : texts)
        SendDlgItemMessageA(hDialog, nId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendDlgItemMessageA(hDialog, nId, CB_SETCURSEL, static_cast<WPARAM>(nSelected), 0);
}

}  // namespace

CCOMPortSetting::CCOMPortSetting(CLanguage* pLanguage, bool bRightToLeft)
    : CSettingDialog(IDD_COMPORT_SETTING, pLanguage, bRightToLeft)
{
    OnCommand(IDOK, [this](WORD) { OnOK(); });
}

BOOL CCOMPortSetting::OnInitDialog()
{
    UseFont({IDC_BAUD_RATE_LABEL, IDC_BAUD_RATE, IDC_DATA_BITS_LABEL, IDC_DATA_BITS, IDC_PARITY_LABEL, IDC_PARITY,
             IDC_STOP_BITS_LABEL, IDC_STOP_BITS, IDOK, IDCANCEL});
    SetCaption("IDS_PTS_COMPORT_DLG_NAME");
    SetTexts({{IDC_BAUD_RATE_LABEL, "IDS_PTS_BAUD_RATE"}, {IDC_DATA_BITS_LABEL, "IDS_PTS_DATA_BITS"},
              {IDC_PARITY_LABEL, "IDS_PTS_PARITY"}, {IDC_STOP_BITS_LABEL, "IDS_PTS_STOP_BITS"},
              {IDOK, "IDS_PTS_OK"}, {IDCANCEL, "IDS_PTS_CANCEL"}});
    // A new source's dialog shows what it last confirmed, as the port button
    // does; the source dialog sets the defaults whenever a new source begins.
    const int nSelectFrom = m_nMode == EDIT_MODE_NEW ? EDIT_MODE_MODIFY : m_nMode;
    const COM_SELECTION selection =
        ComPortSelection(nSelectFrom, m_strBaudRate, m_strDataBits, m_strParity, m_strStopBits);
    Fill(Hwnd(), IDC_BAUD_RATE, BAUD_RATE_TEXTS, selection.nBaudRate);
    Fill(Hwnd(), IDC_DATA_BITS, DATA_BITS_TEXTS, selection.nDataBits);
    Fill(Hwnd(), IDC_PARITY, PARITY_TEXTS, selection.nParity);
    Fill(Hwnd(), IDC_STOP_BITS, STOP_BITS_TEXTS, selection.nStopBits);
    return TRUE;
}

void CCOMPortSetting::OnOK()
{
    const std::string baud = ComboText(Hwnd(), IDC_BAUD_RATE);
    const std::string dataBits = ComboText(Hwnd(), IDC_DATA_BITS);
    const std::string parity = ComboText(Hwnd(), IDC_PARITY);
    const std::string stopBits = ComboText(Hwnd(), IDC_STOP_BITS);
    if (baud.empty() || dataBits.empty() || parity.empty() || stopBits.empty()) {
        ShowKey("IDS_PTS_WARNING_INPUT_SETTING");
        return;
    }
    m_strBaudRate = baud;
    m_strDataBits = dataBits;
    m_strParity = parity;
    m_strStopBits = stopBits;
    EndDialog(IDOK);
}
