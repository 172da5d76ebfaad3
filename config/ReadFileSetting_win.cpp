#include "config/ReadFileSetting.h"

#include "ui/DialogData.h"
#include "res/resource.h"

#include <commdlg.h>

#include <cstring>

namespace {
const int PRINTER_ITEM_SERIAL = 0;
const int PRINTER_ITEM_TCP = 1;
const int PRINTER_LIST_DROP_WIDTH = 150;
}  // namespace

CReadFileSetting::CReadFileSetting(CLanguage* pLanguage, bool bRightToLeft)
    : CSettingDialog(IDD_READFILE_SETTING, pLanguage, bRightToLeft),
      m_ComPortDlg(pLanguage, bRightToLeft),
      m_TcpPortDlg(pLanguage, bRightToLeft)
{
    OnCommand(IDOK, [this](WORD) { OnOK(); });
    OnCommand(IDC_PORT_BUTTON, [this](WORD code) {
        if (code == BN_CLICKED)
            OnPortButton();
    });
    OnCommand(IDC_BROWSE, [this](WORD code) {
        if (code == BN_CLICKED)
            OnBrowse();
    });
    OnCommand(IDC_PRINTER_TYPE, [this](WORD code) {
        if (code == CBN_SELCHANGE) {
            m_PrinterType = SelectedPrinterType();
            ApplyPrinterType(m_PrinterType);
        }
    });
}

BOOL CReadFileSetting::OnInitDialog()
{
    m_pNewRecord.reset();
    UseFont({IDC_SEQUENTIAL, IDC_PRINTER_TYPE_LABEL, IDC_PRINTER_TYPE, IDC_FILE_PATH_LABEL, IDC_FILE_PATH, IDC_POS_INDEX_LABEL,
             IDC_POS_INDEX, IDC_COM_PORT_LABEL, IDC_COM_PORT, IDC_PORT_BUTTON, IDOK, IDCANCEL});
    SetCaption("IDS_PTS_CONFIG");
    SetTexts({{IDC_SEQUENTIAL, "IDS_RECEIPT_SEQUENTIAL_TYPE"}, {IDC_PRINTER_TYPE_LABEL, "IDS_PTS_PRINTER_TYPE"},
              {IDC_FILE_PATH_LABEL, "IDS_PTS_FILE_PATH"}, {IDC_POS_INDEX_LABEL, "IDS_PTS_POS_INDEX"},
              {IDC_COM_PORT_LABEL, "IDS_PTS_COM_PORT"}, {IDOK, "IDS_PTS_ADD"}, {IDCANCEL, "IDS_PTS_CANCEL"}});
    LimitText(IDC_FILE_PATH, RECORD_TEXT_MAX);

    if (m_nMode == EDIT_MODE_NEW)
        InitNew();
    else if (m_nMode == EDIT_MODE_MODIFY)
        InitModify();
    SendDlgItemMessageA(Hwnd(), IDC_PRINTER_TYPE, CB_SETDROPPEDWIDTH, PRINTER_LIST_DROP_WIDTH, 0);

    if (m_nMonitorType != KIND_FILE) {
        ShowWindow(Item(IDC_SEQUENTIAL), SW_HIDE);
        EnableWindow(Item(IDC_FILE_PATH), FALSE);
        EnableWindow(Item(IDC_BROWSE), FALSE);
    }
    if (m_nMonitorType == KIND_INFOGENESIS) {
        // An Infogenesis source always has a TCP printer.
        SelectPrinterType(PRINTER_TYPE::Tcp);
        m_PrinterType = PRINTER_TYPE::Tcp;
        EnableWindow(Item(IDC_PRINTER_TYPE), FALSE);
    }
    return TRUE;
}

void CReadFileSetting::FillLists()
{
    // The language file's letters, whatever the ANSI code page; the choice goes by item, never by text.
    for (const char* key : {"IDS_PTS_PRINTER_SERIAL", "IDS_PTS_PRINTER_TCP"})
        SendDlgItemMessageW(Hwnd(), IDC_PRINTER_TYPE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideText(key).c_str()));
    SelectPrinterType(PRINTER_TYPE::Serial);
    for (int n = 1; n <= POS_INDEX_ITEMS; ++n)
        SendDlgItemMessageA(Hwnd(), IDC_POS_INDEX, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(("POS" + std::to_string(n)).c_str()));
    for (int n = 1; n <= COM_PORT_ITEMS; ++n)
        SendDlgItemMessageA(Hwnd(), IDC_COM_PORT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(("COM" + std::to_string(n)).c_str()));
}

void CReadFileSetting::InitNew()
{
    m_ComPortDlg.m_nMode = EDIT_MODE_NEW;
    m_TcpPortDlg.m_nMode = EDIT_MODE_NEW;
    CheckDlgButton(Hwnd(), IDC_SEQUENTIAL, BST_UNCHECKED);
    FillLists();
    m_PrinterType = PRINTER_TYPE::Serial;
    SetPortCaption(DefaultSerialCaption());
    // Nothing of the source edited before shows in the port dialogs of a new one.
    SetDefaultLineSettings();
    m_TcpPortDlg.m_strPort.clear();
    m_TcpPortDlg.m_strPassword.clear();
    if (m_nMonitorType == KIND_INFOGENESIS)
        ApplyPrinterType(PRINTER_TYPE::Tcp);
}

void CReadFileSetting::InitModify()
{
    FillLists();
    if (!m_pEditRecord)
        return;
    const POS_SETTING_INFO& r = *m_pEditRecord;
    m_nReceiptType = r.nReceiptType;
    CheckDlgButton(Hwnd(), IDC_SEQUENTIAL, r.nReceiptType != 0 ? BST_CHECKED : BST_UNCHECKED);
    m_strFilePath = r.strFilePath;
    SetDlgItemTextA(Hwnd(), IDC_FILE_PATH, m_strFilePath.c_str());
    m_strPosIndex = r.strPosIndex;
    SendDlgItemMessageA(Hwnd(), IDC_POS_INDEX, CB_SETCURSEL, static_cast<WPARAM>(PosIndexItem(r.strPosIndex)), 0);
    m_PrinterType = r.ePrinterType;
    SelectPrinterType(r.ePrinterType);
    m_ComPortDlg.m_nMode = EDIT_MODE_MODIFY;
    m_TcpPortDlg.m_nMode = EDIT_MODE_MODIFY;
    if (r.ePrinterType == PRINTER_TYPE::Serial) {
        SendDlgItemMessageA(Hwnd(), IDC_COM_PORT, CB_SETCURSEL, static_cast<WPARAM>(ComPortItem(r.strPort)), 0);
        m_strPort = r.strPort;
        m_ComPortDlg.m_strBaudRate = m_strBaudRate = r.strBaudRate;
        m_ComPortDlg.m_strDataBits = m_strDataBits = r.strDataBits;
        m_ComPortDlg.m_strParity = m_strParity = r.strParity;
        m_ComPortDlg.m_strStopBits = m_strStopBits = r.strStopBits;
        SetPortCaption(StoredSerialCaption(r.strBaudRate, r.strDataBits, r.strParity, r.strStopBits));
    } else {
        EnableWindow(Item(IDC_COM_PORT), FALSE);
        m_TcpPortDlg.m_strPort = r.strPort;
        m_TcpPortDlg.m_strPassword = r.strPassword;
        SetPortCaption(TcpPortCaption(Utf8Text("IDS_PTS_TCP_PORT"), r.strPort));
    }
}

std::optional<PRINTER_TYPE> CReadFileSetting::SelectedPrinterType() const
{
    const LRESULT item = SendDlgItemMessageA(Hwnd(), IDC_PRINTER_TYPE, CB_GETCURSEL, 0, 0);
    if (item == PRINTER_ITEM_SERIAL)
        return PRINTER_TYPE::Serial;
    if (item == PRINTER_ITEM_TCP)
        return PRINTER_TYPE::Tcp;
    return std::nullopt;
}

void CReadFileSetting::SelectPrinterType(PRINTER_TYPE eType)
{
    SendDlgItemMessageA(Hwnd(), IDC_PRINTER_TYPE, CB_SETCURSEL,
                        eType == PRINTER_TYPE::Tcp ? PRINTER_ITEM_TCP : PRINTER_ITEM_SERIAL, 0);
}

void CReadFileSetting::SetDefaultLineSettings()
{
    m_ComPortDlg.m_strBaudRate = m_strBaudRate = DEFAULT_BAUD_RATE;
    m_ComPortDlg.m_strDataBits = m_strDataBits = DEFAULT_DATA_BITS;
    m_ComPortDlg.m_strParity = m_strParity = DEFAULT_PARITY;
    m_ComPortDlg.m_strStopBits = m_strStopBits = DEFAULT_STOP_BITS;
}

void CReadFileSetting::ApplyPrinterType(std::optional<PRINTER_TYPE> type)
{
    if (type == PRINTER_TYPE::Serial) {
        EnableWindow(Item(IDC_COM_PORT), TRUE);
        SetPortCaption(DefaultSerialCaption());
        SetDefaultLineSettings();
    } else if (type == PRINTER_TYPE::Tcp) {
        EnableWindow(Item(IDC_COM_PORT), FALSE);
        SetPortCaption(Utf8Text("IDS_PTS_TCPPORT_SETTING"));
        m_TcpPortDlg.m_strPort.clear();
        m_TcpPortDlg.m_strPassword.clear();
    }
}

void CReadFileSetting::SetPortCaption(const std::string& caption)
{
    SetDlgItemTextW(Hwnd(), IDC_PORT_BUTTON, WideFromUtf8(caption).c_str());
}

void CReadFileSetting::OnPortButton()
{
    m_PrinterType = SelectedPrinterType();
    if (m_PrinterType == PRINTER_TYPE::Serial) {
        if (m_ComPortDlg.DoModal(Hwnd()) != IDOK)
            return;
        m_strBaudRate = m_ComPortDlg.m_strBaudRate;
        m_strDataBits = m_ComPortDlg.m_strDataBits;
        m_strParity = m_ComPortDlg.m_strParity;
        m_strStopBits = m_ComPortDlg.m_strStopBits;
        SetPortCaption(ConfirmedSerialCaption(m_strBaudRate, m_strDataBits, m_strParity, m_strStopBits));
    } else if (m_PrinterType == PRINTER_TYPE::Tcp) {
        if (m_TcpPortDlg.DoModal(Hwnd()) != IDOK)
            return;
        m_strPort = m_TcpPortDlg.m_strPort;
        SetPortCaption(TcpPortCaption(Utf8Text("IDS_PTS_TCP_PORT"), m_strPort));
    }
}

bool CReadFileSetting::PickFile(std::string& path)
{
    if (m_PickFile)
        return m_PickFile(Hwnd(), path);
    char file[MAX_PATH] = {};
    // "All Files(*.*)|*.*||" as the system's filter: pairs of zero-terminated texts.
    static const char FILTER[] = "All Files(*.*)\0*.*\0";
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Hwnd();
    ofn.lpstrFilter = FILTER;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER | OFN_ENABLESIZING;
    if (!GetOpenFileNameA(&ofn))
        return false;
    path = file;
    return true;
}

void CReadFileSetting::OnBrowse()
{
    const std::wstring sameFile = WideText("IDS_PTS_WARNING_INPUT_SAME_FILE");
    for (;;) {
        std::string path;
        if (!PickFile(path))
            return;
        m_strFilePath = path;
        const std::string current = ItemText(Hwnd(), IDC_FILE_PATH);
        if (path.empty() || (m_nMode != EDIT_MODE_NEW && m_nMode != EDIT_MODE_MODIFY))
            return;
        if (FileUsedElsewhere(m_Records, path, current)) {
            ShowText(sameFile);
            continue;
        }
        SetDlgItemTextA(Hwnd(), IDC_FILE_PATH, path.c_str());
        return;
    }
}

void CReadFileSetting::OnOK()
{
    m_nReceiptType = IsDlgButtonChecked(Hwnd(), IDC_SEQUENTIAL) == BST_CHECKED ? 1 : 0;
    m_PrinterType = SelectedPrinterType();
    m_strFilePath = ItemText(Hwnd(), IDC_FILE_PATH);
    m_strPosIndex = ComboText(Hwnd(), IDC_POS_INDEX);
    if (m_PrinterType == PRINTER_TYPE::Serial) {
        m_strPort = ComboText(Hwnd(), IDC_COM_PORT);
        m_strPassword = "NULL";
    } else if (m_PrinterType == PRINTER_TYPE::Tcp) {
        m_strPort = m_TcpPortDlg.m_strPort;
        m_strPassword = m_TcpPortDlg.m_strPassword;
    }

    SOURCE_EDIT edit;
    edit.nMode = m_nMode;
    edit.nMonitorType = m_nMonitorType;
    edit.nEditIndex = m_nEditIndex;
    edit.printerType = m_PrinterType;
    edit.strFilePath = m_strFilePath;
    edit.strPosIndex = m_strPosIndex;
    edit.strPort = m_strPort;
    edit.strPassword = m_strPassword;
    edit.nReceiptType = m_nReceiptType;
    edit.strBaudRate = m_strBaudRate;
    edit.strDataBits = m_strDataBits;
    edit.strParity = m_strParity;
    edit.strStopBits = m_strStopBits;
    edit.nInternetType = m_nInternetType;
    edit.strInternetIP = m_strInternetIP;
    edit.nInternetPort = m_nInternetPort;
    edit.infogenesis = m_Infogenesis;

    const EDIT_CHECK check = CheckSourceEdit(edit, m_Records);
    if (check.eVerdict == EDIT_VERDICT::PortInUse) {
        ShowText(WideFromUtf8(FormatWithNumber(Utf8Text("IDS_PORT_IN_USE"), check.nPortShown)));
        return;
    }
    if (check.eVerdict != EDIT_VERDICT::Accept) {
        if (const char* key = VerdictMessageKey(check.eVerdict))
            ShowKey(key);
        return;
    }
    if (m_nMode == EDIT_MODE_NEW) {
        m_pNewRecord = std::make_unique<POS_SETTING_INFO>();
        WriteSourceRecord(edit, *m_pNewRecord);
    } else if (m_pEditRecord) {
        WriteSourceRecord(edit, *m_pEditRecord);
    }
    EndDialog(IDOK);
}
